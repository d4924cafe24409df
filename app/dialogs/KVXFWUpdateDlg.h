// The firmware update assistant: replaces a module's firmware with an S19 file through its
// bootloader, step by step (Start, Erase, Program) or in one run (direct mode).
//
// A run succeeds only when entering the bootloader, erasing, preparing, the transfer and leaving
// all succeed; otherwise red text names the step that failed and the dialog stays open. The file
// is checked before anything is erased. Each step runs in the window's busy mode: the window
// paints and shows how far the step is, and takes no input meanwhile (a step once begun cannot be
// stopped, and the window says so). Closing the window is Cancel: it takes the module out of its
// bootloader when it is in it; a close asked for while a step runs is refused, never carried out
// after the step (it would leave the bootloader with an erased flash).
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <string>

#include "services/osBusyMode.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolButton;
class TKVXModCommProt;
struct TS19Summary;

class TFWUpdateDlg : public QDialog, public IBusyView {
  Q_OBJECT

 public:
  // The steps of an update, each shown with how it went.
  enum TStep { fsStart, fsErase, fsProgram, fsFinish, fsStepCount };
  enum TStepState { fssWaiting, fssRunning, fssDone, fssFailed };

  explicit TFWUpdateDlg(QWidget* parent = nullptr);

  // Shows the assistant modally for ModProt (not owned). FileName (the last firmware file) is
  // taken when it ends in ".s19" and exists. Direct selects the one-run mode. True when a
  // protocol component was given (without one nothing is shown).
  bool Execute(TKVXModCommProt* ModProt, const std::string& FileName, bool Direct);
  // The S19 file chosen last (file-system bytes); empty when none was taken or picked.
  const std::string& FileName() const { return FileName_; }
  // True while a bootloader step or the transfer runs.
  bool StepRunning() const { return Running_; }
  // True while the module is in its bootloader (Cancel leaves it).
  bool InBootloader() const { return CancelTag_ == 1; }
  TStepState StepState(TStep Step) const { return StepStates_[Step]; }
  // What the last programming wrote ("2051 records, 123456 bytes"); empty until one succeeded.
  const QString& ProgrammedText() const { return ProgrammedText_; }

  // The busy mode's view: the running step's text and progress. Nothing here stops a step.
  void BusyShow(const QString& Text, qint64 Position, qint64 Max, bool CanStop) override;
  void BusyHide() override {}
  bool BusyTakesInput(const QObject*) const override { return false; }

  // Texts of the failed steps (red in the status label).
  static const char* const kFileInvalidText;
  static const char* const kEraseFailedText;
  static const char* const kPrepareFailedText;
  static const char* const kTransferFailedText;
  static const char* const kChecksumErrorText;
  static const char* const kLeaveFailedText;

  QLabel* LblWarning = nullptr;
  QLabel* LblWarningText = nullptr;
  QStackedWidget* NB = nullptr;
  QWidget* PageKey = nullptr;
  QWidget* PageMain = nullptr;
  QListWidget* LBoxSecKeyInput = nullptr;
  QLabel* LEditFWFileLabel = nullptr;
  QLineEdit* LEditFWFile = nullptr;
  QToolButton* SBtnSelFWFile = nullptr;
  QLabel* ErrLabelStartUpdate = nullptr;
  QLabel* StatusInfoLabel = nullptr;
  QProgressBar* ProgressBar = nullptr;
  // "Start: done", "Erase: running", ... one label per step.
  std::array<QLabel*, fsStepCount> StepLabels{};
  QPushButton* BtnStart = nullptr;
  QPushButton* BtnErase = nullptr;
  QPushButton* BtnProgram = nullptr;
  QPushButton* BtnCancel = nullptr;

 public slots:
  void BtnStartClick();
  void BtnEraseClick();
  void BtnProgramClick();
  // Leaves the bootloader when the module is in it, then closes.
  void BtnCancelClick();
  void SBtnSelFWFileClick();
  // The close box and Escape: Cancel, refused while a step runs.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class TStepRun;

  void ProgramStepMode();
  void ProgramDirectMode();
  // Reads and checks the chosen file; a file the bootloader would not take whole is named in red
  // with its reason and line. Summary (may be null) receives what a good file holds.
  bool CheckFile(TS19Summary* Summary);
  void ShowFileInvalid(const std::string& Reason);
  void ShowStatus(const QString& Text, bool Failed);
  void SetStepState(TStep Step, TStepState State);
  // Leaves the bootloader inside a running job; true when the module is back in its application.
  bool LeaveBootloader();
  void ShowFile(const std::string& Name);
  // SendFirmwareFile with the progress bar fed and the window kept alive.
  bool SendFile();
  void FocusIfPossible(QWidget* W);

  TKVXModCommProt* ModProt_ = nullptr;
  std::string FileName_;
  bool Direct_ = false;
  // 1 after a successful erase.
  int EraseTag_ = 0;
  // 1 while the module is in its bootloader.
  int CancelTag_ = 0;
  bool Running_ = false;
  // While the file goes out its bytes drive the progress bar; the busy mode gives the text.
  bool Transferring_ = false;
  std::int64_t ProgressDivisor_ = 1;
  std::array<TStepState, fsStepCount> StepStates_{};
  QString ProgrammedText_;
};

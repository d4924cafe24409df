// The firmware update assistant: replaces a module's firmware with an S19 file through its
// bootloader, step by step (Start, Erase, Program) or in one run (direct mode).
//
// A run succeeds only when entering the bootloader, erasing, preparing, the transfer and leaving
// all succeed; otherwise red text names the step that failed and the dialog stays open. The file
// is checked before anything is erased. Closing the window is Cancel: it takes the module out of
// its bootloader when it is in it, and is refused while a step runs (the window keeps processing
// events during the transfer).
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolButton;
class TKVXModCommProt;

class TFWUpdateDlg : public QDialog {
  Q_OBJECT

 public:
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
  void ShowStatus(const QString& Text, bool Failed);
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
  std::int64_t ProgressDivisor_ = 1;
};

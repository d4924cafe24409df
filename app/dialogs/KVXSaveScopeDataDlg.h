// Names the scope data log file ("Save To File..." on the scope page). The name typed or picked
// stays in effect whichever button closes the dialog; an empty name means no log.
#pragma once

#include <mutex>
#include <string>

#include "app/dialogs/OKCANCL1.h"

class QLabel;
class QLineEdit;
class QToolButton;

class TSaveScopeDataDlg : public TOKBottomDlg {
  Q_OBJECT

 public:
  explicit TSaveScopeDataDlg(QWidget* parent = nullptr);

  // Shows the dialog modally; its result is the dialog's, and the name is taken over in any case.
  int Execute();
  // The log file's name (file-system bytes) as it stood when the dialog last closed. Safe on any
  // thread.
  std::string LogFileName() const;
  // Window thread: puts a name into the edit and takes it over at once.
  void SetLogFileName(const std::string& Name);

  QLabel* EdtFilenameLabel = nullptr;
  QLineEdit* EdtFilename = nullptr;
  QToolButton* SBtnFilename = nullptr;

 public slots:
  void done(int r) override;
  // Opens the file picker; a chosen name replaces the edit's text.
  void SBtnFilenameClick();

 private:
  // Copies the edit's text into the name under the lock (window thread).
  void TakeFileName();

  mutable std::mutex Lock_;
  std::string LogFileName_;
};

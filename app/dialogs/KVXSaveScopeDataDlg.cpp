#include "app/dialogs/KVXSaveScopeDataDlg.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "services/osDialogHooks.h"

TSaveScopeDataDlg::TSaveScopeDataDlg(QWidget* parent) : TOKBottomDlg(parent) {
  setObjectName("SaveScopeDataDlg");

  EdtFilenameLabel = new QLabel("Save (real time) to file", Bevel1);
  EdtFilenameLabel->setObjectName("EdtFilenameLabel");
  EdtFilename = new QLineEdit(Bevel1);
  EdtFilename->setObjectName("EdtFilename");
  EdtFilenameLabel->setBuddy(EdtFilename);
  SBtnFilename = new QToolButton(Bevel1);
  SBtnFilename->setObjectName("SBtnFilename");
  SBtnFilename->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  SBtnFilename->setToolTip("Choose the log file");
  SBtnFilename->setAccessibleName("Choose log file");
  SBtnFilename->setFixedSize(23, 23);
  connect(SBtnFilename, &QToolButton::clicked, this, &TSaveScopeDataDlg::SBtnFilenameClick);

  auto* row = new QHBoxLayout;
  row->addWidget(EdtFilename, 1);
  row->addWidget(SBtnFilename);
  auto* inner = new QVBoxLayout(Bevel1);
  inner->setContentsMargins(10, 10, 10, 10);
  inner->addStretch();
  inner->addWidget(EdtFilenameLabel);
  inner->addLayout(row);
  inner->addStretch();
  setFixedSize(316, 130);
}

int TSaveScopeDataDlg::Execute() {
  const int result = ExecModal(this);
  // A hook may answer without closing the dialog: the name is taken over all the same.
  TakeFileName();
  return result;
}

std::string TSaveScopeDataDlg::LogFileName() const {
  std::lock_guard<std::mutex> lock(Lock_);
  return LogFileName_;
}

void TSaveScopeDataDlg::SetLogFileName(const std::string& Name) {
  EdtFilename->setText(FileNameFromBytes(Name));
  TakeFileName();
}

void TSaveScopeDataDlg::done(int r) {
  TakeFileName();
  TOKBottomDlg::done(r);
}

void TSaveScopeDataDlg::SBtnFilenameClick() {
  TFileDialogOptions o;
  // A new file may be named as well as an existing one: the log is only ever appended to.
  o.Kind = fdkSave;
  o.MustExist = true;
  o.OverwritePrompt = false;
  o.Filter = "Modulparameter (*.txt)";
  o.DefaultSuffix = "txt";
  o.InitialDir = StartFolder(ExtractFilePath(FileNameToBytes(EdtFilename->text())));
  o.Parent = this;
  std::string name;
  if (ExecFileDialog(o, name)) EdtFilename->setText(FileNameFromBytes(name));
}

void TSaveScopeDataDlg::TakeFileName() {
  const std::string name = FileNameToBytes(EdtFilename->text());
  std::lock_guard<std::mutex> lock(Lock_);
  LogFileName_ = name;
}

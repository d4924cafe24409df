#include "app/dialogs/KVXFWUpdateDlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>
#include <optional>

#include "model/osFileUtils.h"
#include "protocol/osDRUVModProt.h"
#include "protocol/osS19File.h"
#include "services/osServiceFonts.h"
#include "services/osDialogHooks.h"

const char* const TFWUpdateDlg::kFileInvalidText = "The firmware file is not valid!";
const char* const TFWUpdateDlg::kEraseFailedText = "Erasing failed!";
const char* const TFWUpdateDlg::kPrepareFailedText = "Prepare programming failed!";
const char* const TFWUpdateDlg::kTransferFailedText = "Transfer failed!";
const char* const TFWUpdateDlg::kChecksumErrorText = "checksum error!";
const char* const TFWUpdateDlg::kLeaveFailedText = "Leaving the bootloader failed!";

namespace {

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 160);
const QColor kGrey(110, 110, 110);

const char* const kStepNames[TFWUpdateDlg::fsStepCount] = {"Start", "Erase", "Program", "Finish"};
const char* const kStateNames[] = {"-", "running...", "done", "failed"};

void SetTextColor(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::Text, c);
  w->setPalette(p);
}

// Draws list lines without the focus frame of the current line.
class TNoFocusDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem o(option);
    o.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, o, index);
  }
};

}  // namespace

// Marks a step as running; handlers reached through the event processing of a running step
// (a click, a key, the close box) do nothing.
class TFWUpdateDlg::TStepRun {
 public:
  explicit TStepRun(TFWUpdateDlg* d) : d_(d) { d_->Running_ = true; }
  ~TStepRun() { d_->Running_ = false; }
  TStepRun(const TStepRun&) = delete;
  TStepRun& operator=(const TStepRun&) = delete;

 private:
  TFWUpdateDlg* d_;
};

TFWUpdateDlg::TFWUpdateDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("FWUpdateDlg");
  setWindowTitle("Firmware update");
  SetupDialogForm(this);

  // Top: the warning.
  auto* top = new QWidget(this);
  top->setObjectName("PanelTop");
  LblWarning = new QLabel("Warning!", top);
  LblWarning->setObjectName("LblWarning");
  LblWarning->setAlignment(Qt::AlignCenter);
  LblWarning->setFont(ArialFont(13, true));
  SetTextColor(LblWarning, kRed);
  LblWarningText =
      new QLabel("The execution of firmware update could make the module unusable!!!", top);
  LblWarningText->setObjectName("LblWarningText");
  LblWarningText->setAlignment(Qt::AlignCenter);
  auto* topLayout = new QVBoxLayout(top);
  topLayout->setContentsMargins(6, 6, 6, 4);
  topLayout->setSpacing(2);
  topLayout->addWidget(LblWarning);
  topLayout->addWidget(LblWarningText);

  // Middle: the key page and the main page.
  NB = new QStackedWidget(this);
  NB->setObjectName("NB");
  PageKey = new QWidget(NB);
  PageKey->setObjectName("Key");
  LBoxSecKeyInput = new QListWidget(PageKey);
  LBoxSecKeyInput->setObjectName("LBoxSecKeyInput");
  LBoxSecKeyInput->setAccessibleName("Security key");
  LBoxSecKeyInput->addItems(
      {"", "", "                    please enter security key", ""});
  SetTextColor(LBoxSecKeyInput, kGreen);
  // A list to type the key into, not to choose from.
  LBoxSecKeyInput->setSelectionMode(QAbstractItemView::NoSelection);
  LBoxSecKeyInput->setItemDelegate(new TNoFocusDelegate(LBoxSecKeyInput));
  LBoxSecKeyInput->installEventFilter(this);
  auto* keyLayout = new QVBoxLayout(PageKey);
  keyLayout->setContentsMargins(6, 2, 6, 2);
  keyLayout->addWidget(LBoxSecKeyInput);

  PageMain = new QWidget(NB);
  PageMain->setObjectName("Main");
  LEditFWFileLabel = new QLabel("Selected Firmware", PageMain);
  LEditFWFileLabel->setObjectName("LEditFWFileLabel");
  LEditFWFile = new QLineEdit(PageMain);
  LEditFWFile->setObjectName("LEditFWFile");
  LEditFWFile->setReadOnly(true);
  LEditFWFileLabel->setBuddy(LEditFWFile);
  SBtnSelFWFile = new QToolButton(PageMain);
  SBtnSelFWFile->setObjectName("SBtnSelFWFile");
  SBtnSelFWFile->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  SBtnSelFWFile->setToolTip("Select the firmware file");
  SBtnSelFWFile->setAccessibleName("Select firmware file");
  SBtnSelFWFile->setFixedSize(23, 23);
  ErrLabelStartUpdate = new QLabel(
      "Firmware update could not start! Check port settings or availability of the bootloader. "
      "Restart the module and try it again! ",
      PageMain);
  ErrLabelStartUpdate->setObjectName("ErrLabelStartUpdate");
  ErrLabelStartUpdate->setWordWrap(true);
  SetTextColor(ErrLabelStartUpdate, kRed);
  StatusInfoLabel = new QLabel(PageMain);
  StatusInfoLabel->setObjectName("StatusInfoLabel");
  StatusInfoLabel->setWordWrap(true);
  StatusInfoLabel->setFont(ArialFont(11, true));
  SetTextColor(StatusInfoLabel, kGreen);
  ProgressBar = new QProgressBar(PageMain);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setTextVisible(false);
  ProgressBar->setFixedHeight(16);
  auto* steps = new QGridLayout;
  steps->setContentsMargins(0, 0, 0, 0);
  steps->setHorizontalSpacing(16);
  for (int i = 0; i < fsStepCount; ++i) {
    StepLabels[i] = new QLabel(PageMain);
    StepLabels[i]->setObjectName(QString("StepLabel%1").arg(kStepNames[i]));
    steps->addWidget(StepLabels[i], 0, i);
  }
  steps->setColumnStretch(fsStepCount, 1);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(LEditFWFile, 1);
  fileRow->addWidget(SBtnSelFWFile);
  auto* mainLayout = new QVBoxLayout(PageMain);
  mainLayout->setContentsMargins(8, 4, 8, 4);
  mainLayout->setSpacing(4);
  mainLayout->addWidget(LEditFWFileLabel);
  mainLayout->addLayout(fileRow);
  mainLayout->addLayout(steps);
  mainLayout->addWidget(ErrLabelStartUpdate);
  mainLayout->addWidget(StatusInfoLabel);
  mainLayout->addStretch();
  mainLayout->addWidget(ProgressBar);
  NB->addWidget(PageKey);
  NB->addWidget(PageMain);

  // Bottom: the buttons.
  auto* bottom = new QWidget(this);
  bottom->setObjectName("PanelBottom");
  BtnStart = new QPushButton("Start", bottom);
  BtnStart->setObjectName("BtnStart");
  BtnErase = new QPushButton("Erase", bottom);
  BtnErase->setObjectName("BtnErase");
  BtnProgram = new QPushButton("Program", bottom);
  BtnProgram->setObjectName("BtnProgram");
  BtnCancel = new QPushButton("Cancel", bottom);
  BtnCancel->setObjectName("BtnCancel");
  for (QPushButton* b : {BtnStart, BtnErase, BtnProgram, BtnCancel}) {
    b->setAutoDefault(false);
    b->setMinimumWidth(80);
  }
  auto* buttons = new QHBoxLayout(bottom);
  buttons->setContentsMargins(8, 6, 8, 8);
  buttons->addWidget(BtnStart);
  buttons->addWidget(BtnErase);
  buttons->addWidget(BtnProgram);
  buttons->addStretch();
  buttons->addWidget(BtnCancel);

  connect(BtnStart, &QPushButton::clicked, this, &TFWUpdateDlg::BtnStartClick);
  connect(BtnErase, &QPushButton::clicked, this, &TFWUpdateDlg::BtnEraseClick);
  connect(BtnProgram, &QPushButton::clicked, this, &TFWUpdateDlg::BtnProgramClick);
  connect(BtnCancel, &QPushButton::clicked, this, &TFWUpdateDlg::BtnCancelClick);
  connect(SBtnSelFWFile, &QToolButton::clicked, this, &TFWUpdateDlg::SBtnSelFWFileClick);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(top);
  layout->addWidget(NB, 1);
  layout->addWidget(bottom);
  setFixedSize(417, 275);
}

bool TFWUpdateDlg::Execute(TKVXModCommProt* ModProt, const std::string& FileName, bool Direct) {
  ModProt_ = ModProt;
  FileName_.clear();
  LEditFWFile->clear();
  Direct_ = Direct;
  EraseTag_ = 0;
  CancelTag_ = 0;
  BtnCancel->setEnabled(true);
  BtnCancel->setText("Cancel");
  ProgressBar->hide();
  ErrLabelStartUpdate->hide();
  StatusInfoLabel->hide();
  SetTextColor(StatusInfoLabel, kGreen);
  ProgrammedText_.clear();
  for (int i = 0; i < fsStepCount; ++i) SetStepState(static_cast<TStep>(i), fssWaiting);

  // Only a lower-case ".s19" name is taken.
  if (ExtractFileExt(FileName) == ".s19" && RegularFileExists(FileName)) ShowFile(FileName);

  if (!ModProt_) return false;
  BtnStart->setVisible(!Direct_);
  BtnErase->setVisible(!Direct_);
  if (Direct_) {
    NB->setCurrentWidget(PageMain);
    BtnProgram->setEnabled(RegularFileExists(FileName_));
  } else {
    BtnStart->setEnabled(false);
    BtnErase->setEnabled(false);
    BtnProgram->setEnabled(false);
    NB->setCurrentWidget(PageKey);
    LBoxSecKeyInput->setCurrentRow(-1);
  }
  ExecModal(this);
  return true;
}

void TFWUpdateDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FocusIfPossible(Direct_ ? static_cast<QWidget*>(BtnProgram) : LBoxSecKeyInput);
}

bool TFWUpdateDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LBoxSecKeyInput && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods =
        key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier |
                            Qt::MetaModifier);
    // The security key: Ctrl+Shift+K.
    if (key->key() == Qt::Key_K && mods == (Qt::ControlModifier | Qt::ShiftModifier) &&
        !Running_ && ModProt_ && !Direct_) {
      BtnStart->setEnabled(true);
      NB->setCurrentWidget(PageMain);
      FocusIfPossible(BtnStart);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TFWUpdateDlg::BtnStartClick() {
  if (Running_ || !ModProt_) return;
  bool entered = false;
  {
    TStepRun run(this);
    BtnCancel->setEnabled(false);
    ErrLabelStartUpdate->hide();
    StatusInfoLabel->hide();
    SetStepState(fsStart, fssRunning);
    TBusyJob job(this, "Starting the bootloader");
    entered = ModProt_->BootloaderStep(0);
    BtnErase->setEnabled(entered);
    if (entered) CancelTag_ = 1;
  }
  SetStepState(fsStart, entered ? fssDone : fssFailed);
  StatusInfoLabel->hide();
  BtnCancel->setEnabled(true);
  BtnStart->setEnabled(!BtnErase->isEnabled());
  ErrLabelStartUpdate->setVisible(BtnStart->isEnabled());
  FocusIfPossible(BtnErase);
}

void TFWUpdateDlg::BtnEraseClick() {
  if (Running_ || !ModProt_) return;
  // A chosen file is checked before the flash is erased.
  if (!FileName_.empty() && !CheckFile(nullptr)) return;
  bool erased = false;
  {
    TStepRun run(this);
    BtnCancel->setEnabled(false);
    BtnErase->setEnabled(false);
    StatusInfoLabel->hide();
    SetStepState(fsErase, fssRunning);
    {
      TBusyJob job(this, "Erasing FLASH");
      erased = ModProt_->BootloaderStep(2);
    }
    SetStepState(fsErase, erased ? fssDone : fssFailed);
    if (erased) {
      EraseTag_ = 1;
      StatusInfoLabel->hide();
      BtnProgram->setEnabled(RegularFileExists(FileName_));
    } else {
      BtnErase->setEnabled(true);
      ShowStatus(kEraseFailedText, true);
    }
  }
  BtnCancel->setEnabled(true);
  if (erased) FocusIfPossible(BtnProgram);
}

void TFWUpdateDlg::BtnProgramClick() {
  if (Running_ || !ModProt_) return;
  if (Direct_) ProgramDirectMode();
  else ProgramStepMode();
}

bool TFWUpdateDlg::LeaveBootloader() {
  SetStepState(fsFinish, fssRunning);
  TBusyMode::Instance().Update("Leaving the bootloader", 0, 0);
  const bool left = ModProt_->BootloaderStep(1);
  SetStepState(fsFinish, left ? fssDone : fssFailed);
  if (left) CancelTag_ = 0;
  return left;
}

void TFWUpdateDlg::ProgramStepMode() {
  BtnProgram->setEnabled(false);
  StatusInfoLabel->hide();
  TS19Summary summary;
  // Program stays disabled until another file is chosen.
  if (!CheckFile(&summary)) return;
  {
    TStepRun run(this);
    BtnCancel->setEnabled(false);
    SetStepState(fsProgram, fssRunning);
    QString failure;
    std::optional<TBusyJob> job(std::in_place, this, "Preparing the programming");
    if (!ModProt_->BootloaderStep(3)) {
      failure = kPrepareFailedText;
      SetStepState(fsProgram, fssFailed);
    } else {
      ProgressBar->show();
      const bool sent = SendFile();
      ProgressBar->hide();
      SetStepState(fsProgram, sent ? fssDone : fssFailed);
      if (!sent) {
        failure = kTransferFailedText;
      } else if (LeaveBootloader()) {
        BtnCancel->setText("Finish");
      } else {
        failure = kChecksumErrorText;
      }
    }
    // The outcome shows once the step's progress is off the window.
    job.reset();
    if (!failure.isEmpty()) {
      BtnCancel->setText("Cancel");
      ShowStatus(failure, true);
      // The flash must be erased again before the next try.
      EraseTag_ = 0;
      SetStepState(fsErase, fssWaiting);
      BtnErase->setEnabled(true);
    } else {
      ProgrammedText_ = QString("%1 records, %2 bytes").arg(summary.Records).arg(summary.DataBytes);
      ShowStatus("Programmed: " + ProgrammedText_, false);
    }
  }
  BtnCancel->setEnabled(true);
  FocusIfPossible(BtnCancel);
}

void TFWUpdateDlg::ProgramDirectMode() {
  BtnProgram->setEnabled(false);
  ErrLabelStartUpdate->hide();
  StatusInfoLabel->hide();
  BtnCancel->setText("Cancel");
  TS19Summary summary;
  // Nothing was sent; Program waits for another file.
  if (!CheckFile(&summary)) return;
  for (int i = 0; i < fsStepCount; ++i) SetStepState(static_cast<TStep>(i), fssWaiting);
  bool succeeded = false;
  QStringList failures;
  {
    TStepRun run(this);
    BtnCancel->setEnabled(false);
    TBusyJob job(this, "Starting the bootloader");
    ShowStatus("starting!", false);
    SetStepState(fsStart, fssRunning);
    const bool entered = ModProt_->BootloaderStep(0);
    SetStepState(fsStart, entered ? fssDone : fssFailed);
    if (entered) {
      CancelTag_ = 1;
      ShowStatus("erasing!", false);
      SetStepState(fsErase, fssRunning);
      job.Progress("Erasing FLASH");
      const bool erased = ModProt_->BootloaderStep(2);
      SetStepState(fsErase, erased ? fssDone : fssFailed);
      bool prepared = false;
      bool sent = false;
      if (erased) {
        SetStepState(fsProgram, fssRunning);
        job.Progress("Preparing the programming");
        prepared = ModProt_->BootloaderStep(3);
      }
      if (prepared) {
        ShowStatus("programming!", false);
        ProgressBar->show();
        sent = SendFile();
        ProgressBar->hide();
        if (sent) ShowStatus("Ready!", false);
      }
      if (erased) SetStepState(fsProgram, sent ? fssDone : fssFailed);
      if (!erased) failures << kEraseFailedText;
      else if (!prepared) failures << kPrepareFailedText;
      else if (!sent) failures << kTransferFailedText;
      // Whatever erasing and programming gave, the module leaves its bootloader.
      if (!LeaveBootloader()) failures << (sent ? kChecksumErrorText : kLeaveFailedText);
      succeeded = failures.isEmpty();
    }
  }
  if (!failures.isEmpty()) {
    ShowStatus(failures.join(' '), true);
  } else if (!succeeded) {
    StatusInfoLabel->hide();
    ErrLabelStartUpdate->show();
  }
  if (!succeeded) {
    BtnCancel->setEnabled(true);
    BtnProgram->setEnabled(true);
    FocusIfPossible(BtnProgram);
    return;
  }
  ProgrammedText_ = QString("%1 records, %2 bytes").arg(summary.Records).arg(summary.DataBytes);
  StatusInfoLabel->hide();
  accept();
}

void TFWUpdateDlg::BtnCancelClick() {
  if (Running_) return;
  if (CancelTag_ == 1 && ModProt_) {
    TStepRun run(this);
    TBusyJob job(this, "Leaving the bootloader");
    LeaveBootloader();
  }
  QDialog::reject();
}

void TFWUpdateDlg::reject() {
  if (Running_) return;
  BtnCancelClick();
}

void TFWUpdateDlg::SBtnSelFWFileClick() {
  if (Running_) return;
  TFileDialogOptions o;
  o.Kind = fdkOpen;
  o.Filter = "Firmware - Files (*.s19);;All (*)";
  o.DefaultSuffix = "s19";
  o.InitialDir = StartFolder(ExtractFilePath(FileName_));
  o.Parent = this;
  std::string name;
  if (!ExecFileDialog(o, name)) return;
  if (!RegularFileExists(name)) {
    LEditFWFile->clear();
    FileName_.clear();
    return;
  }
  std::string reason;
  if (!TKVXModCommProt::CheckFirmwareFile(name, &reason)) {
    LEditFWFile->clear();
    FileName_.clear();
    BtnProgram->setEnabled(false);
    ShowFileInvalid(reason);
    return;
  }
  StatusInfoLabel->hide();
  ShowFile(name);
  BtnProgram->setEnabled(EraseTag_ == 1 || Direct_);
  FocusIfPossible(BtnProgram);
}

bool TFWUpdateDlg::CheckFile(TS19Summary* Summary) {
  std::string text, reason;
  if (LoadFileBytes(FileName_, text, &reason) == flrOk) {
    int line = 0;
    const TS19Check check = CheckS19Text(text, &line, Summary);
    if (check == TS19Check::Ok) return true;
    reason = S19CheckText(check, line);
  }
  ShowFileInvalid(reason);
  return false;
}

void TFWUpdateDlg::ShowFileInvalid(const std::string& Reason) {
  // The reason as a sentence of its own: "Line 3: a record after the end record".
  QString reason = FileNameFromBytes(Reason);
  if (!reason.isEmpty()) reason[0] = reason[0].toUpper();
  ShowStatus(QString(kFileInvalidText) + " " + reason + ".", true);
}

void TFWUpdateDlg::ShowStatus(const QString& Text, bool Failed) {
  SetTextColor(StatusInfoLabel, Failed ? kRed : kGreen);
  StatusInfoLabel->setText(Text);
  StatusInfoLabel->show();
  // Seen at once while a step runs.
  TBusyMode::Instance().Pump(true);
}

void TFWUpdateDlg::SetStepState(TStep Step, TStepState State) {
  StepStates_[Step] = State;
  QLabel* label = StepLabels[Step];
  const QString text = QString("%1: %2").arg(kStepNames[Step], kStateNames[State]);
  label->setText(text);
  label->setAccessibleName(text);
  SetTextColor(label, State == fssDone ? kGreen : State == fssFailed ? kRed : State == fssRunning ? kBlue : kGrey);
  TBusyMode::Instance().Pump(true);
}

void TFWUpdateDlg::BusyShow(const QString& Text, qint64 Position, qint64 Max, bool) {
  // Once begun, no step of an update can be stopped: the window says so instead of offering a
  // Cancel that could not keep its word.
  SetTextColor(StatusInfoLabel, kGreen);
  StatusInfoLabel->setText(Text + " - cannot be stopped");
  StatusInfoLabel->show();
  if (!Transferring_ && Max > 0) {
    ProgressBar->setRange(0, static_cast<int>(std::min<qint64>(Max, INT_MAX)));
    ProgressBar->setValue(static_cast<int>(std::min(Position, Max)));
  }
}

void TFWUpdateDlg::ShowFile(const std::string& Name) {
  FileName_ = Name;
  LEditFWFile->setText(FileNameFromBytes(Name));
  LEditFWFile->setCursorPosition(static_cast<int>(LEditFWFile->text().size()));
}

bool TFWUpdateDlg::SendFile() {
  ProgressBar->setValue(0);
  TBusyMode::Instance().Update("Sending the firmware", 0, 0);
  Transferring_ = true;
  const bool sent = ModProt_->SendFirmwareFile(FileName_, [&](std::int64_t Position, std::int64_t Max) {
    if (Position == 0) {
      ProgressDivisor_ = Max / INT_MAX + 1;
      ProgressBar->setRange(0, static_cast<int>(Max / ProgressDivisor_));
    }
    ProgressBar->setValue(static_cast<int>(Position / ProgressDivisor_));
    // The window stays painted (the busy mode keeps its input from the steps meanwhile).
    TBusyMode::Instance().Pump(Position == Max);
  });
  Transferring_ = false;
  return sent;
}

void TFWUpdateDlg::FocusIfPossible(QWidget* W) {
  if (W && W->isVisible() && W->isEnabled()) W->setFocus();
}

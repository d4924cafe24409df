// Every control, action, component event and protocol event of the main window wired to its
// handler. Handlers that run for the user go through Guard, so no exception leaves Qt's handlers.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextEdit>

#include "app/KVX7MainForm.h"
#include "app/osDropDownCombo.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "services/osApplOptions.h"
#include "services/osBusyMode.h"
#include "services/osDialogHooks.h"
#include "services/osPasswordDialogs.h"
#include "views/osDRUVMonitor.h"
#include "views/osDRUVScope.h"

namespace {

// Clicks, double clicks and keys of the analog-input edits.
class AnalogEditFilter : public QObject {
 public:
  AnalogEditFilter(TKVXMainForm* form, TLabeledEdit* edit) : QObject(edit->Edit), form_(form), edit_(edit) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      // The press goes on to the edit, which places the caret where the user clicked.
      form_->GuardCommand([this] { form_->LEditAnaInputsClick(edit_); });
      return false;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
      form_->GuardCommand([this] { form_->LEditAnaInputsDlbClick(edit_); });
      return true;
    }
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      bool taken = true;
      form_->GuardCommand([&] {
        taken = form_->LEditAnaInputsKeyPress(edit_, key->key(), key->text(), key->modifiers());
      });
      return taken;
    }
    return false;
  }

 private:
  TKVXMainForm* form_;
  TLabeledEdit* edit_;
};

// Keys typed into the customer page's limit boxes.
class LimitKeyFilter : public QObject {
 public:
  LimitKeyFilter(TKVXMainForm* form, QObject* parent) : QObject(parent), form_(form) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    bool discard = false;
    form_->Guard([&] { discard = form_->CBChCustKeyPress(key->key(), key->text()); });
    return discard;
  }

 private:
  TKVXMainForm* form_;
};

bool IsInside(QWidget* w, QWidget* container) {
  return w && container && (w == container || container->isAncestorOf(w));
}

}  // namespace

void TKVXMainForm::ConnectHandlers() {
  // No command of the window starts while long work runs: the user's input is held off by the
  // busy mode, and a command triggered meanwhile by any other way (a screen reader's action, a
  // value set by a program) does nothing either: GuardCommand refuses it and puts its control
  // back.
  auto on = [this](QAction* a, void (TKVXMainForm::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { GuardCommand([this, handler] { (this->*handler)(); }); });
  };
  auto click = [this](QPushButton* b, void (TKVXMainForm::*handler)()) {
    connect(b, &QPushButton::clicked, this, [this, handler] { GuardCommand([this, handler] { (this->*handler)(); }); });
  };
  // A check box reacts to every change but the window's own (made with its signals blocked): a
  // screen reader's toggle changes it without a click. Refused, it shows its old state again.
  auto toggled = [this](QCheckBox* box, std::function<void()> handler) {
    connect(box, &QCheckBox::toggled, this, [this, box, handler](bool checked) {
      GuardCommand(handler, [box, checked] {
        const QSignalBlocker block(box);
        box->setChecked(!checked);
      });
    });
  };

  // Tool bar and actions. The port box shows the port in use again when its choice is refused.
  static_cast<TDropDownCombo*>(CBoxPortSel)->OnDropDown = [this] { GuardCommand([this] { CBoxPortSelDropDown(); }); };
  connect(CBoxPortSel, &QComboBox::activated, this, [this] {
    GuardCommand([this] { CBoxPortSelChange(); }, [this] {
      const QSignalBlocker block(CBoxPortSel);
      CBoxPortSel->setCurrentIndex(CBoxPortSel->findText(FileNameFromBytes(KVXModProt->PortName())));
    });
  });
  connect(CBoxOffsetTime, &QComboBox::activated, this, [this, last = CBoxOffsetTime->currentIndex()](int index) mutable {
    GuardCommand([this, &last, index] { last = index; CBoxPortSelChange(); }, [this, &last] {
      const QSignalBlocker block(CBoxOffsetTime);
      CBoxOffsetTime->setCurrentIndex(last);
    });
  });
  on(ConnectAct, &TKVXMainForm::ConnectActExecute);
  on(IdentifyAct, &TKVXMainForm::IdentifyActExecute);
  on(ShowParamlistAct, &TKVXMainForm::ShowParamlistActExecute);
  on(ShowMonitorAct, &TKVXMainForm::ShowMonitorActExecute);
  on(ShowScopeAct, &TKVXMainForm::ShowScopeActExecute);
  on(ShowTerminalAct, &TKVXMainForm::ShowTerminalActExecute);
  on(ClearTerminalAct, &TKVXMainForm::ClearTerminalActExecute);
  on(OpenTerminalAct, &TKVXMainForm::OpenTerminalActExecute);
  on(SaveTerminalAct, &TKVXMainForm::SaveTerminalActExecute);
  on(PrintAct, &TKVXMainForm::PrintActExecute);
  on(PasswordAct, &TKVXMainForm::PasswordActExecute);
  on(SettingsAct, &TKVXMainForm::SettingsActExecute);
  connect(NbMain, &QStackedWidget::currentChanged, this, [this] { Guard([this] { NbMainPageChanged(); }); });

  // Menus.
  connect(MMFile, &QMenu::aboutToShow, this, [this] { Guard([this] { MMFileClick(); }); });
  on(MMILoadOfflineCmdList, &TKVXMainForm::MMILoadOfflineCmdListClick);
  on(MMISaveCmdList, &TKVXMainForm::MMISaveCmdListClick);
  on(MMIViewKVXFile, &TKVXMainForm::MMIViewKVXFileClick);
  on(MMIPrint, &TKVXMainForm::PrintActExecute);
  on(MMIClose, &TKVXMainForm::MMICloseClick);
  on(MMICut, &TKVXMainForm::MMICutClick);
  on(MMICopy, &TKVXMainForm::MMICopyClick);
  on(MMIPaste, &TKVXMainForm::MMIPasteClick);
  on(MMISettings, &TKVXMainForm::MMISettingsClick);
  // The item checks itself before its handler runs: refused, it shows the module's mode again.
  connect(MMIFirmwareUpd, &QAction::triggered, this, [this] {
    GuardCommand([this] { MMIFirmwareUpdClick(); },
                 [this] { MMIFirmwareUpd->setChecked(KVXModProt->GetBootloaderActive()); });
  });
  on(MMISendFirmware, &TKVXMainForm::MMISendFirmwareClick);
  on(MMIFWUAss, &TKVXMainForm::MMIFWUAssClick);
  on(MMIInfo, &TKVXMainForm::MMIInfoClick);
  connect(MMIManual, &QAction::triggered, this, [this] { GuardCommand([this] { ShowManual("Manual_DE.pdf"); }); });
  connect(ManualEnglish1, &QAction::triggered, this, [this] { GuardCommand([this] { ShowManual("Manual_EN.pdf"); }); });

  // Parameter and terminal pages.
  for (int i = 0; i < 8; ++i)
    connect(ModeButtons[i], &QPushButton::clicked, this, [this, i] { GuardCommand([this, i] { ModeButtonClick(i); }); });
  click(MODE_ALL, &TKVXMainForm::MODE_ALLClick);
  for (QPushButton* b : {BtnDefault, BtnDefault2}) click(b, &TKVXMainForm::BtnDefaultClick);
  for (QPushButton* b : {BtnSave, BtnSave2}) click(b, &TKVXMainForm::BtnSaveClick);
  for (QPushButton* b : {BtnLoadBack, BtnLoadBack2}) click(b, &TKVXMainForm::BtnLoadBackClick);
  for (QPushButton* b : {BBtnUpload, BBtnUpload2}) click(b, &TKVXMainForm::BBtnUploadClick);
  for (QPushButton* b : {BBtnDownload, BBtnDownload2}) click(b, &TKVXMainForm::BBtnDownloadClick);

  // Monitor page: remote control. Only a user's change writes to the module.
  toggled(CBoxRemoteCtrlEnable, [this] { CBoxRemoteCtrlEnableClick(); });
  for (QCheckBox* box : CBDInp) toggled(box, [this, box] { CBoxDigitalIOClick(box); });
  for (TLabeledEdit& e : LEditPinX) {
    e.Edit->installEventFilter(new AnalogEditFilter(this, &e));
    // A text set past the keys (a screen reader's) while long work runs is refused.
    connect(e.Edit, &QLineEdit::textChanged, this, [this, &e] {
      GuardCommand([] {}, [&e] {
        const QSignalBlocker block(e.Edit);
        e.Edit->setText(e.Held);
      });
    });
  }
  // A refused move puts the track bar back on the active edit's value as the program holds it
  // (with no edit active, where it stood).
  connect(TBarAnaInputs, &QSlider::valueChanged, this, [this, last = TBarAnaInputs->value()](int value) mutable {
    GuardCommand([this, &last, value] { last = value; TBarAnaInputsChange(); }, [this, &last] {
      const QSignalBlocker block(TBarAnaInputs);
      TBarAnaInputs->setValue(HeldAnalogPosition(last));
      last = TBarAnaInputs->value();
    });
  });
  // The group is left when the focus moves to another control of this window or the page goes
  // away; a message box or another program taking the focus meanwhile is no exit (the focus
  // comes back to the edit).
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    if (!IsInside(old, GBoxAnaInputs) || IsInside(now, GBoxAnaInputs)) return;
    // Refused, the edit is let go without sending: it shows the track bar's value again.
    if (now ? now->window() == this : !old->isVisible())
      GuardCommand([this] { GBoxAnaInputsExit(); }, [this] { GBoxAnaInputsExit(false); });
  });

  // Scope page. Combo boxes change on a choice from the list or when a typed text is finished.
  for (int i = 0; i < 4; ++i) {
    const int ch = i + 1;
    static_cast<TDropDownCombo*>(CBChSignal[i])->OnDropDown = [this, ch] { Guard([this, ch] { CBChSignalDropDown(ch, false); }); };
    static_cast<TDropDownCombo*>(CBChCustSignal[i])->OnDropDown = [this, ch] { Guard([this, ch] { CBChSignalDropDown(ch, true); }); };
    auto changed = [this](QComboBox* box, std::function<void()> handler) {
      connect(box, &QComboBox::activated, this, [this, handler] { Guard(handler); });
      // A typed text counts when it is finished, and only when the user did type: merely
      // leaving the box changes nothing.
      if (QLineEdit* edit = box->lineEdit())
        connect(edit, &QLineEdit::editingFinished, this, [this, edit, handler] {
          if (!edit->isModified()) return;
          edit->setModified(false);
          Guard(handler);
        });
    };
    changed(CBChSignal[i], [this, ch] { CBChSignalChange(ch); });
    changed(CBChCustSignal[i], [this, ch] { CBChCustSignalChange(ch); });
    changed(CBChScale[i], [this, ch] { CBChScaleChange(ch); });
    changed(CBChCustMin[i], [this, i] { CBChCustScaleChange(CBChCustMin[i]); });
    changed(CBChCustMax[i], [this, i] { CBChCustScaleChange(CBChCustMax[i]); });
    connect(CBChColor[i], &QComboBox::activated, this, [this, ch] { Guard([this, ch] { CBChColorChange(ch); }); });
    // The up-down and its edit hold one number; a change of either runs the position handler.
    connect(UDChaPos[i], &QSpinBox::valueChanged, this, [this, i, ch](int v) {
      LEChPos[i].Edit->setText(QString::number(v));
      Guard([this, ch] { LEChPosChange(ch); });
    });
    connect(LEChPos[i].Edit, &QLineEdit::textEdited, this, [this, i](const QString& t) {
      bool ok = false;
      const int v = t.toInt(&ok);
      if (ok && v >= UDChaPos[i]->minimum() && v <= UDChaPos[i]->maximum() && v != UDChaPos[i]->value())
        UDChaPos[i]->setValue(v);
    });
    // A text left unfinished ("-", out of range) shows the up-down's position again.
    connect(LEChPos[i].Edit, &QLineEdit::editingFinished, this, [this, i, ch] {
      Guard([this, i, ch] {
        if (LEChPos[i].Edit->text() != QString::number(UDChaPos[i]->value())) LEChPosChange(ch);
        if (ch == 1) LECh1PosExit();
      });
    });
    // The limit boxes take only what makes a number.
    for (QComboBox* limit : {CBChCustMin[i], CBChCustMax[i]})
      limit->lineEdit()->installEventFilter(new LimitKeyFilter(this, limit->lineEdit()));
  }
  for (QComboBox* limit : CBChCustMin)
    static_cast<TDropDownCombo*>(limit)->OnDropDown = [limit] { limit->setMaxVisibleItems(limit->count()); };
  for (QComboBox* limit : CBChCustMax)
    static_cast<TDropDownCombo*>(limit)->OnDropDown = [limit] { limit->setMaxVisibleItems(limit->count()); };
  connect(CBCustTimeScale, &QComboBox::activated, this, [this] { Guard([this] { CBCustTimeScaleChange(); }); });
  connect(CBCustTimeScale->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    if (!CBCustTimeScale->lineEdit()->isModified()) return;
    CBCustTimeScale->lineEdit()->setModified(false);
    Guard([this] { CBCustTimeScaleChange(); });
  });
  click(BtnStart, &TKVXMainForm::BtnStartClick);
  click(BtnStop, &TKVXMainForm::BtnStopClick);
  click(SaveToFileButton, &TKVXMainForm::SaveToFileButtonClick);
  connect(PBoxScope, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { PMScope->popup(PBoxScope->mapToGlobal(pos)); });
  on(PMIScopeCursor, &TKVXMainForm::PMIScopeCursorClick);
  on(PMICopyScopeDsp, &TKVXMainForm::PMICopyScopeDspClick);

  // Component events.
  KVXScope->OnProcessDataChanged = [this](TObject* s, const TStringList& p) { KVXScopeProcessDataChanged(s, p); };
  KVXScope->OnCursorPosChanged = [this](TObject* s, const TCursorInfo& i) { KVXScopeCursorPosChanged(s, i); };
  KVXScope->OnScopeData = [this](TASCIIProcDataObj* c1, TASCIIProcDataObj* c2, TASCIIProcDataObj* c3,
                                 TASCIIProcDataObj* c4) { KVXScopeScopeData(c1, c2, c3, c4); };
  KVXMonitor->OnStatusInfoStrucInit = [this](TObject* s, TModStatusInfoData* d) { KVXMonitorStatusInfoStrucInit(s, d); };
  KVXMonitor->OnNewStatusInfo = [this](TObject* s, std::uint16_t st) { KVXMonitorNewStatusInfo(s, st); };
  KVXModProt->OnInfoMsg = [this](TObject* s, TKVXCommProtMsgKind k, TModalResult& r) { KVXModProtInfoMsg(s, k, r); };
  KVXModProt->OnModIdSelRequest = [this](TObject* s, TStringList& l, int& i) { KVXModProtModIdSelRequest(s, l, i); };
  KVXModProt->OnParaDownloadError = [this](TObject* s, TStringList& l) { KVXModProtParaDownloadError(s, l); };
  KVXModProt->OnReadoutError = [this](TObject* s, const std::string& id, TStringList& l) { KVXModProtReadoutError(s, id, l); };
  KVXModProt->OnDigitalInputStateInfo = [this](TObject* s, std::uint8_t st) { KVXModProtDigitalInputStateInfo(s, st); };
  // A write whose parameter changes others reads the module again: that is long work too.
  KVXModProt->OnBusyCursor = [this](TObject*, bool busy) {
    if (busy)
      ProtJobs_.push_back(std::make_unique<TBusyJob>(BusyPanel, "Reading the module's parameters"));
    else if (!ProtJobs_.empty())
      ProtJobs_.pop_back();
  };
  KVXModProt->OnProgress = [this](TObject* s, TProgressStep step, int pos, int max, bool& stop) {
    KVXModProtProgress(s, step, pos, max, stop);
  };
  KVXModProt->OnRunAside = [](const std::function<void()>& work) { TBusyMode::Instance().RunAside(work); };
  KVXModProt->OnModuleLost = [this](TObject* s, TLineLossKind k, const std::string& r) {
    Guard([&] { KVXModProtModuleLost(s, k, r); });
  };
  PasswordDlg->OnPasswordCheckReq = [this](TObject* s, const std::string& pw, bool& ok) { PasswordDlgPasswordCheckReq(s, pw, ok); };
  ApplOpt->OnOptionStateChanged = [this](TObject* s, const std::string& n, int i, int id) { ApplOptOptionStateChanged(s, n, i, id); };

  // Space restarts a stopped poll; the filter takes it only in that state.
  qApp->installEventFilter(this);
}

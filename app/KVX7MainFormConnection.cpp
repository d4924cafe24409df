// The port box, connecting and disconnecting, identification, and the window states that go
// with them (not connected, connected, identified, firmware update).
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolButton>

#include "app/KVX7MainForm.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplInfo.h"
#include "services/osBusyMode.h"
#include "services/osDialogHooks.h"
#include "views/osDRUVScope.h"

QIcon ConnectGlyph(bool Connected);

namespace {

// The next word of a help text, up to and including its blank, taken off the front. A last word
// without a blank after it is no word.
std::string TakeWord(std::string& Text) {
  const std::size_t blank = Text.find(' ');
  if (blank == std::string::npos) return {};
  std::string word = Text.substr(0, blank + 1);
  Text.erase(0, blank + 1);
  return word;
}

}  // namespace

void TKVXMainForm::FillPortBox(const std::vector<std::string>& Ports) {
  const QString current = CBoxPortSel->currentIndex() >= 0 ? CBoxPortSel->currentText() : QString();
  const QSignalBlocker block(CBoxPortSel);
  CBoxPortSel->clear();
  for (const std::string& p : Ports) CBoxPortSel->addItem(FileNameFromBytes(p));
  CBoxPortSel->setCurrentIndex(current.isEmpty() ? -1 : CBoxPortSel->findText(current));
}

void TKVXMainForm::CBoxPortSelDropDown() {
  ApplInfo->SystemInfo()->UpdateSerialCommPorts();
  FillPortBox(ApplInfo->SystemInfo()->SerialCommPorts());
}

void TKVXMainForm::CBoxPortSelChange() { ApplyPortSelection(); }

void TKVXMainForm::ApplyPortSelection() {
  // The switch comes first and the setting after it: a settings file that refuses the name must
  // not leave the box on one port and the protocol on another.
  const std::string name =
      CBoxPortSel->currentIndex() >= 0 ? FileNameToBytes(CBoxPortSel->currentText()) : std::string();
  if (!name.empty() && name != KVXModProt->PortName()) {
    // The port opens on Connect; a failure here has nothing to tell yet.
    try {
      KVXModProt->SetPortOpen(false);
    } catch (...) {
    }
    try {
      KVXModProt->SetPortName(name);
    } catch (...) {
    }
    SetPanel(0, PortClosedText);
    SetPanel(1, "Port: " + FileNameShownText(KVXModProt->PortName()));
    ConnectTag = 0;
    ConnectAct->setIcon(ConnectGlyph(false));
  }
  KVXModProt->SetAutoSetBaudrate(KVX7OptionsDlg->GetAutoSetBR());
  KVXModProt->SetAutoBaudrate(KVX7OptionsDlg->GetAutoBR());
  KVXModProt->SetAutoBaudDetection(KVX7OptionsDlg->GetAutoBRDetection());
  KVXModProt->SetFixBaudrate(KVX7OptionsDlg->GetFixBR());
  KVXModProt->SetTransferMode(KVX7OptionsDlg->GetTranferMode());
  // Only a change is written, so the settings dialog's OK (which stored the port already) and a
  // second choice of the same port cost no write.
  if (!name.empty() && name == KVXModProt->PortName() && KVX7OptionsDlg->GetPort() != name)
    KVX7OptionsDlg->SetPort(name);
}

void TKVXMainForm::ResetInputCaptions() {
  static const char* const pins[8] = {"PIN 8", "PIN 7", "PIN 5", "PIN 6", "PIN 13", "PIN 14", "PIN 15", "not used"};
  for (int i = 0; i < 8; ++i) CBDInp[i]->setText(pins[i]);
  NameControlsByCaption();
  LabelParameterView->setEnabled(false);
  PasswordAct->setEnabled(false);
}

void TKVXMainForm::ConnectActExecute() {
  // Messages show without the hourglass.
  ResetInputCaptions();
  if (CBoxPortSel->currentIndex() < 0) {
    AdvMessageDlg("No valid com-port selected!", mtError, {mbOK}, 0);
    return;
  }
  const QString port = FileNameShownText(KVXModProt->PortName());
  if (ConnectTag != 0) {
    TBusyJob job(BusyPanel, "Closing the port \"" + port + "\"");
    StopScopeTimer();
    KVXModProt->ResetModuleData();
    SetConnectedState(false);
    return;
  }
  CheckFtdiLatencyTimer(KVXModProt->PortName());
  bool connected = false;
  {
    TBusyJob job(BusyPanel, "Connecting to the port \"" + port + "\"");
    connected = KVXModProt->Connect();
    // A detection that found nobody leaves the port open: the window says "port closed", so
    // the device is let go as well.
    if (!connected) KVXModProt->ResetModuleData();
    SetConnectedState(connected);
  }
  if (!connected) ReportConnectFailure();
}

void TKVXMainForm::ReportConnectFailure() {
  std::string reason = KVXModProt->LastConnectError();
  if (reason.empty()) reason = "no module answers";
  AdvMessageDlg("Could not connect to the port \"" + FileNameShown(KVXModProt->PortName()) +
                    "\": " + reason + ".",
                mtError, {mbOK}, 0);
}

void TKVXMainForm::SetConnectedState(bool Connected) {
  NbMain->setCurrentIndex(0);
  ConnectTag = Connected ? 1 : 0;
  SetPanel(0, Connected ? PortOpenText : PortClosedText);
  SetPanel(3, Connected ? ModBaudrateNames[KVXModProt->BaudRate()] : "");
  ConnectAct->setIcon(ConnectGlyph(Connected));
  ShowMonitorAct->setEnabled(false);
  ShowScopeAct->setEnabled(false);
  PrintAct->setEnabled(false);
  ShowTerminalAct->setEnabled(Connected);
  SetPanel(2, TransferModeNames[KVXModProt->TransferMode()]);
  SetPanel(4, QString());
  CBoxPortSel->setEnabled(!Connected);
  KVX7OptionsDlg->SetInterfaceEditable(Connected ? false : !KVXModProt->GetBootloaderActive());
  MMILoadOfflineCmdList->setEnabled(!Connected);
  MMISaveCmdList->setEnabled(KVXModProt->ModuleLoaded());
  UpdateModuleCommands();
}

void TKVXMainForm::UpdateModuleCommands() {
  // The firmware menu's switch (the classic mode) or the assistant's run: the bootloader takes
  // no application command.
  const bool boot = KVXModProt->GetBootloaderActive() || FirmwareState_;
  // After the bootloader the application is known to run again only once it was identified.
  const bool application = !boot && !AfterBootloader_;
  // The controls of a module: its data (also offline), and what talks to it on the line.
  const bool identified = KVXModProt->ModuleLoaded() && !boot;
  const bool online = identified && ConnectTag != 0 && KVXModProt->PortOpen();
  IdentifyAct->setEnabled(ConnectTag != 0 && !boot);
  for (QPushButton* b : {BtnDefault, BtnDefault2, BtnSave, BtnSave2, BtnLoadBack, BtnLoadBack2,
                         BBtnDownload, BBtnDownload2})
    b->setEnabled(application);
  for (QPushButton* b : ModeButtons) b->setEnabled(online);
  MODE_ALL->setEnabled(online);
  // Identification (and the monitor page) enable these again as the module allows.
  if (!online) {
    LabelParameterView->setEnabled(false);
    PasswordAct->setEnabled(false);
    CBoxRemoteCtrlEnable->setEnabled(false);
    for (QCheckBox* box : CBDInp) box->setEnabled(false);
    for (TLabeledEdit& e : LEditPinX) e.Edit->setEnabled(false);
    TBarAnaInputs->setEnabled(false);
  }
  if (!identified) {
    ShowMonitorAct->setEnabled(false);
    ShowScopeAct->setEnabled(false);
    if (PageIndex() == 0) PrintAct->setEnabled(false);
  }
  MMISaveCmdList->setEnabled(KVXModProt->ModuleLoaded());
  UpdateUploadButtons();
}

void TKVXMainForm::ShowNoModule() {
  SetPanel(4, QString());
  // The monitor and the scope have nothing to show any more.
  if (PageIndex() == 1 || PageIndex() == 2) ShowPage(0);
  UpdateModuleCommands();
}

void TKVXMainForm::SetFirmwareUpdateState(bool Active, bool SelectTerminal, bool ShowStatusText) {
  FirmwareState_ = Active;
  ConnectAct->setEnabled(!Active);
  if (Active) {
    ConnectTag = 1;
    SetPanel(0, PortOpenText);
    SetPanel(4, ShowStatusText ? "Firmware update!!!" : "");
    ConnectAct->setIcon(ConnectGlyph(true));
    ShowMonitorAct->setEnabled(false);
    ShowScopeAct->setEnabled(false);
    if (SelectTerminal) ShowPage(3);
    KVX7OptionsDlg->SetInterfaceEditable(false);
  } else {
    SetPanel(4, QString());
    // The port's real state decides, whatever the firmware step left behind.
    const bool open = KVXModProt->PortOpen();
    ConnectTag = open ? 1 : 0;
    SetPanel(0, open ? PortOpenText : PortClosedText);
    ConnectAct->setIcon(ConnectGlyph(open));
  }
  SetPanel(3, ModBaudrateNames[KVXModProt->BaudRate()]);
  // The port's line settings may change only while it is closed.
  const bool portFree = !Active && ConnectTag == 0;
  CBoxPortSel->setEnabled(portFree);
  KVX7OptionsDlg->SetInterfaceEditable(portFree && !KVXModProt->GetBootloaderActive());
  ShowParamlistAct->setEnabled(!Active && PageIndex() != 0);
  ShowTerminalAct->setEnabled(!Active && PageIndex() != 3);
  UpdateModuleCommands();
}

void TKVXMainForm::IdentifyActExecute() {
  std::string id;
  // A new identification makes the result of the work before it old news.
  ShowJobResult(QString());
  {
    TBusyJob job(BusyPanel, "Identifying the module", true);
    LastPosition_ = -1;
    if (!KVXModProt->IdentifyModule(id)) {
      // Nothing of the module is left: the window is as before any identification.
      ShowNoModule();
      const QString count = ProgressCount(pgsReadParameters);
      if (KVXModProt->LastStopped())
        ShowJobResult(count.isEmpty() ? QString("Identify stopped")
                                      : "Identify stopped after " + count + " parameters");
      else if (EndIfLineLost())
        ;  // the lost line is the one thing said
      else if (KVXModProt->LastIdentifyUnanswered())
        // Said without a message: a module that is off, still starting, or at another rate.
        ShowJobResult("no answer from the module on " + FileNameFromBytes(KVXModProt->PortName()));
      else
        ShowJobResult("Identify failed");
      return;
    }
    AfterBootloader_ = false;
    UpdateModuleCommands();
    SetPanel(4, FromAnsi(id));
    ShowMonitorAct->setEnabled(true);
    ShowScopeAct->setEnabled(true);
    SetupAnalogInputs();
    PasswordAct->setEnabled(KVXModProt->QueryPasswordSupport());
    PrintAct->setEnabled(PageIndex() == 0);
    GBoxDigInputs->setTitle("Digital Inputs / Outputs");
  }

  if (ModeHelpText.size() > 3) {
    if (ModeHelpText.find("SYSTEM") == std::string::npos) {
      for (QPushButton* b : ModeButtons) b->setVisible(false);
      MODE_ALL->setVisible(false);
    } else {
      LabelParameterView->setEnabled(true);
      GBoxDigInputs->setTitle(ModeHelpText.find("START_UP") != std::string::npos
                                  ? "Digital Inputs / Outputs                          ACA (Automatic Commissioning Assistant)"
                                  : "Digital Inputs / Outputs");
      for (QPushButton* b : ModeButtons) {
        const std::string word = TakeWord(ModeHelpText);
        b->setVisible(!word.empty());
        b->setText(FromAnsi(word));
      }
    }
  }
  if (RCMHelpText.size() > 3) {
    for (int i = 0; i < 4; ++i) LEditPinX[i].EditLabel->setText(FromAnsi(TakeWord(RCMHelpText)));
    LEditPinX[4].EditLabel->setText(FromAnsi(RCMHelpText));
  }
  if (RCSHelpText.size() > 3) {
    for (int i = 0; i < 7; ++i) CBDInp[i]->setText(FromAnsi(TakeWord(RCSHelpText)));
    CBDInp[7]->setText(FromAnsi(RCSHelpText));
  }
  NameControlsByCaption();
}

void TKVXMainForm::KVXModProtModuleLost(TObject*, TLineLossKind Kind, const std::string& Reason) {
  const std::string port = FileNameShown(KVXModProt->PortName());
  std::string text;
  if (Kind == llkHangUp) {
    ModuleLost(Reason);
    text = "The connection to the module on the port \"" + port + "\" was lost: " + Reason +
           ". The port is closed; connect again when the module is back.";
  } else {
    // The port stays open: Space polls again once the module answers.
    text = "The module on the port \"" + port + "\" does not answer: polling stopped. Press Space "
           "to poll again when it answers.";
  }
  // Shown once the protocol's call has returned, so no poll waits behind the message, and not
  // in the middle of long work.
  QMetaObject::invokeMethod(
      this,
      [this, text] {
        TBusyMode::Instance().WhenIdle(this, [this, text] { Guard([&text] { AdvMessageDlg(text, mtError, {mbOK}, 0); }); });
      },
      Qt::QueuedConnection);
}

void TKVXMainForm::WatchLine() {
  // Only a look at the device, nothing is sent: no traffic, no load. Long work on the line finds
  // out itself when the line has gone; so does the firmware assistant, which owns the port while
  // it runs (the firmware state without the terminal-driven bootloader).
  if (TBusyMode::Instance().Active()) return;
  if (FirmwareState_ && !KVXModProt->GetBootloaderActive()) return;
  if (ConnectTag != 0 && KVXModProt->PortOpen() && KVXModProt->LineHungUp())
    KVXModProt->ReportPollStop();
}

void TKVXMainForm::ModuleLost(const std::string&) {
  StopScopeTimer(false);
  KVXScope->SetRunScope(false);
  ResetInputCaptions();
  KVXModProt->ResetModuleData();
  // The terminal-driven bootloader ended with its line.
  if (MMIFirmwareUpd->isChecked()) {
    MMIFirmwareUpd->setChecked(false);
    MMISendFirmware->setEnabled(false);
    SetFirmwareUpdateState(false, false, false);
  }
  SetConnectedState(false);
}

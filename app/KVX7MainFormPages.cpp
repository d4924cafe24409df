// The pages and the operating modes they put the module in, the scope's sample timer, the Space
// key that restarts a stopped poll, the settings actions, and the Upload buttons, which need a
// loaded module.
//
// Offline data (a module loaded from a file, the port closed) shows the monitor and the scope
// without polling: nothing on a closed port could answer.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextEdit>

#include "app/KVX7MainForm.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "platform/MMTimer.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplInfo.h"
#include "services/osApplOptions.h"
#include "services/osBusyMode.h"
#include "services/osDialogHooks.h"
#include "views/osDRUVParamList.h"
#include "views/osDRUVScope.h"

void TKVXMainForm::ShowPage(int Page) {
  if (NbMain->currentIndex() == Page)
    NbMainPageChanged();
  else
    NbMain->setCurrentIndex(Page);  // runs NbMainPageChanged
}

void TKVXMainForm::NbMainPageChanged() {
  const int page = PageIndex();
  if (page != 2) {
    // The kill waits for a running poll, so the line is free when it returns. Leaving the page
    // also stops the scope, so Start and Stop tell the truth.
    StopScopeTimer();
    KVXScope->SetRunScope(false);
  }
  auto terminalCommands = [this](bool on) {
    for (QAction* a : {ClearTerminalAct, SaveTerminalAct, OpenTerminalAct, MMISaveAs}) a->setEnabled(on);
    MMEdit->setEnabled(on);
  };
  auto scopeIdle = [this] {
    BtnStart->setEnabled(true);
    BtnStop->setEnabled(false);
  };
  const bool loaded = KVXModProt->ModuleLoaded();
  const bool online = KVXModProt->PortOpen();
  switch (page) {
    case 0:
      KVXModProt->SetOperatingMode(0);
      terminalCommands(false);
      PrintAct->setEnabled(loaded);
      scopeIdle();
      break;
    case 1:
      KVXModProt->SetOperatingMode(online ? 2 : 0);
      terminalCommands(false);
      PrintAct->setEnabled(false);
      UpdateRemoteCtrlState();
      scopeIdle();
      break;
    case 2:
      KVXModProt->SetOperatingMode(3);
      terminalCommands(false);
      PrintAct->setEnabled(true);
      if (online) StartScopeTimer();
      break;
    case 3:
      KVXModProt->SetOperatingMode(1);
      terminalCommands(true);
      PrintAct->setEnabled(true);
      if (!(KVXModProt->GetBootloaderActive() && KVXModProt->TransferMode() == tmHalfDuplex))
        KVXModProt->SendTerminalKey('\r');
      KVXTermEditor->setFocus();
      scopeIdle();
      break;
    default:
      KVXModProt->SetOperatingMode(0);
      break;
  }
  ShowParamlistAct->setEnabled(page != 0 && !KVXModProt->GetBootloaderActive());
  ShowMonitorAct->setEnabled(page != 1 && loaded);
  ShowScopeAct->setEnabled(page != 2 && loaded);
  ShowTerminalAct->setEnabled(page != 3);
  TCursorInfo info;
  KVXScope->GetCursorInfo(info);
  ShowCursorValues(info, KVXModProt->OperatingMode() == 3);
}

std::uint32_t TKVXMainForm::ScopePeriodMs() const {
  bool ok = false;
  int offset = CBoxOffsetTime->currentIndex() >= 0 ? CBoxOffsetTime->currentText().toInt(&ok) : 0;
  if (!ok) offset = 0;
  const int factor = std::max(1, ModBaudrates[std::min<int>(KVXModProt->BaudRate(), ModBaudrateCount - 1)] / 9600);
  const int k = KVXModProt->TransferMode() == tmHalfDuplex ? 120 : 60;
  return static_cast<std::uint32_t>(offset + k / factor);
}

void TKVXMainForm::StartScopeTimer() {
  StopScopeTimer();
  const std::uint32_t period = ScopePeriodMs();
  ScopeTimerFailCount = 0;
  // The first sample already takes the new period as its time step.
  KVXScope->SetDataSampleRate(period);
  ScopeTimerId = platform::timeSetEvent(
      period, 0, [this](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) { ScopeTimerProc(); },
      1);
}

void TKVXMainForm::StopScopeTimer(bool) {
  const std::uint32_t id = ScopeTimerId.exchange(0);
  if (id != 0) platform::timeKillEvent(id);
}

// On the timer's thread: no widget is touched here.
void TKVXMainForm::ScopeTimerProc() {
  const std::uint32_t id = ScopeTimerId.load();
  if (id == 0) return;
  KVXModProt->SetPollErrorState(0);
  if (KVXModProt->PollScopeData()) {
    ScopeTimerFailCount = 0;
  } else if (++ScopeTimerFailCount > 3) {
    // Only the stop that wins against a kill from the window thread is reported.
    std::uint32_t expected = id;
    if (!ScopeTimerId.compare_exchange_strong(expected, 0)) return;
    platform::timeKillEvent(id);
    KVXModProt->SetPollErrorState(2);
    // The report (and a hung-up line's release) happens on the window thread, unless the page
    // or the polling has changed meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this] {
          TBusyMode::Instance().WhenIdle(this, [this] {
            Guard([this] {
              if (ScopeTimerId == 0 && KVXModProt->OperatingMode() == 3 && KVXModProt->PollErrorState() == 2)
                KVXModProt->ReportPollStop();
            });
          });
        },
        Qt::QueuedConnection);
  }
}

bool TKVXMainForm::ApplicationEventsShortCut(int Key) {
  if (Key != Qt::Key_Space || KVXModProt->PollErrorState() == 0) return false;
  const int mode = KVXModProt->OperatingMode();
  const int state = KVXModProt->PollErrorState();
  if (!((mode == 2 && state == 1) || (mode == 3 && state == 2))) return false;
  switch (KVXModProt->CompareModuleId()) {
    case micSameModule:
      NbMainPageChanged();
      return true;
    case micNoAnswer:
      // Still silent: polling stays stopped and the next Space asks again. The key is taken, so
      // it presses no button besides.
      AdvMessageDlg("The module on the port \"" + FileNameShown(KVXModProt->PortName()) +
                        "\" still does not answer. Press Space again when it answers.",
                    mtInformation, {mbOK}, 0);
      return true;
    case micOtherModule:
      break;
  }
  AdvMessageDlg("The module ID has changed! Please press the button \"ID\"!", mtError, {mbOK}, 0);
  return false;
}

void TKVXMainForm::UpdateUploadButtons() {
  // Without a module there is nothing to read into a file.
  const bool loaded = KVXModProt->ModuleLoaded() && !KVXModProt->GetBootloaderActive() && !FirmwareState_;
  BBtnUpload->setEnabled(loaded);
  BBtnUpload2->setEnabled(loaded);
}

void TKVXMainForm::ShowParamlistActExecute() {
  ShowPage(0);
  TBusyJob job(BusyPanel, "Reading the module's parameters");
  KVXModProt->RefreshParameterList();
}

void TKVXMainForm::ShowMonitorActExecute() {
  if (!KVXModProt->ModuleLoaded()) {
    AdvMessageDlg("Befor running monitor, the module needed identified!", mtInformation, {mbOK}, 0);
    return;
  }
  ShowPage(1);
}

void TKVXMainForm::ShowScopeActExecute() {
  if (!KVXModProt->ModuleLoaded()) {
    AdvMessageDlg("Befor running oscilloscope, the module needed identified!", mtInformation, {mbOK}, 0);
    return;
  }
  ShowPage(2);
}

void TKVXMainForm::ShowTerminalActExecute() { ShowPage(3); }

void TKVXMainForm::SettingsActExecute() {
  if (!KVX7OptionsDlg->Execute()) return;
  ApplyScopeColors();
  FillPortBox(ApplInfo->SystemInfo()->SerialCommPorts());
  const int index = CBoxPortSel->findText(FileNameFromBytes(KVX7OptionsDlg->GetPort()));
  if (index >= 0) CBoxPortSel->setCurrentIndex(index);
  ApplyPortSelection();
  ApplyMonitorOptions();
  ApplyTableOptions();
  ApplyMenuOptions();
}

void TKVXMainForm::MMISettingsClick() {
  SettingsActExecute();
  SetAinUnitLetters(KVXParamList->AinCommandUI());
  KVXParamList->RefreshValues();
}

void TKVXMainForm::ApplOptOptionStateChanged(TObject*, const std::string& Name, int Index, int) {
  if (Name != "DRUV") return;
  if (TOptionItem* item = ApplOpt->Options().Items(Index)) KVX7OptionsDlg->SetShowDruvTab(item->Enabled);
}

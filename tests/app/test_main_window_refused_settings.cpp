// The main window with a settings file that refuses every write (a read-only folder or file, a
// full disk, a file the user made read-only): the start runs every step, the port switch follows the protocol and the firmware
// commands check the protocol's port, the settings dialog's OK applies every option, and each
// occasion tells the refusal once, naming the file and the reason. The file is read once per
// start, and a signal ends the program also while a message of the start is open.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <cerrno>
#include <sstream>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "platform/IniFile.h"
#include "views/osDRUVMonitor.h"
#include "views/osDRUVScope.h"

namespace mftest {
namespace {

class RefusedSettings : public MainFormFixture {
 protected:
  void SetUp() override {
    // Root may write anywhere: the refusal comes through the settings file's seam.
    platform::SetIniFileAccessHook([this](const std::string& name, bool write) {
      if (name != profile.IniPath()) return 0;
      if (!write) ++reads;
      return write && refuse ? EACCES : 0;
    });
  }
  void TearDown() override {
    MainFormFixture::TearDown();
    platform::SetIniFileAccessHook({});
  }
  int Refusals() const {
    int n = 0;
    for (const Message& m : messages.Shown)
      n += m.Type == mtError &&
           m.Text == "In " + profile.IniPath() + " kann nicht geschrieben werden: Permission denied";
    return n;
  }

  // As the user chooses: the box's signal, through the window's guard.
  void Choose(const std::string& name) {
    form->CBoxPortSelDropDown();
    const int index = form->CBoxPortSel->findText(QString::fromStdString(name));
    ASSERT_GE(index, 0) << name;
    form->CBoxPortSel->setCurrentIndex(index);
    emit form->CBoxPortSel->activated(index);
  }

  int reads = 0;
  bool refuse = true;
};

TEST_F(RefusedSettings, TheStartRunsEveryStepAndTellsTheRefusalOnce) {
  // Refused by the file system, then by a file the user made read-only in a writable folder.
  for (const bool readOnlyFile : {false, true}) {
    SCOPED_TRACE(readOnlyFile ? "read-only file" : "refused by the system");
    refuse = !readOnlyFile;
    const std::string ini = "[Interface]\nPort=ttyUSB9\nTranferMode=1\nFixBR=57600\n";
    profile.WriteIni(ini);
    ASSERT_EQ(::chmod(profile.IniPath().c_str(), readOnlyFile ? 0444 : 0644), 0);
    messages.Shown.clear();
    StartForm();
    EXPECT_EQ(form->windowTitle().toStdString().rfind("KVX7 7.0 - ", 0), 0u);
    EXPECT_FALSE(form->MMIViewKVXFile->isVisible());
    EXPECT_FALSE(form->MMIFirmwareUpd->isVisible());
    EXPECT_FALSE(form->IdentifyAct->isEnabled());
    EXPECT_FALSE(form->ShowMonitorAct->isEnabled());
    EXPECT_FALSE(form->ShowScopeAct->isEnabled());
    EXPECT_EQ(form->KVXModProt->TransferMode(), tmHalfDuplex);
    EXPECT_EQ(form->KVXModProt->FixBaudrate(), mb57600);
    EXPECT_EQ(form->PanelText(0).toStdString(), "port closed");
    EXPECT_EQ(Refusals(), 1);
    EXPECT_EQ(messages.Shown.size(), 1u);
    EXPECT_EQ(profile.ReadIni(), ini);
    form.reset();
  }
}

TEST_F(RefusedSettings, ThePortSwitchAndTheFirmwareCommandsFollowTheProtocol) {
  StartModule({.Rate = 9600});
  profile.PublishPort("spare", "/dev/null");
  const std::string ini = "[Interface]\nPort=spare\nFixBR=9600\n";
  profile.WriteIni(ini);
  StartForm();
  ASSERT_EQ(form->KVXModProt->PortName(), "spare");
  ASSERT_TRUE(messages.Shown.empty());

  Choose("modsim");
  EXPECT_EQ(form->KVXModProt->PortName(), "modsim");
  EXPECT_EQ(form->PanelText(1).toStdString(), "Port: modsim");
  EXPECT_EQ(form->KVX7OptionsDlg->GetPort(), "modsim");
  EXPECT_EQ(Refusals(), 1);
  Choose("modsim");  // the port in use again: nothing to write, nothing to tell
  EXPECT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(profile.ReadIni(), ini);

  // A box that shows another port than the protocol's starts no firmware update.
  messages.Shown.clear();
  form->CBoxPortSel->setCurrentIndex(form->CBoxPortSel->findText("spare"));
  dlgtest::ModalAnswer modal([](QDialog*) {});
  form->MMIFWUAss->trigger();
  form->MMIFirmwareUpd->trigger();
  EXPECT_EQ(modal.calls, 0);
  EXPECT_FALSE(form->KVXModProt->GetBootloaderActive());
  ASSERT_EQ(messages.Shown.size(), 2u);
  EXPECT_EQ(messages.Shown[0].Text, "No valid com-port selected!");
  EXPECT_EQ(messages.Shown[1].Text, "No valid com-port selected!");

  form->CBoxPortSel->setCurrentIndex(form->CBoxPortSel->findText("modsim"));
  form->ConnectActExecute();
  EXPECT_EQ(form->PanelText(0).toStdString(), "port open");
}

TEST_F(RefusedSettings, OkInTheSettingsDialogAppliesEveryOptionAndTellsTheRefusalOnce) {
  // Also: one read of the file for the whole run, whatever the window reads and writes.
  const std::string ini = "[Interface]\nPort=\n";
  profile.WriteIni(ini);
  StartForm();
  messages.Shown.clear();
  form->KVX7OptionsDlg->SetShowDruvTab(true);
  dlgtest::ModalAnswer ok([](QDialog* d) {
    auto* dlg = static_cast<TKVX7OptionsDlg*>(d);
    dlg->TransferModeButtons->button(tmHalfDuplex)->setChecked(true);
    dlg->CBoxCha4Color->SetSelected(0x123456);
    dlg->VisibleParaKindButtons->button(vpCustom)->setChecked(true);
    dlg->CBoxVisParCnt->setCurrentIndex(6);
    dlg->CBoxEnableKVXFileViewer->setChecked(true);
    dlg->CBoxFWUpdateViaTerminal->setChecked(true);
    d->accept();
  });
  form->SettingsAct->trigger();
  ASSERT_EQ(ok.calls, 1);
  EXPECT_EQ(form->KVXModProt->TransferMode(), tmHalfDuplex);
  EXPECT_EQ(form->KVXScope->Channel(4)->Color(), 0x123456u);
  EXPECT_EQ(form->KVXMonitor->VisibleParamKind(), vpCustom);
  EXPECT_EQ(form->KVXMonitor->VisibleParamCnt(), 7);
  EXPECT_TRUE(form->MMIViewKVXFile->isVisible());
  EXPECT_TRUE(form->MMIFirmwareUpd->isVisible());
  EXPECT_EQ(Refusals(), 1);
  EXPECT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(profile.ReadIni(), ini);
  EXPECT_EQ(reads, 1);
}

#ifdef KVX7_BINARY
// True once the process has its handler for the signal in place.
bool Catches(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) != 0) continue;
    unsigned long long mask = 0;
    std::istringstream(line.substr(7)) >> std::hex >> mask;
    return (mask >> (sig - 1)) & 1;
  }
  return false;
}

TEST(MainWindowProgram, ATerminateSignalEndsItWhileAMessageOfTheStartIsOpen) {
  for (const int sig : {SIGTERM, SIGINT}) {
    Profile profile;
    // A file where the settings folder should be: the start's write is refused, even for root,
    // and its message opens. The signal is handled only in an event loop, and before the main
    // loop runs that is the message's own.
    testutil::WriteFile(profile.Root() + "/DRUV", "not a folder");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      execl(KVX7_BINARY, KVX7_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    EXPECT_TRUE(WaitFor([&] { return Catches(pid, sig); }, 30000));
    kill(pid, sig);
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 30000);
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(ended) << "still running after signal " << sig;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}
#endif

}  // namespace
}  // namespace mftest

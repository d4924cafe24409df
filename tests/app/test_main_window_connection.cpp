// The main window against the simulated module: connecting with rate detection, identifying,
// the reasons of a failed connect, the port list, and a module that goes away while polled.
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTableWidget>
#include <functional>

#include "MainFormTestUtil.h"
#include "TestTempDir.h"
#include "model/FileTestUtil.h"
#include "protocol/osAdvTimer.h"

namespace {

using mftest::WaitFor;

class MainWindowConnection : public mftest::MainFormFixture {};

// While it lives the calling thread cannot pass by file permissions (root included), as a user
// outside the group "dialout" cannot.
class NoPermissionOverride {
 public:
  NoPermissionOverride() {
    syscall(SYS_capget, &hdr_, old_);
    __user_cap_data_struct now[2] = {old_[0], old_[1]};
    now[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    syscall(SYS_capset, &hdr_, now);
  }
  ~NoPermissionOverride() { syscall(SYS_capset, &hdr_, old_); }

 private:
  __user_cap_header_struct hdr_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct old_[2]{};
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(MainWindowConnection, DetectionFindsTheRateAndIdentificationFillsTheWindow) {
  StartWithDetection();
  EXPECT_EQ(form->PanelText(1), "Port: modsim");
  ConnectAndIdentify();
  EXPECT_EQ(form->PanelText(0), "port open");
  EXPECT_EQ(form->PanelText(2), "FDX");
  EXPECT_EQ(form->PanelText(3), "38.4 KBaud");
  EXPECT_EQ(form->PanelText(4), "KVX-SIM 1.20 2026 4711");
  EXPECT_GT(form->ParamGrid->rowCount(), 5);
  const char* words[6] = {"SYSTEM ", "IO_CONFIG ", "START_UP ", "POSITION ", "OUTPUT ", "P_STAGE "};
  for (int i = 0; i < 6; ++i) {
    EXPECT_FALSE(form->ModeButtons[i]->isHidden()) << i;
    EXPECT_EQ(form->ModeButtons[i]->text(), words[i]);
  }
  EXPECT_TRUE(form->ModeButtons[6]->isHidden());
  EXPECT_TRUE(form->ModeButtons[7]->isHidden());
  EXPECT_TRUE(form->MODE_ALL->isHidden());
  EXPECT_TRUE(form->GBoxDigInputs->title().endsWith("ACA (Automatic Commissioning Assistant)"));
  EXPECT_EQ(form->CBDInp[0]->text(), "Enable ");
  EXPECT_EQ(form->CBDInp[7]->text(), "Spare input");
  EXPECT_TRUE(form->ShowMonitorAct->isEnabled() && form->PasswordAct->isEnabled());
  EXPECT_TRUE(messages.Shown.empty());
  form->ModeButtons[0]->click();
  dlgtest::SavePicture(form.get(), "main-identified.png");
  EXPECT_TRUE(sim->Violations().empty());
}

TEST_F(MainWindowConnection, AFailedConnectNamesThePortAndTheReason) {
  StartWithDetection();
  const std::string pts = sim->PortPath();
  auto connectFails = [&](const std::string& reason) {
    messages.Shown.clear();
    form->ConnectAct->trigger();
    ASSERT_EQ(messages.Shown.size(), 1u);
    EXPECT_NE(messages.Shown[0].Text.find("\"modsim\""), std::string::npos) << messages.Shown[0].Text;
    EXPECT_NE(messages.Shown[0].Text.find(reason), std::string::npos) << messages.Shown[0].Text;
    EXPECT_EQ(form->PanelText(0), "port closed");
    EXPECT_FALSE(form->KVXModProt->PortOpen());
    EXPECT_FALSE(form->IdentifyAct->isEnabled());
  };

  // Another program holds the port.
  {
    const int other = ::open(pts.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    connectFails("busy");
    ::close(other);
  }
  // No access rights.
  {
    ASSERT_EQ(::chmod(pts.c_str(), 0), 0);
    NoPermissionOverride asUser;
    connectFails("permission denied");
  }
  ::chmod(pts.c_str(), 0620);
  // Nothing answers at any rate: the port is let go again.
  sim->SetSilent(true);
  connectFails("no module answers");
  sim->SetSilent(false);
  // The adapter was pulled after the port was chosen.
  sim->Unplug();
  connectFails("not there");
  // Back again under the same name: it connects.
  ASSERT_TRUE(sim->PlugIn());
  profile.PublishPort("modsim", sim->PortPath());
  messages.Shown.clear();
  form->ConnectAct->trigger();
  EXPECT_EQ(form->PanelText(0), "port open");
  EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(MainWindowConnection, OpeningThePortListKeepsTheChoiceAndTheSettings) {
  StartWithDetection();
  modsim::PtyModule other;
  ASSERT_TRUE(other.Start());
  profile.PublishPort("aaa-new", other.PortPath());
  const std::string ini = profile.ReadIni();
  form->CBoxPortSel->showPopup();
  form->CBoxPortSel->hidePopup();
  EXPECT_GE(form->CBoxPortSel->findText("aaa-new"), 0);
  EXPECT_EQ(form->CBoxPortSel->currentText(), "modsim");
  EXPECT_EQ(form->KVXModProt->PortName(), "modsim");
  EXPECT_EQ(profile.ReadIni(), ini);
}

TEST_F(MainWindowConnection, AHangUpWhileTheMonitorPollsEndsTheConnectionOnce) {
  StartWithDetection();
  ConnectAndIdentify();
  form->ShowMonitorAct->trigger();
  ASSERT_TRUE(WaitFor([&] { return Received("SINE") >= 3; }));

  sim->Unplug();  // the adapter is pulled
  ASSERT_TRUE(WaitFor([&] { return !messages.Shown.empty(); }));
  QTest::qWait(200);
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_NE(messages.Shown[0].Text.find("\"modsim\" was lost"), std::string::npos) << messages.Shown[0].Text;
  EXPECT_EQ(form->PanelText(0), "port closed");
  EXPECT_EQ(form->PageIndex(), 0);
  EXPECT_FALSE(form->KVXModProt->PortOpen());
  EXPECT_FALSE(form->KVXModProt->PollTimer()->Running());

  // Idle afterwards: no polls, no second message, no busy loop.
  ASSERT_TRUE(sim->PlugIn());
  profile.PublishPort("modsim", sim->PortPath());
  const double cpu = CpuSeconds();
  QTest::qWait(1000);
  EXPECT_LT(CpuSeconds() - cpu, 0.5);
  EXPECT_TRUE(sim->ReceivedCommands().size() == 0 || sim->ReceivedCommands().back() != "SINE");
  EXPECT_EQ(messages.Shown.size(), 1u);

  // The same name connects again.
  sim->Module().ClearRecords();
  ConnectAndIdentify();
  EXPECT_EQ(form->PanelText(3), "38.4 KBaud");

  // Pulled while no poll runs (the parameter page): noticed all the same, once.
  form->ShowParamlistAct->trigger();
  messages.Shown.clear();
  sim->Unplug();
  ASSERT_TRUE(WaitFor([&] { return !messages.Shown.empty(); }, 3000));
  QTest::qWait(1200);
  EXPECT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(form->PanelText(0), "port closed");
  EXPECT_FALSE(form->KVXModProt->PortOpen());
}

// Pulled during work on the line (a download and the reading again after its writes, Identify
// reading the listing, also after Default and Loadback, the terminal-driven bootloader): the lost
// connection is the first and only message, the port is let go at once and Connect is offered
// again; nothing blames the file or a missing listing, nothing reports a success.
TEST_F(MainWindowConnection, ALineLostDuringWorkIsTheOnlyThingSaid) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified("[DRUV]\nTermFWUpdate=1\n"));
  auto expectLost = [&](const char* when) {
    ASSERT_TRUE(WaitFor([&] { return !messages.Shown.empty(); })) << when;
    QTest::qWait(300);
    ASSERT_EQ(messages.Shown.size(), 1u) << when << ": " << messages.Shown.back().Text;
    EXPECT_NE(messages.Shown[0].Text.find("\"modsim\" was lost"), std::string::npos) << when;
    EXPECT_EQ(form->PanelText(0), "port closed") << when;
    EXPECT_FALSE(form->KVXModProt->PortOpen()) << when;
    EXPECT_TRUE(form->ConnectAct->isEnabled()) << when;
    messages.Shown.clear();
    ASSERT_TRUE(sim->PlugIn());
    profile.PublishPort("modsim", sim->PortPath());
  };
  const TProgressEvent window = form->KVXModProt->OnProgress;
  std::function<bool(TProgressStep, int, int)> pullWhen = [](TProgressStep step, int pos, int) {
    return step == pgsWriteParameters && pos == 2;
  };
  form->KVXModProt->OnProgress = [&](TObject* s, TProgressStep step, int pos, int max, bool& stop) {
    if (pullWhen(step, pos, max) && !sim->Unplugged()) sim->Unplug();
    window(s, step, pos, max, stop);
  };
  const auto whileIdentifying = [](TProgressStep step, int, int) { return step == pgsReadListing; };
  testutil::TempDir dir;
  filetest::WriteAll(dir.File("p.par"), form->KVXModProt->ModuleId() + "\n##\nGAIN 5\nOFFSET 3\nRANGE 4\nNOSUCH 1\n##\n");
  {
    dlgtest::FileAnswer picker(dir.File("p.par"));
    form->BBtnDownload->click();
  }
  ASSERT_NO_FATAL_FAILURE(expectLost("download"));
  EXPECT_EQ(form->PanelText(5),
            "Download stopped after 2 of 4 parameters (the line was lost): 2 parameters written to the module");

  form->ConnectAct->trigger();
  sim->Unplug();
  form->BtnSave->click();
  ASSERT_NO_FATAL_FAILURE(expectLost("save"));

  pullWhen = whileIdentifying;
  form->ConnectAct->trigger();
  form->IdentifyAct->trigger();
  ASSERT_NO_FATAL_FAILURE(expectLost("identify"));

  // While the module is read again after the writes, the module having refused a value.
  bool written = false;
  pullWhen = [&](TProgressStep step, int pos, int max) {
    written = written || (step == pgsWriteParameters && pos == max);
    return written && step == pgsReadParameters;
  };
  form->ConnectAct->trigger();
  form->IdentifyAct->trigger();
  sim->Module().SetCommandError("GAIN");
  {
    dlgtest::FileAnswer picker(dir.File("p.par"));
    form->BBtnDownload->click();
  }
  ASSERT_NO_FATAL_FAILURE(expectLost("reading again after a download"));
  sim->Module().SetCommandError("GAIN", false);
  // While the module is identified again after Default or Loadback.
  for (QPushButton* button : {form->BtnDefault, form->BtnLoadBack}) {
    pullWhen = [](TProgressStep, int, int) { return false; };
    form->ConnectAct->trigger();
    form->IdentifyAct->trigger();
    pullWhen = whileIdentifying;
    button->click();
    ASSERT_NO_FATAL_FAILURE(expectLost(button->text().toStdString().c_str()));
  }

  form->ConnectAct->trigger();
  form->MMIFirmwareUpd->trigger();
  ASSERT_TRUE(form->MMIFirmwareUpd->isChecked());
  messages.Shown.clear();
  sim->Unplug();
  ASSERT_NO_FATAL_FAILURE(expectLost("bootloader"));
  EXPECT_FALSE(form->MMIFirmwareUpd->isChecked());
  EXPECT_FALSE(form->MMISendFirmware->isEnabled());
}

}  // namespace

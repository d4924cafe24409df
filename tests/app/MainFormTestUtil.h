// Helpers of the main window's tests: a fresh user profile (APPDATA pointing at a folder of the
// test's own), the simulated module published as the port "modsim" in it, the main window shown
// offscreen, and the messages it shows answered and recorded in place of a user.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DialogsTestUtil.h"
#include "TestProfile.h"
#include "app/KVX7MainForm.h"
#include "services/osAdvMsgDlg.h"
#include "services/osDialogHooks.h"
#include "services/osQtWindowThread.h"
#include "tools/modsim/PtyModule.h"

namespace mftest {

// A profile of the test's own (APPDATA), with its settings file and ports folder at hand.
class Profile : public testutil::AppDataProfile {
 public:
  // Writes the settings file before the window starts.
  void WriteIni(const std::string& text) const {
    std::filesystem::create_directories(Folder());
    testutil::WriteFile(IniPath(), text);
  }
  std::string ReadIni() const { return testutil::ReadFile(IniPath()); }
  // Publishes a device under a port name, as the simulated module's program does.
  void PublishPort(const std::string& name, const std::string& device) const {
    std::filesystem::create_directories(Folder() + "ports");
    std::error_code ec;
    std::filesystem::remove(Folder() + "ports/" + name, ec);
    std::filesystem::create_symlink(device, Folder() + "ports/" + name);
  }
};

struct Message {
  std::string Text;
  TMsgDlgType Type;
};

// Every message is recorded and answered by Answer (default: the first of Yes, OK, ... shown).
class Messages {
 public:
  Messages() {
    SetAdvMessageDlgHandler([this](const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
      Shown.push_back({msg, type});
      if (Answer) return Answer(msg, type, buttons);
      if (buttons.Contains(mbYes)) return mrYes;
      if (buttons.Contains(mbOK)) return mrOk;
      return mrCancel;
    });
  }
  ~Messages() { SetAdvMessageDlgHandler({}); }
  bool Any(const std::string& part) const {
    for (const Message& m : Shown)
      if (m.Text.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<Message> Shown;
  std::function<int(const std::string&, TMsgDlgType, TMsgDlgButtons)> Answer;
};

// Waits, processing events, until Done holds or Ms have passed; true when it held.
inline bool WaitFor(const std::function<bool()>& Done, int Ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!Done()) {
    if (t.elapsed() > Ms) return false;
    QTest::qWait(10);
  }
  return true;
}

// A profile, the simulated module published as "modsim", and the main window shown. Messages
// are answered by the recorder; modal dialogs and file pickers by the hooks a test installs.
class MainFormFixture : public ::testing::Test {
 protected:
  // Starts the module (call before StartForm to have it in the port list).
  void StartModule(modsim::ModuleOptions options = {}) {
    sim = std::make_unique<modsim::PtyModule>(options);
    ASSERT_TRUE(sim->Start()) << sim->LastError();
    profile.PublishPort("modsim", sim->PortPath());
  }
  void StartForm() {
    // Calls the poll timers hand to the window thread run from the event loop, as in the program.
    InstallWindowThreadHook();
    form = std::make_unique<TKVXMainForm>();
    form->show();
    QApplication::processEvents();
  }
  // Chooses the port by name as a user does in the port box.
  void ChoosePort(const std::string& name);
  // The module started, the window shown with its port chosen, connected at the module's rate
  // (a fixed rate, no detection) and identified. IniExtra is added to the settings file
  // ("[Scope]\nULimLLimManually=1\n"); Prepare sets the module up before the window
  // starts. Use with ASSERT_NO_FATAL_FAILURE.
  void StartIdentified(modsim::ModuleOptions options = {}, const std::string& IniExtra = {},
                       const std::function<void(modsim::ModuleLogic&)>& Prepare = {});
  void StartIdentified(const std::string& IniExtra) { StartIdentified({}, IniExtra); }
  // The module at 38400 bit/s as the stored port, with rate detection chosen in the settings;
  // then the window.
  void StartWithDetection(modsim::ModuleOptions options = {.Rate = 38400}) {
    StartModule(options);
    profile.WriteIni("[Interface]\nPort=modsim\nAutoBRDetection=1\n");
    StartForm();
  }
  // Connect and Identify as the user clicks them; both must work.
  void ConnectAndIdentify() {
    form->ConnectAct->trigger();
    ASSERT_EQ(form->PanelText(0), "port open") << (messages.Shown.empty() ? "" : messages.Shown.back().Text);
    form->IdentifyAct->trigger();
    ASSERT_TRUE(form->KVXModProt->ModuleLoaded());
  }
  // How often the module received that command line.
  int Received(const std::string& line) const {
    int n = 0;
    for (const std::string& c : sim->ReceivedCommands()) n += c == line;
    return n;
  }
  void TearDown() override {
    form.reset();
    SetModalHook({});
    SetFileDialogHook({});
    SetPrintDialogHook({});
    if (sim) sim->Stop();
  }

  Profile profile;
  Messages messages;
  std::unique_ptr<modsim::PtyModule> sim;
  std::unique_ptr<TKVXMainForm> form;
};

inline void MainFormFixture::ChoosePort(const std::string& name) {
  form->CBoxPortSelDropDown();
  const int index = form->CBoxPortSel->findText(QString::fromStdString(name));
  ASSERT_GE(index, 0) << name;
  form->CBoxPortSel->setCurrentIndex(index);
  form->CBoxPortSelChange();
}

inline void MainFormFixture::StartIdentified(modsim::ModuleOptions options, const std::string& IniExtra,
                                             const std::function<void(modsim::ModuleLogic&)>& Prepare) {
  ASSERT_NO_FATAL_FAILURE(StartModule(options));
  if (Prepare) Prepare(sim->Module());
  profile.WriteIni("[Interface]\nFixBR=" + std::to_string(options.Rate) + "\nAutoBRDetection=0\n" + IniExtra);
  StartForm();
  ASSERT_NO_FATAL_FAILURE(ChoosePort("modsim"));
  form->ConnectActExecute();
  ASSERT_EQ(form->ConnectTag, 1) << "not connected";
  form->IdentifyActExecute();
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded()) << "not identified";
}

}  // namespace mftest

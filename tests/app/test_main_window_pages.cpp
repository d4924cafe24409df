// The main window's pages against the simulated module: the monitor poll and the status lamps,
// the scope's sample timer, its stop after failed polls and the Space restart, and the pages of
// offline data, which poll nothing.
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <set>

#include "MainFormTestUtil.h"
#include "TestTempDir.h"
#include "services/osLED.h"
#include "views/osDRUVMonitor.h"
#include "views/osDRUVScope.h"

namespace {

using mftest::WaitFor;

class MainWindowPages : public mftest::MainFormFixture {
 protected:
  // Scope page with channel 1 on SINE, polling; the scope started as Start does.
  void OpenScope() {
    form->KVXScope->Channel(1)->SetSignalName("SINE");
    form->KVXScope->SetRunScope(true);
    form->ShowScopeAct->trigger();
    ASSERT_EQ(form->PageIndex(), 2);
    const int before = Received("SINE");
    ASSERT_TRUE(WaitFor([&] { return Received("SINE") >= before + 3; }));
  }
  void PressSpace() {
    form->activateWindow();
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
    QTest::keyClick(target, Qt::Key_Space);
  }
  bool ScopeStopped() {
    return form->ScopeTimerId == 0 && form->KVXModProt->PollErrorState() == 2;
  }
  int Shown(const std::string& part) const {
    int n = 0;
    for (const mftest::Message& m : messages.Shown) n += m.Text.find(part) != std::string::npos;
    return n;
  }
};

TEST_F(MainWindowPages, TheMonitorPollsAndTheLampsFollowTheStatusWord) {
  StartWithDetection();
  ConnectAndIdentify();
  sim->Module().SetStatusWord(5);
  form->ShowMonitorAct->trigger();
  ASSERT_EQ(form->PageIndex(), 1);
  TModProcessData* values = form->KVXMonitor->ProcData();
  const int sine = values->IndexOf("SINE");
  ASSERT_GE(sine, 0);
  std::set<int> seen;
  ASSERT_TRUE(WaitFor([&] {
    seen.insert(values->GetProcCommand(sine)->Value);
    return seen.size() >= 3;
  }));

  // The four active bits, in listing order: Ready (yellow), Error (red, reads inverted),
  // Enable (green), Limit (red); the other twelve places stay hidden.
  ASSERT_TRUE(WaitFor([&] { return form->SILed[0]->State() == TosLedState::lsOn; }));
  const char* names[4] = {"Ready", "Error", "Enable", "Limit"};
  const TosLedColor colors[4] = {TosLedColor::lcYellow, TosLedColor::lcRed, TosLedColor::lcGreen, TosLedColor::lcRed};
  const TosLedState five[4] = {TosLedState::lsOn, TosLedState::lsOn, TosLedState::lsOn, TosLedState::lsOff};
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(form->SILed[i]->isHidden()) << i;
    EXPECT_EQ(form->SILed[i]->LedText(), names[i]);
    EXPECT_EQ(form->SILed[i]->Color(), colors[i]) << i;
    EXPECT_EQ(form->SILed[i]->State(), five[i]) << i;
  }
  EXPECT_EQ(form->SILed[0]->toolTip(), "Module ready");
  for (int i = 4; i < 16; ++i) EXPECT_TRUE(form->SILed[i]->isHidden()) << i;
  dlgtest::SavePicture(form.get(), "main-monitor-status.png");

  sim->Module().SetStatusWord(10);  // Ready off, Error bit set (no error), Enable off, Limit on
  ASSERT_TRUE(WaitFor([&] { return form->SILed[3]->State() == TosLedState::lsOn; }));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(form->SILed[i]->State(), TosLedState::lsOff) << i;
}

TEST_F(MainWindowPages, LampsTakeAtMostSixteenBits) {
  StartForm();
  TModStatusInfoData bits;
  for (int i = 0; i < 18; ++i) {
    auto* b = new TModStatusBitCommand;
    b->Name = "ST:B" + std::to_string(i);
    b->BIndex = static_cast<std::uint8_t>(i);
    b->BColor = static_cast<std::uint8_t>(i % 5);  // 4: no colour of its own
    bits.Add(b);
  }
  form->KVXMonitorStatusInfoStrucInit(nullptr, &bits);
  form->KVXMonitorNewStatusInfo(nullptr, 0xFFFF);
  for (int i = 0; i < 16; ++i) {
    EXPECT_FALSE(form->SILed[i]->isHidden()) << i;
    EXPECT_EQ(form->SILed[i]->LedText(), "B" + std::to_string(i));
    EXPECT_EQ(form->SILed[i]->State(), TosLedState::lsOn);
  }
  EXPECT_EQ(form->SILed[2]->Color(), TosLedColor::lcGreen);
  EXPECT_EQ(form->SILed[3]->Color(), TosLedColor::lcYellow);
  EXPECT_EQ(form->SILed[4]->Color(), TosLedColor::lcRed);
}

TEST_F(MainWindowPages, TheScopePollsAtItsPeriodAndLeavingThePageStopsIt) {
  StartWithDetection();
  ConnectAndIdentify();
  // 38400 bit/s, full duplex, offset 20: 20 + 60 / 4.
  EXPECT_EQ(form->ScopePeriodMs(), 35u);
  OpenScope();
  EXPECT_EQ(form->KVXScope->DataSampleRate(), 35u);
  EXPECT_NE(form->ScopeTimerId, 0u);

  form->ShowParamlistAct->trigger();
  EXPECT_EQ(form->ScopeTimerId, 0u);
  EXPECT_FALSE(form->KVXScope->RunScope());
  EXPECT_TRUE(form->BtnStart->isEnabled());
  EXPECT_FALSE(form->BtnStop->isEnabled());
  const int polls = Received("SINE");
  QTest::qWait(300);
  EXPECT_EQ(Received("SINE"), polls);
  EXPECT_TRUE(sim->Violations().empty());
}

TEST_F(MainWindowPages, FourFailedScopePollsStopAndSpaceRestartsUnlessTheModuleChanged) {
  StartWithDetection();
  ConnectAndIdentify();
  OpenScope();

  const int answered = Received("SINE");
  sim->SetSilent(true);
  ASSERT_TRUE(WaitFor([&] { return ScopeStopped(); }));
  ASSERT_TRUE(WaitFor([&] { return Shown("does not answer") == 1; }));
  const int failed = Received("SINE") - answered;
  EXPECT_GE(failed, 4);
  EXPECT_LE(failed, 5);  // one may have been answered just before the silence
  QTest::qWait(200);
  EXPECT_EQ(Received("SINE") - answered, failed);
  EXPECT_TRUE(form->KVXModProt->PortOpen());

  // The module answers again: Space checks its ID and polls again.
  sim->SetSilent(false);
  PressSpace();
  EXPECT_NE(form->ScopeTimerId, 0u);
  const int restarted = Received("SINE");
  ASSERT_TRUE(WaitFor([&] { return Received("SINE") > restarted + 2; }));

  // Another module behind the line: Space says so and polling stays stopped.
  sim->SetSilent(true);
  ASSERT_TRUE(WaitFor([&] { return ScopeStopped(); }));
  sim->Module().SetIdText("OTHER 1.0 x 1");
  sim->SetSilent(false);
  PressSpace();
  EXPECT_EQ(Shown("The module ID has changed! Please press the button \"ID\"!"), 1);
  EXPECT_EQ(form->ScopeTimerId, 0u);
  const int stopped = Received("SINE");
  QTest::qWait(200);
  EXPECT_EQ(Received("SINE"), stopped);
  EXPECT_EQ(Shown("does not answer"), 2);
}

TEST_F(MainWindowPages, SpaceWhileTheModuleIsStillSilentSaysSoAndWaitsForTheNextSpace) {
  StartWithDetection();
  ConnectAndIdentify();
  form->ShowMonitorAct->trigger();
  sim->SetSilent(true);
  ASSERT_TRUE(WaitFor([&] { return Shown("polling stopped") == 1; }));
  EXPECT_EQ(form->KVXModProt->PollErrorState(), 1);

  // No answer is no other module: the polling stays stopped, ready for the next Space.
  PressSpace();
  EXPECT_EQ(Shown("The module ID has changed"), 0);
  EXPECT_EQ(Shown("still does not answer"), 1);
  EXPECT_EQ(form->KVXModProt->PollErrorState(), 1);
  EXPECT_FALSE(form->KVXModProt->PollTimer()->Running());
  EXPECT_TRUE(form->KVXModProt->PortOpen());

  sim->SetSilent(false);
  PressSpace();
  const int restarted = Received("SINE");
  ASSERT_TRUE(WaitFor([&] { return Received("SINE") > restarted + 1; }));
  EXPECT_EQ(Shown("The module ID has changed"), 0);
}

TEST_F(MainWindowPages, OfflineDataShowsMonitorAndScopeWithoutPollingTheClosedPort) {
  StartWithDetection();
  ConnectAndIdentify();
  testutil::TempDir dir;
  const std::string kvx = dir.File("module.kvx");
  ASSERT_TRUE(form->KVXModProt->SaveParameterXml(kvx));
  form->ConnectAct->trigger();
  ASSERT_FALSE(form->KVXModProt->PortOpen());
  {
    dlgtest::FileAnswer picker(kvx);
    form->MMILoadOfflineCmdList->trigger();
  }
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded());

  form->ShowMonitorAct->trigger();
  ASSERT_EQ(form->PageIndex(), 1);
  EXPECT_FALSE(form->KVXModProt->PollTimer()->Running());
  form->ShowScopeAct->trigger();
  ASSERT_EQ(form->PageIndex(), 2);
  EXPECT_EQ(form->ScopeTimerId, 0u);
  // Space has nothing to restart.
  PressSpace();
  EXPECT_EQ(form->ScopeTimerId, 0u);
  EXPECT_FALSE(form->KVXModProt->PortOpen());
  EXPECT_TRUE(messages.Shown.empty()) << messages.Shown.front().Text;
}

}  // namespace

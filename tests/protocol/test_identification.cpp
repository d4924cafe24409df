// Identification: the ID, the command listing and its sorting, the access code, every parameter,
// the remote-control queries and help texts, the fallback listing, and the password.
#include <algorithm>
#include <atomic>
#include <thread>

#include "ProtocolTestUtil.h"
#include "platform/Threads.h"

namespace prottest {
namespace {

std::size_t CountOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<std::size_t>(std::count(v.begin(), v.end(), s));
}

class Identification : public ModuleFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(Identification, BuildsTheWholeModelAndFeedsTheViews) {
  StartModule();
  sim->SetCmdPrompt(GetParam());  // ">" or "CMD>"
  FakeParamList grid;
  FakeMonitor monitor;
  FakeScope scope;
  prot->SetParameterList(&grid);
  prot->SetMonitor(&monitor);
  prot->SetScope(&scope);

  EXPECT_EQ(Identify(), "KVX-SIM 1.20 2026 4711");
  EXPECT_TRUE(prot->ModuleLoaded());
  EXPECT_EQ(prot->ModuleId(), "KVX-SIM 1.20 2026 4711");

  // Sorted by class: four process values, four active status bits (the inactive one dropped),
  // five remote-control pins (the one without a pin dropped), the rest parameters.
  EXPECT_EQ(prot->ProcessData()->Count(), 4);
  EXPECT_EQ(prot->StatusInfoData()->Count(), 4);
  EXPECT_EQ(prot->StatusInfoData()->IndexOf("ST:Spare"), -1);
  EXPECT_EQ(prot->RemoteCtrlCmdList()->Count(), 5);
  EXPECT_EQ(prot->RemoteCtrlCmdList()->IndexOf("RC:99"), -1);
  EXPECT_EQ(prot->CommandList()->Count(), 18);

  // Every kind of value, as the module holds it.
  ASSERT_NE(Find<TModTextParaCmd>("OPMODE"), nullptr);
  EXPECT_EQ(Find<TModTextParaCmd>("OPMODE")->Text, "Gain 1");
  EXPECT_EQ(Find<TModNumParaCmd>("GAIN")->Value, 250);
  EXPECT_EQ(Find<TModNumParaCmd>("OFFSET")->Value, 150);
  EXPECT_EQ(Find<TModNumParaCmd>("SERNO")->Value, 4711);
  const auto* ain = Find<TModAinParaCmd>("AIN2");
  ASSERT_NE(ain, nullptr);
  EXPECT_EQ(ain->A, 500);
  EXPECT_EQ(ain->B, -100);
  EXPECT_EQ(ain->C, 20000);
  EXPECT_EQ(ain->Unit, auCurrent);
  EXPECT_EQ(Find<TModAinParaCmd>("AIN1")->Unit, auVoltage);
  const auto* curve = Find<TModCCParaCmd>("CURVE");
  ASSERT_NE(curve, nullptr);
  for (int i = -10; i <= 10; ++i) {
    const auto p = sim->Module().CurvePoint("CURVE", i);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(curve->GetPoint(i), (TModCCPoint{p->first, p->second})) << "point " << i;
  }
  EXPECT_EQ(Find<TModCtrlCommand>("PRESSMAX")->Help, "Druck in \xB0" "C");

  // Write-only and action commands are not read; curves point by point.
  const auto cmds = sim->ReceivedCommands();
  EXPECT_EQ(CountOf(cmds, "CLRERR"), 0u);
  EXPECT_EQ(CountOf(cmds, "CURVE:-10"), 1u);
  EXPECT_EQ(CountOf(cmds, "CURVE:10"), 1u);

  // The grid got the module's access code, the monitor and scope their structures.
  EXPECT_EQ(grid.fills, 2);  // emptied on connecting, filled on identifying
  EXPECT_EQ(grid.lastCode, sim->Module().AccessCode());
  EXPECT_EQ(grid.lastCount, 18);
  EXPECT_EQ(monitor.processCount, 4);
  EXPECT_EQ(monitor.statusCount, 4);
  EXPECT_EQ(scope.processCount, 4);

  // Remote control and the help texts.
  EXPECT_TRUE(prot->RemoteCtrlAvailable());
  EXPECT_FALSE(prot->RemoteCtrlOn());
  EXPECT_EQ(RCMHelpText, "Setpoint Velocity Force Position Auxiliary input");
  EXPECT_EQ(RCSHelpText, "Enable Start Reset Jog+ Jog- Home Teach Spare input");
  EXPECT_EQ(ModeHelpText, "SYSTEM IO_CONFIG START_UP POSITION OUTPUT P_STAGE ");
}

INSTANTIATE_TEST_SUITE_P(Prompts, Identification, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "CmdPrompt" : "Prompt"; });

class IdentificationFailure : public ModuleFixture {};

TEST_F(IdentificationFailure, MissingListingIsSuppliedByTheReadoutErrorHandler) {
  StartModule();
  sim->Module().SetListingAvailable(false);
  std::string askedFor;
  prot->OnReadoutError = [&](TObject* sender, const std::string& modId, TStringList& lines) {
    EXPECT_EQ(sender, prot.get());
    askedFor = modId;
    lines = sim->Module().ListingLines();  // what a ".rdd" file of this module holds
  };
  EXPECT_EQ(Identify(), "KVX-SIM 1.20 2026 4711");
  EXPECT_EQ(askedFor, "KVX-SIM 1.20 2026 4711");
  EXPECT_TRUE(prot->ModuleLoaded());
  EXPECT_EQ(prot->CommandList()->Count(), 18);
  EXPECT_EQ(Find<TModNumParaCmd>("GAIN")->Value, 250);
  sim->Module().ClearRecords();
}

TEST_F(IdentificationFailure, HandlerWithoutUsableLinesFailsTheIdentification) {
  StartModule();
  sim->Module().SetListingAvailable(false);
  int calls = 0;
  prot->OnReadoutError = [&](TObject*, const std::string&, TStringList& lines) {
    ++calls;
    lines = {"not a listing line", "2\\10\\ST:X\\\\help\\1\\0\\1"};  // only a status bit
  };
  std::string id = "unchanged";
  prot->Connect();
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(id, "unchanged");
  EXPECT_FALSE(prot->ModuleLoaded());
  sim->Module().ClearRecords();
}

TEST_F(IdentificationFailure, IdWithErrorEndsAtOnceWithoutAHandler) {
  StartModule();
  sim->Module().SetIdText("boot error 17");
  std::string id;
  prot->Connect();
  EXPECT_FALSE(prot->IdentifyModule(id));
  const auto cmds = sim->ReceivedCommands();
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0], "ID");
}

TEST_F(IdentificationFailure, NoAnswerToIdSendsNothingElse) {
  StartModule();
  sim->SetSilent(true);
  std::string id;
  prot->Connect();
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_EQ(sim->ReceivedCommands().size(), 1u);
}

TEST_F(IdentificationFailure, AFailedParameterReadAbortsTheIdentification) {
  StartModule();
  sim->Module().SetCommandError("GAIN");
  std::string id;
  prot->Connect();
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_FALSE(prot->ModuleLoaded());
  EXPECT_EQ(prot->ModuleId(), "");
  // Nothing is read after the parameter that failed.
  const auto cmds = sim->ReceivedCommands();
  ASSERT_FALSE(cmds.empty());
  EXPECT_EQ(cmds.back(), "GAIN");
}

TEST_F(IdentificationFailure, MissingAccessCodeShowsEveryGroup) {
  StartModule();
  sim->Module().SetCommandError("ACODE");
  FakeParamList grid;
  prot->SetParameterList(&grid);
  Identify();
  EXPECT_EQ(grid.lastCode, 65535);
}

TEST_F(IdentificationFailure, ModuleWithAnotherRemoteSchemeHasNoRemotePageAndNoHelpTexts) {
  StartModule();
  sim->Module().SetRemoteControl(false);
  RCMHelpText = RCSHelpText = ModeHelpText = "stale";
  Identify();
  EXPECT_TRUE(prot->ModuleLoaded());
  EXPECT_FALSE(prot->RemoteCtrlAvailable());
  EXPECT_EQ(prot->RemoteCtrlCmdList()->Count(), 0);
  const auto cmds = sim->ReceivedCommands();
  EXPECT_EQ(CountOf(cmds, "REMOTE"), 1u);
  EXPECT_EQ(CountOf(cmds, "RC:M ?"), 0u);
  EXPECT_EQ(RCMHelpText, "stale");
}

TEST_F(IdentificationFailure, ARemovedParameterListIsForgotten) {
  StartModule();
  auto grid = std::make_unique<FakeParamList>();
  prot->SetParameterList(grid.get());
  grid.reset();
  EXPECT_EQ(prot->ParameterList(), nullptr);
  auto monitor = std::make_unique<FakeMonitor>();
  prot->SetMonitor(monitor.get());
  monitor.reset();
  EXPECT_EQ(prot->Monitor(), nullptr);
  Identify();
  EXPECT_TRUE(prot->ModuleLoaded());
}

TEST(ListingParser, SortsCommandsAndNeedsACommandOrProcessValue) {
  TKVXModCommProt prot;
  EXPECT_FALSE(prot.ParseCommandList("2\\10\\ST:A\\\\a\\1\\0\\1\r\n3\\11\\RC:6\\\\r\\1\\0\\1"));
  EXPECT_EQ(prot.StatusInfoData()->Count(), 1);
  EXPECT_EQ(prot.RemoteCtrlCmdList()->Count(), 1);
  EXPECT_TRUE(prot.ParseCommandList("\n2\\0\\PV\\V\\p\\1\\0\\1\n\n3\\2\\P1\\\\h\\1\\0\\9\\3\r"));
  EXPECT_EQ(prot.ProcessData()->Count(), 1);
  EXPECT_EQ(prot.CommandList()->Count(), 1);
  EXPECT_EQ(prot.StatusInfoData()->Count(), 0);  // the earlier lists were replaced
  EXPECT_EQ(prot.RemoteCtrlCmdList()->Count(), 0);
}

class Password : public ModuleFixture {};

TEST_F(Password, OnlyAnOkAnswerAfterTheEchoCounts) {
  StartModule();
  EXPECT_FALSE(prot->SendPassword("kvx7"));  // port closed
  ConnectFixed();
  EXPECT_TRUE(prot->QueryPasswordSupport());
  EXPECT_FALSE(prot->SendPassword("wrong"));
  // The echoed password itself must not pass for the module's "OK".
  EXPECT_FALSE(prot->SendPassword("OK"));
  EXPECT_FALSE(prot->SendPassword("OKAY7"));
  EXPECT_TRUE(prot->SendPassword("kvx7"));
  EXPECT_TRUE(sim->Module().PasswordAccepted());
  // A line break would end the command early: refused without sending.
  const auto before = sim->ReceivedCommands().size();
  EXPECT_FALSE(prot->SendPassword("kvx7\rSAVE"));
  EXPECT_EQ(sim->ReceivedCommands().size(), before);
}

TEST_F(Password, HalfDuplexPasswordAndAModuleWithoutPasswords) {
  StartModule({.Rate = 19200, .HalfDuplex = true});
  ConnectFixed();
  EXPECT_FALSE(prot->SendPassword("OK"));
  EXPECT_TRUE(prot->SendPassword("kvx7"));
  sim->Module().SetPasswordSupport(false);
  EXPECT_FALSE(prot->QueryPasswordSupport());
  EXPECT_FALSE(prot->SendPassword("kvx7"));
}

}  // namespace
}  // namespace prottest

namespace prottest {
namespace {

TEST_F(IdentificationFailure, AFailedListingAfterAGoodOneEmptiesTheGrid) {
  // The grid shows the first module's commands; a second identification whose listing cannot be
  // parsed frees them, so the grid must be refilled from the empty list, not keep its rows.
  StartModule();
  FakeParamList grid;
  prot->SetParameterList(&grid);
  Identify();
  ASSERT_GT(grid.lastCount, 0);
  sim->Module().SetListingAvailable(false);
  prot->OnReadoutError = [](TObject*, const std::string&, TStringList& lines) {
    lines = {"not a listing line"};
  };
  std::string id;
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_EQ(prot->CommandList()->Count(), 0);
  EXPECT_EQ(grid.lastCount, 0);
  prot->SetParameterList(nullptr);
  sim->Module().ClearRecords();
}

TEST_F(IdentificationFailure, AnyFailureAfterAGoodOneLeavesNoModuleBehind) {
  // The module before must not stay editable in the grid, nor half of the new one.
  StartModule();
  FakeParamList grid;
  prot->SetParameterList(&grid);
  Identify();
  std::string id;
  sim->SetSilent(true);
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_EQ(prot->CommandList()->Count(), 0);
  EXPECT_EQ(grid.lastCount, 0);
  sim->SetSilent(false);
  sim->Module().SetCommandError("GAIN");
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_EQ(prot->CommandList()->Count(), 0);
  EXPECT_EQ(grid.lastCount, 0);
  prot->SetParameterList(nullptr);
}

// What the window's events start while an operation waits on the line (a screen reader's press
// on a mode button, a value change) is no step of that operation.
TEST_F(IdentificationFailure, WorkRunWhileItWaitsGetsNeitherTheLineNorTheModulesState) {
  StartModule();
  sim->SetPacing(true);  // waits long enough for the window to run its events
  ConnectFixed();
  int runs = 0, granted = 0;
  platform::SetWaitHook([&] {
    ++runs;
    std::string reply;
    std::uint8_t state = 1;
    granted += prot->SendCommand("MODE OUTPUT\r", "MODE OUTPUT", ">", reply, 200);
    granted += prot->WriteRemoteState(state);
    granted += prot->RefreshParameterList();
    prot->ResetModuleData();
  });
  std::string id;
  EXPECT_TRUE(prot->IdentifyModule(id));
  platform::SetWaitHook(nullptr);
  EXPECT_GT(runs, 0);
  EXPECT_EQ(granted, 0);
  EXPECT_TRUE(prot->ModuleLoaded());
  EXPECT_TRUE(prot->PortOpen());
  const auto cmds = sim->ReceivedCommands();
  EXPECT_EQ(CountOf(cmds, "MODE OUTPUT"), 0u);
  EXPECT_EQ(CountOf(cmds, "RC:M"), 1u);  // the identification's own query
  // With no operation waiting the same call is the user's own.
  std::string reply;
  EXPECT_TRUE(prot->SendCommand("MODE OUTPUT\r", "MODE OUTPUT", ">", reply, 200));
}

// A wait opened in the middle of an operation (here by the read-out error's handler) serves calls
// other threads queued for the window thread: those are no step of it either.
TEST_F(IdentificationFailure, CallsAWaitInItsMiddleServesGetNoLine) {
  StartModule();
  ConnectFixed();
  sim->Module().SetListingAvailable(false);
  std::atomic<int> ran{0}, granted{0};
  prot->OnReadoutError = [&](TObject*, const std::string&, TStringList&) {
    std::thread poster([&] {
      platform::MainThread::Synchronize([&] {
        std::string reply;
        granted += prot->SendCommand("SAVE\r", "SAVE", ">", reply, 200);
        ++ran;
      });
    });
    platform::MainThread::PumpUntil([&] { return ran > 0; }, 10s);
    poster.join();
  };
  std::string id;
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(granted, 0);
  EXPECT_EQ(CountOf(sim->ReceivedCommands(), "SAVE"), 0u);
}

}  // namespace
}  // namespace prottest

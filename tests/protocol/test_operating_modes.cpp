// The operating modes: what each switch starts and stops, the monitor poll with its period,
// values, status word and digital inputs, its stop after a tick in which nothing answered, and
// the terminal's receive and key paths.
#include <algorithm>
#include <numeric>

#include <fstream>

#include "ModesTestUtil.h"
#include "TestTempDir.h"

namespace prottest {
namespace {

class OperatingModes : public ModuleFixture {
 protected:
  void Start(modsim::ModuleOptions options = {}) {
    StartModule(options);
    prot->SetMonitor(&monitor);
    prot->SetScope(&scope);
    prot->SetTerminal(&terminal);
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    sim->Module().ClearRecords();
  }
  void TearDown() override {
    if (prot) prot->SetOperatingMode(0);
    ModuleFixture::TearDown();
  }

  RecordingMonitor monitor;
  RecordingScope scope;
  RecordingTerminal terminal;
};

TEST_F(OperatingModes, EachModeStartsAndStopsItsPolling) {
  Start();
  prot->SetOperatingMode(2);
  EXPECT_EQ(prot->OperatingMode(), 2);
  EXPECT_TRUE(prot->PollTimer()->Running());
  EXPECT_FALSE(scope.Enabled());

  const TDateTime before = Now();
  prot->SetOperatingMode(3);
  EXPECT_FALSE(prot->PollTimer()->Running());
  EXPECT_TRUE(scope.Enabled());
  EXPECT_GE(prot->ScopeTime(), before);

  prot->SetOperatingMode(1);
  EXPECT_FALSE(prot->PollTimer()->Running());
  EXPECT_FALSE(scope.Enabled());

  prot->SetOperatingMode(2);
  prot->SetOperatingMode(0);
  EXPECT_FALSE(prot->PollTimer()->Running());
  EXPECT_FALSE(scope.Enabled());

  // Off and terminal mode never poll.
  EXPECT_FALSE(PumpFor([] { return false; }, 700ms));
  EXPECT_TRUE(sim->ReceivedCommands().empty());
  EXPECT_TRUE(monitor.samples.empty());
}

// The monitor period by the bit rate: the module has four process values.
class MonitorPeriod : public OperatingModes, public ::testing::WithParamInterface<int> {};

TEST_P(MonitorPeriod, FollowsTheRateRule) {
  Start({.Rate = GetParam()});
  prot->SetOperatingMode(2);
  ASSERT_TRUE(PumpFor([&] { return monitor.statusTimes.size() >= 5; }));
  prot->SetOperatingMode(0);
  std::vector<double> gaps;
  for (std::size_t i = 1; i < monitor.statusTimes.size(); ++i)
    gaps.push_back(std::chrono::duration<double, std::milli>(monitor.statusTimes[i] -
                                                             monitor.statusTimes[i - 1])
                       .count());
  const double mean = std::accumulate(gaps.begin(), gaps.end(), 0.0) / gaps.size();
  const double expected = GetParam() > 9600 ? 320 : 500;
  // Loosely: a busy machine may stretch a tick, never shorten the period much.
  EXPECT_GT(mean, expected * 0.85) << "period " << mean;
  EXPECT_LT(mean, expected * 1.5) << "period " << mean;
}

INSTANTIATE_TEST_SUITE_P(Rates, MonitorPeriod, ::testing::Values(19200, 9600));

TEST_F(OperatingModes, MonitorTickDeliversValuesStatusBitsAndInputs) {
  Start();
  sim->Module().SetProcessValue("SINE", 1234);
  sim->Module().SetProcessValue("RAMP", -5);
  sim->Module().SetProcessValue("PRESS", 62);  // '>' as a number
  sim->Module().SetProcessValue("TEMP", 0);
  sim->Module().SetStatusWord(0x0005);
  sim->Module().SetDigitalInputs(0xA5);
  std::vector<std::uint8_t> inputs;
  prot->OnDigitalInputStateInfo = [&](TObject* sender, std::uint8_t state) {
    EXPECT_EQ(sender, prot.get());
    inputs.push_back(state);
  };

  prot->SetOperatingMode(2);
  ASSERT_TRUE(PumpFor([&] { return !inputs.empty(); }));
  prot->SetOperatingMode(0);
  EXPECT_EQ(prot->PollErrorState(), 0);

  ASSERT_GE(monitor.samples.size(), 4u);
  const int expect[4] = {1234, -5, 62, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(monitor.samples[static_cast<std::size_t>(i)].Index, i);
    EXPECT_EQ(monitor.samples[static_cast<std::size_t>(i)].Value, expect[i]);
  }

  // The status word spread over the active bits: bit i of the mask is the bit of the i-th entry
  // (its bit number, inverted where the bit says so).
  std::uint16_t mask = 0;
  TModStatusInfoData* bits = prot->StatusInfoData();
  for (int i = 0; i < bits->Count(); ++i) {
    const TModStatusBitCommand* b = bits->GetStatusBit(i);
    const bool set = ((0x0005 >> b->BIndex) & 1) != 0;
    if (set != b->BInvers) mask |= static_cast<std::uint16_t>(1u << i);
  }
  ASSERT_FALSE(monitor.masks.empty());
  EXPECT_EQ(monitor.masks.front(), mask);
  EXPECT_EQ(mask, 0x0007);  // Ready on; Error off, inverted: on; Enable on; Limit off
  EXPECT_EQ(inputs.front(), 0xA5);

  const auto cmds = sim->ReceivedCommands();
  ASSERT_GE(cmds.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(cmds.begin(), cmds.begin() + 6),
            (std::vector<std::string>{"SINE", "RAMP", "PRESS", "TEMP", "ST:Ready", "RC:S"}));
}

TEST_F(OperatingModes, ATickWithoutAnyAnswerStopsThePollButStillReadsStatusAndInputs) {
  Start();
  sim->Module().SetStatusWord(0x0001);
  int inputs = 0;
  prot->OnDigitalInputStateInfo = [&](TObject*, std::uint8_t) { ++inputs; };
  // Every reply byte comes late: the 20 ms process-value reads all fail, the status word and
  // the digital inputs (2000 ms and 200 ms) still arrive.
  sim->Module().SetSlowDelay(40ms);
  prot->SetOperatingMode(2);
  ASSERT_TRUE(PumpFor([&] { return inputs > 0; }, 30000ms));
  EXPECT_EQ(prot->PollErrorState(), 1);
  EXPECT_FALSE(prot->PollTimer()->Running());
  EXPECT_TRUE(monitor.samples.empty());
  EXPECT_EQ(monitor.masks.size(), 1u);

  // No further tick follows.
  sim->Module().SetSlowDelay(0ms);
  const std::size_t sent = sim->ReceivedCommands().size();
  PumpFor([] { return false; }, 800ms);
  EXPECT_EQ(sim->ReceivedCommands().size(), sent);
  EXPECT_EQ(inputs, 1);

  // Back into monitor mode: polling runs again and the state clears with the next tick.
  prot->SetOperatingMode(2);
  ASSERT_TRUE(PumpFor([&] { return !monitor.samples.empty(); }));
  EXPECT_EQ(prot->PollErrorState(), 0);
}

// ---- Terminal ------------------------------------------------------------------------------------

class TerminalPath : public OperatingModes, public ::testing::WithParamInterface<bool> {};

TEST_P(TerminalPath, KeysGoOutAndTheLineComesBackOnce) {
  const bool hdx = GetParam();
  Start({.HalfDuplex = hdx});
  prot->SetOperatingMode(1);
  // Typed one key at a time, each shown before the next, as a person types.
  for (char key : std::string("ID")) {
    const std::size_t before = terminal.text.size();
    terminal.Type(key);
    ASSERT_TRUE(PumpFor([&] { return terminal.text.size() > before; }));
    PumpFor([] { return false; }, 50ms);  // a second copy would come now
    EXPECT_EQ(terminal.text.size(), before + 1) << terminal.text;
  }
  terminal.Type('\r');
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find('>') != std::string::npos; }));
  EXPECT_EQ(terminal.text, "ID\r\nKVX-SIM 1.20 2026 4711\r\n>");
  EXPECT_EQ(sim->ReceivedCommands(), std::vector<std::string>{"ID"});
}

INSTANTIATE_TEST_SUITE_P(Duplex, TerminalPath, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

TEST_F(OperatingModes, OnlyTheTerminalListensToTheLineByItself) {
  // Any other mode reads its own answers: the port must not hand every byte to the window thread.
  Start({.HalfDuplex = true});
  EXPECT_FALSE(prot->Port()->OnRxChar);
  for (std::uint8_t mode : {2, 3, 0}) {
    prot->SetOperatingMode(mode);
    EXPECT_FALSE(prot->Port()->OnRxChar) << int(mode);
  }
  prot->SetOperatingMode(1);
  EXPECT_TRUE(prot->Port()->OnRxChar);

  // A text file on a half-duplex line reads the line itself; the handler comes back only where
  // it was on before.
  testutil::TempDir dir;
  std::ofstream(dir.File("id.txt")) << "ID\r";
  EXPECT_TRUE(prot->SendTextFile(dir.File("id.txt")));
  EXPECT_TRUE(prot->Port()->OnRxChar);
  prot->SetOperatingMode(0);
  EXPECT_TRUE(prot->SendTextFile(dir.File("id.txt")));
  EXPECT_FALSE(prot->Port()->OnRxChar);
}

TEST_F(OperatingModes, KeysOutsideTerminalModeAreNotSentAndReceivedTextIsNotShown) {
  Start();
  prot->SetOperatingMode(0);
  EXPECT_FALSE(prot->SendTerminalKey('I'));
  terminal.Type('D');
  terminal.Type('\r');
  EXPECT_FALSE(PumpFor([&] { return !sim->ReceivedCommands().empty(); }, 300ms));
  EXPECT_TRUE(terminal.text.empty());

  // In terminal mode with the port closed nothing goes out either, but the key is accepted.
  prot->SetOperatingMode(1);
  prot->SetPortOpen(false);
  EXPECT_TRUE(prot->SendTerminalKey('I'));
  EXPECT_TRUE(terminal.text.empty());
}

}  // namespace
}  // namespace prottest

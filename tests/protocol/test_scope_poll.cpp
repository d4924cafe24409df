// The scope poll: one sample set per call, by the scope's channel bindings; its failures; the
// binary process-data block read by its length; and a poll thread running while the window
// thread talks to the module, without a byte of the two interleaving on the line.
#include <atomic>
#include <thread>

#include <fstream>

#include "ModesTestUtil.h"
#include "TestTempDir.h"
#include "platform/MMTimer.h"

namespace prottest {
namespace {

constexpr double kMsPerDay = 86400000.0;

class ScopePoll : public ModuleFixture {
 protected:
  void Start(std::array<std::string, 4> channels, modsim::ModuleOptions options = {}) {
    scope = std::make_unique<RecordingScope>(std::move(channels), 40);
    StartModule(options);
    prot->SetScope(scope.get());
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    sim->Module().ClearRecords();
  }
  void TearDown() override {
    if (prot) prot->SetOperatingMode(0);
    ModuleFixture::TearDown();
  }
  std::unique_ptr<RecordingScope> scope;
};

TEST_F(ScopePoll, ReadsTheBoundValuesIntoTheirChannels) {
  // Channel 4 shows the same value as channel 1: the first channel gets it.
  Start({"SINE", "", "TEMP", "SINE"});
  sim->Module().SetProcessValue("SINE", 321);
  sim->Module().SetProcessValue("TEMP", -7);
  prot->SetOperatingMode(3);
  const TDateTime start = prot->ScopeTime();
  ASSERT_TRUE(prot->PollScopeData());
  ASSERT_TRUE(prot->PollScopeData());
  EXPECT_FALSE(prot->Busy());

  const auto samples = scope->Samples();
  ASSERT_EQ(samples.size(), 2u);
  const auto& s = samples[0];
  ASSERT_TRUE(s[0].Present);
  EXPECT_EQ(s[0].Index, 0);
  EXPECT_EQ(s[0].Value, 321);
  EXPECT_FALSE(s[1].Present);
  ASSERT_TRUE(s[2].Present);
  EXPECT_EQ(s[2].Index, 3);
  EXPECT_EQ(s[2].Value, -7);
  EXPECT_FALSE(s[3].Present);
  // One time stamp per sample, a sample period apart.
  EXPECT_EQ(s[0].Stamp, s[2].Stamp);
  EXPECT_NEAR((s[0].Stamp - start) * kMsPerDay, 40.0, 0.01);
  EXPECT_NEAR((samples[1][0].Stamp - s[0].Stamp) * kMsPerDay, 40.0, 0.01);
  // Only the bound values were asked for, each once per sample.
  EXPECT_EQ(sim->ReceivedCommands(),
            (std::vector<std::string>{"SINE", "TEMP", "SINE", "TEMP"}));
}

TEST_F(ScopePoll, WithoutBoundChannelsNothingIsSentAndAnEmptySampleIsHandedOver) {
  Start({"", "", "", "NOSUCH"});
  prot->SetOperatingMode(3);
  EXPECT_TRUE(prot->PollScopeData());
  const auto samples = scope->Samples();
  ASSERT_EQ(samples.size(), 1u);
  for (const auto& r : samples[0]) EXPECT_FALSE(r.Present);
  EXPECT_TRUE(sim->ReceivedCommands().empty());
}

TEST_F(ScopePoll, AFailedExchangeFailsTheSampleAndHandsNothingOver) {
  Start({"SINE", "RAMP", "", ""});
  prot->SetOperatingMode(3);
  sim->SetSilent(true);
  EXPECT_FALSE(prot->PollScopeData());
  EXPECT_FALSE(prot->Busy());
  EXPECT_TRUE(scope->Samples().empty());
  // The first failure ends the sample: the second value is not asked for.
  EXPECT_EQ(sim->ReceivedCommands(), std::vector<std::string>{"SINE"});
}

// ---- Binary block ----------------------------------------------------------------------------

class BinaryBlock : public ScopePoll, public ::testing::WithParamInterface<bool> {};

TEST_P(BinaryBlock, IsReadByItsLengthWhateverBytesItHolds) {
  Start({"", "", "", ""}, {.HalfDuplex = GetParam()});
  // Data bytes equal to the prompt, a line end, and a small last byte.
  sim->Module().SetProcessValue("SINE", 0x3E3E);
  sim->Module().SetProcessValue("RAMP", 0x0D0A);
  sim->Module().SetProcessValue("PRESS", 0x2000);
  sim->Module().SetProcessValue("TEMP", 0x0001);
  std::vector<std::uint8_t> data;
  int size = 0;
  ASSERT_TRUE(prot->ReadProcessDataBlock(data, size));
  // Everything between the echo and the prompt: the module's line end is the header.
  EXPECT_EQ(size, 10);
  EXPECT_EQ(data, (std::vector<std::uint8_t>{0x0D, 0x0A, 0x3E, 0x3E, 0x0D, 0x0A, 0x20, 0x00, 0x00,
                                             0x01}));

  // The block path of the scope poll hands the values over as one record.
  prot->SetUseProcessDataBlock(true);
  prot->SetOperatingMode(3);
  ASSERT_TRUE(prot->PollScopeData());
  const auto blocks = scope->Blocks();
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0], (std::vector<std::int32_t>{0x3E3E, 0x0D0A, 0x2000, 0x0001}));
  EXPECT_TRUE(scope->Samples().empty());

  // A module that does not answer: no block.
  sim->SetSilent(true);
  EXPECT_FALSE(prot->ReadProcessDataBlock(data, size));
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(size, 0);
  EXPECT_FALSE(prot->PollScopeData());
}

INSTANTIATE_TEST_SUITE_P(Duplex, BinaryBlock, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

// ---- Two threads on one line --------------------------------------------------------------------

class PollWhileIdentifying : public ScopePoll, public ::testing::WithParamInterface<bool> {};

TEST_P(PollWhileIdentifying, ExchangesNeverInterleave) {
  Start({"SINE", "RAMP", "PRESS", "TEMP"}, {.HalfDuplex = GetParam()});
  prot->SetOperatingMode(3);
  std::atomic<int> good{0};
  std::atomic<int> failed{0};
  const std::uint32_t id = platform::timeSetEvent(
      5, 0,
      [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
        if (prot->PollScopeData())
          ++good;
        else
          ++failed;
      },
      1);
  ASSERT_NE(id, 0u);
  // The window thread identifies the module again and again while the samples run.
  for (int i = 0; i < 3; ++i) {
    std::string idText;
    EXPECT_TRUE(prot->IdentifyModule(idText)) << "round " << i;
    // Samples go on between the window thread's exchanges.
    const int before = good.load();
    EXPECT_TRUE(PumpFor([&] { return good.load() > before + 1; }));
    EXPECT_TRUE(prot->CheckModuleId());
  }
  // Switching the mode stops the polls: none talks to the module afterwards.
  prot->SetOperatingMode(0);
  const std::size_t sent = sim->ReceivedCommands().size();
  const int samples = static_cast<int>(scope->Samples().size());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(platform::timeKillEvent(id), platform::TIMERR_NOERROR);
  EXPECT_EQ(sim->ReceivedCommands().size(), sent);
  EXPECT_EQ(static_cast<int>(scope->Samples().size()), samples);

  EXPECT_GT(good.load(), 3);
  EXPECT_EQ(failed.load(), 0);
  // The simulated module notes interleaved commands as violations (checked at tear-down).
}

INSTANTIATE_TEST_SUITE_P(Duplex, PollWhileIdentifying, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

TEST_F(ScopePoll, AResetWaitsForARunningPoll) {
  Start({"SINE", "RAMP", "PRESS", "TEMP"});
  prot->SetOperatingMode(3);
  // Slow replies keep each poll on the line for a while.
  sim->Module().SetSlowDelay(2ms);
  std::atomic<bool> stop{false};
  std::atomic<int> polls{0};
  std::thread poller([&] {
    while (!stop) {
      prot->PollScopeData();
      ++polls;
    }
  });
  ASSERT_TRUE(PumpFor([&] { return polls.load() > 1; }));
  prot->ResetModuleData();
  EXPECT_FALSE(prot->PortOpen());
  EXPECT_FALSE(prot->ModuleLoaded());
  stop = true;
  poller.join();
}

}  // namespace
}  // namespace prottest

namespace prottest {
namespace {

// A scope whose hand-over takes a while, and which counts hand-overs that arrive after it was
// let go.
class SlowScope : public RecordingScope {
 public:
  using RecordingScope::RecordingScope;
  ~SlowScope() override { NotifyRemoval(); }
  void AddScopeData(TASCIIProcDataObj* a, TASCIIProcDataObj* b, TASCIIProcDataObj* c,
                    TASCIIProcDataObj* d) override {
    if (released.load()) ++afterRelease;
    ++calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    if (released.load()) ++afterRelease;
    RecordingScope::AddScopeData(a, b, c, d);
  }
  std::atomic<bool> released{false};
  std::atomic<int> afterRelease{0};
  std::atomic<int> calls{0};
};

class ScopeDetach : public ModuleFixture {};

TEST_F(ScopeDetach, NoPollUsesAScopeOnceItIsDetachedOrDestroyed) {
  StartModule();
  auto scope = std::make_unique<SlowScope>(std::array<std::string, 4>{"SINE", "RAMP", "", ""}, 30);
  prot->SetScope(scope.get());
  Identify();
  prot->SetOperatingMode(3);
  const std::uint32_t timer = platform::timeSetEvent(5, 0, [this](auto...) { prot->PollScopeData(); }, 0);
  ASSERT_NE(timer, 0u);
  ASSERT_TRUE(platform::MainThread::PumpUntil([&] { return scope->calls.load() >= 3; },
                                              std::chrono::seconds(20)));
  // Detaching while polls keep coming waits for a hand-over in progress, so nothing reaches the
  // old scope afterwards.
  SlowScope* raw = scope.get();
  prot->SetScope(nullptr);
  raw->released = true;
  const int callsAtDetach = raw->calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(raw->afterRelease.load(), 0);
  EXPECT_EQ(raw->calls.load(), callsAtDetach);

  // The same through destruction: the scope's removal notice detaches it while it is whole.
  auto second = std::make_unique<SlowScope>(std::array<std::string, 4>{"SINE", "", "", ""}, 30);
  prot->SetScope(second.get());
  ASSERT_TRUE(platform::MainThread::PumpUntil([&] { return second->calls.load() >= 2; },
                                              std::chrono::seconds(20)));
  second.reset();  // must not return while a poll still hands samples to it
  EXPECT_EQ(prot->Scope(), nullptr);
  platform::timeKillEvent(timer);
  prot->SetOperatingMode(0);
  sim->Module().ClearRecords();
}

}  // namespace
}  // namespace prottest

namespace prottest {
namespace {

TEST_F(ScopeDetach, KillingTheScopeTimerWhileTheWindowThreadKeepsTheLineDoesNotDeadlock) {
  // A text file sent to the terminal lets the window handle its events while it keeps the line;
  // a page change there kills the scope timer, whose poll is waiting for the line.
  StartModule();
  RecordingScope scope({"SINE", "", "", ""}, 30);
  prot->SetScope(&scope);
  Identify();
  prot->SetOperatingMode(3);
  testutil::TempDir dir;
  const std::string file = dir.File("text.txt");
  std::ofstream(file) << "ID\r\n";
  std::atomic<int> polls{0};
  const std::uint32_t timer = platform::timeSetEvent(5, 0, [&](auto...) {
    ++polls;
    prot->PollScopeData();
  }, 0);
  ASSERT_NE(timer, 0u);
  ASSERT_TRUE(platform::MainThread::PumpUntil([&] { return polls.load() >= 2; },
                                              std::chrono::seconds(20)));
  bool killed = false;
  long killMs = -1;
  prot->OnProcessMessages = [&](TObject*) {
    if (killed) return;
    killed = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // a poll now waits for the line
    const auto t0 = std::chrono::steady_clock::now();
    platform::timeKillEvent(timer);
    killMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - t0).count());
  };
  EXPECT_TRUE(prot->SendTextFile(file));
  EXPECT_TRUE(killed);
  EXPECT_GE(killMs, 0);
  EXPECT_LT(killMs, 5000);
  prot->OnProcessMessages = nullptr;
  prot->SetOperatingMode(0);
  prot->SetScope(nullptr);
  sim->Module().ClearRecords();
}

}  // namespace
}  // namespace prottest

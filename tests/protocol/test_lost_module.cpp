// A module that falls silent or is unplugged in the middle of the work: a clear failure, no hang;
// and exchanges of two threads that never mix on the line.
#include <atomic>
#include <thread>

#include "ProtocolTestUtil.h"

namespace prottest {
namespace {

class LostModule : public ModuleFixture {};

TEST_F(LostModule, SilentModuleFailsTheReadWithinItsTimeout) {
  StartModule();
  Identify();
  sim->SetSilent(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(prot->ReadAllParameters());
  // 2000 ms of silence on the first parameter, and nothing after it.
  EXPECT_GE(MsSince(start), 1900);
  EXPECT_LT(MsSince(start), 10000);
  std::string id;
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_FALSE(prot->ModuleLoaded());
  // The component stays usable once the module talks again.
  sim->SetSilent(false);
  EXPECT_TRUE(prot->IdentifyModule(id));
}

TEST_F(LostModule, UnplugMidExchangeFailsAtOnceAndEveryLaterExchangeToo) {
  StartModule();
  Identify();
  // The answer stops after two characters; the plug is pulled during that pause.
  sim->Module().SetPauseOnce(2, 4000ms);
  std::thread unplugger([this] {
    std::this_thread::sleep_for(300ms);
    sim->Unplug();
  });
  std::string reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(prot->SendCommand("ID\r", "ID", ">", reply, 3000));
  unplugger.join();
  EXPECT_TRUE(reply.empty());
  EXPECT_LT(MsSince(start), 3000);

  const auto again = std::chrono::steady_clock::now();
  EXPECT_FALSE(prot->SendCommand("ID\r", "ID", ">", reply, 200));
  EXPECT_FALSE(prot->CheckPrompt());
  std::string id;
  EXPECT_FALSE(prot->IdentifyModule(id));
  EXPECT_LT(MsSince(again), 5000);
  // Resetting and closing still work; so does the destructor (TearDown).
  prot->ResetModuleData();
  EXPECT_FALSE(prot->PortOpen());
}

TEST_F(LostModule, ExchangesOfTwoThreadsNeverInterleave) {
  StartModule();
  Identify();
  sim->Module().ClearRecords();
  std::atomic<bool> stop{false};
  std::atomic<int> polls{0};
  std::atomic<int> pollFailures{0};
  // A poll on another thread, as the scope's sample timer runs it.
  std::thread poller([&] {
    while (!stop) {
      std::string reply;
      if (prot->SendCommand("SINE\r", "SINE", ">", reply, 200))
        ++polls;
      else
        ++pollFailures;
    }
  });
  std::string id;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(prot->IdentifyModule(id));
  auto* gain = Find<TModNumParaCmd>("GAIN");
  gain->Value = 777;
  EXPECT_TRUE(prot->WriteParameter(gain));
  stop = true;
  poller.join();
  EXPECT_GT(polls.load(), 0);
  EXPECT_EQ(pollFailures.load(), 0);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "777");
  // TearDown checks that the module saw no interleaved command lines.
}

TEST_F(LostModule, ResetWithAMonitorTickWaitingSendsNothingMore) {
  StartModule();
  FakeMonitor monitor;
  prot->SetMonitor(&monitor);
  Identify();
  ASSERT_TRUE(prot->ModuleLoaded());
  prot->SetOperatingMode(2);
  // The window thread is busy: the poll timer's tick (every 320 ms) waits for it. Nothing
  // tells when it is queued; a few intervals without serving the queue make sure of it.
  std::this_thread::sleep_for(1500ms);
  ASSERT_GT(platform::MainThread::Pending(), 0u);
  sim->Module().ClearRecords();
  // Closing the port serves the window thread's queue while its event thread ends; the waiting
  // tick must find the module gone and poll nothing.
  prot->ResetModuleData();
  EXPECT_FALSE(prot->PortOpen());
  EXPECT_TRUE(sim->ReceivedCommands().empty());
  EXPECT_EQ(monitor.samples, 0);
  platform::MainThread::PumpUntil([] { return false; }, 100ms);
  prot->SetOperatingMode(0);
}

// The exchange lock made reachable, to hold it as a poll on another thread does.
class LockableProt : public TKVXModCommProt {
 public:
  using TKVXModCommProt::LockComm;
};

TEST(ReceiveEvents, OutsideTerminalModeNeverWaitForAnExchangeOfAnotherThread) {
  LockableProt prot;
  prot.SetOperatingMode(3);
  std::atomic<bool> locked{false};
  std::atomic<bool> release{false};
  // A scope poll on the line: it holds the lock until told (or 5 s passed).
  std::thread poll([&] {
    auto lock = prot.LockComm();
    locked = true;
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!release && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  });
  while (!locked) std::this_thread::sleep_for(1ms);
  // Every received character reaches the window thread this way; it must not stall there.
  const auto start = std::chrono::steady_clock::now();
  prot.PortRxChar(nullptr, 1);
  const auto took = MsSince(start);
  release = true;
  poll.join();
  EXPECT_LT(took, 2500);
  prot.SetOperatingMode(0);
}

TEST_F(LostModule, ResetWhileAnotherThreadExchangesWaitsForIt) {
  StartModule();
  Identify();
  std::atomic<bool> stop{false};
  std::thread poller([&] {
    while (!stop) {
      std::string reply;
      prot->SendCommand("SINE\r", "SINE", ">", reply, 200);
    }
  });
  std::this_thread::sleep_for(50ms);
  prot->ResetModuleData();
  EXPECT_FALSE(prot->PortOpen());
  EXPECT_EQ(prot->CommandList()->Count(), 0);
  stop = true;
  poller.join();
}

}  // namespace
}  // namespace prottest

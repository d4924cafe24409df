// The event thread: received-character events delivered to the window thread (this test's
// main thread, which pumps) with the count waiting, the three delivery methods, closing the port
// while or inside a delivery, handler errors and a hang-up of the line.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Comm.h"
#include "pty_fixture.h"
#include "serial/CPort.h"

using platform::MainThread;
using serialtest::Clock;
using serialtest::MsSince;
using serialtest::PtyPair;

namespace {

constexpr std::chrono::milliseconds kWait(10000);

bool Pump(const std::function<bool()>& done) { return MainThread::PumpUntil(done, kWait); }

// Waits until the event thread has handed a call to the window thread.
bool WaitForHandOver() {
  const auto t0 = Clock::now();
  while (MainThread::Pending() == 0) {
    if (MsSince(t0) > kWait.count()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

double CpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class EventDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(MainThread::IsCurrent());
    port = std::make_unique<TComPort>();
    port->SetPort(pty.path);
  }
  void TearDown() override {
    port.reset();
    SetApplicationErrorHook(nullptr);
    TComThread::ReapGraveyard(true);
  }

  PtyPair pty;
  std::unique_ptr<TComPort> port;
};

}  // namespace

TEST_F(EventDelivery, RxCharReachesTheWindowThreadWithTheBytesWaiting) {
  std::vector<int> counts;
  std::string received;
  bool onWindowThread = true;
  port->OnRxChar = [&](TObject* sender, int count) {
    EXPECT_EQ(sender, port.get());
    onWindowThread = onWindowThread && MainThread::IsCurrent();
    counts.push_back(count);
    std::string s;
    port->ReadText(s, count);
    received += s;
  };
  port->Open();
  pty.Send("hello");
  ASSERT_TRUE(Pump([&] { return received.size() >= 5; }));
  EXPECT_EQ(received, "hello");
  EXPECT_TRUE(onWindowThread);
  for (int c : counts) EXPECT_GT(c, 0);
  port->Close();
}

TEST_F(EventDelivery, CountIncludesBytesAnEarlierHandlerLeftUnread) {
  std::vector<int> counts;
  port->OnRxChar = [&](TObject*, int count) { counts.push_back(count); };  // reads nothing
  port->Open();
  pty.Send("ab");
  ASSERT_TRUE(Pump([&] { return !counts.empty() && counts.back() == 2; }));
  pty.Send("c");
  ASSERT_TRUE(Pump([&] { return counts.back() == 3; }));
  // Without new bytes no new event: the thread waits for arrivals, not for a queue that stays.
  const std::size_t n = counts.size();
  MainThread::PumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(counts.size(), n);
  port->Close();
}

TEST_F(EventDelivery, AnEventThatFindsTheQueueAlreadyEmptiedFiresNothing) {
  int calls = 0;
  port->OnRxChar = [&](TObject*, int) { ++calls; };
  port->Open();
  pty.Send("x");
  ASSERT_TRUE(WaitForHandOver());
  std::string s;
  EXPECT_EQ(port->ReadText(s, 1), 1);  // the window thread reads first
  MainThread::CheckSynchronize();
  EXPECT_EQ(calls, 0);
  port->Close();
}

TEST_F(EventDelivery, WindowSyncAndNoSyncDeliverToo) {
  port->SetSyncMethod(smWindowSync);
  std::atomic<int> windowCount{0};
  std::atomic<bool> windowThreadOk{true};
  port->OnRxChar = [&](TObject*, int count) {
    windowThreadOk = windowThreadOk && MainThread::IsCurrent();
    std::string s;
    windowCount += port->ReadText(s, count);
  };
  port->Open();
  pty.Send("123");
  ASSERT_TRUE(Pump([&] { return windowCount.load() >= 3; }));
  EXPECT_TRUE(windowThreadOk);
  port->Close();

  port->SetSyncMethod(smNone);
  std::atomic<int> threadCount{0};
  std::atomic<bool> onEventThread{true};
  port->OnRxChar = [&](TObject*, int count) {
    onEventThread = onEventThread && !MainThread::IsCurrent();
    std::string s;
    threadCount += port->ReadText(s, count);
  };
  port->Open();
  pty.Send("4567");
  const auto t0 = Clock::now();
  while (threadCount.load() < 4 && MsSince(t0) < kWait.count())  // nothing to pump
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(threadCount.load(), 4);
  EXPECT_TRUE(onEventThread);
  port->Close();
}

TEST_F(EventDelivery, TransmitEmptyFollowsAWrite) {
  std::atomic<int> empties{0};
  port->OnTxEmpty = [&](TObject*) { ++empties; };
  port->Open();
  port->WriteText("data");
  ASSERT_TRUE(Pump([&] { return empties.load() > 0; }));
  port->Close();
}

TEST_F(EventDelivery, CloseDuringAHandOverDeliversThatBatchAndNothingAfterAfterClose) {
  std::vector<std::string> log;
  port->OnRxChar = [&](TObject*, int count) {
    log.push_back("rx" + std::to_string(count) + (port->Connected() ? "+" : "-"));
  };
  port->OnAfterClose = [&](TObject*) { log.push_back("closed"); };
  port->Open();
  pty.Send("zz");
  ASSERT_TRUE(WaitForHandOver());  // the event thread waits for the window thread
  port->Close();                   // ... which serves it while it waits for the thread
  ASSERT_EQ(log.size(), 2u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[0], "rx2+");
  EXPECT_EQ(log[1], "closed");
  pty.Send("more");
  MainThread::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(EventDelivery, AHandlerClosingThePortWhileCloseServesTheHandOverEndsItOnce) {
  std::vector<std::string> log;
  port->OnRxChar = [&](TObject*, int) {
    log.push_back("rx");
    port->Close();
  };
  port->OnAfterClose = [&](TObject*) { log.push_back("closed"); };
  port->Open();
  pty.Send("zz");
  ASSERT_TRUE(WaitForHandOver());
  port->Close();
  EXPECT_EQ(::testing::PrintToString(log), ::testing::PrintToString(std::vector<std::string>{"rx", "closed"}));

  // A handler that opens the port again: the outer Close still leaves it closed, with no
  // thread behind it.
  log.clear();
  // The "zz" the first handler left unread goes first: only the next byte may reach it.
  port->OnRxChar = nullptr;
  port->Open();
  port->PurgeBuffers(true, false);
  port->Close();
  log.clear();
  int calls = 0;
  port->OnRxChar = [&](TObject*, int count) {
    log.push_back("rx");
    std::string s;
    port->ReadText(s, count);  // nothing left over for the reopened port to report
    if (calls++ == 0) {
      port->Close();
      port->Open();
    }
  };
  port->Open();
  // One byte: two could arrive as two events on a loaded machine, the second after the reopen.
  pty.Send("y");
  ASSERT_TRUE(WaitForHandOver());
  port->Close();
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(port->Handle(), -1);
  EXPECT_EQ(::testing::PrintToString(log),
            ::testing::PrintToString(std::vector<std::string>{"rx", "closed", "closed"}));
  pty.Send("more");
  MainThread::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(EventDelivery, CloseAndReopenFromInsideAHandlerDoNotDeadlock) {
  int calls = 0;
  port->OnRxChar = [&](TObject*, int) {
    ++calls;
    port->Close();
  };
  port->Open();
  pty.Send("a");
  ASSERT_TRUE(Pump([&] { return calls == 1; }));
  EXPECT_FALSE(port->Connected());

  // Reopening inside the handler of the old thread works, and the new thread delivers.
  int later = 0;
  port->OnRxChar = [&](TObject*, int count) {
    if (later++ == 0) {
      port->Close();
      port->Open();
      return;
    }
    std::string s;
    port->ReadText(s, count);
  };
  port->Open();
  pty.Send("b");
  ASSERT_TRUE(Pump([&] { return later >= 1; }));
  EXPECT_TRUE(port->Connected());
  pty.Send("c");
  ASSERT_TRUE(Pump([&] { return later >= 2; }));
  port->Close();
}

TEST_F(EventDelivery, FreeingThePortInsideItsHandlerIsSafe) {
  bool freed = false;
  port->OnRxChar = [&](TObject*, int) {
    port.reset();
    freed = true;
  };
  port->Open();
  pty.Send("x");
  ASSERT_TRUE(Pump([&] { return freed; }));
  TComThread::ReapGraveyard(true);
}

TEST_F(EventDelivery, AHandlerErrorIsReportedAndTheThreadGoesOn) {
  std::vector<std::string> reported;
  SetApplicationErrorHook([&](TObject* sender, std::exception_ptr e) {
    EXPECT_EQ(sender, port.get());
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      reported.push_back(x.what());
    }
  });
  int calls = 0;
  port->OnRxChar = [&](TObject*, int count) {
    ++calls;
    std::string s;
    port->ReadText(s, count);
    if (calls == 1) throw std::runtime_error("handler failed");
  };
  port->Open();
  pty.Send("1");
  ASSERT_TRUE(Pump([&] { return calls == 1; }));
  pty.Send("2");
  ASSERT_TRUE(Pump([&] { return calls == 2; }));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "handler failed");
  port->Close();
}

TEST_F(EventDelivery, HangUpEndsTheEventThreadInsteadOfSpinning) {
  int calls = 0;
  port->OnRxChar = [&](TObject*, int) { ++calls; };
  port->Open();
  pty.CloseSlave();
  pty.CloseMaster();
  // Give a spinning loop the chance to show itself, then measure the process's CPU time.
  MainThread::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  const double cpu0 = CpuSeconds();
  MainThread::PumpUntil([] { return false; }, std::chrono::milliseconds(400));
  EXPECT_LT(CpuSeconds() - cpu0, 0.2);
  const auto t0 = Clock::now();
  port->Close();
  EXPECT_LT(MsSince(t0), 2000);
  EXPECT_FALSE(port->Connected());
}

// Whether the event thread hands a call to the window thread within Ms (a negative check: the
// bound only has to be longer than a hand-over takes when it happens).
bool HandOverWithin(int Ms) {
  const auto t0 = Clock::now();
  while (MainThread::Pending() == 0) {
    if (MsSince(t0) > Ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool WaitForInput(TComPort& Port, int Count) {
  const auto t0 = Clock::now();
  while (Port.InputCount() < Count) {
    if (MsSince(t0) > kWait.count()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST_F(EventDelivery, OnlyEventsWithAHandlerReachTheWindowThread) {
  port->Open();
  pty.Send("abc");
  port->WriteText("x");  // its transmit-empty event has no handler either
  ASSERT_TRUE(WaitForInput(*port, 3));
  EXPECT_FALSE(HandOverWithin(300));

  // A handler set now hears at once of the bytes already waiting.
  std::vector<int> counts;
  port->OnRxChar = [&](TObject*, int count) {
    counts.push_back(count);
    std::string s;
    port->ReadText(s, count);
  };
  ASSERT_TRUE(Pump([&] { return !counts.empty(); }));
  EXPECT_EQ(counts, std::vector<int>{3});

  // Cleared again: new bytes stay with whoever reads them.
  port->OnRxChar = nullptr;
  pty.Send("d");
  ASSERT_TRUE(WaitForInput(*port, 1));
  EXPECT_FALSE(HandOverWithin(300));
  port->Close();
}

TEST_F(EventDelivery, OpeningWithoutEventsCreatesNoThread) {
  port->SetEvents(TComEvents());
  int calls = 0;
  port->OnRxChar = [&](TObject*, int) { ++calls; };
  port->Open();
  pty.Send("q");
  MainThread::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(calls, 0);
  port->Close();
}

// ---- Line errors -------------------------------------------------------------------------------

namespace {

// The error counters of a UART, given to a pseudo-terminal (which keeps none). A parity error
// that is armed comes with the next byte the port receives.
std::atomic<bool> g_parityArmed{false};
std::atomic<std::uint64_t> g_parityErrors{0};
std::atomic<std::uint64_t> g_frameErrors{0};

bool UartCounters(int fd, platform::TLineCounters& c) {
  c = {};
  int queued = 0;
  if (g_parityArmed && ::ioctl(fd, TIOCINQ, &queued) == 0 && queued > 0) {
    g_parityArmed = false;
    ++g_parityErrors;
  }
  c.parity = g_parityErrors;
  c.frame = g_frameErrors;
  return true;
}

class LineErrors : public EventDelivery {
 protected:
  void SetUp() override {
    EventDelivery::SetUp();
    platform::SetLineCounterSource(UartCounters);
  }
  void TearDown() override {
    EventDelivery::TearDown();  // the port closes first
    platform::SetLineCounterSource(nullptr);
  }
};

}  // namespace

TEST_F(LineErrors, ParityErrorsAreReportedOnlyWithParityCheck) {
  port->SetEvents(TComEvents());
  port->Open();
  ++g_parityErrors;
  ++g_frameErrors;
  TComErrors e = port->LastErrors();
  EXPECT_TRUE(e.Contains(ceFrame));
  EXPECT_FALSE(e.Contains(ceRxParity));
  port->Parity().SetCheck(true);
  ++g_parityErrors;
  e = port->LastErrors();
  EXPECT_TRUE(e.Contains(ceRxParity));
  EXPECT_FALSE(e.Contains(ceFrame));  // reported once
  port->Close();
}

TEST_F(LineErrors, AnErrorThatCameWithAByteIsRaisedBeforeTheByte) {
  std::vector<std::string> log;
  port->Parity().SetCheck(true);
  port->OnError = [&](TObject*, TComErrors e) {
    log.push_back(e.Contains(ceRxParity) ? "parity" : "error");
  };
  port->OnRxChar = [&](TObject*, int count) {
    std::string s;
    port->ReadText(s, count);
    log.push_back("rx " + s);
  };
  port->Open();
  g_parityArmed = true;
  pty.Send("x");
  ASSERT_TRUE(Pump([&] { return log.size() >= 2; })) << ::testing::PrintToString(log);
  EXPECT_EQ(log, (std::vector<std::string>{"parity", "rx x"}));
  port->Close();
}

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "platform/Threads.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

class LambdaThread : public TThread {
 public:
  LambdaThread(bool suspended, std::function<void(LambdaThread&)> body)
      : TThread(suspended), body_(std::move(body)) {
    if (!suspended) Start();  // only once this object is complete
  }
  ~LambdaThread() override { StopThread(); }
  std::atomic<bool> ran{false};

 protected:
  void Execute() override {
    ran = true;
    body_(*this);
  }

 private:
  std::function<void(LambdaThread&)> body_;
};

}  // namespace

TEST(MessageQueue, RangeFilterKeepsOtherMessagesAndQuitAlwaysPasses) {
  TMessageQueue q;
  q.Post(WM_USER + 5, 1, 2);
  q.Post(0x8169, 500, 0);
  TMsg m;
  ASSERT_TRUE(q.Peek(m, 0x8000, 0x818F, false));
  EXPECT_EQ(m.message, 0x8169u);
  EXPECT_EQ(q.Size(), 2u);
  ASSERT_TRUE(q.Get(m, 0x8000, 0x818F));
  EXPECT_EQ(m.wParam, 500u);
  q.Post(WM_QUIT);
  EXPECT_FALSE(q.Get(m, 0x8000, 0x818F));  // WM_QUIT taken despite the filter
  EXPECT_EQ(m.message, WM_QUIT);
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_USER + 5);
  bool timedOut = false;
  EXPECT_FALSE(q.GetFor(m, 20ms, timedOut));
  EXPECT_TRUE(timedOut);
}

TEST(Thread, TerminatedBeforeStartNeverRunsBody) {
  LambdaThread t(true, [](LambdaThread&) {});
  t.Terminate();
  t.Start();
  t.WaitFor();
  EXPECT_FALSE(t.ran);
  EXPECT_TRUE(t.Finished());
}

TEST(Thread, SuspendedThreadDestroyedWithoutStartNeverRuns) {
  std::atomic<bool> ran{false};
  {
    LambdaThread t(true, [&](LambdaThread&) { ran = true; });
    EXPECT_TRUE(t.Suspended());
  }
  EXPECT_FALSE(ran);
}

TEST(Thread, ExceptionIsCaughtAtTheTopOfTheThread) {
  LambdaThread t(false, [](LambdaThread&) { throw std::runtime_error("boom"); });
  t.WaitFor();
  ASSERT_TRUE(t.FatalException());
  EXPECT_THROW(std::rethrow_exception(t.FatalException()), std::runtime_error);
}

TEST(Thread, QuitMessageWakesABodyWaitingForMessages) {
  std::atomic<int> seen{0};
  LambdaThread t(false, [&](LambdaThread& self) {
    TMsg m;
    while (!self.Terminated() && self.MessageQueue().Get(m)) ++seen;
  });
  t.PostMessage(WM_USER);
  t.PostMessage(WM_USER);
  t.Terminate();
  t.PostMessage(WM_QUIT);
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
  EXPECT_LE(seen.load(), 2);
}

TEST(MainThread, SynchronizeRunsOnTheWindowThreadAndBlocksUntilDone) {
  ASSERT_TRUE(MainThread::IsCurrent());
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  LambdaThread t(false, [&](LambdaThread&) {
    TThread::Synchronize([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
  });
  EXPECT_TRUE(MainThread::PumpUntil([&] { return returned.load(); }, 10s));
  t.WaitFor();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(MainThread, SynchronizeOnTheWindowThreadRunsDirectly) {
  int n = 0;
  MainThread::Synchronize([&] { ++n; });
  EXPECT_EQ(n, 1);
  EXPECT_EQ(MainThread::Pending(), 0u);
}

TEST(MainThread, ExceptionOfASynchronizedCallReachesTheCallingThread) {
  std::atomic<bool> caught{false};
  LambdaThread t(false, [&](LambdaThread&) {
    try {
      TThread::Synchronize([] { throw std::runtime_error("in window thread"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
  });
  t.WaitFor();  // waiting on the window thread serves the call
  EXPECT_TRUE(caught);
}

TEST(MainThread, WaitForServesSynchronizeOfTheLastRound) {
  // A body that synchronises right when it is told to stop must not deadlock the stop.
  std::atomic<int> calls{0};
  auto t = std::make_unique<LambdaThread>(false, [&](LambdaThread& self) {
    while (!self.Terminated()) {
      TThread::Synchronize([&] { ++calls; });
      Sleep(1);
    }
    TThread::Synchronize([&] { ++calls; });
  });
  MainThread::PumpUntil([&] { return calls.load() > 2; }, 10s);
  t->Terminate();
  t.reset();
  EXPECT_GT(calls.load(), 2);
}

TEST(MainThread, AcknowledgedSendReturnsWhenTakenAndRunsLater) {
  std::atomic<bool> ack{false};
  std::atomic<bool> ranCall{false};
  TEvent release;
  LambdaThread t(false, [&](LambdaThread&) {
    MainThread::SendAcknowledged([&] {
      release.WaitFor(5s);  // the poster has already moved on while this runs
      ranCall = true;
    });
    ack = true;
    release.Set();
  });
  MainThread::PumpUntil([&] { return ranCall.load(); }, 10s);
  t.WaitFor();
  EXPECT_TRUE(ack);
  EXPECT_TRUE(ranCall);
}

TEST(WaitHook, ASleepRunsTheHookAgainAndAgainMarkedAsWorkLetRunMeanwhile) {
  std::vector<std::chrono::steady_clock::time_point> calls;
  int depth = -1;
  SetWaitHook([&] {
    calls.push_back(std::chrono::steady_clock::now());
    depth = PumpDepth();
    WaitHookPoint();  // never from within itself
  });
  Sleep(300);
  SetWaitHook(nullptr);
  Sleep(50);
  // About every WaitHookInterval of the 300 ms, never closer together.
  ASSERT_GE(calls.size(), 5u);
  EXPECT_LE(calls.size(), 16u);
  for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i] - calls[i - 1], WaitHookInterval);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(PumpDepth(), 0);
}

TEST(Event, AutoResetEventReleasesOneWait) {
  TEvent e(false, false);
  EXPECT_FALSE(e.WaitFor(1ms));
  e.Set();
  EXPECT_TRUE(e.WaitFor(0ms));
  EXPECT_FALSE(e.IsSet());
  TEvent m(true, true);
  EXPECT_TRUE(m.WaitFor(0ms));
  EXPECT_TRUE(m.IsSet());
}

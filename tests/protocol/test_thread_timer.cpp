// The thread timer: ticks in the window thread at its interval, stop, a long handler, stale
// ticks, destruction.
#include <atomic>
#include <thread>
#include <vector>

#include "ProtocolTestUtil.h"

namespace prottest {
namespace {

using platform::MainThread;
using Clock = std::chrono::steady_clock;

struct TickLog {
  std::vector<Clock::time_point> times;
  std::vector<std::thread::id> threads;
  int count() const { return static_cast<int>(times.size()); }
};

TEST(ThreadTimer, FiresInTheWindowThreadUntilStopped) {
  TosThreadTimer_SL timer;
  TickLog log;
  timer.OnTimer = [&](TObject* sender) {
    EXPECT_EQ(sender, static_cast<TObject*>(&timer));
    log.times.push_back(Clock::now());
    log.threads.push_back(std::this_thread::get_id());
  };
  const auto start = Clock::now();
  timer.Start(100, true);
  EXPECT_TRUE(timer.Running());
  EXPECT_TRUE(timer.Repeating());
  ASSERT_TRUE(MainThread::PumpUntil([&] { return log.count() >= 3; }, 10s));
  timer.Stop();
  EXPECT_FALSE(timer.Running());
  // Three ticks take at least three intervals.
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(log.times[2] - start).count(), 290);
  for (auto id : log.threads) EXPECT_EQ(id, std::this_thread::get_id());
  // Nothing after the stop, not even a tick that was already on its way.
  const int atStop = log.count();
  MainThread::PumpUntil([] { return false; }, 400ms);
  EXPECT_EQ(log.count(), atStop);
}

TEST(ThreadTimer, TickQueuedBeforeTheStopIsDropped) {
  TosThreadTimer_SL timer;
  std::atomic<int> ticks{0};
  timer.OnTimer = [&](TObject*) { ++ticks; };
  timer.Start(10, true);
  // The window thread does not serve its queue yet: the first tick waits there.
  const auto until = Clock::now() + 10s;
  while (MainThread::Pending() == 0 && Clock::now() < until) std::this_thread::sleep_for(5ms);
  ASSERT_GT(MainThread::Pending(), 0u);
  timer.Stop();
  MainThread::PumpUntil([] { return false; }, 300ms);
  EXPECT_EQ(ticks.load(), 0);
}

TEST(ThreadTimer, StartWhileRunningKeepsTheFirstInterval) {
  TosThreadTimer_SL timer;
  int ticks = 0;
  timer.OnTimer = [&](TObject*) { ++ticks; };
  timer.Start(2000, true);
  timer.Start(20, true);  // ignored
  MainThread::PumpUntil([] { return false; }, 500ms);
  EXPECT_EQ(ticks, 0);
  timer.Stop();
  // A new interval needs a stop and a new start.
  timer.Start(20, true);
  EXPECT_TRUE(MainThread::PumpUntil([&] { return ticks >= 2; }, 10s));
}

TEST(ThreadTimer, RestartsQueuedWhileTheThreadWaitsRunAtTheLastInterval) {
  TosThreadTimer_SL timer;
  std::atomic<int> ticks{0};
  timer.OnTimer = [&](TObject*) { ++ticks; };
  timer.Start(10, true);
  // The timer thread now waits for the window thread with its first tick.
  const auto until = Clock::now() + 10s;
  while (MainThread::Pending() == 0 && Clock::now() < until) std::this_thread::sleep_for(5ms);
  ASSERT_GT(MainThread::Pending(), 0u);
  // Two restarts pile up in its queue meanwhile; only the last one counts.
  timer.Stop();
  timer.Start(8000, true);
  timer.Stop();
  timer.Start(50, true);
  const auto start = Clock::now();
  ASSERT_TRUE(MainThread::PumpUntil([&] { return ticks >= 2; }, 20s));
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
            4000);
  timer.Stop();
}

TEST(ThreadTimer, LongHandlerGivesBackToBackTicksNeverOverlapping) {
  TosThreadTimer_SL timer;
  TickLog log;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  timer.OnTimer = [&](TObject*) {
    if (++inside > 1) overlapped = true;
    log.times.push_back(Clock::now());
    std::this_thread::sleep_for(150ms);
    --inside;
  };
  timer.Start(50, true);
  ASSERT_TRUE(MainThread::PumpUntil([&] { return log.count() >= 4; }, 10s));
  timer.Stop();
  EXPECT_FALSE(overlapped.load());
  // The next tick follows the end of the previous handler, not a full interval later.
  for (int i = 1; i < 4; ++i) {
    const auto gap =
        std::chrono::duration_cast<std::chrono::milliseconds>(log.times[i] - log.times[i - 1]).count();
    EXPECT_GE(gap, 140);
    EXPECT_LT(gap, 150 + 50 + 1000);  // generous: a loaded machine
  }
}

TEST(ThreadTimer, UnsynchronizedTicksRunOnTheTimerThread) {
  TosThreadTimer_SL timer;
  timer.Synchronized = false;
  std::atomic<int> ticks{0};
  std::atomic<bool> onWindowThread{false};
  const auto windowThread = std::this_thread::get_id();
  timer.OnTimer = [&](TObject*) {
    if (std::this_thread::get_id() == windowThread) onWindowThread = true;
    ++ticks;
  };
  timer.Start(20, true);
  const auto until = Clock::now() + 10s;
  while (ticks < 3 && Clock::now() < until) std::this_thread::sleep_for(5ms);
  timer.Stop();
  EXPECT_GE(ticks.load(), 3);
  EXPECT_FALSE(onWindowThread.load());
}

TEST(ThreadTimer, HandlerErrorDoesNotEndTheTimer) {
  TosThreadTimer_SL timer;
  int ticks = 0;
  SetApplicationErrorHook([](TObject*, std::exception_ptr) {});
  timer.OnTimer = [&](TObject*) {
    ++ticks;
    throw std::runtime_error("handler failed");
  };
  timer.Start(20, true);
  EXPECT_TRUE(MainThread::PumpUntil([&] { return ticks >= 3; }, 10s));
  timer.Stop();
  SetApplicationErrorHook(nullptr);
}

TEST(ThreadTimer, DestroyingARunningTimerReturnsPromptly) {
  std::atomic<int> ticks{0};
  auto timer = std::make_unique<TosThreadTimer_SL>();
  timer->OnTimer = [&](TObject*) { ++ticks; };
  timer->Start(30, true);
  MainThread::PumpUntil([&] { return ticks >= 1; }, 10s);
  const auto start = Clock::now();
  timer.reset();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2000);
  const int atEnd = ticks;
  MainThread::PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(ticks.load(), atEnd);

  // A timer that never started ends as quickly.
  const auto start2 = Clock::now();
  { TosThreadTimer_SL idle; }
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start2).count(), 2000);
}

}  // namespace
}  // namespace prottest

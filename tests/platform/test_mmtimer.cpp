// The periodic timer thread behind the scope's samples: its period and schedule, and killing it
// from outside while a callback runs and from inside its own callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/MMTimer.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// What the callbacks saw, for the test thread to wait on.
struct Ticks {
  std::mutex m;
  std::condition_variable cv;
  std::vector<Clock::time_point> times;
  std::vector<std::uintptr_t> users;
  std::vector<std::thread::id> threads;

  void Add(std::uintptr_t user) {
    std::lock_guard<std::mutex> lock(m);
    times.push_back(Clock::now());
    users.push_back(user);
    threads.push_back(std::this_thread::get_id());
    cv.notify_all();
  }
  bool WaitFor(std::size_t n, std::chrono::milliseconds timeout = 10s) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, timeout, [&] { return times.size() >= n; });
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(m);
    return times.size();
  }
};

TEST(MMTimer, FiresPeriodicallyOnItsOwnThreadOnAFixedSchedule) {
  Ticks ticks;
  const auto start = Clock::now();
  const std::uint32_t id = platform::timeSetEvent(
      20, 0,
      [&](std::uint32_t, std::uint32_t msg, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
        EXPECT_EQ(msg, 0u);
        ticks.Add(user);
      },
      42);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(ticks.WaitFor(25));
  EXPECT_EQ(platform::timeKillEvent(id), platform::TIMERR_NOERROR);

  std::lock_guard<std::mutex> lock(ticks.m);
  EXPECT_EQ(ticks.users.front(), 42u);
  EXPECT_NE(ticks.threads.front(), std::this_thread::get_id());
  // No drift: the n-th tick is due at start + n * 20 ms. Loosely, for a busy machine: never
  // early, and on average close to the period. (Measured from the start: a first tick that came
  // late shortens the span to the last one without any tick being early.)
  const double first = std::chrono::duration<double, std::milli>(ticks.times[0] - start).count();
  EXPECT_GE(first, 19.0);
  const double last = std::chrono::duration<double, std::milli>(ticks.times[24] - start).count();
  EXPECT_GE(last, 25 * 20 - 1);
  EXPECT_LT(last, 25 * 20 + 2000);  // generous: a loaded machine
}

TEST(MMTimer, KillingFromOutsideWaitsForTheRunningCallback) {
  std::atomic<bool> inCallback{false};
  std::atomic<bool> finished{false};
  std::atomic<int> calls{0};
  const std::uint32_t id = platform::timeSetEvent(
      5, 0,
      [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
        ++calls;
        inCallback = true;
        std::this_thread::sleep_for(150ms);
        finished = true;
      },
      0);
  ASSERT_NE(id, 0u);
  const auto deadline = Clock::now() + 10s;
  while (!inCallback && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(inCallback);
  EXPECT_EQ(platform::timeKillEvent(id), platform::TIMERR_NOERROR);
  EXPECT_TRUE(finished) << "the kill returned while the callback still ran";
  const int after = calls;
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(calls, after);
  // The id is gone.
  EXPECT_EQ(platform::timeKillEvent(id), platform::MMSYSERR_INVALPARAM);
}

TEST(MMTimer, KillingFromItsOwnCallbackDoesNotDeadlock) {
  Ticks ticks;
  std::atomic<std::uint32_t> id{0};
  std::atomic<std::uint32_t> killResult{99};
  std::mutex startMutex;
  std::unique_lock<std::mutex> holdStart(startMutex);
  id = platform::timeSetEvent(
      5, 0,
      [&](std::uint32_t timerId, std::uint32_t, std::uintptr_t user, std::uintptr_t,
          std::uintptr_t) {
        { std::lock_guard<std::mutex> wait(startMutex); }  // until the id is stored
        ticks.Add(user);
        if (ticks.Count() == 3) killResult = platform::timeKillEvent(timerId);
      },
      7);
  holdStart.unlock();
  ASSERT_NE(id.load(), 0u);
  ASSERT_TRUE(ticks.WaitFor(3));
  const auto deadline = Clock::now() + 10s;
  while (killResult == 99u && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(killResult.load(), platform::TIMERR_NOERROR);
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(ticks.Count(), 3u);
  EXPECT_EQ(platform::timeKillEvent(id), platform::MMSYSERR_INVALPARAM);
  // A new timer starts (and reaps the ended thread) as usual.
  Ticks more;
  const std::uint32_t id2 = platform::timeSetEvent(
      5, 0,
      [&](std::uint32_t, std::uint32_t, std::uintptr_t u, std::uintptr_t, std::uintptr_t) {
        more.Add(u);
      },
      1);
  ASSERT_NE(id2, 0u);
  EXPECT_NE(id2, id.load());
  EXPECT_TRUE(more.WaitFor(2));
  EXPECT_EQ(platform::timeKillEvent(id2), platform::TIMERR_NOERROR);
}

TEST(MMTimer, ALongCallbackIsFollowedAtOnceAndAThrowingOneKeepsTheTimer) {
  Ticks ticks;
  std::atomic<int> n{0};
  const std::uint32_t id = platform::timeSetEvent(
      10, 0,
      [&](std::uint32_t, std::uint32_t, std::uintptr_t u, std::uintptr_t, std::uintptr_t) {
        ticks.Add(u);
        const int k = ++n;
        if (k == 1) std::this_thread::sleep_for(35ms);  // overruns three periods
        if (k == 2) throw std::runtime_error("callback failure");
      },
      0);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(ticks.WaitFor(5));
  EXPECT_EQ(platform::timeKillEvent(id), platform::TIMERR_NOERROR);
  std::lock_guard<std::mutex> lock(ticks.m);
  // After the overrun the schedule starts anew: one tick at once, then one per period. Only
  // lower bounds are checked (a timer never fires early; a loaded machine only makes it late):
  // the fifth tick comes at least 35 + 3 * 10 ms after the first, where a burst of the missed
  // ticks would bring it at 50 ms.
  const auto ms = [&](int a, int b) {
    return std::chrono::duration<double, std::milli>(ticks.times[b] - ticks.times[a]).count();
  };
  EXPECT_GE(ms(0, 1), 34.0);
  EXPECT_GE(ms(0, 4), 60.0);
}

}  // namespace

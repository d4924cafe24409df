#include "platform/MMTimer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct TTimer {
  std::uint32_t Id = 0;
  Clock::duration Period{};
  TMMTimerCallback Callback;
  std::uintptr_t User = 0;

  std::mutex Mutex;
  std::condition_variable Wake;
  bool Stop = false;
  std::atomic<bool> Finished{false};
  std::thread Thread;
};

// Every running timer, and the threads of timers that were killed from their own callback:
// those cannot wait for themselves, so their threads are joined later, once they have ended.
class TRegistry {
 public:
  ~TRegistry() {
    std::map<std::uint32_t, std::shared_ptr<TTimer>> live;
    std::vector<std::shared_ptr<TTimer>> ended;
    {
      std::lock_guard<std::mutex> lock(Mutex);
      live.swap(Live);
      ended.swap(Ended);
    }
    for (auto& [id, t] : live) {
      {
        std::lock_guard<std::mutex> lock(t->Mutex);
        t->Stop = true;
      }
      t->Wake.notify_all();
    }
    for (auto& [id, t] : live)
      if (t->Thread.joinable()) t->Thread.join();
    for (auto& t : ended)
      if (t->Thread.joinable()) t->Thread.join();
  }

  // Takes the ended threads that have finished, for joining outside the lock. Caller holds Mutex.
  std::vector<std::shared_ptr<TTimer>> TakeFinishedLocked() {
    std::vector<std::shared_ptr<TTimer>> done;
    for (auto it = Ended.begin(); it != Ended.end();) {
      if ((*it)->Finished.load()) {
        done.push_back(std::move(*it));
        it = Ended.erase(it);
      } else {
        ++it;
      }
    }
    return done;
  }

  std::mutex Mutex;
  std::map<std::uint32_t, std::shared_ptr<TTimer>> Live;
  std::vector<std::shared_ptr<TTimer>> Ended;
  std::uint32_t NextId = 1;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

void JoinAll(std::vector<std::shared_ptr<TTimer>>& Timers) {
  for (auto& t : Timers)
    if (t->Thread.joinable()) t->Thread.join();
  Timers.clear();
}

void RunTimer(const std::shared_ptr<TTimer>& T) {
  // Ticks at start + n * Period: the time a callback takes does not shift the schedule.
  Clock::time_point next = Clock::now() + T->Period;
  std::unique_lock<std::mutex> lock(T->Mutex);
  for (;;) {
    if (T->Wake.wait_until(lock, next, [&] { return T->Stop; })) break;
    lock.unlock();
    try {
      T->Callback(T->Id, 0, T->User, 0, 0);
    } catch (...) {
      // Nothing leaves the timer's thread; the next tick comes as planned.
    }
    lock.lock();
    if (T->Stop) break;
    next += T->Period;
    // More than a period behind (a long callback, a stalled machine): start the schedule anew
    // rather than fire the missed ticks in a burst.
    const Clock::time_point now = Clock::now();
    if (now > next + T->Period) next = now;
  }
  T->Finished = true;
}

}  // namespace

std::uint32_t timeSetEvent(std::uint32_t Delay, std::uint32_t /*Resolution*/,
                           TMMTimerCallback Callback, std::uintptr_t User) {
  if (Delay == 0 || !Callback) return 0;
  auto t = std::make_shared<TTimer>();
  t->Period = std::chrono::milliseconds(Delay);
  t->Callback = std::move(Callback);
  t->User = User;
  TRegistry& reg = Registry();
  std::vector<std::shared_ptr<TTimer>> finished;
  std::uint32_t id = 0;
  {
    std::lock_guard<std::mutex> lock(reg.Mutex);
    finished = reg.TakeFinishedLocked();
    id = reg.NextId++;
    if (reg.NextId == 0) reg.NextId = 1;  // 0 is never an id
    t->Id = id;
    try {
      // Started under the lock, so that a kill from the first callback finds the timer.
      t->Thread = std::thread([t] { RunTimer(t); });
    } catch (...) {
      return 0;
    }
    reg.Live.emplace(id, t);
  }
  JoinAll(finished);
  return id;
}

std::uint32_t timeKillEvent(std::uint32_t TimerId) {
  TRegistry& reg = Registry();
  std::shared_ptr<TTimer> t;
  std::vector<std::shared_ptr<TTimer>> finished;
  bool fromOwnCallback = false;
  {
    std::lock_guard<std::mutex> lock(reg.Mutex);
    auto it = reg.Live.find(TimerId);
    if (it == reg.Live.end()) return MMSYSERR_INVALPARAM;
    t = std::move(it->second);
    reg.Live.erase(it);
    fromOwnCallback = t->Thread.get_id() == std::this_thread::get_id();
    if (fromOwnCallback) reg.Ended.push_back(t);
    finished = reg.TakeFinishedLocked();
  }
  {
    std::lock_guard<std::mutex> lock(t->Mutex);
    t->Stop = true;
  }
  t->Wake.notify_all();
  // From outside: a callback that is running ends first.
  if (!fromOwnCallback && t->Thread.joinable()) t->Thread.join();
  JoinAll(finished);
  return TIMERR_NOERROR;
}

}  // namespace platform

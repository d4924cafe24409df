// A timer that waits on a thread of its own and fires its event in the window thread.
//
// The monitor poll needs a steady period that does not depend on the window's event loop, yet
// its work (exchanges with the module, view updates) belongs in the window thread: the timer
// thread keeps the time and hands each tick to the window thread with MainThread::Synchronize.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "model/MyGlobalUtils.h"
#include "platform/Object.h"
#include "platform/Threads.h"

// The thread message that starts the timer; its wParam is the interval in milliseconds, its
// lParam the start's generation.
constexpr platform::MessageId TM_TIMERSTART = 0x8169;
// The timer thread takes its messages in the range 0..TM_LASTMESSAGE.
constexpr platform::MessageId TM_LASTMESSAGE = 0x818F;

// Also a TObject, so that it can be the sender of its event.
class TosBaseTimerThread : public TosBaseThread, public TObject {
 public:
  using TTimerEvent = std::function<void(TObject* Sender)>;

  // Creates the thread (suspended as asked). The most derived class resumes it at the end of its
  // own constructor, so that the thread never runs a body of a half-built object.
  explicit TosBaseTimerThread(bool CreateSuspended);
  ~TosBaseTimerThread() override;

  // Fire OnTimer in the window thread (true after construction) or on the timer thread.
  std::atomic<bool> Synchronized{true};
  // The event fired. Set it before the first Start; window thread only.
  TTimerEvent OnTimer;

  bool Repeating() const { return Repeating_.load(); }
  bool Running() const { return Running_.load(); }

  // Ignored while running; otherwise starts firing every Interval ms until Stop.
  virtual void Start(std::uint32_t Interval, bool Repeat);
  // Ends the firing. A tick already on its way to the window thread is dropped.
  virtual void Stop();
  // Calls OnTimer(this) when assigned.
  void DoTimer();

 protected:
  // Waits until the thread is terminated.
  void Execute() override;

  // Runs one tick: in the window thread when Synchronized, else here. A tick that arrives after
  // a Stop (or a Stop and a new Start) is dropped.
  void Fire(std::uint64_t Generation);
  // Waits up to Ms or until Stop or the thread's end wakes it.
  void WaitSlice(std::uint32_t Ms);

  std::atomic<bool> Repeating_{false};
  std::atomic<bool> Running_{false};
  // Counts the starts, so a tick of an earlier run is recognised.
  std::atomic<std::uint64_t> Generation_{0};
  platform::TEvent Wake_{false, false};
};

class TosThreadTimer_SL : public TosBaseTimerThread {
 public:
  // The thread runs (at the highest priority) when the constructor returns.
  explicit TosThreadTimer_SL(bool CreateSuspended = false);
  // Stops the firing, ends the thread and waits for it (serving window-thread calls meanwhile).
  ~TosThreadTimer_SL() override;

  void Start(std::uint32_t Interval, bool Repeat) override;
  void Stop() override;

 protected:
  // The timing loop: waits for a start message, then fires every interval until stopped.
  void Execute() override;
};

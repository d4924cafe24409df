// Threads, per-thread message queues and the window-thread call queue.
//
// The program's model is a window thread that runs every user action, plus worker threads
// (serial event thread, timer thread, scope paint thread) that hand work to the window thread
// with Synchronize. This layer gives them that model on std::thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

using MessageId = std::uint32_t;

constexpr MessageId WM_NULL = 0x0000;
constexpr MessageId WM_QUIT = 0x0012;
constexpr MessageId WM_USER = 0x0400;

struct TMsg {
  MessageId message = WM_NULL;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// A thread's message queue. Posting never blocks; the owner takes messages in order.
// A range filter [first, last] with both 0 takes every message; WM_QUIT is taken whatever the
// filter says, so a quit always reaches a waiting body.
class TMessageQueue {
 public:
  void Post(MessageId message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

  // Waits for a message in the range. Returns false when the message taken is WM_QUIT.
  bool Get(TMsg& msg, MessageId first = 0, MessageId last = 0);

  // Like Get, but gives up after the timeout; `timedOut` tells which happened.
  bool GetFor(TMsg& msg, std::chrono::milliseconds timeout, bool& timedOut,
              MessageId first = 0, MessageId last = 0);

  // Looks for a message in the range without waiting; `remove` takes it off the queue.
  bool Peek(TMsg& msg, MessageId first = 0, MessageId last = 0, bool remove = true);

  std::size_t Size() const;
  void Clear();

 private:
  bool TakeLocked(TMsg& msg, MessageId first, MessageId last, bool remove);

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<TMsg> messages_;
};

// Milliseconds since an arbitrary fixed point (monotonic), as a 32-bit tick count.
std::uint32_t GetTickCount();
// Milliseconds since an arbitrary fixed point (monotonic), 64 bits.
std::uint64_t GetTickCount64();
// Sleeps on the calling thread; a thread with a wait hook (below) calls it meanwhile.
void Sleep(unsigned milliseconds);
// Sleeps until the time point, calling the thread's wait hook meanwhile.
void SleepUntil(std::chrono::steady_clock::time_point until);

// A thread that does long work while a window must stay alive (the window thread in its busy
// mode) gives its waits a hook: every wait of that thread on the line or in a pause calls it at
// least every WaitHookInterval. Per thread; other threads never see it. The hook must not throw
// and must not use the line the waiting operation holds; it is not called again from within
// itself.
constexpr std::chrono::milliseconds WaitHookInterval{20};
// Sets the calling thread's hook; an empty function removes it.
void SetWaitHook(std::function<void()> hook);
bool HasWaitHook();
// Runs the calling thread's hook when one is set and WaitHookInterval has passed since its last
// run. Cheap when no hook is set. The hook runs inside a TPumpScope.
void WaitHookPoint();

// Marks, for its life, a stretch in which a thread lets other work run in the middle of its own
// (the window thread processing its events while it waits). An operation that holds a resource
// tells by PumpDepth whether a call comes from its own steps (the depth it began at) or from work
// run in such a stretch (a greater depth), which must not use the resource meanwhile.
class TPumpScope {
 public:
  TPumpScope();
  ~TPumpScope();
  TPumpScope(const TPumpScope&) = delete;
  TPumpScope& operator=(const TPumpScope&) = delete;
};
// How many TPumpScopes of the calling thread are open, plus the event loops it runs now (see
// SetLoopDepthHook): a modal dialog opened in the middle of an operation runs other work too.
int PumpDepth();
// Tells the calling thread how deep in nested event loops it is (a GUI toolkit counts them; a
// modal dialog's loop is one more). Per thread; null removes it. Must be cheap and not throw.
using TLoopDepthHook = int (*)();
void SetLoopDepthHook(TLoopDepthHook hook);

// The window thread and the calls other threads hand to it.
class MainThread {
 public:
  // Makes the calling thread the window thread. By default it is the thread that ran the
  // program's static initialisation (the process's first thread).
  static void SetCurrent();
  static bool IsCurrent();

  // Runs `call` on the window thread and returns when it has run. On the window thread itself
  // it runs at once. An exception raised by the call is raised again in the caller.
  static void Synchronize(const std::function<void()>& call);

  // Hands `call` to the window thread and returns as soon as the window thread has taken it
  // off the queue (before it runs). On the window thread itself it runs at once.
  static void SendAcknowledged(std::function<void()> call);

  // Runs every call waiting for the window thread. Called from the window thread's event loop
  // and by waits on the window thread. Returns true when at least one call ran.
  static bool CheckSynchronize();

  // Waits on the window thread until `done` holds or the timeout passes, serving queued calls
  // meanwhile, inside a TPumpScope (they are no step of what waits). Returns the last value of
  // `done`. A plain pump for tests and for waits.
  static bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Installed by the GUI: asks its event loop to call CheckSynchronize soon. Called from the
  // thread that queued a call. Without a hook, calls wait until the window thread pumps.
  static void SetWakeHook(std::function<void()> hook);

  // Wakes a window thread that waits in PumpUntil or WaitFor, so it re-checks its condition.
  static void Notify();

  static std::size_t Pending();
};

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A worker thread with the behaviour the program relies on:
// - created suspended or running; a suspended thread holds no operating-system thread;
// - a thread whose Terminated flag is already set when it starts never runs its body;
// - an exception leaving Execute is caught at the top of the thread and kept in FatalException;
// - WaitFor on the window thread keeps serving Synchronize calls, so a body that synchronises
//   during its last round does not deadlock the stop.
// A derived class whose Execute uses the derived object must stop and wait for the thread in
// its own destructor (see StopThread); the base destructor does so only as a last resort.
//
// The constructor never starts the thread, whatever `createSuspended` says: a body started from
// a base constructor could run before the derived object exists. A class that wants a running
// thread calls Start() as the last step of its own constructor; `createSuspended` is only
// recorded (CreatedSuspended).
class TThread {
 public:
  explicit TThread(bool createSuspended);
  virtual ~TThread();

  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts a suspended thread (the first time only; later calls do nothing).
  void Start();
  void Resume() { Start(); }

  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  bool Suspended() const { return suspended_.load(); }
  bool Finished() const { return finished_.load(); }
  bool CreatedSuspended() const { return createdSuspended_; }

  // Waits until the body has returned (a thread never started counts as finished when it is
  // terminated and started here). Returns ReturnValue.
  int WaitFor();

  std::thread::id ThreadID() const { return id_; }
  TMessageQueue& MessageQueue() { return queue_; }
  void PostMessage(MessageId message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
    queue_.Post(message, wParam, lParam);
  }

  void SetPriority(TThreadPriority p) { priority_ = p; }
  TThreadPriority Priority() const { return priority_; }

  std::exception_ptr FatalException() const;
  int ReturnValue() const { return returnValue_; }

  // Runs `call` in the window thread (see MainThread::Synchronize).
  static void Synchronize(const std::function<void()>& call) { MainThread::Synchronize(call); }

 protected:
  virtual void Execute() = 0;
  void SetReturnValue(int v) { returnValue_ = v; }
  // For destructors of derived classes: terminate, start if suspended, and wait.
  void StopThread();

 private:
  void Run();

  std::atomic<bool> terminated_{false};
  std::atomic<bool> suspended_{false};
  std::atomic<bool> finished_{false};
  bool createdSuspended_ = false;
  bool started_ = false;
  std::mutex startMutex_;
  std::thread thread_;
  std::thread::id id_{};
  TMessageQueue queue_;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  mutable std::mutex excMutex_;
  std::exception_ptr fatal_;
  int returnValue_ = 0;
};

// A manual- or auto-reset event, as the program's threads wait on them.
class TEvent {
 public:
  explicit TEvent(bool manualReset = true, bool initialState = false);
  void Set();
  void Reset();
  // Waits up to `timeout` (negative: no limit); true when the event was signalled.
  bool WaitFor(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));
  bool IsSet() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool manual_;
  bool state_;
};

}  // namespace platform

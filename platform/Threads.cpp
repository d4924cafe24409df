#include "platform/Threads.h"

#include <memory>

namespace platform {

// ---------------------------------------------------------------------------------------------
// TMessageQueue

namespace {
bool InRange(const TMsg& m, MessageId first, MessageId last) {
  if (m.message == WM_QUIT) return true;
  if (first == 0 && last == 0) return true;
  return m.message >= first && m.message <= last;
}
}  // namespace

void TMessageQueue::Post(MessageId message, std::uintptr_t wParam, std::intptr_t lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(TMsg{message, wParam, lParam});
  }
  cv_.notify_all();
}

bool TMessageQueue::TakeLocked(TMsg& msg, MessageId first, MessageId last, bool remove) {
  for (auto it = messages_.begin(); it != messages_.end(); ++it) {
    if (InRange(*it, first, last)) {
      msg = *it;
      if (remove) messages_.erase(it);
      return true;
    }
  }
  return false;
}

bool TMessageQueue::Get(TMsg& msg, MessageId first, MessageId last) {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [&] { return TakeLocked(msg, first, last, true); });
  return msg.message != WM_QUIT;
}

bool TMessageQueue::GetFor(TMsg& msg, std::chrono::milliseconds timeout, bool& timedOut,
                           MessageId first, MessageId last) {
  std::unique_lock<std::mutex> lock(mutex_);
  timedOut = !cv_.wait_for(lock, timeout, [&] { return TakeLocked(msg, first, last, true); });
  if (timedOut) return false;
  return msg.message != WM_QUIT;
}

bool TMessageQueue::Peek(TMsg& msg, MessageId first, MessageId last, bool remove) {
  std::lock_guard<std::mutex> lock(mutex_);
  return TakeLocked(msg, first, last, remove);
}

std::size_t TMessageQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_.size();
}

void TMessageQueue::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}

// ---------------------------------------------------------------------------------------------
// Time

std::uint64_t GetTickCount64() {
  using namespace std::chrono;
  static const steady_clock::time_point origin = steady_clock::now();
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now() - origin).count());
}

std::uint32_t GetTickCount() { return static_cast<std::uint32_t>(GetTickCount64()); }

namespace {

struct TWaitHookState {
  std::function<void()> hook;
  std::chrono::steady_clock::time_point last{};
  bool running = false;
};

TWaitHookState& ThreadWaitHook() {
  thread_local TWaitHookState state;
  return state;
}

thread_local int pumpDepth = 0;
thread_local TLoopDepthHook loopDepth = nullptr;

}  // namespace

TPumpScope::TPumpScope() { ++pumpDepth; }
TPumpScope::~TPumpScope() { --pumpDepth; }
int PumpDepth() { return pumpDepth + (loopDepth ? loopDepth() : 0); }
void SetLoopDepthHook(TLoopDepthHook hook) { loopDepth = hook; }

void SetWaitHook(std::function<void()> hook) {
  TWaitHookState& s = ThreadWaitHook();
  s.hook = std::move(hook);
  s.last = std::chrono::steady_clock::now();
}

bool HasWaitHook() { return static_cast<bool>(ThreadWaitHook().hook); }

void WaitHookPoint() {
  TWaitHookState& s = ThreadWaitHook();
  if (!s.hook || s.running) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - s.last < WaitHookInterval) return;
  s.running = true;
  // A copy: the hook may replace itself.
  const std::function<void()> hook = s.hook;
  try {
    const TPumpScope pump;
    hook();
  } catch (...) {
    // A hook that fails must not end the wait that called it.
  }
  s.running = false;
  s.last = std::chrono::steady_clock::now();
}

void SleepUntil(std::chrono::steady_clock::time_point until) {
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return;
    if (!HasWaitHook()) {
      std::this_thread::sleep_until(until);
      return;
    }
    WaitHookPoint();
    std::this_thread::sleep_until(std::min(until, std::chrono::steady_clock::now() + WaitHookInterval));
  }
}

void Sleep(unsigned milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (HasWaitHook()) {
    SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// ---------------------------------------------------------------------------------------------
// MainThread

namespace {

struct PendingCall {
  std::function<void()> call;
  bool taken = false;
  bool done = false;
  bool acknowledgeOnly = false;  // the poster waits only until the call is taken
  std::exception_ptr error;
};

struct MainState {
  std::mutex mutex;
  std::condition_variable cv;  // wakes the window thread (new call, Notify)
  std::condition_variable doneCv;  // wakes posters (taken / done)
  std::deque<std::shared_ptr<PendingCall>> calls;
  std::uint64_t generation = 0;
  std::function<void()> wakeHook;
  std::thread::id mainId = std::this_thread::get_id();
};

MainState& State() {
  static MainState state;
  return state;
}

// Fix the window thread at static initialisation, which runs on the process's first thread.
const bool kMainThreadFixed = [] {
  State();
  return true;
}();

void Enqueue(const std::shared_ptr<PendingCall>& pc) {
  MainState& s = State();
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.calls.push_back(pc);
    ++s.generation;
    hook = s.wakeHook;
  }
  s.cv.notify_all();
  if (hook) hook();
}

}  // namespace

void MainThread::SetCurrent() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().mainId = std::this_thread::get_id();
}

bool MainThread::IsCurrent() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().mainId == std::this_thread::get_id();
}

void MainThread::Synchronize(const std::function<void()>& call) {
  if (!call) return;
  if (IsCurrent()) {
    call();
    return;
  }
  auto pc = std::make_shared<PendingCall>();
  pc->call = call;
  Enqueue(pc);
  MainState& s = State();
  std::unique_lock<std::mutex> lock(s.mutex);
  s.doneCv.wait(lock, [&] { return pc->done; });
  if (pc->error) std::rethrow_exception(pc->error);
}

void MainThread::SendAcknowledged(std::function<void()> call) {
  if (!call) return;
  if (IsCurrent()) {
    call();
    return;
  }
  auto pc = std::make_shared<PendingCall>();
  pc->call = std::move(call);
  pc->acknowledgeOnly = true;
  Enqueue(pc);
  MainState& s = State();
  std::unique_lock<std::mutex> lock(s.mutex);
  s.doneCv.wait(lock, [&] { return pc->taken; });
}

bool MainThread::CheckSynchronize() {
  MainState& s = State();
  bool ranAny = false;
  for (;;) {
    std::shared_ptr<PendingCall> pc;
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.calls.empty()) break;
      pc = s.calls.front();
      s.calls.pop_front();
      pc->taken = true;
    }
    s.doneCv.notify_all();
    std::exception_ptr error;
    try {
      pc->call();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      // An acknowledged call has no waiter left to take its error: it is dropped here, the
      // caller of SendAcknowledged reports errors inside the call itself.
      pc->error = pc->acknowledgeOnly ? nullptr : error;
      pc->done = true;
    }
    s.doneCv.notify_all();
    ranAny = true;
  }
  return ranAny;
}

bool MainThread::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  using clock = std::chrono::steady_clock;
  const bool forever = timeout.count() < 0;
  const auto deadline = clock::now() + (forever ? std::chrono::milliseconds(0) : timeout);
  MainState& s = State();
  const bool onMain = IsCurrent();
  for (;;) {
    if (onMain) {
      const TPumpScope pump;
      CheckSynchronize();
    }
    if (done()) return true;
    const auto now = clock::now();
    if (!forever && now >= deadline) return done();
    // Short slices: `done` may turn true without anyone calling Notify.
    auto slice = std::chrono::milliseconds(5);
    if (!forever) slice = std::min(slice, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                              std::chrono::milliseconds(1));
    std::unique_lock<std::mutex> lock(s.mutex);
    const std::uint64_t gen = s.generation;
    s.cv.wait_for(lock, slice, [&] { return s.generation != gen || (onMain && !s.calls.empty()); });
  }
}

void MainThread::SetWakeHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().wakeHook = std::move(hook);
}

void MainThread::Notify() {
  MainState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.generation;
  }
  s.cv.notify_all();
}

std::size_t MainThread::Pending() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().calls.size();
}

// ---------------------------------------------------------------------------------------------
// TThread

TThread::TThread(bool createSuspended) : createdSuspended_(createSuspended) {
  (void)kMainThreadFixed;
  suspended_ = true;
}

TThread::~TThread() { StopThread(); }

void TThread::Start() {
  std::lock_guard<std::mutex> lock(startMutex_);
  if (started_) return;
  // Only a thread that really exists counts as started: when the system refuses one, the
  // exception leaves the object suspended, and destroying it does not wait for a body.
  thread_ = std::thread([this] { Run(); });
  id_ = thread_.get_id();
  started_ = true;
  suspended_ = false;
}

void TThread::Run() {
  // A thread terminated before it began never runs its body.
  if (!terminated_.load()) {
    try {
      Execute();
    } catch (...) {
      std::lock_guard<std::mutex> lock(excMutex_);
      fatal_ = std::current_exception();
    }
  }
  finished_ = true;
  MainThread::Notify();
}

void TThread::Terminate() { terminated_ = true; }

int TThread::WaitFor() {
  {
    std::lock_guard<std::mutex> lock(startMutex_);
    if (!started_) return returnValue_;
    if (std::this_thread::get_id() == id_) return returnValue_;  // a thread cannot wait for itself
  }
  if (MainThread::IsCurrent()) {
    MainThread::PumpUntil([this] { return finished_.load(); }, std::chrono::milliseconds(-1));
  }
  if (thread_.joinable()) thread_.join();
  return returnValue_;
}

void TThread::StopThread() {
  bool neverStarted;
  {
    std::lock_guard<std::mutex> lock(startMutex_);
    neverStarted = !started_;
    if (neverStarted) {
      // Starting it now with Terminated set would end it at once without its body; nothing to run.
      started_ = true;
      terminated_ = true;
      suspended_ = false;
      finished_ = true;
    }
  }
  if (neverStarted) return;
  if (!finished_.load()) terminated_ = true;
  if (std::this_thread::get_id() == id_) {
    // Destroyed from its own body: let it run out on its own.
    if (thread_.joinable()) thread_.detach();
    return;
  }
  WaitFor();
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard<std::mutex> lock(excMutex_);
  return fatal_;
}

// ---------------------------------------------------------------------------------------------
// TEvent

TEvent::TEvent(bool manualReset, bool initialState) : manual_(manualReset), state_(initialState) {}

void TEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = true;
  }
  cv_.notify_all();
}

void TEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = false;
}

bool TEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  bool ok;
  if (timeout.count() < 0) {
    cv_.wait(lock, [&] { return state_; });
    ok = true;
  } else {
    ok = cv_.wait_for(lock, timeout, [&] { return state_; });
  }
  if (ok && !manual_) state_ = false;
  return ok;
}

bool TEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

}  // namespace platform

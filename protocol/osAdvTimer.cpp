#include "protocol/osAdvTimer.h"

#include <algorithm>
#include <exception>

#include "serial/CPort.h"

namespace {
// The longest single wait of the timing loop: how late a Stop or the thread's end is noticed at
// worst when nothing wakes the loop.
constexpr std::uint32_t kSliceMs = 200;
}  // namespace

// ---- TosBaseTimerThread -----------------------------------------------------------------------

TosBaseTimerThread::TosBaseTimerThread(bool CreateSuspended) : TosBaseThread(true) {
  // The thread itself is started by the most derived constructor (see the header); a caller
  // asking for a suspended timer gets one that is nevertheless running, as every user expects.
  (void)CreateSuspended;
  SetPriority(platform::TThreadPriority::tpHighest);
}

TosBaseTimerThread::~TosBaseTimerThread() {
  Running_ = false;
  Wake_.Set();
  Shutdown();
}

void TosBaseTimerThread::Start(std::uint32_t Interval, bool Repeat) {
  if (Running_.load()) return;
  Repeating_ = Repeat;
  const std::uint64_t generation = ++Generation_;
  Running_ = true;
  // The start carries its generation: a start that a Stop and a newer Start overtook while it
  // waited in the queue is stale and must not lend the newer run its interval.
  PostMessage(TM_TIMERSTART, Interval, static_cast<std::intptr_t>(generation));
}

void TosBaseTimerThread::Stop() {
  Running_ = false;
  Repeating_ = false;
  Wake_.Set();
}

void TosBaseTimerThread::DoTimer() {
  if (OnTimer) OnTimer(this);
}

void TosBaseTimerThread::Execute() {
  platform::TMsg msg;
  while (!Terminated()) {
    if (!MessageQueue().Get(msg, 0, TM_LASTMESSAGE)) continue;  // WM_QUIT: check Terminated
  }
}

void TosBaseTimerThread::Fire(std::uint64_t Generation) {
  auto tick = [this, Generation] {
    // A tick queued before a Stop (or before a Stop and a new Start) is stale: drop it.
    if (!Running_.load() || Generation_.load() != Generation || Terminated()) return;
    DoTimer();
  };
  try {
    if (Synchronized.load())
      platform::MainThread::Synchronize(tick);
    else
      tick();
  } catch (...) {
    // A handler's error must not end the timer thread; the application reports it.
    HandleApplicationException(this, std::current_exception());
  }
}

void TosBaseTimerThread::WaitSlice(std::uint32_t Ms) {
  Wake_.WaitFor(std::chrono::milliseconds(std::min(Ms, kSliceMs)));
}

// ---- TosThreadTimer_SL ------------------------------------------------------------------------

TosThreadTimer_SL::TosThreadTimer_SL(bool CreateSuspended) : TosBaseTimerThread(CreateSuspended) {
  platform::TThread::Start();
}

TosThreadTimer_SL::~TosThreadTimer_SL() {
  Stop();
  Shutdown();
}

void TosThreadTimer_SL::Start(std::uint32_t Interval, bool Repeat) {
  TosBaseTimerThread::Start(Interval, Repeat);
}

void TosThreadTimer_SL::Stop() { TosBaseTimerThread::Stop(); }

void TosThreadTimer_SL::Execute() {
  platform::TMsg msg;
  while (!Terminated()) {
    if (!MessageQueue().Get(msg, 0, TM_LASTMESSAGE)) continue;  // WM_QUIT: check Terminated
    if (msg.message != TM_TIMERSTART) continue;
    const std::uint64_t interval = msg.wParam;
    const auto generation = static_cast<std::uint64_t>(msg.lParam);
    if (generation != Generation_.load()) continue;  // overtaken by a later start
    // A Stop between the Start and here leaves nothing to run; a wake-up left over from an
    // earlier Stop must not shorten the first interval.
    Wake_.Reset();
    std::uint64_t deadline = platform::GetTickCount64() + interval;
    while (!Terminated() && Running_.load() && Generation_.load() == generation) {
      const std::uint64_t now = platform::GetTickCount64();
      if (deadline > now) {
        WaitSlice(static_cast<std::uint32_t>(std::min<std::uint64_t>(deadline - now, kSliceMs)));
      } else {
        // Re-armed before the event runs: a handler longer than the interval gives
        // back-to-back firings, never overlapping ones.
        deadline = platform::GetTickCount64() + interval;
        Fire(generation);
      }
    }
  }
}

// The event thread of an open port and the delivery of line events.
#include <cerrno>
#include <mutex>

#include "serial/CPort.h"

using platform::MainThread;

const TComEvent ComEventDispatchOrder[10] = {evError, evRxChar,  evTxEmpty, evBreak, evRing,
                                             evCTS,   evDSR,     evRxFlag,  evRLSD,  evRx80Full};

namespace {

constexpr std::uint32_t kEventFlags[10] = {
    platform::EV_RXCHAR,  // evRxChar
    platform::EV_TXEMPTY, // evTxEmpty
    platform::EV_RXFLAG,  // evRxFlag
    platform::EV_RING,    // evRing
    platform::EV_BREAK,   // evBreak
    platform::EV_CTS,     // evCTS
    platform::EV_DSR,     // evDSR
    platform::EV_ERR,     // evError
    platform::EV_RLSD,    // evRLSD
    platform::EV_RX80FULL // evRx80Full
};

struct Graveyard {
  std::mutex mutex;
  std::vector<std::unique_ptr<TComThread>> threads;
};

// Never destroyed: threads buried here may still be ending while the program exits.
Graveyard& TheGraveyard() {
  static Graveyard* g = new Graveyard();
  return *g;
}

// Marks the calling thread as delivering this thread's events for the length of a delivery.
class TDeliveryMark {
 public:
  explicit TDeliveryMark(TComThread& t) : t_(t), prev_(t.DeliveringThread.exchange(std::this_thread::get_id())) {}
  ~TDeliveryMark() { t_.DeliveringThread.store(prev_); }
  TDeliveryMark(const TDeliveryMark&) = delete;
  TDeliveryMark& operator=(const TDeliveryMark&) = delete;

 private:
  TComThread& t_;
  std::thread::id prev_;
};

}  // namespace

std::uint32_t EventsToMask(TComEvents Events) {
  std::uint32_t mask = 0;
  for (int i = 0; i < 10; ++i)
    if (Events.Contains(static_cast<TComEvent>(i))) mask |= kEventFlags[i];
  return mask;
}

TComEvents MaskToEvents(std::uint32_t Mask) {
  TComEvents events;
  for (int i = 0; i < 10; ++i)
    if (Mask & kEventFlags[i]) events.Include(static_cast<TComEvent>(i));
  return events;
}

TComThread::TComThread(TCustomComPort* AComPort) : platform::TThread(true) {
  ReapGraveyard(false);
  ComPort = AComPort;
  Device_ = AComPort->Device_;
  Window_ = AComPort->Window_;
  SyncMethod_ = AComPort->SyncMethod_;
  SetPriority(AComPort->EventThreadPriority_);
  // A mask the device refuses shows in the first wait, which then ends the loop.
  (void)Device_->SetCommMask(EventsToMask(AComPort->WaitedEvents()));
  Start();
}

TComThread::~TComThread() {
  Stop();
  StopThread();
}

void TComThread::Stop() {
  StopRequested_ = true;
  StopEvent.Set();
  std::this_thread::yield();
}

void TComThread::Execute() {
  for (;;) {
    std::uint32_t mask = 0;
    const int e = Device_->WaitCommEvent(mask, StopEvent.Fd());
    if (StopRequested_.load() || e == ECANCELED) break;
    if (e != 0) {
      // A hang-up or a failing device ends the loop instead of spinning on it.
      EndReason_ = e;
      break;
    }
    if (mask == 0) continue;
    Events = MaskToEvents(mask);
    DispatchEvents();
    if (StopRequested_.load()) break;
  }
  (void)Device_->SetCommMask(0);
  (void)Device_->PurgeComm(platform::PURGE_TXCLEAR | platform::PURGE_RXCLEAR);
}

void TComThread::DispatchEvents() {
  // Only what something listens to is delivered: an event without a handler never costs the
  // window thread a wake-up (receive events come with every byte a poll reads itself).
  TCustomComPort* port = ComPort.load();
  Deliver_ = port ? Events & port->ListenedEvents() : TComEvents();
  if (Deliver_.Empty()) return;
  try {
    switch (SyncMethod_) {
      case smThreadSync:
        MainThread::Synchronize([this] { DoEvents(); });
        break;
      case smWindowSync:
        SendEvents();
        break;
      case smNone:
        DoEvents();
        break;
    }
  } catch (...) {
    // DoEvents reports every error itself; nothing leaves the thread.
    HandleApplicationException(ComPort.load(), std::current_exception());
  }
}

void TComThread::DoEvents() {
  TDeliveryMark mark(*this);
  for (TComEvent ev : ComEventDispatchOrder) {
    if (!Deliver_.Contains(ev)) continue;
    // A handler may have closed or freed the port: nothing is delivered after that. A stop
    // alone does not end the batch: Close waits for the batch in hand before it closes.
    TCustomComPort* port = ComPort.load();
    if (port == nullptr || !port->Connected()) break;
    try {
      switch (ev) {
        case evRxChar: port->CallRxChar(); break;
        case evTxEmpty: port->CallTxEmpty(); break;
        case evRxFlag: port->CallRxFlag(); break;
        case evRing: port->CallRing(); break;
        case evBreak: port->CallBreak(); break;
        case evCTS: port->CallCTSChange(); break;
        case evDSR: port->CallDSRChange(); break;
        case evError: port->CallError(); break;
        case evRLSD: port->CallRLSDChange(); break;
        case evRx80Full: port->CallRx80Full(); break;
      }
    } catch (...) {
      // Reported per delivery; the thread goes on while the device is there.
      HandleApplicationException(ComPort.load(), std::current_exception());
    }
  }
}

void TComThread::SendEvents() {
  const std::shared_ptr<TComWindow> window = Window_;
  if (!window) return;
  for (TComEvent ev : ComEventDispatchOrder) {
    if (!Deliver_.Contains(ev)) continue;
    const std::uint32_t flag = kEventFlags[static_cast<int>(ev)];
    MainThread::SendAcknowledged([window, flag] {
      if (TCustomComPort* port = window->Port.load()) port->WindowMethod(platform::WM_USER + 1, flag);
    });
  }
}

void TComThread::Bury(std::unique_ptr<TComThread> Thread) {
  if (!Thread) return;
  Graveyard& g = TheGraveyard();
  std::lock_guard<std::mutex> lock(g.mutex);
  g.threads.push_back(std::move(Thread));
}

void TComThread::ReapGraveyard(bool waitAll) {
  std::vector<std::unique_ptr<TComThread>> ended;
  {
    Graveyard& g = TheGraveyard();
    std::lock_guard<std::mutex> lock(g.mutex);
    for (auto it = g.threads.begin(); it != g.threads.end();) {
      if (waitAll || (*it)->Finished()) {
        ended.push_back(std::move(*it));
        it = g.threads.erase(it);
      } else {
        ++it;
      }
    }
  }
  ended.clear();  // joins outside the lock
}

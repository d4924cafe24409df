#include "serial/CPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/SerialPorts.h"

using platform::TCommDevice;

// ---- Transfers records --------------------------------------------------------------------

void InitAsync(PAsync& AsyncPtr) { AsyncPtr = new TAsync(); }

void DoneAsync(PAsync& AsyncPtr) {
  delete AsyncPtr;  // a pending transfer is forgotten by the device when its record goes
  AsyncPtr = nullptr;
}

namespace {

// Frees a transfer record on every path out of a synchronous transfer.
class TAsyncGuard {
 public:
  TAsyncGuard() { InitAsync(ptr); }
  ~TAsyncGuard() { DoneAsync(ptr); }
  TAsyncGuard(const TAsyncGuard&) = delete;
  TAsyncGuard& operator=(const TAsyncGuard&) = delete;
  PAsync ptr = nullptr;
};

std::uint32_t ToDword(int v) { return static_cast<std::uint32_t>(v); }

}  // namespace

// ---- Construction --------------------------------------------------------------------------

TCustomComPort::TCustomComPort(platform::TComponent* AOwner)
    : platform::TComponent(AOwner),
      Device_(std::make_shared<TCommDevice>()),
      Buffer_(std::make_unique<TComBuffer>()),
      Parity_(std::make_unique<TComParity>()),
      Timeouts_(std::make_unique<TComTimeouts>()),
      FlowControl_(std::make_unique<TComFlowControl>()) {
  Parity_->SetComPort(this);
  FlowControl_->SetComPort(this);
  Timeouts_->SetComPort(this);
  Buffer_->SetComPort(this);
  OnRxChar.Port_ = OnRxBuf.Port_ = this;
  OnTxEmpty.Port_ = OnBreak.Port_ = OnRing.Port_ = OnRxFlag.Port_ = OnRx80Full.Port_ = this;
  OnCTSChange.Port_ = OnDSRChange.Port_ = OnRLSDChange.Port_ = this;
  OnError.Port_ = this;
}

TCustomComPort::~TCustomComPort() {
  try {
    Close();
  } catch (...) {
    // Close always completes; an error of a handler it ran has nowhere to go from here.
  }
  // The settings objects must no longer reach a port that is going away.
  Buffer_->SetComPort(nullptr);
  FlowControl_->SetComPort(nullptr);
  Timeouts_->SetComPort(nullptr);
  Parity_->SetComPort(nullptr);
  RetireAllThreads();
  Links_.clear();
}

bool TCustomComPort::CanApply() const { return Connected_ && !Loading_ && !Designing(); }

int TCustomComPort::Handle() const { return Device_->Fd(); }

// ---- Open and close --------------------------------------------------------------------------

void TCustomComPort::Open() {
  if (Connected_ || Designing()) return;
  ReapRetiredThreads(false);
  DoBeforeOpen();
  CreateHandle();
  Connected_ = true;
  try {
    ApplySettings();
    if (!Events_.Empty()) {
      if (SyncMethod_ == smWindowSync) Window_ = std::make_shared<TComWindow>(this);
      EventThread_ = std::make_unique<TComThread>(this);
      ThreadCreated_ = true;
    } else {
      ThreadCreated_ = false;
    }
  } catch (...) {
    // Never a half-open port: the device is closed again and the error propagates.
    if (EventThread_) FreeEventThread();
    if (Window_) {
      Window_->Port = nullptr;
      Window_.reset();
    }
    DestroyHandle();
    Connected_ = false;
    throw;
  }
  NotifyLinksSignal(leConn, true);
  DoAfterOpen();
  const bool cts = Signals().Contains(csCTS);
  NotifyLinksSignal(leCTS, cts);
  DoCTSChange(cts);
  const bool dsr = Signals().Contains(csDSR);
  NotifyLinksSignal(leDSR, dsr);
  DoDSRChange(dsr);
  const bool rlsd = Signals().Contains(csRLSD);
  NotifyLinksSignal(leRLSD, rlsd);
  DoRLSDChange(rlsd);
}

void TCustomComPort::Close() {
  if (!Connected_ || Designing()) return;
  // The close always completes, also when a handler raises or the device is gone; the first
  // handler error is raised again once the port is closed.
  std::exception_ptr handlerError;
  auto guarded = [&](auto&& fn) {
    try {
      fn();
    } catch (...) {
      if (!handlerError) handlerError = std::current_exception();
    }
  };
  guarded([&] { NotifyLinksSignal(leCTS, false); });
  guarded([&] { NotifyLinksSignal(leDSR, false); });
  guarded([&] { NotifyLinksSignal(leRLSD, false); });
  guarded([&] { DoCTSChange(false); });
  guarded([&] { DoDSRChange(false); });
  guarded([&] { DoRLSDChange(false); });
  guarded([&] { DoBeforeClose(); });
  if (!Connected_) {
    // A handler closed the port meanwhile.
    if (handlerError) std::rethrow_exception(handlerError);
    return;
  }
  try {
    AbortAllAsync();
  } catch (const EComPort&) {
    // A device that has gone cannot abort anything; the close goes on.
  }
  // What was written gets its line time before the event thread's purge.
  Device_->DrainOutput();
  if (ThreadCreated_ || EventThread_) {
    const std::shared_ptr<TCommDevice> device = Device_;
    FreeEventThread();
    if (!Connected_ || Device_ != device) {
      // A handler of the batch handed over while the thread ended closed the port, and its
      // Close did the rest (after-close included, which must not come twice); a port it
      // opened again is closed in full, as asked.
      if (Connected_) guarded([&] { Close(); });
      if (handlerError) std::rethrow_exception(handlerError);
      return;
    }
    ThreadCreated_ = false;
  }
  if (Window_) {
    Window_->Port = nullptr;
    Window_.reset();
  }
  try {
    DestroyHandle();
  } catch (...) {
    if (!handlerError) handlerError = std::current_exception();
  }
  Connected_ = false;
  guarded([&] { NotifyLinksSignal(leConn, false); });
  guarded([&] { DoAfterClose(); });
  ReapRetiredThreads(false);
  if (handlerError) std::rethrow_exception(handlerError);
}

void TCustomComPort::FreeEventThread() {
  if (!EventThread_) return;
  EventThread_->Stop();
  if (EventThread_->DeliveringThread.load() == std::this_thread::get_id()) {
    // Closed from inside one of its own deliveries: the thread is waiting for this very call
    // to return, so it cannot be waited for here. It ends as soon as the delivery returns.
    Retired_.push_back(std::move(EventThread_));
  } else {
    EventThread_.reset();  // stops and waits (serving the window thread's queue meanwhile)
  }
}

void TCustomComPort::ReapRetiredThreads(bool wait) {
  for (auto it = Retired_.begin(); it != Retired_.end();) {
    if (wait || (*it)->Finished()) {
      it = Retired_.erase(it);
    } else {
      ++it;
    }
  }
}

void TCustomComPort::RetireAllThreads() {
  bool insideDelivery = false;
  for (auto& t : Retired_)
    if (t->DeliveringThread.load() == std::this_thread::get_id()) insideDelivery = true;
  if (!insideDelivery) {
    // A delivery these threads still hand over finds no port any more.
    for (auto& t : Retired_) t->ComPort = nullptr;
    ReapRetiredThreads(true);
    return;
  }
  // Destroyed from inside a delivery: the thread outlives the port; it no longer reaches it.
  for (auto& t : Retired_) {
    t->ComPort = nullptr;
    TComThread::Bury(std::move(t));
  }
  Retired_.clear();
}

void TCustomComPort::Loaded() {
  Loading_ = false;
  if (Connected_ && !Designing()) {
    Connected_ = false;
    try {
      Open();
    } catch (...) {
      HandleApplicationException(this, std::current_exception());
    }
  }
}

// ---- Device --------------------------------------------------------------------------------

void TCustomComPort::CreateHandle() {
  DevicePath_ = platform::ResolvePortName(Port_);
  // A fresh device object per opening: a thread retired during a delivery still holds the old
  // one and must not reach the new.
  Device_ = std::make_shared<TCommDevice>();
  const int e = Device_->Open(DevicePath_);
  if (e != 0) throw EComPort::CreateWin(CError_OpenFailed, e);
}

void TCustomComPort::DestroyHandle() { Device_->Close(); }

void TCustomComPort::ApplySettings() {
  ApplyBuffer();
  ApplyCommState();
  ApplyTimeouts();
}

platform::TDCB TCustomComPort::BuildDCB() const {
  using namespace platform;
  TDCB dcb;
  dcb.DCBlength = 28;
  dcb.BaudRate = BaudRate_ == brCustom ? ToDword(CustomBaudRate_) : ToDword(BaudRateValue(BaudRate_));
  std::uint32_t f = DCB_fBinary;
  if (Parity_->Check()) f |= DCB_fParity;
  if (FlowControl_->OutCTSFlow()) f |= DCB_fOutxCtsFlow;
  if (FlowControl_->OutDSRFlow()) f |= DCB_fOutxDsrFlow;
  switch (FlowControl_->ControlDTR()) {
    case dtrDisable: break;
    case dtrEnable: f |= DCB_fDtrControlEnable; break;
    case dtrHandshake: f |= DCB_fDtrControlHandshake; break;
  }
  if (FlowControl_->DSRSensitivity()) f |= DCB_fDsrSensitivity;
  if (FlowControl_->TxContinueOnXoff()) f |= DCB_fTXContinueOnXoff;
  if (FlowControl_->XonXoffOut()) f |= DCB_fOutX;
  if (FlowControl_->XonXoffIn()) f |= DCB_fInX;
  const bool errorChar = Parity_->Check() && Parity_->Replace();
  if (errorChar) f |= DCB_fErrorChar;
  if (DiscardNull_) f |= DCB_fNull;
  switch (FlowControl_->ControlRTS()) {
    case rtsDisable: break;
    case rtsEnable: f |= DCB_fRtsControlEnable; break;
    case rtsHandshake: f |= DCB_fRtsControlHandshake; break;
    case rtsToggle: f |= DCB_fRtsControlToggle; break;
  }
  dcb.Flags = f;
  dcb.XonLim = static_cast<std::uint16_t>(Buffer_->InputSize() / 4);
  dcb.XoffLim = static_cast<std::uint16_t>(Buffer_->InputSize() / 4);
  dcb.ByteSize = static_cast<std::uint8_t>(5 + static_cast<int>(DataBits_));
  dcb.Parity = static_cast<std::uint8_t>(Parity_->Bits());
  dcb.StopBits = static_cast<std::uint8_t>(StopBits_);
  dcb.XonChar = FlowControl_->XonChar();
  dcb.XoffChar = FlowControl_->XoffChar();
  dcb.ErrorChar = errorChar ? Parity_->ReplaceChar() : 0;
  dcb.EofChar = 0;
  dcb.EvtChar = EventChar_;
  return dcb;
}

platform::TCommTimeouts TCustomComPort::BuildCommTimeouts() const {
  platform::TCommTimeouts t;
  t.ReadIntervalTimeout = ToDword(Timeouts_->ReadInterval());
  t.ReadTotalTimeoutMultiplier = ToDword(Timeouts_->ReadTotalMultiplier());
  t.ReadTotalTimeoutConstant = ToDword(Timeouts_->ReadTotalConstant());
  t.WriteTotalTimeoutMultiplier = ToDword(Timeouts_->WriteTotalMultiplier());
  t.WriteTotalTimeoutConstant = ToDword(Timeouts_->WriteTotalConstant());
  return t;
}

void TCustomComPort::ApplyCommState() {
  if (!CanApply()) return;
  // A rate of 0 would hang the line up; a negative one is no rate.
  if (BaudRate_ == brCustom && CustomBaudRate_ <= 0)
    throw EComPort::CreateWin(CError_SetStateFailed, EINVAL);
  const int e = Device_->SetCommState(BuildDCB());
  if (e != 0) throw EComPort::CreateWin(CError_SetStateFailed, e);
}

void TCustomComPort::ApplyTimeouts() {
  if (!CanApply()) return;
  const int e = Device_->SetCommTimeouts(BuildCommTimeouts());
  if (e != 0) throw EComPort::CreateWin(CError_TimeoutsFailed, e);
}

void TCustomComPort::ApplyBuffer() {
  if (!CanApply()) return;
  if (Buffer_->InputSize() < 0 || Buffer_->OutputSize() < 0)
    throw EComPort::CreateWin(CError_SetupComFailed, EINVAL);
  const int e = Device_->SetupComm(ToDword(Buffer_->InputSize()), ToDword(Buffer_->OutputSize()));
  if (e != 0) throw EComPort::CreateWin(CError_SetupComFailed, e);
}

// ---- Properties ----------------------------------------------------------------------------

void TCustomComPort::SetConnected(bool Value) {
  if (Loading_ || Designing()) {
    Connected_ = Value;
    return;
  }
  if (Value)
    Open();
  else
    Close();
}

void TCustomComPort::SetBaudRate(TBaudRate Value) {
  if (BaudRate_ == Value) return;
  BaudRate_ = Value;
  ApplyCommState();
}

void TCustomComPort::SetCustomBaudRate(int Value) {
  if (CustomBaudRate_ == Value) return;
  CustomBaudRate_ = Value;
  ApplyCommState();
}

void TCustomComPort::SetPort(const std::string& Value) {
  if (Port_ == Value) return;
  Port_ = Value;
  if (Connected_ && !Loading_ && !Designing()) {
    Close();
    Open();
  }
}

void TCustomComPort::SetStopBits(TStopBits Value) {
  if (StopBits_ == Value) return;
  StopBits_ = Value;
  ApplyCommState();
}

void TCustomComPort::SetDataBits(TDataBits Value) {
  if (DataBits_ == Value) return;
  DataBits_ = Value;
  ApplyCommState();
}

void TCustomComPort::SetDiscardNull(bool Value) {
  if (DiscardNull_ == Value) return;
  DiscardNull_ = Value;
  ApplyCommState();
}

void TCustomComPort::SetEventChar(char Value) {
  if (EventChar_ == Value) return;
  EventChar_ = Value;
  ApplyCommState();
}

void TCustomComPort::SetEvents(TComEvents Value) { Events_ = Value; }

void TCustomComPort::SetBuffer(const TComBuffer& Value) {
  Buffer_->Assign(Value);
  ApplyBuffer();
}

void TCustomComPort::SetParity(const TComParity& Value) {
  Parity_->Assign(Value);
  ApplyCommState();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& Value) {
  Timeouts_->Assign(Value);
  ApplyTimeouts();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& Value) {
  FlowControl_->Assign(Value);
  ApplyCommState();
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value) {
  if (SyncMethod_ == Value) return;
  if (Connected_ && !Loading_ && !Designing()) throw EComPort::CreateNo(CError_ConnChangeProp);
  SyncMethod_ = Value;
}

void TCustomComPort::SetEventThreadPriority(platform::TThreadPriority Value) {
  if (EventThreadPriority_ == Value) return;
  if (Connected_ && !Loading_ && !Designing()) throw EComPort::CreateNo(CError_ConnChangeProp);
  EventThreadPriority_ = Value;
}

// ---- Queries and queues --------------------------------------------------------------------

bool TCustomComPort::LineHungUp() const { return Connected_ && Device_ && Device_->HungUp(); }

int TCustomComPort::InputCount() {
  std::uint32_t errors = 0;
  platform::TComStat stat;
  const int e = Device_->ClearCommError(errors, &stat);
  if (e != 0) throw EComPort::CreateWin(CError_ClearComFailed, e);
  return static_cast<int>(std::min<std::uint32_t>(stat.cbInQue, 0x7FFFFFFF));
}

TComErrors TCustomComPort::LastErrors() {
  using namespace platform;
  std::uint32_t errors = 0;
  TComStat stat;
  const int e = Device_->ClearCommError(errors, &stat);
  if (e != 0) throw EComPort::CreateWin(CError_ClearComFailed, e);
  TComErrors r;
  if (errors & CE_FRAME) r.Include(ceFrame);
  if ((errors & CE_RXPARITY) && Parity_->Check()) r.Include(ceRxParity);
  if (errors & CE_OVERRUN) r.Include(ceOverrun);
  if (errors & CE_BREAK) r.Include(ceBreak);
  if (errors & CE_IOE) r.Include(ceIO);
  if (errors & CE_MODE) r.Include(ceMode);
  if (errors & CE_RXOVER) r.Include(ceRxOver);
  if (errors & CE_TXFULL) r.Include(ceTxFull);
  return r;
}

TComSignals TCustomComPort::Signals() {
  using namespace platform;
  std::uint32_t status = 0;
  const int e = Device_->GetCommModemStatus(status);
  if (e != 0) throw EComPort::CreateWin(CError_ModemStatFailed, e);
  TComSignals r;
  if (status & MS_CTS_ON) r.Include(csCTS);
  if (status & MS_DSR_ON) r.Include(csDSR);
  if (status & MS_RING_ON) r.Include(csRing);
  if (status & MS_RLSD_ON) r.Include(csRLSD);
  return r;
}

void TCustomComPort::PurgeBuffers(bool Input, bool Output) {
  std::uint32_t flags = 0;
  if (Input) flags |= platform::PURGE_RXCLEAR;
  if (Output) flags |= platform::PURGE_TXCLEAR;
  const int e = Device_->PurgeComm(flags);
  if (e != 0) throw EComPort::CreateWin(CError_PurgeFailed, e);
}

void TCustomComPort::AbortAllAsync() {
  const int e = Device_->PurgeComm(platform::PURGE_TXABORT | platform::PURGE_RXABORT);
  if (e != 0) throw EComPort::CreateWin(CError_PurgeFailed, e);
}

// ---- Transfers -----------------------------------------------------------------------------

int TCustomComPort::WriteAsync(const void* Buffer, int Count, PAsync& AsyncPtr) {
  if (AsyncPtr == nullptr) throw EComPort::CreateNo(CError_InvalidAsync);
  if (Count < 0 || (Count > 0 && Buffer == nullptr)) throw EComPort::CreateWin(CError_WriteFailed, EINVAL);
  AsyncPtr->Kind = okWrite;
  const char* p = static_cast<const char*>(Buffer);
  AsyncPtr->Data.assign(p, p + Count);
  AsyncPtr->Size = Count;
  std::uint32_t done = 0;
  // The transfer sends from its own copy: the caller's buffer may go at once.
  const int e = Device_->StartWrite(AsyncPtr->Overlapped, AsyncPtr->Data.data(), ToDword(Count), done);
  if (e != 0 && e != EINPROGRESS) throw EComPort::CreateWin(CError_WriteFailed, e);
  NotifyLinksSignal(leTx, true);
  return static_cast<int>(done);
}

int TCustomComPort::WriteStrAsync(const std::string& Str, PAsync& AsyncPtr) {
  if (Str.empty()) return 0;
  return WriteAsync(Str.data(), static_cast<int>(Str.size()), AsyncPtr);
}

int TCustomComPort::WriteText(const std::string& Str) {
  TAsyncGuard a;
  WriteStrAsync(Str, a.ptr);
  return WaitForAsync(a.ptr);
}

int TCustomComPort::ReadAsync(void* Buffer, int Count, PAsync& AsyncPtr) {
  if (AsyncPtr == nullptr) throw EComPort::CreateNo(CError_InvalidAsync);
  if (Count < 0 || (Count > 0 && Buffer == nullptr)) throw EComPort::CreateWin(CError_ReadFailed, EINVAL);
  AsyncPtr->Kind = okRead;
  AsyncPtr->Data.clear();
  AsyncPtr->Size = 0;
  std::uint32_t done = 0;
  const int e = Device_->StartRead(AsyncPtr->Overlapped, Buffer, ToDword(Count), done);
  if (e != 0 && e != EINPROGRESS) throw EComPort::CreateWin(CError_ReadFailed, e);
  return static_cast<int>(done);
}

int TCustomComPort::ReadStrAsync(std::string& Str, int Count, PAsync& AsyncPtr) {
  Str.assign(static_cast<std::size_t>(std::max(Count, 0)), '\0');
  if (Count < 1) return 0;
  return ReadAsync(Str.data(), Count, AsyncPtr);
}

int TCustomComPort::Read(void* Buffer, int Count) {
  TAsyncGuard a;
  ReadAsync(Buffer, Count, a.ptr);
  return WaitForAsync(a.ptr);
}

int TCustomComPort::ReadText(std::string& Str, int Count) {
  TAsyncGuard a;
  try {
    ReadStrAsync(Str, Count, a.ptr);
    const int n = WaitForAsync(a.ptr);
    Str.resize(static_cast<std::size_t>(n));
    return n;
  } catch (...) {
    Str.clear();
    throw;
  }
}

int TCustomComPort::WaitForAsync(PAsync& AsyncPtr) {
  if (AsyncPtr == nullptr) throw EComPort::CreateNo(CError_InvalidAsync);
  std::uint32_t done = 0;
  const int e = Device_->WaitTransfer(AsyncPtr->Overlapped, done);
  if (e != 0) throw EComPort::CreateWin(AsyncPtr->Kind == okWrite ? CError_WriteFailed : CError_ReadFailed, e);
  const int n = static_cast<int>(done);
  if (AsyncPtr->Kind == okRead) {
    // Reception idle for the observers; a failing status query must not lose the bytes read.
    if (!Links_.empty()) {
      try {
        if (InputCount() == 0) NotifyLinksSignal(leRx, false);
      } catch (const EComPort&) {
      }
    }
  } else {
    NotifyLinksBuffer(false, AsyncPtr->Data.data(), n);
  }
  return n;
}

// ---- Observers -----------------------------------------------------------------------------

void TCustomComPort::RegisterLink(TComPortLink* Link) {
  if (!Link) return;
  if (std::find(Links_.begin(), Links_.end(), Link) == Links_.end()) Links_.push_back(Link);
  HasLinks_ = !Links_.empty();
  ListenersChanged();
}

void TCustomComPort::UnRegisterLink(TComPortLink* Link) {
  Links_.erase(std::remove(Links_.begin(), Links_.end(), Link), Links_.end());
  HasLinks_ = !Links_.empty();
  ListenersChanged();
}

void ComPortListenersChanged(TCustomComPort* Port) { Port->ListenersChanged(); }

void TCustomComPort::ListenersChanged() {
  // The running event thread waits for the new set from now on.
  if (Connected_ && EventThread_) (void)Device_->SetCommMask(EventsToMask(WaitedEvents()));
}

TComEvents TCustomComPort::ListenedEvents() const {
  // An observer may want any event (its callbacks are not followed one by one).
  if (HasLinks_.load()) return AllComEvents();
  TComEvents e;
  if (OnRxChar.Assigned() || OnRxBuf.Assigned()) e.Include(evRxChar);
  if (OnTxEmpty.Assigned()) e.Include(evTxEmpty);
  if (OnRxFlag.Assigned()) e.Include(evRxFlag);
  if (OnRing.Assigned()) e.Include(evRing);
  if (OnBreak.Assigned()) e.Include(evBreak);
  if (OnCTSChange.Assigned()) e.Include(evCTS);
  if (OnDSRChange.Assigned()) e.Include(evDSR);
  if (OnError.Assigned()) e.Include(evError);
  if (OnRLSDChange.Assigned()) e.Include(evRLSD);
  if (OnRx80Full.Assigned()) e.Include(evRx80Full);
  return e;
}

void TCustomComPort::NotifyLinksSignal(TComLinkEvent Event, bool OnOff) {
  if (Links_.empty()) return;
  const std::vector<TComPortLink*> links = Links_;  // a callback may unregister
  for (TComPortLink* l : links) {
    const std::function<void(TObject*, bool)>* cb = nullptr;
    switch (Event) {
      case leConn: cb = &l->OnConn; break;
      case leCTS: cb = &l->OnCTSSignal; break;
      case leDSR: cb = &l->OnDSRSignal; break;
      case leRLSD: cb = &l->OnRLSDSignal; break;
      case leRx: cb = &l->OnRxSignal; break;
      case leTx: cb = &l->OnTxSignal; break;
      default: break;
    }
    if (cb && *cb) (*cb)(this, OnOff);
  }
}

void TCustomComPort::NotifyLinksEvent(TComLinkEvent Event) {
  if (Links_.empty()) return;
  const std::vector<TComPortLink*> links = Links_;
  for (TComPortLink* l : links) {
    const std::function<void(TObject*)>* cb = nullptr;
    switch (Event) {
      case leRing: cb = &l->OnRing; break;
      case leTxEmpty: cb = &l->OnTxEmpty; break;
      case leRxFlag: cb = &l->OnRxFlag; break;
      default: break;
    }
    if (cb && *cb) (*cb)(this);
  }
}

void TCustomComPort::NotifyLinksBuffer(bool Rx, const void* Buffer, int Count) {
  if (Links_.empty()) return;
  const std::vector<TComPortLink*> links = Links_;
  for (TComPortLink* l : links) {
    const auto& cb = Rx ? l->OnRxBuf : l->OnTxBuf;
    if (cb) cb(this, Buffer, Count);
  }
}

// ---- Line event routines -------------------------------------------------------------------
// Each handler call comes last in its routine: a handler may close or even free the port.

void TCustomComPort::CallRxChar() {
  int Count = InputCount();
  if (Count > 0) NotifyLinksSignal(leRx, true);
  if (Count >= 1 && !KeepRxData_) {
    std::vector<char> buf(static_cast<std::size_t>(Count));
    const int n = Read(buf.data(), Count);
    DoRxBuf(buf.data(), n);
    NotifyLinksBuffer(true, buf.data(), n);
    Count = 0;
  }
  if (Count > 0) DoRxChar(Count);
}

void TCustomComPort::CallTxEmpty() {
  NotifyLinksSignal(leTx, false);
  NotifyLinksEvent(leTxEmpty);
  DoTxEmpty();
}

void TCustomComPort::CallRxFlag() {
  NotifyLinksEvent(leRxFlag);
  DoRxFlag();
}

void TCustomComPort::CallRing() {
  NotifyLinksEvent(leRing);
  DoRing();
}

void TCustomComPort::CallBreak() { DoBreak(); }

void TCustomComPort::CallRx80Full() { DoRx80Full(); }

void TCustomComPort::CallError() {
  const TComErrors Errors = LastErrors();
  if (!Errors.Empty()) DoError(Errors);
}

void TCustomComPort::CallCTSChange() {
  const bool State = Signals().Contains(csCTS);
  NotifyLinksSignal(leCTS, State);
  DoCTSChange(State);
}

void TCustomComPort::CallDSRChange() {
  const bool State = Signals().Contains(csDSR);
  NotifyLinksSignal(leDSR, State);
  DoDSRChange(State);
}

void TCustomComPort::CallRLSDChange() {
  const bool State = Signals().Contains(csRLSD);
  NotifyLinksSignal(leRLSD, State);
  DoRLSDChange(State);
}

void TCustomComPort::WindowMethod(platform::MessageId Msg, std::uintptr_t WParam) {
  if (Msg != platform::WM_USER + 1) return;
  // The sender has already been answered (the call was taken off the queue).
  if (!Connected_) return;
  try {
    switch (WParam) {
      case platform::EV_RXCHAR: CallRxChar(); break;
      case platform::EV_RXFLAG: CallRxFlag(); break;
      case platform::EV_TXEMPTY: CallTxEmpty(); break;
      case platform::EV_CTS: CallCTSChange(); break;
      case platform::EV_DSR: CallDSRChange(); break;
      case platform::EV_RLSD: CallRLSDChange(); break;
      case platform::EV_BREAK: CallBreak(); break;
      case platform::EV_ERR: CallError(); break;
      case platform::EV_RING: CallRing(); break;
      case platform::EV_RX80FULL: CallRx80Full(); break;
      default: break;
    }
  } catch (...) {
    HandleApplicationException(this, std::current_exception());
  }
}

// ---- Do... methods -------------------------------------------------------------------------
// Each runs a copy of its handler: a handler may free the port, and with it the original.

namespace {
template <typename H, typename... A>
void Fire(const H& handler, A... args) {
  if (!handler) return;
  const H copy = handler;
  copy(args...);
}
}  // namespace

void TCustomComPort::DoAfterClose() {
  Fire(OnAfterClose, this);
}
void TCustomComPort::DoAfterOpen() {
  Fire(OnAfterOpen, this);
}
void TCustomComPort::DoBeforeClose() {
  Fire(OnBeforeClose, this);
}
void TCustomComPort::DoBeforeOpen() {
  Fire(OnBeforeOpen, this);
}
void TCustomComPort::DoRxChar(int Count) {
  Fire(OnRxChar, this, Count);
}
void TCustomComPort::DoRxBuf(const void* Buffer, int Count) {
  Fire(OnRxBuf, this, Buffer, Count);
}
void TCustomComPort::DoTxEmpty() {
  Fire(OnTxEmpty, this);
}
void TCustomComPort::DoBreak() {
  Fire(OnBreak, this);
}
void TCustomComPort::DoRing() {
  Fire(OnRing, this);
}
void TCustomComPort::DoRxFlag() {
  Fire(OnRxFlag, this);
}
void TCustomComPort::DoCTSChange(bool OnOff) {
  Fire(OnCTSChange, this, OnOff);
}
void TCustomComPort::DoDSRChange(bool OnOff) {
  Fire(OnDSRChange, this, OnOff);
}
void TCustomComPort::DoError(TComErrors Errors) {
  Fire(OnError, this, Errors);
}
void TCustomComPort::DoRLSDChange(bool OnOff) {
  Fire(OnRLSDChange, this, OnOff);
}
void TCustomComPort::DoRx80Full() {
  Fire(OnRx80Full, this);
}

// The serial port component: a port opened by name, its line settings, driver queue sizes,
// timeouts, transfers, purge, queue and line state queries, an event thread that reports line
// events, the errors it raises, and the storing and loading of its settings.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/Comm.h"
#include "platform/Component.h"
#include "platform/Object.h"
#include "platform/Threads.h"

namespace platform {
class TIniFile;
class TRegistry;
}  // namespace platform

// ---- Enumerations --------------------------------------------------------------------------

enum TBaudRate {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
  br56000, br57600, br115200, br128000, br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TComEvent {
  evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TComSignal { csCTS, csDSR, csRing, csRLSD };
enum TComSettingGroup { sgBasic, sgOther, sgParityDetails, sgBuffer, sgTimeouts, sgFlowDetails };
enum TOperationKind { okWrite, okRead };

// A set of enumeration values (bit i = ordinal i).
template <typename E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  static constexpr TEnumSet FromBits(std::uint32_t bits) {
    TEnumSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr void Include(E v) { bits_ |= Bit(v); }
  constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr TEnumSet operator|(TEnumSet o) const { return FromBits(bits_ | o.bits_); }
  constexpr TEnumSet operator&(TEnumSet o) const { return FromBits(bits_ & o.bits_); }
  constexpr bool operator==(const TEnumSet&) const = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
  std::uint32_t bits_ = 0;
};

using TComEvents = TEnumSet<TComEvent>;
using TComErrors = TEnumSet<TComError>;
using TComSignals = TEnumSet<TComSignal>;
using TComSettingGroups = TEnumSet<TComSettingGroup>;

// All ten line events, the default of `Events`.
constexpr TComEvents AllComEvents() {
  return TComEvents::FromBits(0x3FF);
}

// ---- Errors ------------------------------------------------------------------------------

// Error numbers of EComPort.
constexpr int CError_OpenFailed = 1;
constexpr int CError_WriteFailed = 2;
constexpr int CError_ReadFailed = 3;
constexpr int CError_InvalidAsync = 4;
constexpr int CError_PurgeFailed = 5;
constexpr int CError_AsyncCheck = 6;
constexpr int CError_SetStateFailed = 7;
constexpr int CError_TimeoutsFailed = 8;
constexpr int CError_SetupComFailed = 9;
constexpr int CError_ClearComFailed = 10;
constexpr int CError_ModemStatFailed = 11;
constexpr int CError_EscapeComFailed = 12;
constexpr int CError_TransmitFailed = 13;
constexpr int CError_ConnChangeProp = 14;
constexpr int CError_EnumPortsFailed = 15;
constexpr int CError_StoreFailed = 16;
constexpr int CError_LoadFailed = 17;
constexpr int CError_RegFailed = 18;
constexpr int CError_LedStateFailed = 19;
constexpr int CError_ThreadCreated = 20;
constexpr int CError_WaitFailed = 21;
constexpr int CError_HasLink = 22;
constexpr int CError_RegError = 23;

// The one error of the serial link: a fixed number 1..23 and, where a system call failed, its
// errno value (WinCode; -1 when there is none).
class EComPort : public std::runtime_error {
 public:
  EComPort(int code, int winCode, const std::string& message)
      : std::runtime_error(message), code_(code), winCode_(winCode) {}

  // The error of a failed system call: message = text of Code + " (win error code: N)".
  static EComPort CreateWin(int code, int winCode);
  // The error without a system code: message = text of Code.
  static EComPort CreateNo(int code);

  int Code() const { return code_; }
  int WinCode() const { return winCode_; }
  std::string Message() const { return what(); }

 private:
  int code_;
  int winCode_;
};

// Passes the 23 error texts once through the translation runtime (domain "default", then the
// extra domain "cport"; catalogues in the folder "locale" beside the program). The program calls
// it at start; calling it again translates afresh (for the current language).
void InitComErrorMessages();
// The (translated) text of an error number; empty for a number outside 1..23.
std::string ComErrorMessage(int code);
// The English source text of an error number.
const char* ComErrorSourceText(int code);

// The application's exception handler for errors raised inside event deliveries (handlers of
// the event thread, the hidden window's procedure, Loaded). The default prints to stderr.
using TApplicationErrorHook = std::function<void(TObject* Sender, std::exception_ptr Error)>;
void SetApplicationErrorHook(TApplicationErrorHook hook);
void HandleApplicationException(TObject* Sender, std::exception_ptr Error);

// ---- Settings objects ---------------------------------------------------------------------

class TCustomComPort;

// Base of the four settings objects: knows its owning port (not owned).
class TComSettings : public TObject {
 public:
  TCustomComPort* ComPort() const { return ComPort_; }
  void SetComPort(TCustomComPort* APort) { ComPort_ = APort; }

 protected:
  TCustomComPort* ComPort_ = nullptr;
};

class TComTimeouts : public TComSettings {
 public:
  int ReadInterval() const { return ReadInterval_; }
  int ReadTotalMultiplier() const { return ReadTotalMultiplier_; }
  int ReadTotalConstant() const { return ReadTotalConstant_; }
  int WriteTotalMultiplier() const { return WriteTotalMultiplier_; }
  int WriteTotalConstant() const { return WriteTotalConstant_; }
  void SetReadInterval(int Value);
  void SetReadTotalMultiplier(int Value);
  void SetReadTotalConstant(int Value);
  void SetWriteTotalMultiplier(int Value);
  void SetWriteTotalConstant(int Value);

  // Copies the values (not the owning port); applies nothing.
  void Assign(const TComTimeouts& Source);
  void AssignTo(TComTimeouts& Dest) const { Dest.Assign(*this); }

 private:
  void Changed();
  int ReadInterval_ = -1;
  int ReadTotalMultiplier_ = 0;
  int ReadTotalConstant_ = 0;
  int WriteTotalMultiplier_ = 100;
  int WriteTotalConstant_ = 1000;
};

class TComFlowControl : public TComSettings {
 public:
  bool OutCTSFlow() const { return OutCTSFlow_; }
  bool OutDSRFlow() const { return OutDSRFlow_; }
  TDTRFlowControl ControlDTR() const { return ControlDTR_; }
  TRTSFlowControl ControlRTS() const { return ControlRTS_; }
  bool XonXoffOut() const { return XonXoffOut_; }
  bool XonXoffIn() const { return XonXoffIn_; }
  bool DSRSensitivity() const { return DSRSensitivity_; }
  bool TxContinueOnXoff() const { return TxContinueOnXoff_; }
  char XonChar() const { return XonChar_; }
  char XoffChar() const { return XoffChar_; }
  void SetOutCTSFlow(bool Value);
  void SetOutDSRFlow(bool Value);
  void SetControlDTR(TDTRFlowControl Value);
  void SetControlRTS(TRTSFlowControl Value);
  void SetXonXoffOut(bool Value);
  void SetXonXoffIn(bool Value);
  void SetDSRSensitivity(bool Value);
  void SetTxContinueOnXoff(bool Value);
  void SetXonChar(char Value);
  void SetXoffChar(char Value);

  // Derived from the single settings; setting a preset changes them and re-applies once.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl Value);

  void Assign(const TComFlowControl& Source);
  void AssignTo(TComFlowControl& Dest) const { Dest.Assign(*this); }

 private:
  void Changed();
  bool OutCTSFlow_ = false;
  bool OutDSRFlow_ = false;
  TDTRFlowControl ControlDTR_ = dtrDisable;
  TRTSFlowControl ControlRTS_ = rtsDisable;
  bool XonXoffOut_ = false;
  bool XonXoffIn_ = false;
  bool DSRSensitivity_ = false;
  bool TxContinueOnXoff_ = false;
  char XonChar_ = 17;
  char XoffChar_ = 19;
};

class TComParity : public TComSettings {
 public:
  TParityBits Bits() const { return Bits_; }
  bool Check() const { return Check_; }
  bool Replace() const { return Replace_; }
  char ReplaceChar() const { return ReplaceChar_; }
  void SetBits(TParityBits Value);
  void SetCheck(bool Value);
  void SetReplace(bool Value);
  void SetReplaceChar(char Value);

  void Assign(const TComParity& Source);
  void AssignTo(TComParity& Dest) const { Dest.Assign(*this); }

 private:
  void Changed();
  TParityBits Bits_ = prNone;
  bool Check_ = false;
  bool Replace_ = false;
  char ReplaceChar_ = 0;
};

class TComBuffer : public TComSettings {
 public:
  int InputSize() const { return InputSize_; }
  int OutputSize() const { return OutputSize_; }
  // A positive odd size is stored one less.
  void SetInputSize(int Value);
  void SetOutputSize(int Value);

  void Assign(const TComBuffer& Source);
  void AssignTo(TComBuffer& Dest) const { Dest.Assign(*this); }

 private:
  void Changed();
  int InputSize_ = 1024;
  int OutputSize_ = 1024;
};

// ---- Transfers ------------------------------------------------------------------------------

// One transfer: started by WriteAsync/ReadAsync, completed by WaitForAsync. A write sends from
// the record's own copy of the bytes; a read fills the caller's buffer, which must stay valid
// until WaitForAsync returns. A read and a write may be pending together.
struct TAsync {
  platform::TCommTransfer Overlapped;
  TOperationKind Kind = okWrite;
  std::vector<char> Data;  // the copy of the bytes being written (empty for reads)
  int Size = 0;
};
using PAsync = TAsync*;

void InitAsync(PAsync& AsyncPtr);
void DoneAsync(PAsync& AsyncPtr);

// ---- Linked observers ------------------------------------------------------------------------

// Optional callbacks of an observer linked to a port.
struct TComPortLink {
  std::function<void(TObject* Sender, bool OnOff)> OnConn;
  std::function<void(TObject* Sender, bool OnOff)> OnCTSSignal;
  std::function<void(TObject* Sender, bool OnOff)> OnDSRSignal;
  std::function<void(TObject* Sender, bool OnOff)> OnRLSDSignal;
  std::function<void(TObject* Sender, bool OnOff)> OnRxSignal;  // receive activity
  std::function<void(TObject* Sender, bool OnOff)> OnTxSignal;  // transmit activity
  std::function<void(TObject* Sender)> OnRing;
  std::function<void(TObject* Sender)> OnTxEmpty;
  std::function<void(TObject* Sender)> OnRxFlag;
  std::function<void(TObject* Sender, const void* Buffer, int Count)> OnRxBuf;
  std::function<void(TObject* Sender, const void* Buffer, int Count)> OnTxBuf;
};

enum TComLinkEvent { leConn, leCTS, leDSR, leRLSD, leRing, leRx, leTx, leTxEmpty, leRxFlag };

// ---- Event types ---------------------------------------------------------------------------

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TRxCharEvent = std::function<void(TObject* Sender, int Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const void* Buffer, int Count)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;

class TCustomComPort;
// Tells the port that a line event gained or lost its handler.
void ComPortListenersChanged(TCustomComPort* Port);

// The handler of a line event: a std::function whose being set the event thread can ask from
// its own thread without a race, and whose port hears when it is set or cleared, so that the
// event thread neither waits for nor hands to the window thread an event nobody listens to.
// Set, cleared, tested and called like the std::function it holds.
template <typename Signature>
class TComEventHandler {
 public:
  TComEventHandler() = default;
  // A copy (to call) belongs to no port.
  TComEventHandler(const TComEventHandler& Other)
      : Fn_(Other.Fn_), Set_(static_cast<bool>(Other.Fn_)) {}
  TComEventHandler& operator=(const TComEventHandler& Other) { return *this = Other.Fn_; }
  template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, TComEventHandler>)
  TComEventHandler& operator=(F&& Handler) {
    Fn_ = std::forward<F>(Handler);
    const bool set = static_cast<bool>(Fn_);
    if (Set_.exchange(set) != set && Port_) ComPortListenersChanged(Port_);
    return *this;
  }
  explicit operator bool() const { return static_cast<bool>(Fn_); }
  // Any thread: whether a handler is set.
  bool Assigned() const { return Set_.load(); }
  template <typename... A>
  void operator()(A&&... Args) const {
    Fn_(std::forward<A>(Args)...);
  }

 private:
  friend class TCustomComPort;
  std::function<Signature> Fn_;
  std::atomic<bool> Set_{false};
  TCustomComPort* Port_ = nullptr;
};

// ---- Event thread ----------------------------------------------------------------------------

class TComThread;

// The stand-in of the hidden window that receives line events under smWindowSync: calls
// handed to the window thread reach the port through it, and nothing once the port closed.
struct TComWindow {
  explicit TComWindow(class TCustomComPort* APort) : Port(APort) {}
  std::atomic<class TCustomComPort*> Port;
};

// ---- The port ------------------------------------------------------------------------------

class TCustomComPort : public platform::TComponent {
 public:
  explicit TCustomComPort(platform::TComponent* AOwner = nullptr);
  ~TCustomComPort() override;

  // Lifecycle
  void Open();
  void Close();
  // After the component was read from a stored description: opens when Connected was read as
  // True; an error goes to the application's exception handler.
  virtual void Loaded();

  // Properties
  bool Connected() const { return Connected_; }
  void SetConnected(bool Value);
  TBaudRate BaudRate() const { return BaudRate_; }
  void SetBaudRate(TBaudRate Value);
  int CustomBaudRate() const { return CustomBaudRate_; }
  void SetCustomBaudRate(int Value);
  // The port's name: "COMn", a device name ("ttyUSB0"), a link name in ports/, or a path.
  const std::string& Port() const { return Port_; }
  void SetPort(const std::string& Value);
  TStopBits StopBits() const { return StopBits_; }
  void SetStopBits(TStopBits Value);
  TDataBits DataBits() const { return DataBits_; }
  void SetDataBits(TDataBits Value);
  bool DiscardNull() const { return DiscardNull_; }
  void SetDiscardNull(bool Value);
  char EventChar() const { return EventChar_; }
  void SetEventChar(char Value);
  TComEvents Events() const { return Events_; }
  void SetEvents(TComEvents Value);
  TComBuffer& Buffer() { return *Buffer_; }
  const TComBuffer& Buffer() const { return *Buffer_; }
  void SetBuffer(const TComBuffer& Value);
  TComParity& Parity() { return *Parity_; }
  const TComParity& Parity() const { return *Parity_; }
  void SetParity(const TComParity& Value);
  TComTimeouts& Timeouts() { return *Timeouts_; }
  const TComTimeouts& Timeouts() const { return *Timeouts_; }
  void SetTimeouts(const TComTimeouts& Value);
  TComFlowControl& FlowControl() { return *FlowControl_; }
  const TComFlowControl& FlowControl() const { return *FlowControl_; }
  void SetFlowControl(const TComFlowControl& Value);
  TSyncMethod SyncMethod() const { return SyncMethod_; }
  void SetSyncMethod(TSyncMethod Value);
  platform::TThreadPriority EventThreadPriority() const { return EventThreadPriority_; }
  void SetEventThreadPriority(platform::TThreadPriority Value);
  TComSettingGroups StoredSettings() const { return StoredSettings_; }
  void SetStoredSettings(TComSettingGroups Value) { StoredSettings_ = Value; }
  bool KeepRxData() const { return KeepRxData_; }
  // The device (-1 while closed).
  int Handle() const;
  // The device path the port name resolved to at the last Open.
  const std::string& DevicePath() const { return DevicePath_; }

  // Component states that make the apply operations wait for Open.
  bool Loading() const { return Loading_; }
  void SetLoading(bool Value) { Loading_ = Value; }
  bool Designing() const { return false; }

  // Queries
  // True when the open port's line has hung up (adapter unplugged, the other end gone); the
  // device stays held until Close.
  bool LineHungUp() const;
  int InputCount();
  TComErrors LastErrors();
  TComSignals Signals();

  // Queues
  void PurgeBuffers(bool Input, bool Output);
  void AbortAllAsync();

  // Transfers
  int WriteAsync(const void* Buffer, int Count, PAsync& AsyncPtr);
  int WriteStrAsync(const std::string& Str, PAsync& AsyncPtr);
  int WriteText(const std::string& Str);
  int ReadAsync(void* Buffer, int Count, PAsync& AsyncPtr);
  int ReadStrAsync(std::string& Str, int Count, PAsync& AsyncPtr);
  int Read(void* Buffer, int Count);
  int ReadText(std::string& Str, int Count);
  int WaitForAsync(PAsync& AsyncPtr);

  // Settings persistence: the keys of the groups in StoredSettings.
  virtual void StoreRegistry(platform::TRegistry& Reg);
  virtual void StoreIniFile(platform::TIniFile& IniFile);
  virtual void LoadRegistry(platform::TRegistry& Reg);
  virtual void LoadIniFile(platform::TIniFile& IniFile);

  // Device
  virtual void CreateHandle();
  virtual void DestroyHandle();
  virtual void ApplySettings();
  virtual void ApplyCommState();
  virtual void ApplyTimeouts();
  virtual void ApplyBuffer();
  // The device control block the settings stand for (what ApplyCommState hands to the device).
  platform::TDCB BuildDCB() const;
  // The device timeouts the settings stand for.
  platform::TCommTimeouts BuildCommTimeouts() const;

  // Observers (not owned).
  void RegisterLink(TComPortLink* Link);
  void UnRegisterLink(TComPortLink* Link);

  // Line event routines (called by the event thread's delivery).
  void CallRxChar();
  void CallTxEmpty();
  void CallRxFlag();
  void CallRing();
  void CallBreak();
  void CallCTSChange();
  void CallDSRChange();
  void CallError();
  void CallRLSDChange();
  void CallRx80Full();
  // The hidden window's procedure: a line-event message (1025) with the event flag.
  void WindowMethod(platform::MessageId Msg, std::uintptr_t WParam);

  // The line events something listens to now (a handler, or any linked observer); any thread.
  TComEvents ListenedEvents() const;
  // The events the event thread waits for: Events that something listens to.
  TComEvents WaitedEvents() const { return Events_ & ListenedEvents(); }

  // Line events
  TComEventHandler<void(TObject* Sender, int Count)> OnRxChar;
  TComEventHandler<void(TObject* Sender, const void* Buffer, int Count)> OnRxBuf;
  TComEventHandler<void(TObject* Sender)> OnTxEmpty;
  TComEventHandler<void(TObject* Sender)> OnBreak;
  TComEventHandler<void(TObject* Sender)> OnRing;
  TComEventHandler<void(TObject* Sender, bool OnOff)> OnCTSChange;
  TComEventHandler<void(TObject* Sender, bool OnOff)> OnDSRChange;
  TComEventHandler<void(TObject* Sender, bool OnOff)> OnRLSDChange;
  TComEventHandler<void(TObject* Sender, TComErrors Errors)> OnError;
  TComEventHandler<void(TObject* Sender)> OnRxFlag;
  TComEventHandler<void(TObject* Sender)> OnRx80Full;
  // Events of the port itself
  TNotifyEvent OnAfterOpen;
  TNotifyEvent OnAfterClose;
  TNotifyEvent OnBeforeOpen;
  TNotifyEvent OnBeforeClose;

 protected:
  virtual void DoAfterClose();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoBeforeOpen();
  virtual void DoRxChar(int Count);
  virtual void DoRxBuf(const void* Buffer, int Count);
  virtual void DoTxEmpty();
  virtual void DoBreak();
  virtual void DoRing();
  virtual void DoRxFlag();
  virtual void DoCTSChange(bool OnOff);
  virtual void DoDSRChange(bool OnOff);
  virtual void DoError(TComErrors Errors);
  virtual void DoRLSDChange(bool OnOff);
  virtual void DoRx80Full();

  void NotifyLinksSignal(TComLinkEvent Event, bool OnOff);
  void NotifyLinksEvent(TComLinkEvent Event);
  void NotifyLinksBuffer(bool Rx, const void* Buffer, int Count);

 private:
  friend class TComThread;
  friend void ComPortListenersChanged(TCustomComPort* Port);
  void ListenersChanged();
  bool CanApply() const;
  void CheckNotConnected(bool changed);
  void FreeEventThread();
  void ReapRetiredThreads(bool wait);
  void RetireAllThreads();

  std::unique_ptr<TComThread> EventThread_;
  bool ThreadCreated_ = false;
  std::shared_ptr<platform::TCommDevice> Device_;
  std::shared_ptr<TComWindow> Window_;
  std::vector<TComPortLink*> Links_;
  std::atomic<bool> HasLinks_{false};  // Links_ is not empty; read by the event thread
  std::vector<std::unique_ptr<TComThread>> Retired_;  // stopped, not yet ended
  bool KeepRxData_ = true;
  platform::TThreadPriority EventThreadPriority_ = platform::TThreadPriority::tpNormal;
  bool Connected_ = false;
  bool Loading_ = false;
  TBaudRate BaudRate_ = br9600;
  int CustomBaudRate_ = 9600;
  std::string Port_ = "COM1";
  std::string DevicePath_;
  TStopBits StopBits_ = sbOneStopBit;
  TDataBits DataBits_ = dbEight;
  bool DiscardNull_ = false;
  char EventChar_ = 0;
  TComEvents Events_ = AllComEvents();
  std::unique_ptr<TComBuffer> Buffer_;
  std::unique_ptr<TComParity> Parity_;
  std::unique_ptr<TComTimeouts> Timeouts_;
  std::unique_ptr<TComFlowControl> FlowControl_;
  TSyncMethod SyncMethod_ = smThreadSync;
  TComSettingGroups StoredSettings_{sgBasic};
};

// The published port; all code is in TCustomComPort.
class TComPort : public TCustomComPort {
 public:
  explicit TComPort(platform::TComponent* AOwner = nullptr) : TCustomComPort(AOwner) {}
};

// The event thread of an open port: waits for line events and delivers them by the port's
// SyncMethod, in a fixed order.
class TComThread : public platform::TThread {
 public:
  explicit TComThread(TCustomComPort* AComPort);
  ~TComThread() override;

  // Asks the loop to end; safe from any thread.
  void Stop();
  bool StopRequested() const { return StopRequested_.load(); }
  // Why the loop ended: 0 stopped (or still running), else the errno of the wait that failed
  // (EIO for a hang-up).
  int EndReason() const { return EndReason_.load(); }

  // Not owned; cleared when the port is freed inside one of this thread's deliveries.
  std::atomic<TCustomComPort*> ComPort{nullptr};
  TComEvents Events;  // the events of the last completed wait
  // The thread running a delivery of this thread's events right now (none: default id).
  std::atomic<std::thread::id> DeliveringThread{};

  // Keeps a thread that outlived its port until it has ended; Reap frees the ended ones
  // (waitAll: waits for every one).
  static void Bury(std::unique_ptr<TComThread> Thread);
  static void ReapGraveyard(bool waitAll);

 protected:
  void Execute() override;
  void DispatchEvents();
  void DoEvents();
  void SendEvents();

 private:
  friend class TCustomComPort;
  platform::TWakeFd StopEvent;
  std::atomic<bool> StopRequested_{false};
  std::atomic<int> EndReason_{0};
  TComEvents Deliver_;  // the events of the batch in hand that something listens to
  std::shared_ptr<platform::TCommDevice> Device_;
  std::shared_ptr<TComWindow> Window_;
  TSyncMethod SyncMethod_ = smThreadSync;
};

// The event dispatch order within one wake-up.
extern const TComEvent ComEventDispatchOrder[10];
std::uint32_t EventsToMask(TComEvents Events);
TComEvents MaskToEvents(std::uint32_t Mask);

// Bits per second of a rate value (CustomBaudRate for brCustom is the caller's business: 0).
int BaudRateValue(TBaudRate Rate);

// ---- Text conversions of the stored settings ------------------------------------------------

std::string BaudRateToStr(TBaudRate BaudRate);
TBaudRate StrToBaudRate(const std::string& Str);
std::string StopBitsToStr(TStopBits StopBits);
TStopBits StrToStopBits(const std::string& Str);
std::string DataBitsToStr(TDataBits DataBits);
TDataBits StrToDataBits(const std::string& Str);
std::string ParityToStr(TParityBits Parity);
TParityBits StrToParity(const std::string& Str);
std::string FlowControlToStr(TFlowControl FlowControl);
TFlowControl StrToFlowControl(const std::string& Str);
std::string RTSToStr(TRTSFlowControl RTS);
TRTSFlowControl StrToRTS(const std::string& Str);
std::string DTRToStr(TDTRFlowControl DTR);
TDTRFlowControl StrToDTR(const std::string& Str);
std::string BoolToYesNo(bool B);
bool YesNoToBool(const std::string& Str);
std::string CharToStr(char Ch);
char StrToChar(const std::string& Str);


// Serial communications with the semantics the serial port component expects of a comm
// device: exclusive open by name, a device control block, read and write timeouts with their
// interval/total meaning, transfers that are started and then waited for (and can be aborted from
// another thread), purge, queue counts, line errors, modem lines and a line-event wait.
//
// Backed by termios, poll/epoll, ioctl and eventfds. Works on real ports and on
// pseudo-terminals. Every call reports failure as an errno value (0 = success), which the caller
// turns into its own error; nothing here throws.
//
// This header includes no terminal header, so users of the component stay free of termios.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;

// Line events (the comm event mask).
constexpr std::uint32_t EV_RXCHAR = 0x0001;
constexpr std::uint32_t EV_RXFLAG = 0x0002;
constexpr std::uint32_t EV_TXEMPTY = 0x0004;
constexpr std::uint32_t EV_CTS = 0x0008;
constexpr std::uint32_t EV_DSR = 0x0010;
constexpr std::uint32_t EV_RLSD = 0x0020;
constexpr std::uint32_t EV_BREAK = 0x0040;
constexpr std::uint32_t EV_ERR = 0x0080;
constexpr std::uint32_t EV_RING = 0x0100;
constexpr std::uint32_t EV_RX80FULL = 0x0400;

// Line error flags reported by ClearCommError.
constexpr std::uint32_t CE_RXOVER = 0x0001;
constexpr std::uint32_t CE_OVERRUN = 0x0002;
constexpr std::uint32_t CE_RXPARITY = 0x0004;
constexpr std::uint32_t CE_FRAME = 0x0008;
constexpr std::uint32_t CE_BREAK = 0x0010;
constexpr std::uint32_t CE_TXFULL = 0x0100;
constexpr std::uint32_t CE_IOE = 0x0400;
constexpr std::uint32_t CE_MODE = 0x8000;

// Modem input lines reported by GetCommModemStatus.
constexpr std::uint32_t MS_CTS_ON = 0x0010;
constexpr std::uint32_t MS_DSR_ON = 0x0020;
constexpr std::uint32_t MS_RING_ON = 0x0040;
constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// PurgeComm flags.
constexpr std::uint32_t PURGE_TXABORT = 0x0001;
constexpr std::uint32_t PURGE_RXABORT = 0x0002;
constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// Device control block flags.
constexpr std::uint32_t DCB_fBinary = 0x0001;
constexpr std::uint32_t DCB_fParity = 0x0002;
constexpr std::uint32_t DCB_fOutxCtsFlow = 0x0004;
constexpr std::uint32_t DCB_fOutxDsrFlow = 0x0008;
constexpr std::uint32_t DCB_fDtrControlMask = 0x0030;
constexpr std::uint32_t DCB_fDtrControlEnable = 0x0010;
constexpr std::uint32_t DCB_fDtrControlHandshake = 0x0020;
constexpr std::uint32_t DCB_fDsrSensitivity = 0x0040;
constexpr std::uint32_t DCB_fTXContinueOnXoff = 0x0080;
constexpr std::uint32_t DCB_fOutX = 0x0100;
constexpr std::uint32_t DCB_fInX = 0x0200;
constexpr std::uint32_t DCB_fErrorChar = 0x0400;
constexpr std::uint32_t DCB_fNull = 0x0800;
constexpr std::uint32_t DCB_fRtsControlMask = 0x3000;
constexpr std::uint32_t DCB_fRtsControlEnable = 0x1000;
constexpr std::uint32_t DCB_fRtsControlHandshake = 0x2000;
constexpr std::uint32_t DCB_fRtsControlToggle = 0x3000;
constexpr std::uint32_t DCB_fAbortOnError = 0x4000;

// The line settings of a device.
struct TDCB {
  std::uint32_t DCBlength = 28;
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;  // 5..8
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

// Timeouts in milliseconds. Reads: ReadIntervalTimeout MAXDWORD with both totals 0 returns at
// once with what is queued; MAXDWORD with a total returns as soon as a byte is there, else with
// nothing when the total passes; otherwise a read ends at the requested count, at a gap longer
// than the interval after a received byte (0 = no interval limit) or when
// multiplier * count + constant passes (both 0 = no total limit). Writes end when everything is
// handed to the device or when multiplier * count + constant passes (both 0 = no limit).
struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = MAXDWORD;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

struct TComStat {
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

// The terminal settings a DCB stands for, as plain numbers in the kernel's termios encoding.
// Built by MapDCBToTermios, a pure function, so the mapping is testable without a device.
struct TTermiosFields {
  std::uint32_t iflag = 0;
  std::uint32_t oflag = 0;
  std::uint32_t cflag = 0;  // without the speed bits
  std::uint32_t lflag = 0;
  std::uint8_t vmin = 0;
  std::uint8_t vtime = 0;
  std::uint8_t vstart = 0;
  std::uint8_t vstop = 0;
  std::uint32_t baud = 0;       // bits per second
  std::uint32_t speedCode = 0;  // the B-constant for baud, or 0 when there is none
  bool dtrOn = false;           // modem output levels to drive (when not under handshake)
  bool rtsOn = false;
  bool rtsByHandshake = false;  // RTS driven by the hardware handshake
  bool discardNull = false;     // NUL bytes are dropped from received data
};

// Maps a DCB onto terminal settings in raw mode. Returns 0, or EINVAL when the line cannot do
// what the DCB asks (DSR flow or sensitivity, DTR handshake, RTS toggle, a replacement character
// other than NUL, a rate of 0, an unknown byte size, parity or stop-bit code).
int MapDCBToTermios(const TDCB& dcb, TTermiosFields& out);

// The B-constant of a rate, or 0 when the rate has none.
std::uint32_t BaudRateToSpeedCode(std::uint32_t baud);

// An eventfd used as a level-triggered wake-up: Set from any thread; Reset by the owner.
class TWakeFd {
 public:
  TWakeFd();
  ~TWakeFd();
  TWakeFd(const TWakeFd&) = delete;
  TWakeFd& operator=(const TWakeFd&) = delete;
  void Set();
  void Reset();
  // Reset, but without a call on the descriptor when nobody set it since the last reset. A Set
  // racing with it may stay behind: it then wakes the next wait once, as a stray wake-up would.
  void ResetIfSet();
  bool IsSet() const;
  int Fd() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::atomic<bool> maybeSet_{false};
};

class TCommDevice;

// Line error and modem-line transition counters of a device that keeps them.
struct TLineCounters {
  std::uint64_t frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
  std::uint64_t cts = 0, dsr = 0, rng = 0, dcd = 0;
};

// Where the line error and modem-line transition counters of a device come from: the driver's
// (TIOCGICOUNT) unless replaced. A test gives a pseudo-terminal, which keeps none, the counters
// of a UART this way; nullptr restores the driver's. False: the device keeps no counters. Read
// when a device opens (whether it has counters) and whenever errors or line events are looked for.
using TLineCounterSource = bool (*)(int fd, TLineCounters& counters);
void SetLineCounterSource(TLineCounterSource source);

// One transfer (a read or a write): started by TCommDevice::StartRead/StartWrite, then waited for
// with WaitTransfer. The record must stay alive (and unmoved) while the transfer is pending; the
// buffer given to a read must stay valid until the wait returns. A write transfers from its own
// copy of the bytes.
class TCommTransfer {
 public:
  TCommTransfer();
  ~TCommTransfer();
  TCommTransfer(const TCommTransfer&) = delete;
  TCommTransfer& operator=(const TCommTransfer&) = delete;

  bool Pending() const { return state_ == kPending; }
  bool IsRead() const { return isRead_; }
  // Bytes transferred so far.
  std::uint32_t Done() const { return done_; }

 private:
  friend class TCommDevice;
  enum TState { kIdle, kPending, kComplete };

  TState state_ = kIdle;
  bool isRead_ = false;
  char* readBuffer_ = nullptr;
  std::vector<char> writeData_;
  std::uint32_t count_ = 0;
  std::uint32_t done_ = 0;
  int error_ = 0;
  TCommTimeouts timeouts_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastByte_;
  std::atomic<bool> aborted_{false};
  TWakeFd* cancel_ = nullptr;  // the waiting thread's wake-up, while a thread waits
  TCommDevice* device_ = nullptr;
};

// An open comm device. All calls are safe from any thread; a transfer or event wait in one
// thread and Close in another end cleanly (Close wakes the waiters and waits for them to leave).
class TCommDevice {
 public:
  TCommDevice();
  ~TCommDevice();
  TCommDevice(const TCommDevice&) = delete;
  TCommDevice& operator=(const TCommDevice&) = delete;

  // Opens the terminal device at `path` exclusively, in raw mode. Returns 0 or an errno value:
  // ENOENT no such device, EBUSY in use elsewhere, ENOTTY not a terminal, EACCES no access.
  int Open(const std::string& path);
  // Waits until the bytes written have had their line time and left the driver (bounded), then
  // closes. Safe to call on a closed device and on one that has gone away.
  void Close();
  bool IsOpen() const;
  int Fd() const;
  const std::string& Path() const { return path_; }

  // The driver's queues are its own on this platform: the sizes are stored and reported only.
  int SetupComm(std::uint32_t inQueue, std::uint32_t outQueue);
  std::uint32_t InQueueSize() const { return inQueue_.load(); }

  // Applies the settings; refused (EINVAL) when the device cannot do them, judged by reading
  // them back. The previous settings stay when refused.
  int SetCommState(const TDCB& dcb);
  int GetCommState(TDCB& dcb) const;
  int SetCommTimeouts(const TCommTimeouts& timeouts);
  int GetCommTimeouts(TCommTimeouts& timeouts) const;

  // Transfers. Start returns 0 when the transfer completed at once (`done` = its count),
  // EINPROGRESS when it is pending (then WaitTransfer completes it), or an errno value.
  int StartRead(TCommTransfer& t, void* buffer, std::uint32_t count, std::uint32_t& done);
  int StartWrite(TCommTransfer& t, const void* data, std::uint32_t count, std::uint32_t& done);
  // Waits for a started transfer to end (count reached, timeout, abort or failure). Returns 0
  // with the count transferred (a timeout is no failure), ECANCELED when aborted, EIO when the
  // device hung up, or another errno value.
  int WaitTransfer(TCommTransfer& t, std::uint32_t& done);
  // Forgets a transfer (its record is going away); a pending one ends as aborted.
  void ReleaseTransfer(TCommTransfer& t);

  // PURGE_TXABORT/RXABORT end pending transfers (they report ECANCELED); PURGE_TXCLEAR and
  // PURGE_RXCLEAR discard the output and input queues.
  int PurgeComm(std::uint32_t flags);
  // Line errors since the last call (CE_ flags; none on a device that keeps no counters) and
  // the queue counts.
  int ClearCommError(std::uint32_t& errors, TComStat* stat);
  // Modem input lines (MS_ flags); a device without modem lines reports none.
  int GetCommModemStatus(std::uint32_t& status);

  // Line events. SetCommMask chooses the events; WaitCommEvent blocks until one of them happens
  // (returns 0 and the events in `mask`), until `cancelFd` is readable (ECANCELED), or until the
  // device hangs up or fails (EIO or another errno value). One waiter at a time.
  int SetCommMask(std::uint32_t mask);
  int WaitCommEvent(std::uint32_t& mask, int cancelFd);

  // Waits the line time of the bytes written (10 bits per byte at the current rate) and until
  // the driver's output queue is empty, bounded, so a close or purge loses nothing written.
  void DrainOutput();

  // Nanoseconds a byte takes on the line at the current rate (10 bits per byte).
  std::int64_t ByteTimeNs() const;

  // True once the line has hung up (an adapter unplugged, the other end of a pseudo-terminal
  // gone): seen by a transfer, by the event wait, or asked of the device now. False while closed.
  bool HungUp();

 private:
  class Use;
  int Start(TCommTransfer& t, std::uint32_t& done);
  int Step(int fd, TCommTransfer& t, bool& finished);
  int ReadSome(int fd, TCommTransfer& t, bool& hangup);
  int WriteSome(int fd, TCommTransfer& t, bool& hangup);
  static std::chrono::steady_clock::time_point Deadline(const TCommTransfer& t);
  void Unregister(TCommTransfer& t);
  void NoteWritten(std::uint32_t bytes);
  void DriveModemLines(int fd, const TTermiosFields& f);
  std::uint32_t LineStateEvents(int fd, std::uint32_t mask);

  mutable std::mutex mutex_;
  std::condition_variable usersCv_;
  int fd_ = -1;
  int epollFd_ = -1;
  std::uint32_t epollDevEvents_ = 0;  // what the device is watched for in epollFd_
  std::string path_;
  int activeUsers_ = 0;
  bool closing_ = false;
  TWakeFd closeWake_;  // wakes the line-event wait when the device closes (transfers: aborted)
  TWakeFd txKick_;     // tells the event wait that a write happened or the mask changed
  std::atomic<std::uint32_t> inQueue_{0};
  std::atomic<std::uint32_t> outQueue_{0};
  TDCB dcb_{};
  TTermiosFields applied_{};
  std::atomic<bool> discardNull_{false};
  TCommTimeouts timeouts_{};
  std::atomic<std::uint32_t> eventMask_{0};
  std::vector<TCommTransfer*> pending_;
  std::chrono::steady_clock::time_point lineBusyUntil_{};
  std::atomic<bool> hungUp_{false};
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  TLineCounters errBase_{};    // counters at the last ClearCommError
  TLineCounters eventBase_{};  // counters at the last line-state event
  std::uint32_t lastModem_ = 0;
  std::atomic<bool> written_{false};  // a write happened since the event wait last looked
  bool txPending_ = false;  // the event wait's own: a write awaits its transmit-empty event
};

}  // namespace platform

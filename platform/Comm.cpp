#include "platform/Comm.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/CommTermios2.h"
#include "platform/Threads.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds until `t` for poll(2), rounded up so a wait never ends before its deadline.
int MsUntil(Clock::time_point t) {
  const auto now = Clock::now();
  if (t <= now) return 0;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - now).count();
  const long long ms = (ns + 999999) / 1000000;
  return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Settings mapping

std::uint32_t BaudRateToSpeedCode(std::uint32_t baud) {
  struct Entry {
    std::uint32_t baud;
    speed_t code;
  };
  static const Entry kTable[] = {
      {50, B50},         {75, B75},         {110, B110},       {134, B134},
      {150, B150},       {200, B200},       {300, B300},       {600, B600},
      {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
      {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
      {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
      {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000},
  };
  for (const Entry& e : kTable)
    if (e.baud == baud) return e.code;
  return 0;
}

int MapDCBToTermios(const TDCB& dcb, TTermiosFields& out) {
  TTermiosFields f;
  if (dcb.BaudRate == 0 || dcb.BaudRate > 0x7FFFFFFFu) return EINVAL;
  f.baud = dcb.BaudRate;
  f.speedCode = BaudRateToSpeedCode(dcb.BaudRate);

  const std::uint32_t fl = dcb.Flags;
  // Handshakes this platform has no counterpart for.
  if (fl & (DCB_fOutxDsrFlow | DCB_fDsrSensitivity)) return EINVAL;
  const std::uint32_t dtr = fl & DCB_fDtrControlMask;
  const std::uint32_t rts = fl & DCB_fRtsControlMask;
  if (dtr == DCB_fDtrControlHandshake || (dtr & ~DCB_fDtrControlMask) != 0) return EINVAL;
  if (dtr == DCB_fDtrControlMask) return EINVAL;
  if (rts == DCB_fRtsControlToggle) return EINVAL;

  // Raw mode: no line editing, no translation, no signals; breaks are not data.
  f.iflag = IGNBRK;
  f.oflag = 0;
  f.lflag = 0;
  f.cflag = CREAD | CLOCAL | HUPCL;

  switch (dcb.ByteSize) {
    case 5: f.cflag |= CS5; break;
    case 6: f.cflag |= CS6; break;
    case 7: f.cflag |= CS7; break;
    case 8: f.cflag |= CS8; break;
    default: return EINVAL;
  }
  switch (dcb.Parity) {
    case 0: break;
    case 1: f.cflag |= PARENB | PARODD; break;
    case 2: f.cflag |= PARENB; break;
    case 3: f.cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: f.cflag |= PARENB | CMSPAR; break;
    default: return EINVAL;
  }
  switch (dcb.StopBits) {
    case 0: break;
    case 1:  // one and a half: only with five data bits (CSTOPB means 1.5 there)
      if (dcb.ByteSize != 5) return EINVAL;
      f.cflag |= CSTOPB;
      break;
    case 2:
      if (dcb.ByteSize == 5) return EINVAL;
      f.cflag |= CSTOPB;
      break;
    default: return EINVAL;
  }
  if (fl & DCB_fParity) f.iflag |= INPCK;
  // A parity error reads as NUL here; no other replacement character can be had.
  if ((fl & DCB_fErrorChar) && (fl & DCB_fParity) && dcb.ErrorChar != 0) return EINVAL;

  if ((fl & DCB_fOutX) || (fl & DCB_fInX)) {
    if (dcb.XonChar == dcb.XoffChar) return EINVAL;
  }
  if (fl & DCB_fOutX) f.iflag |= IXON;
  if (fl & DCB_fInX) f.iflag |= IXOFF;
  f.vstart = static_cast<std::uint8_t>(dcb.XonChar);
  f.vstop = static_cast<std::uint8_t>(dcb.XoffChar);
  // VMIN 1: an empty queue then reads as EAGAIN on the non-blocking descriptor, so a read of
  // 0 bytes always means the line hung up.
  f.vmin = 1;
  f.vtime = 0;

  // One flag covers both directions of the RTS/CTS handshake.
  if ((fl & DCB_fOutxCtsFlow) || rts == DCB_fRtsControlHandshake) f.cflag |= CRTSCTS;
  f.rtsByHandshake = rts == DCB_fRtsControlHandshake;
  f.rtsOn = rts == DCB_fRtsControlEnable;
  f.dtrOn = dtr == DCB_fDtrControlEnable;
  f.discardNull = (fl & DCB_fNull) != 0;
  out = f;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// TWakeFd

TWakeFd::TWakeFd() { fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

TWakeFd::~TWakeFd() {
  if (fd_ >= 0) ::close(fd_);
}

void TWakeFd::Set() {
  if (fd_ < 0) return;
  maybeSet_ = true;
  const std::uint64_t one = 1;
  // The counter cannot overflow in practice; a full counter is still "set".
  ssize_t r;
  do {
    r = ::write(fd_, &one, sizeof(one));
  } while (r < 0 && errno == EINTR);
}

void TWakeFd::Reset() {
  if (fd_ < 0) return;
  maybeSet_ = false;
  std::uint64_t v;
  ssize_t r;
  do {
    r = ::read(fd_, &v, sizeof(v));
  } while (r < 0 && errno == EINTR);
}

void TWakeFd::ResetIfSet() {
  if (maybeSet_) Reset();
}

bool TWakeFd::IsSet() const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// ---------------------------------------------------------------------------------------------
// TCommTransfer

TCommTransfer::TCommTransfer() = default;

TCommTransfer::~TCommTransfer() {
  if (device_) device_->ReleaseTransfer(*this);
}

namespace {
// The wake-up of the calling thread, lent to a transfer while the thread waits for it.
TWakeFd& ThreadWake() {
  thread_local TWakeFd wake;
  return wake;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// TCommDevice

namespace {

std::atomic<TLineCounterSource> g_counterSource{nullptr};

bool ReadIcount(int fd, TLineCounters& c) {
  if (const TLineCounterSource source = g_counterSource.load()) return source(fd, c);
  serial_icounter_struct ic{};
  if (::ioctl(fd, TIOCGICOUNT, &ic) != 0) return false;
  c.frame = static_cast<std::uint32_t>(ic.frame);
  c.parity = static_cast<std::uint32_t>(ic.parity);
  c.overrun = static_cast<std::uint32_t>(ic.overrun);
  c.brk = static_cast<std::uint32_t>(ic.brk);
  c.bufOverrun = static_cast<std::uint32_t>(ic.buf_overrun);
  c.cts = static_cast<std::uint32_t>(ic.cts);
  c.dsr = static_cast<std::uint32_t>(ic.dsr);
  c.rng = static_cast<std::uint32_t>(ic.rng);
  c.dcd = static_cast<std::uint32_t>(ic.dcd);
  return true;
}

std::uint32_t ModemBitsToStatus(int bits) {
  std::uint32_t s = 0;
  if (bits & TIOCM_CTS) s |= MS_CTS_ON;
  if (bits & TIOCM_DSR) s |= MS_DSR_ON;
  if (bits & TIOCM_RNG) s |= MS_RING_ON;
  if (bits & TIOCM_CAR) s |= MS_RLSD_ON;
  return s;
}

}  // namespace

void SetLineCounterSource(TLineCounterSource source) { g_counterSource = source; }

namespace {

// How often line-state changes are looked for while a modem-line or error event is awaited:
// the kernel's own wait for them (TIOCMIWAIT) cannot be interrupted by a stop request.
constexpr int kLineStatePollMs = 20;
constexpr std::uint32_t kLineStateEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK;

}  // namespace

// Keeps the descriptor alive for the length of one call: Close waits until every user has left.
class TCommDevice::Use {
 public:
  explicit Use(TCommDevice& d) : d_(d) {
    std::lock_guard<std::mutex> lock(d_.mutex_);
    if (d_.fd_ >= 0 && !d_.closing_) {
      fd_ = d_.fd_;
      ++d_.activeUsers_;
    }
  }
  ~Use() {
    if (fd_ < 0) return;
    std::lock_guard<std::mutex> lock(d_.mutex_);
    if (--d_.activeUsers_ == 0) d_.usersCv_.notify_all();
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  int fd() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  TCommDevice& d_;
  int fd_ = -1;
};

TCommDevice::TCommDevice() = default;

TCommDevice::~TCommDevice() { Close(); }

int TCommDevice::Open(const std::string& path) {
  Close();
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  // Exclusive: an advisory lock that every well-behaved serial program takes, then the
  // terminal's own exclusive mode against other openers.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    return (e == EWOULDBLOCK) ? EBUSY : e;
  }
  TTermiosFields cur;
  if (const int e = Termios2Get(fd, cur); e != 0) {
    ::close(fd);
    return (e == EINVAL || e == ENOTTY) ? ENOTTY : e;
  }
  // The terminal's exclusive mode keeps out other openers, except on a pseudo-terminal: its
  // other side usually keeps the terminal open, so the mode would outlive a program that died
  // and lock the line until the other side restarts.
  struct stat st {};
  const bool pty = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
                   major(st.st_rdev) <= 143;
  if (!pty) (void)::ioctl(fd, TIOCEXCL);

  // Raw mode at once, keeping the rate, so nothing is echoed or translated before the
  // settings are applied.
  TTermiosFields raw = cur;
  raw.iflag = IGNBRK;
  raw.oflag = 0;
  raw.lflag = 0;
  raw.cflag = (cur.cflag & ~(CSIZE | PARENB)) | CS8 | CREAD | CLOCAL;
  raw.vmin = 1;
  raw.vtime = 0;
  if (raw.baud == 0) {
    raw.baud = 9600;
    raw.speedCode = BaudRateToSpeedCode(9600);
  }
  if (const int e = Termios2Set(fd, raw); e != 0) {
    (void)::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return e;
  }
  int bits = 0;
  const bool modem = ::ioctl(fd, TIOCMGET, &bits) == 0;
  TLineCounters counters;
  const bool hasCounters = ReadIcount(fd, counters);

  std::lock_guard<std::mutex> lock(mutex_);
  fd_ = fd;
  path_ = path;
  closing_ = false;
  closeWake_.Reset();
  txKick_.Reset();
  applied_ = raw;
  dcb_ = TDCB{};
  timeouts_ = TCommTimeouts{};
  eventMask_ = 0;
  hasModemLines_ = modem;
  hasCounters_ = hasCounters;
  errBase_ = counters;
  eventBase_ = counters;
  lastModem_ = modem ? ModemBitsToStatus(bits) : 0;
  txPending_ = false;
  written_ = false;
  lineBusyUntil_ = Clock::now();
  hungUp_ = false;
  discardNull_ = false;
  return 0;
}

void TCommDevice::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || closing_) return;
  }
  // What was written gets its line time first: on a pseudo-terminal a purge or close would
  // throw away what the other end has not read yet.
  DrainOutput();
  std::unique_lock<std::mutex> lock(mutex_);
  if (fd_ < 0 || closing_) return;
  closing_ = true;
  for (TCommTransfer* t : pending_) {
    t->aborted_ = true;
    if (t->cancel_) t->cancel_->Set();
  }
  closeWake_.Set();
  usersCv_.wait(lock, [&] { return activeUsers_ == 0; });
  for (TCommTransfer* t : pending_) t->device_ = nullptr;
  pending_.clear();
  (void)::ioctl(fd_, TIOCNXCL);
  if (epollFd_ >= 0) ::close(epollFd_);
  epollFd_ = -1;
  ::close(fd_);
  fd_ = -1;
  closing_ = false;
  closeWake_.Reset();
  txKick_.Reset();
  eventMask_ = 0;
}

bool TCommDevice::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fd_ >= 0;
}

int TCommDevice::Fd() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fd_;
}

int TCommDevice::SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) {
  Use use(*this);
  if (!use.ok()) return EBADF;
  inQueue_ = inQueue;
  outQueue_ = outQueue;
  return 0;
}

void TCommDevice::DriveModemLines(int fd, const TTermiosFields& f) {
  if (!hasModemLines_) return;  // a pseudo-terminal has none
  int dtr = TIOCM_DTR;
  (void)::ioctl(fd, f.dtrOn ? TIOCMBIS : TIOCMBIC, &dtr);
  if (!f.rtsByHandshake) {
    int rts = TIOCM_RTS;
    (void)::ioctl(fd, f.rtsOn ? TIOCMBIS : TIOCMBIC, &rts);
  }
}

int TCommDevice::SetCommState(const TDCB& dcb) {
  TTermiosFields want;
  if (const int e = MapDCBToTermios(dcb, want); e != 0) return e;
  Use use(*this);
  if (!use.ok()) return EBADF;
  const int fd = use.fd();
  TTermiosFields before;
  if (const int e = Termios2Get(fd, before); e != 0) return e;
  if (const int e = Termios2Set(fd, want); e != 0) return e;
  TTermiosFields got;
  if (const int e = Termios2Get(fd, got); e != 0) return e;
  // Judge by what the device took: a driver drops what its hardware cannot do.
  const std::uint32_t cmask = CSIZE | PARENB | CSTOPB | CRTSCTS |
                              ((want.cflag & PARENB) ? (PARODD | CMSPAR) : 0u);
  const std::uint32_t imask = IXON | IXOFF | INPCK;
  bool ok = (got.cflag & cmask) == (want.cflag & cmask) && (got.iflag & imask) == (want.iflag & imask);
  // A rate within 3 % of the one asked for is what the line can do (a UART's divisor).
  if (ok) {
    const double asked = want.baud;
    const double have = got.baud;
    ok = have > 0 && (have > asked ? have - asked : asked - have) <= asked * 0.03;
  }
  if (!ok) {
    (void)Termios2Set(fd, before);
    return EINVAL;
  }
  DriveModemLines(fd, want);
  std::lock_guard<std::mutex> lock(mutex_);
  applied_ = want;
  applied_.baud = got.baud;
  discardNull_ = want.discardNull;
  dcb_ = dcb;
  return 0;
}

int TCommDevice::GetCommState(TDCB& dcb) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return EBADF;
  dcb = dcb_;
  return 0;
}

int TCommDevice::SetCommTimeouts(const TCommTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0 || closing_) return EBADF;
  timeouts_ = timeouts;
  return 0;
}

int TCommDevice::GetCommTimeouts(TCommTimeouts& timeouts) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return EBADF;
  timeouts = timeouts_;
  return 0;
}

std::int64_t TCommDevice::ByteTimeNs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint32_t baud = applied_.baud ? applied_.baud : 9600;
  return static_cast<std::int64_t>(10'000'000'000LL / baud);
}

void TCommDevice::NoteWritten(std::uint32_t bytes) {
  if (bytes == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint32_t baud = applied_.baud ? applied_.baud : 9600;
  const auto lineTime = std::chrono::nanoseconds(static_cast<std::int64_t>(bytes) * 10'000'000'000LL / baud);
  const auto now = Clock::now();
  lineBusyUntil_ = std::max(lineBusyUntil_, now) + std::chrono::duration_cast<Clock::duration>(lineTime);
  if (eventMask_.load() & EV_TXEMPTY) {
    written_ = true;
    txKick_.Set();
  }
}

// ---- transfers ----

int TCommDevice::ReadSome(int fd, TCommTransfer& t, bool& hangup) {
  while (t.done_ < t.count_) {
    char* dst = t.readBuffer_ + t.done_;
    const std::uint32_t asked = t.count_ - t.done_;
    const ssize_t n = ::read(fd, dst, asked);
    if (n > 0) {
      std::uint32_t kept = static_cast<std::uint32_t>(n);
      if (discardNull_.load()) {
        char* end = std::remove(dst, dst + n, '\0');
        kept = static_cast<std::uint32_t>(end - dst);
      }
      t.done_ += kept;
      t.lastByte_ = Clock::now();
      // A short read took all there was: asking again now would only say so.
      if (static_cast<std::uint32_t>(n) < asked) return 0;
      continue;
    }
    if (n == 0) {
      // End of file on a terminal means the line hung up, unless someone sharing the
      // terminal set VMIN to 0 (then an empty queue reads as 0 too): the device says which.
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) hangup = true;
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    if (errno == EIO) {
      hangup = true;
      return 0;
    }
    return errno;
  }
  return 0;
}

int TCommDevice::WriteSome(int fd, TCommTransfer& t, bool& hangup) {
  while (t.done_ < t.count_) {
    const ssize_t n = ::write(fd, t.writeData_.data() + t.done_, t.count_ - t.done_);
    if (n > 0) {
      t.done_ += static_cast<std::uint32_t>(n);
      NoteWritten(static_cast<std::uint32_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    if (n < 0 && errno == EIO) {
      hangup = true;
      return 0;
    }
    return n < 0 ? errno : EIO;
  }
  return 0;
}

namespace {

// When a read in its present state is over (count reached or the timeout form says so).
bool ReadSatisfied(const TCommTimeouts& to, std::uint32_t done, std::uint32_t count) {
  if (done >= count) return true;
  if (to.ReadIntervalTimeout == MAXDWORD) {
    if (to.ReadTotalTimeoutMultiplier == 0 && to.ReadTotalTimeoutConstant == 0) return true;
    return done > 0;  // return as soon as anything is there
  }
  return false;
}

}  // namespace

// The moment a pending transfer ends by timeout, or time_point::max() when there is none.
Clock::time_point TCommDevice::Deadline(const TCommTransfer& t) {
  const TCommTimeouts& to = t.timeouts_;
  Clock::time_point d = Clock::time_point::max();
  // A total limit of decades is no limit: added to a clock reading in nanoseconds it would
  // overflow, and the transfer would end at once instead of never.
  constexpr std::uint64_t kNoLimitMs = std::uint64_t{1} << 40;
  auto total = [&](std::uint64_t mult, std::uint64_t cons) {
    const std::uint64_t ms = mult * t.count_ + cons;  // both 32-bit: cannot overflow 64 bits
    if ((mult != 0 || cons != 0) && ms < kNoLimitMs)
      d = t.start_ + std::chrono::milliseconds(static_cast<std::int64_t>(ms));
  };
  if (t.isRead_) {
    // MAXDWORD as both interval and multiplier is the form "the first byte, within the
    // constant"; with a finite interval a MAXDWORD multiplier is just a very long total.
    const bool firstByteForm =
        to.ReadIntervalTimeout == MAXDWORD && to.ReadTotalTimeoutMultiplier == MAXDWORD;
    total(firstByteForm ? 0 : to.ReadTotalTimeoutMultiplier, to.ReadTotalTimeoutConstant);
    if (to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != MAXDWORD && t.done_ > 0)
      d = std::min(d, t.lastByte_ + std::chrono::milliseconds(to.ReadIntervalTimeout));
  } else {
    total(to.WriteTotalTimeoutMultiplier, to.WriteTotalTimeoutConstant);
  }
  return d;
}

int TCommDevice::Step(int fd, TCommTransfer& t, bool& finished) {
  bool hangup = false;
  const int e = t.isRead_ ? ReadSome(fd, t, hangup) : WriteSome(fd, t, hangup);
  finished = true;
  if (e != 0) return e;
  if (hangup) {
    hungUp_ = true;
    // Bytes that came before the hang-up are delivered; the next transfer reports it.
    if (t.isRead_ && t.done_ > 0) return 0;
    return EIO;
  }
  if (t.isRead_ ? ReadSatisfied(t.timeouts_, t.done_, t.count_) : t.done_ >= t.count_) return 0;
  finished = false;
  return 0;
}

int TCommDevice::Start(TCommTransfer& t, std::uint32_t& done) {
  // A transfer that never has to wait (the bytes are there already) is a wait point too: a
  // reader that keeps finding data must not starve the thread's hook.
  WaitHookPoint();
  done = 0;
  t.start_ = Clock::now();
  t.lastByte_ = t.start_;
  t.done_ = 0;
  t.error_ = 0;
  t.aborted_ = false;
  Use use(*this);
  if (!use.ok()) {
    t.state_ = TCommTransfer::kComplete;
    t.error_ = EBADF;
    return EBADF;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    t.timeouts_ = timeouts_;
    if (hungUp_) {
      t.state_ = TCommTransfer::kComplete;
      t.error_ = EIO;
      return EIO;
    }
  }
  if (t.count_ == 0) {
    t.state_ = TCommTransfer::kComplete;
    return 0;
  }
  bool finished = false;
  int e = 0;
  // A read that may wait asks the device for bytes only once the device says some are there
  // (the wait's poll): right after a command the answer is, as a rule, not there yet, and a
  // read now would only find the queue empty, a call for nothing on every read of an exchange.
  if (!t.isRead_ || ReadSatisfied(t.timeouts_, 0, t.count_)) e = Step(use.fd(), t, finished);
  if (finished) {
    t.state_ = TCommTransfer::kComplete;
    t.error_ = e;
    done = t.done_;
    return e;
  }
  // Pending: registered so that an abort or a close can end it.
  std::lock_guard<std::mutex> lock(mutex_);
  t.device_ = this;
  t.state_ = TCommTransfer::kPending;
  pending_.push_back(&t);
  done = 0;
  return EINPROGRESS;
}

int TCommDevice::StartRead(TCommTransfer& t, void* buffer, std::uint32_t count, std::uint32_t& done) {
  if (t.state_ == TCommTransfer::kPending) return EBUSY;
  t.isRead_ = true;
  t.readBuffer_ = static_cast<char*>(buffer);
  t.writeData_.clear();
  t.count_ = count;
  return Start(t, done);
}

int TCommDevice::StartWrite(TCommTransfer& t, const void* data, std::uint32_t count, std::uint32_t& done) {
  if (t.state_ == TCommTransfer::kPending) return EBUSY;
  t.isRead_ = false;
  t.readBuffer_ = nullptr;
  const char* p = static_cast<const char*>(data);
  t.writeData_.assign(p, p + count);
  t.count_ = count;
  return Start(t, done);
}

void TCommDevice::Unregister(TCommTransfer& t) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.erase(std::remove(pending_.begin(), pending_.end(), &t), pending_.end());
  t.device_ = nullptr;
  t.cancel_ = nullptr;
}

int TCommDevice::WaitTransfer(TCommTransfer& t, std::uint32_t& done) {
  if (t.state_ != TCommTransfer::kPending) {
    done = t.done_;
    return t.error_;
  }
  TWakeFd& wake = ThreadWake();
  {
    // From here an abort wakes this thread; a wake-up left over from an earlier transfer
    // is cleared first (the aborted flag, checked before every wait, is what counts).
    std::lock_guard<std::mutex> lock(mutex_);
    t.cancel_ = &wake;
  }
  wake.ResetIfSet();
  int result = 0;
  // A thread with a wait hook waits in slices and runs its hook between them, outside the
  // descriptor's use, so the hook never holds up a close.
  const bool sliced = HasWaitHook();
  for (bool ended = false; !ended;) {
    {
      Use use(*this);
      if (!use.ok()) {
        result = ECANCELED;
        break;
      }
      const int fd = use.fd();
      const short want = t.isRead_ ? POLLIN : POLLOUT;
      const Clock::time_point sliceEnd = Clock::now() + WaitHookInterval;
      for (;;) {
        if (t.aborted_) {
          result = ECANCELED;
          ended = true;
          break;
        }
        const Clock::time_point deadline = Deadline(t);
        // Timed out; a read first takes what is there by now, as it never read before its wait.
        const bool due = deadline != Clock::time_point::max() && Clock::now() >= deadline;
        if (due && !t.isRead_) {
          ended = true;
          break;
        }
        if (!due && sliced && Clock::now() >= sliceEnd) break;  // the hook's turn
        // A close aborts every pending transfer and wakes its waiter like an abort does.
        pollfd p[2] = {{fd, want, 0}, {wake.Fd(), POLLIN, 0}};
        int timeout = deadline == Clock::time_point::max() ? -1 : MsUntil(deadline);
        if (sliced && !due) {
          const int slice = MsUntil(sliceEnd);
          if (timeout < 0 || slice < timeout) timeout = slice;
        }
        const int r = ::poll(p, 2, timeout);
        if (r < 0) {
          if (errno == EINTR) continue;
          result = errno;
          ended = true;
          break;
        }
        if (p[1].revents) {
          wake.Reset();
          if (t.aborted_) {
            result = ECANCELED;
            ended = true;
            break;
          }
        }
        if (p[0].revents) {
          bool finished = false;
          const int e = Step(fd, t, finished);
          if (finished) {
            result = e;
            ended = true;
            break;
          }
          // A write that could not go on although the device said it could, or a read woken
          // without data: nothing to do but wait again.
        }
        if (due) {
          ended = true;
          break;
        }
      }
    }
    if (!ended) WaitHookPoint();
  }
  Unregister(t);
  t.state_ = TCommTransfer::kComplete;
  t.error_ = result;
  done = t.done_;
  return result;
}

void TCommDevice::ReleaseTransfer(TCommTransfer& t) {
  if (t.state_ == TCommTransfer::kPending) {
    t.aborted_ = true;
    t.state_ = TCommTransfer::kComplete;
    t.error_ = ECANCELED;
  }
  Unregister(t);
}

// ---- queues and line state ----

int TCommDevice::PurgeComm(std::uint32_t flags) {
  Use use(*this);
  if (!use.ok()) return EBADF;
  const int fd = use.fd();
  if (flags & (PURGE_TXABORT | PURGE_RXABORT)) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (TCommTransfer* t : pending_) {
      const bool hit = t->isRead_ ? (flags & PURGE_RXABORT) : (flags & PURGE_TXABORT);
      if (!hit) continue;
      t->aborted_ = true;
      if (t->cancel_) t->cancel_->Set();
    }
  }
  int queue = -1;
  if ((flags & PURGE_TXCLEAR) && (flags & PURGE_RXCLEAR))
    queue = TCIOFLUSH;
  else if (flags & PURGE_TXCLEAR)
    queue = TCOFLUSH;
  else if (flags & PURGE_RXCLEAR)
    queue = TCIFLUSH;
  if (queue >= 0) {
    if (::tcflush(fd, queue) != 0) return errno;
    if (flags & PURGE_TXCLEAR) {
      std::lock_guard<std::mutex> lock(mutex_);
      lineBusyUntil_ = Clock::now();  // nothing left to go out
    }
  } else if (flags == 0) {
    // Nothing to purge; still a call on the device, so a dead one reports it.
    if (::fcntl(fd, F_GETFL) < 0) return errno;
  }
  return 0;
}

int TCommDevice::ClearCommError(std::uint32_t& errors, TComStat* stat) {
  errors = 0;
  Use use(*this);
  if (!use.ok()) return EBADF;
  const int fd = use.fd();
  int inq = 0;
  if (::ioctl(fd, TIOCINQ, &inq) != 0) return errno;
  int outq = 0;
  if (::ioctl(fd, TIOCOUTQ, &outq) != 0) outq = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (hasCounters_) {
    TLineCounters c;
    if (ReadIcount(fd, c)) {
      if (c.frame != errBase_.frame) errors |= CE_FRAME;
      if (c.parity != errBase_.parity) errors |= CE_RXPARITY;
      if (c.overrun != errBase_.overrun) errors |= CE_OVERRUN;
      if (c.brk != errBase_.brk) errors |= CE_BREAK;
      if (c.bufOverrun != errBase_.bufOverrun) errors |= CE_RXOVER;
      errBase_ = c;
    }
  }
  if (stat) {
    stat->cbInQue = static_cast<std::uint32_t>(inq < 0 ? 0 : inq);
    stat->cbOutQue = static_cast<std::uint32_t>(outq < 0 ? 0 : outq);
  }
  return 0;
}

int TCommDevice::GetCommModemStatus(std::uint32_t& status) {
  status = 0;
  Use use(*this);
  if (!use.ok()) return EBADF;
  if (!hasModemLines_) return 0;
  int bits = 0;
  if (::ioctl(use.fd(), TIOCMGET, &bits) != 0) return errno;
  status = ModemBitsToStatus(bits);
  return 0;
}

int TCommDevice::SetCommMask(std::uint32_t mask) {
  Use use(*this);
  if (!use.ok()) return EBADF;
  std::lock_guard<std::mutex> lock(mutex_);
  eventMask_ = mask;
  TLineCounters c;
  if (hasCounters_ && ReadIcount(use.fd(), c)) eventBase_ = c;
  int bits = 0;
  if (hasModemLines_ && ::ioctl(use.fd(), TIOCMGET, &bits) == 0) lastModem_ = ModemBitsToStatus(bits);
  // A waiting WaitCommEvent looks at the new mask.
  txKick_.Set();
  return 0;
}

// Line-state events since the last look (modem lines, errors, breaks, rings).
std::uint32_t TCommDevice::LineStateEvents(int fd, std::uint32_t mask) {
  std::uint32_t ev = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  TLineCounters c;
  if (hasCounters_ && ReadIcount(fd, c)) {
    if (c.cts != eventBase_.cts) ev |= EV_CTS;
    if (c.dsr != eventBase_.dsr) ev |= EV_DSR;
    if (c.dcd != eventBase_.dcd) ev |= EV_RLSD;
    if (c.rng != eventBase_.rng) ev |= EV_RING;
    if (c.brk != eventBase_.brk) ev |= EV_BREAK;
    if (c.frame != eventBase_.frame || c.parity != eventBase_.parity ||
        c.overrun != eventBase_.overrun || c.bufOverrun != eventBase_.bufOverrun)
      ev |= EV_ERR;
    eventBase_ = c;
  }
  int bits = 0;
  if (hasModemLines_ && ::ioctl(fd, TIOCMGET, &bits) == 0) {
    // Levels too, for drivers that count no transitions.
    const std::uint32_t s = ModemBitsToStatus(bits);
    const std::uint32_t diff = s ^ lastModem_;
    if (diff & MS_CTS_ON) ev |= EV_CTS;
    if (diff & MS_DSR_ON) ev |= EV_DSR;
    if (diff & MS_RLSD_ON) ev |= EV_RLSD;
    if ((diff & MS_RING_ON) && !(s & MS_RING_ON)) ev |= EV_RING;  // end of a ring
    lastModem_ = s;
  }
  return ev & mask;
}

int TCommDevice::WaitCommEvent(std::uint32_t& mask, int cancelFd) {
  mask = 0;
  Use use(*this);
  if (!use.ok()) return EBADF;
  const int fd = use.fd();
  int ep;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (hungUp_) return EIO;
    if (epollFd_ < 0) {
      // Edge-triggered on the device: one event per arrival of data, however much stays
      // queued for the reader.
      const int e = ::epoll_create1(EPOLL_CLOEXEC);
      if (e < 0) return errno;
      epoll_event dev{};
      dev.events = EPOLLIN | EPOLLET | EPOLLRDHUP;
      dev.data.u32 = 0;
      epollDevEvents_ = dev.events;
      epoll_event kick{};
      kick.events = EPOLLIN;
      kick.data.u32 = 1;
      if (::epoll_ctl(e, EPOLL_CTL_ADD, fd, &dev) != 0 ||
          ::epoll_ctl(e, EPOLL_CTL_ADD, txKick_.Fd(), &kick) != 0) {
        const int err = errno;
        ::close(e);
        return err;
      }
      epollFd_ = e;
    }
    ep = epollFd_;
  }
  for (;;) {
    const std::uint32_t want = eventMask_.load();
    // Arrivals wake the wait only while receive events are wanted: a reader that takes its
    // bytes itself must not wake this thread for each of them. Watching them again reports
    // at once what arrived meanwhile.
    const std::uint32_t devEvents =
        ((want & (EV_RXCHAR | EV_RX80FULL)) ? EPOLLIN : 0u) | EPOLLET | EPOLLRDHUP;
    if (devEvents != epollDevEvents_) {
      epoll_event dev{};
      dev.events = devEvents;
      dev.data.u32 = 0;
      if (::epoll_ctl(ep, EPOLL_CTL_MOD, fd, &dev) != 0) return errno;
      epollDevEvents_ = devEvents;
    }
    std::uint32_t ev = 0;
    int timeout = -1;
    if (txPending_ && (want & EV_TXEMPTY)) {
      int outq = 0;
      if (::ioctl(fd, TIOCOUTQ, &outq) != 0 || outq <= 0) {
        ev |= EV_TXEMPTY;
        txPending_ = false;
      } else {
        const std::int64_t ms = ByteTimeNs() * outq / 1'000'000;
        timeout = static_cast<int>(std::clamp<std::int64_t>(ms, 1, 50));
      }
    }
    if (want & kLineStateEvents) {
      if (hasCounters_ || hasModemLines_) {
        ev |= LineStateEvents(fd, want);
        timeout = timeout < 0 ? kLineStatePollMs : std::min(timeout, kLineStatePollMs);
      }
    }
    // Events already seen are reported at once, with whatever arrived at the same moment.
    if (ev) timeout = 0;
    pollfd p[3] = {{ep, POLLIN, 0}, {cancelFd, POLLIN, 0}, {closeWake_.Fd(), POLLIN, 0}};
    const int r = ::poll(p, 3, timeout);
    if (r < 0 && errno != EINTR) return errno;
    if (r > 0 && (p[1].revents || p[2].revents)) return ECANCELED;
    if (r <= 0 || !p[0].revents) {
      if (ev) {
        mask = ev;
        return 0;
      }
      continue;
    }
    epoll_event evs[4];
    const int n = ::epoll_wait(ep, evs, 4, 0);
    for (int i = 0; i < n; ++i) {
      if (evs[i].data.u32 == 1) {
        txKick_.Reset();
        // Only a write makes the transmit queue run empty; a new mask merely wakes the wait.
        if (written_.exchange(false) && (eventMask_.load() & EV_TXEMPTY)) txPending_ = true;
        continue;
      }
      if (evs[i].events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) {
        std::lock_guard<std::mutex> lock(mutex_);
        hungUp_ = true;
        return EIO;
      }
      if (evs[i].events & EPOLLIN) {
        if (want & EV_RXCHAR) ev |= EV_RXCHAR;
        if (want & EV_RX80FULL) {
          int inq = 0;
          const std::uint32_t size = inQueue_.load();
          if (size > 0 && ::ioctl(fd, TIOCINQ, &inq) == 0 &&
              static_cast<std::uint64_t>(inq) * 10 >= static_cast<std::uint64_t>(size) * 8)
            ev |= EV_RX80FULL;
        }
      }
    }
    // A byte received with a line error (parity, framing, overrun) comes with that error in the
    // same wake-up, so the error is handled before the byte.
    if ((ev & EV_RXCHAR) && (want & kLineStateEvents) && (hasCounters_ || hasModemLines_))
      ev |= LineStateEvents(fd, want);
    if (ev) {
      mask = ev;
      return 0;
    }
  }
}

bool TCommDevice::HungUp() {
  Use use(*this);
  if (!use.ok()) return false;
  if (hungUp_) return true;
  pollfd p{use.fd(), 0, 0};  // no events asked: only a hang-up or an error is reported
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
    std::lock_guard<std::mutex> lock(mutex_);
    hungUp_ = true;
  }
  return hungUp_;
}

void TCommDevice::DrainOutput() {
  Clock::time_point until;
  bool flowControlled;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || closing_) return;
    until = lineBusyUntil_;
    flowControlled = (applied_.cflag & CRTSCTS) || (applied_.iflag & IXON);
  }
  {
    // A line that hung up (an adapter unplugged, the other end of a pseudo-terminal gone)
    // carries nothing any more: a close after it does not wait for bytes that cannot leave.
    Use use(*this);
    if (!use.ok()) return;
    pollfd p{use.fd(), 0, 0};  // no events asked: only a hang-up or an error is reported
    if (hungUp_ || (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
      std::lock_guard<std::mutex> lock(mutex_);
      lineBusyUntil_ = Clock::now();
      return;
    }
  }
  // The line time of what was written, bounded so a slow rate cannot hold a close for long.
  const auto now = Clock::now();
  const auto cap = now + std::chrono::seconds(5);
  if (until > now) SleepUntil(std::min(until, cap));
  Use use(*this);
  if (!use.ok()) return;
  const int fd = use.fd();
  // Then until the driver's queue is empty: real ports count what they still hold.
  const auto limit = Clock::now() + std::chrono::milliseconds(500);
  int outq = 0;
  while (::ioctl(fd, TIOCOUTQ, &outq) == 0 && outq > 0 && Clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  // The last bytes in the hardware; a flow-stopped line could hold tcdrain for ever.
  if (outq <= 0 && !flowControlled && !hungUp_) (void)::tcdrain(fd);
  std::lock_guard<std::mutex> lock(mutex_);
  lineBusyUntil_ = Clock::now();
}

}  // namespace platform

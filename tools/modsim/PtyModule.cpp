#include "tools/modsim/PtyModule.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "tools/modsim/LineRate.h"
#include "tools/modsim/RateMismatch.h"

namespace modsim {

namespace {

constexpr Millis kPollPeriod{50};
// While the bootloader takes a file, the server looks at the line this often, so that it knows
// closely when a byte can have come at the earliest.
constexpr std::chrono::microseconds kFileLookPeriod{500};
constexpr Millis kStuckOutput{2000};  // nobody reads the line: what waits is lost

Clock::duration ByteTime(int rate) {
  if (rate <= 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / rate));
}

speed_t SpeedCode(int rate) {
  switch (rate) {
    case 9600: return B9600;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B19200;
  }
}

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

struct PtyModule::InByte {
  char C;
  int ToolRate;  // the rate the tool's side was set to when the byte arrived
  bool Overlapped;
  Clock::time_point Arrival;   // when it was read: it came at the latest then
  Clock::time_point Earliest;  // the line was last seen empty then: it came after that
};

struct PtyModule::Pending {
  Output Out;
  std::size_t Pos = 0;
  bool Started = false;
  Clock::time_point NextDue{};
};

PtyModule::PtyModule(ModuleOptions options) : module_(std::move(options)) {
  talkRate_ = module_.Rate();
}

PtyModule::~PtyModule() { Stop(); }

bool PtyModule::Start() {
  std::lock_guard lock(mutex_);
  if (running_) return true;
  if (unplugged_) {
    error_ = "the module was unplugged";
    return false;
  }
  error_.clear();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) {
    error_ = ErrnoText("posix_openpt");
    return false;
  }
  char name[128] = {};
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    error_ = ErrnoText("pseudo-terminal set-up");
    CloseLine();
    return false;
  }
  path_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    error_ = ErrnoText("open slave");
    CloseLine();
    return false;
  }
  // Raw at the module's rate until the tool sets its own line settings.
  termios t{};
  if (tcgetattr(slave_, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&t, SpeedCode(module_.Rate()));
    tcsetattr(slave_, TCSANOW, &t);
  }
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
    error_ = ErrnoText("fcntl");
    CloseLine();
    return false;
  }
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) {
    error_ = ErrnoText("eventfd");
    CloseLine();
    return false;
  }
  stop_ = false;
  threadDone_ = false;
  talks_ = 0;
  talkRate_ = module_.Rate();
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::exception& e) {
    error_ = e.what();
    CloseLine();
    return false;
  }
  running_ = true;
  return true;
}

void PtyModule::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) {
      CloseLine();
      return;
    }
    stop_ = true;
  }
  Wake();
  thread_.join();
  std::lock_guard lock(mutex_);
  running_ = false;
  CloseLine();
}

void PtyModule::CloseLine() {
  for (int* fd : {&master_, &slave_, &wake_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool PtyModule::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

std::string PtyModule::PortPath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

std::string PtyModule::LastError() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void PtyModule::SetRate(int bitsPerSecond) {
  module_.SetRate(bitsPerSecond);
  talkRate_ = module_.Rate();
}

int PtyModule::Rate() const { return module_.Rate(); }

void PtyModule::SetHalfDuplex(bool on) { module_.SetHalfDuplex(on); }

bool PtyModule::HalfDuplex() const { return module_.HalfDuplex(); }

void PtyModule::SetPacing(bool on) { pacing_ = on; }

bool PtyModule::Pacing() const { return pacing_; }

std::size_t PtyModule::WrongRateBytes() const { return wrongRate_; }

bool PtyModule::Talking() const { return talks_.load() > 0; }

bool PtyModule::Unplugged() const { return unplugged_; }

void PtyModule::StartStream(std::string text, std::size_t chunk) {
  {
    std::lock_guard lock(mutex_);
    streamText_ = std::move(text);
    streamChunk_ = std::max<std::size_t>(1, chunk);
    streamRequest_ = true;
    stream_ = StreamState{0, streamText_.size(), 0};
  }
  Wake();
}

PtyModule::StreamState PtyModule::Stream() const {
  std::lock_guard lock(mutex_);
  return stream_;
}

std::string StreamText(std::size_t bytes, bool lineEnds) {
  std::string text;
  text.reserve(bytes + 64);
  for (std::size_t line = 0; text.size() < bytes; ++line) {
    char number[16];
    std::snprintf(number, sizeof number, "%07zu ", line % 10000000);
    text += number;
    for (std::size_t k = 0; k < 54; ++k) text += static_cast<char>('a' + (line + k) % 26);
    text += lineEnds ? "\r\n" : "; ";
  }
  text.resize(bytes);
  return text;
}

void PtyModule::Unplug() {
  std::unique_lock lock(mutex_);
  if (unplugged_) return;
  if (!running_) {
    // Closing the master hangs the slave up; ours goes too, so nothing keeps the line alive.
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
    unplugged_ = true;
    return;
  }
  unplugRequest_ = true;
  lock.unlock();
  Wake();
  lock.lock();
  cv_.wait(lock, [this] { return unplugged_ || threadDone_; });
  if (!unplugged_) {
    // The server has stopped on its own: pull the plug here.
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
    unplugged_ = true;
  }
  unplugRequest_ = false;
}

bool PtyModule::PlugIn() {
  Stop();
  {
    std::lock_guard lock(mutex_);
    unplugged_ = false;
  }
  return Start();
}

void PtyModule::Wake() {
  std::lock_guard lock(mutex_);
  if (wake_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(wake_, &one, sizeof one);
  }
}

void PtyModule::Run() {
  try {
    Serve();
  } catch (const std::exception& e) {
    std::lock_guard lock(mutex_);
    error_ = std::string("server stopped: ") + e.what();
  } catch (...) {
    std::lock_guard lock(mutex_);
    error_ = "server stopped";
  }
  std::lock_guard lock(mutex_);
  threadDone_ = true;
  cv_.notify_all();
}

void PtyModule::Serve() {
  int master, wake, slave;
  {
    std::lock_guard lock(mutex_);
    master = master_;
    wake = wake_;
    slave = slave_;
  }
  std::deque<InByte> in;
  std::deque<Pending> out;
  std::size_t crPending = 0;         // CRs received but not yet taken
  Clock::time_point inFree{}, outFree{};
  Clock::time_point inFreeEarliest{};  // inFree had every byte come at its earliest
  Clock::time_point lastEmpty{};       // the line was last read empty then
  Clock::time_point lastPoll{};
  Clock::time_point blockedSince{};
  bool blocked = false;
  bool masterTrouble = false;
  // The stream being sent: its text, how far, the end of the chunk going out, when the next is
  // due, and whether this chunk found the line's buffer full.
  std::string stream;
  std::size_t streamPos = 0, streamChunk = 64, chunkStart = 0, chunkEnd = 0;
  Clock::time_point streamStart{}, streamDue{};
  bool streamFull = false;

  auto append = [&](std::vector<Output>&& outputs) {
    for (auto& o : outputs) {
      if (o.Bytes.empty() && o.SwitchRate == 0 && o.Delay == Millis{0}) continue;
      if (o.Talk) {
        ++talks_;
        out.push_back(Pending{std::move(o)});
        continue;
      }
      // Plain echo bytes join the piece before them: fewer writes, same timing.
      if (!out.empty() && !out.back().Started && o.Delay == Millis{0} &&
          o.ByteDelay == Millis{0} && out.back().Out.ByteDelay == Millis{0} &&
          out.back().Out.SwitchRate == 0 && !out.back().Out.Talk && out.back().Out.Reply == o.Reply &&
          out.back().Out.Faulted == o.Faulted) {
        out.back().Out.Bytes += o.Bytes;
        out.back().Out.SwitchRate = o.SwitchRate;
        continue;
      }
      out.push_back(Pending{std::move(o)});
    }
  };
  // A byte that arrives while the module is still answering (full duplex) or still sending
  // anything (half duplex) was sent too early by the tool.
  auto overlapped = [&](bool halfDuplex) {
    for (const auto& p : out) {
      if (p.Out.Faulted) continue;
      if (halfDuplex || p.Out.Reply) return true;
    }
    return halfDuplex ? !in.empty() : crPending > 0;
  };

  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      if (unplugRequest_) {
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        master_ = slave_ = -1;
        master = slave = -1;
        unplugRequest_ = false;
        unplugged_ = true;
        in.clear();
        out.clear();
        talks_ = 0;
        crPending = 0;
        cv_.notify_all();
      }
      if (streamRequest_) {
        stream = std::move(streamText_);
        streamChunk = streamChunk_;
        streamPos = chunkStart = chunkEnd = 0;
        streamStart = streamDue = Clock::now();
        streamFull = false;
        streamRequest_ = false;
        stream_ = StreamState{0, stream.size(), 0};
      }
    }
    const bool paced = pacing_;
    const bool halfDuplex = module_.HalfDuplex();
    Clock::time_point now = Clock::now();

    // Take everything that arrived, stamped with the tool's rate at this moment.
    if (master >= 0) {
      char buf[4096];
      for (;;) {
        const Clock::time_point before = Clock::now();
        const ssize_t n = read(master, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          if (n < 0 && errno == EAGAIN) lastEmpty = before;
          break;
        }
        const Clock::time_point got = Clock::now();
        const int toolRate = LineRateOf(master);
        for (ssize_t i = 0; i < n; ++i) {
          in.push_back(InByte{buf[i], toolRate, overlapped(halfDuplex), got, lastEmpty});
          if (buf[i] == '\r') ++crPending;
        }
        // This read took all there was: what comes next comes after it began.
        if (static_cast<std::size_t>(n) < sizeof buf) lastEmpty = before;
      }
      now = Clock::now();
    }

    // Hand the bytes to the module as the line delivers them.
    while (!in.empty()) {
      const InByte b = in.front();
      Clock::time_point take = b.Arrival;
      Clock::time_point takeEarliest = b.Earliest;
      if (paced) {
        take = std::max(b.Arrival, inFree) + ByteTime(b.ToolRate);
        takeEarliest = std::max(b.Earliest, inFreeEarliest) + ByteTime(b.ToolRate);
      }
      if (take > now) break;
      // The bytes of one write at one rate went out back to back: at another rate than the
      // module's, its UART makes garbage of them together.
      std::string burst;
      const int moduleRate = module_.Rate();
      const bool misread = b.ToolRate != moduleRate;
      do {
        burst += in.front().C;
        if (in.front().C == '\r' && crPending > 0) --crPending;
        in.pop_front();
      } while (misread && !in.empty() && in.front().Arrival == b.Arrival &&
               in.front().ToolRate == b.ToolRate);
      if (paced) {
        inFree = take + ByteTime(b.ToolRate) * static_cast<long>(burst.size() - 1);
        inFreeEarliest = takeEarliest + ByteTime(b.ToolRate) * static_cast<long>(burst.size() - 1);
      }
      if (halfDuplex && master >= 0) {
        // The line's own copy comes back whatever the module does.
        [[maybe_unused]] auto w = write(master, burst.data(), burst.size());
      }
      // The module gets each byte when the line has delivered it (paced: at the end of its line
      // time), not when this loop came round to it; and the earliest it can have been, since
      // this server may have read the line late.
      if (!misread) {
        // A CR that more bytes follow in the same read: how long after it they came is unknown
        // (the pseudo-terminal may have held them back together), so they never count as early.
        if (b.C == '\r' && !in.empty() && in.front().Arrival == b.Arrival)
          takeEarliest = Clock::time_point{};
        append(module_.Receive(b.C, take, b.Overlapped, false, takeEarliest));
        continue;
      }
      wrongRate_ += burst.size();
      for (char c : MisreadAtRate(burst, b.ToolRate, moduleRate)) {
        append(module_.Receive(c, take, b.Overlapped, true, takeEarliest));
      }
    }
    if (now - lastPoll >= kPollPeriod) {
      append(module_.Poll(now));
      lastPoll = now;
    }

    // Send what is due.
    Clock::time_point wakeAt = now + kPollPeriod;
    if (module_.TakingFile()) wakeAt = now + kFileLookPeriod;
    if (paced && !in.empty()) {
      wakeAt = std::min(wakeAt, std::max(in.front().Arrival, inFree) + ByteTime(in.front().ToolRate));
    }
    bool wantWrite = false;
    while (!out.empty() && master >= 0) {
      Pending& p = out.front();
      const auto byteTime = ByteTime(talkRate_);
      if (!p.Started) {
        p.Started = true;
        p.NextDue = (paced ? std::max(now, outFree) : now) + p.Out.Delay + p.Out.ByteDelay;
      }
      if (p.Pos < p.Out.Bytes.size()) {
        if (now < p.NextDue) {
          wakeAt = std::min(wakeAt, p.NextDue);
          break;
        }
        std::size_t n = (paced || p.Out.ByteDelay > Millis{0}) ? 1 : p.Out.Bytes.size() - p.Pos;
        const int toolRate = LineRateOf(master);
        if (toolRate != talkRate_) {
          // The tool listens at another rate: its UART makes garbage of what the module sends.
          const std::string junk =
              MisreadAtRate(std::string_view(p.Out.Bytes).substr(p.Pos, n), talkRate_, toolRate);
          if (!junk.empty()) {
            [[maybe_unused]] auto w = write(master, junk.data(), junk.size());
          }
        } else {
          const ssize_t w = write(master, p.Out.Bytes.data() + p.Pos, n);
          if (w == 0 || (w < 0 && (errno == EAGAIN || errno == EINTR))) {
            if (!blocked) blockedSince = now;
            blocked = true;
            if (now - blockedSince < kStuckOutput) {
              wantWrite = true;
              break;
            }
            // Nobody has read the line for a long time: what waited there is lost.
            if (slave >= 0) tcflush(slave, TCIFLUSH);
            blocked = false;
            continue;
          }
          if (w > 0) n = static_cast<std::size_t>(w);
        }
        blocked = false;
        p.Pos += n;
        // Counted from the byte's due time, not from a late wake-up, so wake-up latency never
        // accumulates: a late byte is followed by the next one at once, as on a busy line.
        if (paced) outFree = std::max(p.NextDue, outFree) + byteTime * static_cast<long>(n);
        p.NextDue = (paced ? outFree : now) + p.Out.ByteDelay;
        continue;
      }
      if (p.Out.SwitchRate != 0) {
        const auto due = paced ? std::max(now, outFree) : now;
        if (now < due) {
          wakeAt = std::min(wakeAt, due);
          break;
        }
        talkRate_ = p.Out.SwitchRate;
      }
      if (p.Out.Talk) --talks_;
      out.pop_front();
    }

    // The stream, when nothing else is being sent.
    while (out.empty() && master >= 0 && streamPos < stream.size()) {
      now = Clock::now();
      if (chunkEnd == streamPos) {
        if (now < streamDue) {
          wakeAt = std::min(wakeAt, streamDue);
          break;
        }
        chunkStart = streamPos;
        chunkEnd = std::min(stream.size(), streamPos + streamChunk);
      }
      const ssize_t w = write(master, stream.data() + streamPos, chunkEnd - streamPos);
      const int writeError = w < 0 ? errno : 0;
      if (w > 0) streamPos += static_cast<std::size_t>(w);
      const bool full = streamPos < chunkEnd;
      const auto chunkTime = ByteTime(talkRate_) * static_cast<long>(chunkEnd - chunkStart);
      {
        std::lock_guard lock(mutex_);
        stream_.Sent = streamPos;
        if (full && !streamFull) ++stream_.Full;
        if (streamPos == stream.size()) stream_.Took = Clock::now() + chunkTime - streamStart;
      }
      if (full) {
        if (writeError != 0 && writeError != EAGAIN && writeError != EINTR) break;
        streamFull = true;
        wantWrite = true;
        break;
      }
      streamDue = (streamFull ? now : streamDue) + chunkTime;
      streamFull = false;
    }

    // Wait for input, for room to write, for a wake-up or for the next due time.
    pollfd fds[2];
    nfds_t count = 0;
    fds[count++] = pollfd{wake, POLLIN, 0};
    // A master that only reports trouble is left out for one round, so it cannot spin us.
    if (master >= 0 && !masterTrouble) {
      fds[count++] = pollfd{master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
    }
    now = Clock::now();
    const auto wait = wakeAt > now ? wakeAt - now : Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    masterTrouble = false;
    if (ppoll(fds, count, &ts, nullptr) > 0) {
      if (fds[0].revents & POLLIN) {
        std::uint64_t v;
        [[maybe_unused]] auto r = read(wake, &v, sizeof v);
      }
      masterTrouble = count > 1 && (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) &&
                      !(fds[1].revents & (POLLIN | POLLOUT));
    }
  }
}

}  // namespace modsim

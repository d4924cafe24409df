// Helpers of the simulated-module tests: feeding the module directly, and a tiny raw client
// for its pseudo-terminal.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tools/modsim/ModuleLogic.h"

namespace modsim_test {

using namespace std::chrono_literals;

// Feeds `input` byte by byte and returns everything the module sends, delays left out. After
// each CR the clock moves on by the pause a tool keeps after an S-record (10 ms).
inline std::string Feed(modsim::ModuleLogic& m, const std::string& input,
                        modsim::Clock::time_point now = modsim::Clock::now()) {
  std::string out;
  for (char c : input) {
    for (const auto& o : m.Receive(c, now)) out += o.Bytes;
    if (c == '\r') now += 10ms;
  }
  return out;
}

// The same, keeping the pieces (for delays and rate switches).
inline std::vector<modsim::Output> FeedOutputs(modsim::ModuleLogic& m, const std::string& input,
                                               modsim::Clock::time_point now = modsim::Clock::now()) {
  std::vector<modsim::Output> all;
  for (char c : input) {
    for (auto& o : m.Receive(c, now)) all.push_back(std::move(o));
    if (c == '\r') now += 10ms;
  }
  return all;
}

// A serial-port user of the pty in its simplest form: raw mode, a rate, blocking-free reads.
class RawPort {
 public:
  RawPort() = default;
  ~RawPort() { Close(); }
  RawPort(const RawPort&) = delete;
  RawPort& operator=(const RawPort&) = delete;

  bool Open(const std::string& path, int rate) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return fd_ >= 0 && SetRate(rate);
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool SetRate(int rate) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    speed_t s = B19200;
    switch (rate) {
      case 9600: s = B9600; break;
      case 38400: s = B38400; break;
      case 57600: s = B57600; break;
      case 115200: s = B115200; break;
      default: break;
    }
    cfsetspeed(&t, s);
    return tcsetattr(fd_, TCSANOW, &t) == 0;
  }
  bool Write(const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
      const ssize_t n = ::write(fd_, s.data() + done, s.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      } else {
        return false;
      }
    }
    return true;
  }
  // Reads until the text received ends with `end`, or `quiet` passes without a byte.
  std::string ReadUntil(const std::string& end, std::chrono::milliseconds quiet = 3000ms) {
    std::string got;
    while (got.size() < end.size() || got.compare(got.size() - end.size(), end.size(), end) != 0) {
      char c;
      if (!ReadByte(c, quiet)) break;
      got += c;
    }
    return got;
  }
  // Reads exactly n bytes, each within `quiet`.
  std::string ReadCount(std::size_t n, std::chrono::milliseconds quiet = 3000ms) {
    std::string got;
    char c;
    while (got.size() < n && ReadByte(c, quiet)) got += c;
    return got;
  }
  // Reads until the line stays silent for `quiet`.
  std::string ReadQuiet(std::chrono::milliseconds quiet) {
    std::string got;
    char c;
    while (ReadByte(c, quiet)) got += c;
    return got;
  }
  bool ReadByte(char& c, std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (r <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR)) hungUp_ = true;
    if (!(p.revents & POLLIN)) return false;
    const ssize_t n = ::read(fd_, &c, 1);
    if (n <= 0) {
      hungUp_ = true;
      return false;
    }
    return true;
  }
  // Waits for a hang-up of the line (the module unplugged).
  bool WaitHangUp(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!hungUp_ && std::chrono::steady_clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        if (p.revents & (POLLHUP | POLLERR)) hungUp_ = true;
        char c;
        if ((p.revents & POLLIN) && ::read(fd_, &c, 1) <= 0) hungUp_ = true;
      }
    }
    return hungUp_;
  }
  void Purge() { tcflush(fd_, TCIOFLUSH); }
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool hungUp_ = false;
};

}  // namespace modsim_test

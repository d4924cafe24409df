// Pseudo-terminal pairs and small helpers for the serial link's tests.
#pragma once

#include "TestTempDir.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace serialtest {

using Clock = std::chrono::steady_clock;

inline long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A pty pair: the test plays the other end of the line on `master`; the port opens `path`.
// The test keeps its own slave descriptor open so the port's close causes no hang-up.
struct PtyPair {
  int master = -1;
  int slave = -1;
  std::string path;

  PtyPair() {
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      path = name;
      termios t{};
      ::tcgetattr(slave, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(slave, TCSANOW, &t);
      ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyPair() {
    CloseMaster();
    CloseSlave();
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master >= 0 && slave >= 0; }
  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  void CloseSlave() {
    if (slave >= 0) ::close(slave);
    slave = -1;
  }

  void Send(const std::string& s) const {
    std::size_t off = 0;
    while (off < s.size()) {
      const ssize_t n = ::write(master, s.data() + off, s.size() - off);
      if (n > 0) off += static_cast<std::size_t>(n);
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Everything the port sent that arrives within `ms` (returns early once `want` bytes came).
  std::string Receive(int ms, std::size_t want = static_cast<std::size_t>(-1)) const {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < want) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::read(master, buf, sizeof(buf));
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
      else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    return got;
  }

  // The line settings as the other end sees them.
  termios Settings() const {
    termios t{};
    ::tcgetattr(master, &t);
    return t;
  }
};

using testutil::TempDir;

// Sets an environment variable for a scope (or unsets it with nullptr), then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
    else ::unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace serialtest

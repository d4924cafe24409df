// Bytes per second through TComPort::ReadText one character at a time from a pseudo-terminal,
// the way the protocol reads a reply, and the CPU time the reading side spends per byte (the
// calling thread and the port's event thread; the sender is a separate process).
//
//   ReadText_Queued:       the sender keeps the line full, so every read finds a byte waiting.
//   ReadText_LineSpeed/N:  the sender paces bytes at N bit/s (10 bits per byte), so every read
//                          waits for its byte, as with a real module.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "serial/CPort.h"

namespace {

double ProcessCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The other end of the line in a child process: writes bytes for ever, as fast as the line
// takes them (bitsPerSecond 0) or paced at a line rate.
class Sender {
 public:
  explicit Sender(long bitsPerSecond) {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = name;
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(slave_);
      Run(bitsPerSecond);
      ::_exit(0);
    }
  }
  ~Sender() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  bool ok() const { return pid_ > 0; }
  const std::string& path() const { return path_; }

 private:
  void Run(long bps) {
    std::string block(4096, 'x');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + i % 26);
    if (bps <= 0) {
      for (;;)
        if (::write(master_, block.data(), block.size()) < 0 && errno != EINTR) return;
    }
    using Clock = std::chrono::steady_clock;
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / bps);
    auto next = Clock::now();
    for (std::size_t i = 0;; ++i) {
      next += byteTime;
      std::this_thread::sleep_until(next);
      if (::write(master_, &block[i % block.size()], 1) < 0 && errno != EINTR) return;
    }
  }

  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  std::string path_;
};

// The port as the protocol sets it up: every event on (the event thread runs), thread
// synchronisation, and the per-character read form MAXDWORD / 0 / timeout.
void ReadOneAtATime(benchmark::State& state, long bitsPerSecond) {
  Sender sender(bitsPerSecond);
  if (!sender.ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  TComPort port;
  port.SetPort(sender.path());
  port.SetBaudRate(br115200);
  port.Open();
  port.Timeouts().SetReadInterval(-1);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(3000);
  std::string s;
  // Let the sender get going.
  port.ReadText(s, 1);
  std::int64_t bytes = 0;
  const double cpu0 = ProcessCpuSeconds();
  for (auto _ : state) {
    bytes += port.ReadText(s, 1);
    benchmark::DoNotOptimize(s.data());
  }
  const double cpu = ProcessCpuSeconds() - cpu0;
  state.SetBytesProcessed(bytes);
  state.counters["cpu_us_per_byte"] = bytes > 0 ? cpu * 1e6 / static_cast<double>(bytes) : 0.0;
  port.Close();
  platform::MainThread::CheckSynchronize();
}

void ReadText_Queued(benchmark::State& state) { ReadOneAtATime(state, 0); }
void ReadText_LineSpeed(benchmark::State& state) { ReadOneAtATime(state, state.range(0)); }

}  // namespace

BENCHMARK(ReadText_Queued)->Iterations(200000)->UseRealTime();
BENCHMARK(ReadText_LineSpeed)->Arg(9600)->Arg(115200)->Iterations(3000)->UseRealTime();

BENCHMARK_MAIN();

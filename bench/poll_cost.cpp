// What the monitor and scope polls cost the processor, against a minimal poller that sends the
// same commands on the same kind of line and reads the replies plainly.
//
// The simulated module runs as a program of its own (tools/modsim, paced: every byte takes its
// line time), so the figures hold only the poller's work: CPU seconds of this process (user plus
// system, getrusage) per second of polling.
// - monitor: the poll timer ticks on its thread and hands each tick to the window thread, which
//   waits for its calls as an event loop does (woken by the window-thread call queue's hook);
// - scope: the scope poll runs on a periodic timer's thread at the scope page's sample period,
//   while the window thread serves the calls handed to it in the same way;
// - minimal: the same commands from a plain loop (monitor) or the same periodic timer (scope),
//   written to the device and read back with poll(2) and read(2), nothing else.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/MMTimer.h"
#include "platform/Threads.h"
#include "protocol/osDRUVModProt.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Each side polls in turns of these lengths, kRounds times.
constexpr int kRounds = 3;
constexpr auto kMonitorSegment = std::chrono::seconds(6);
constexpr auto kScopeSegment = std::chrono::seconds(4);

// ---- The module, in a process of its own -------------------------------------------------------

class ModsimProcess {
 public:
  ModsimProcess(int rate) {
    char dir[] = "/tmp/kvx-pollcost-XXXXXX";
    if (!mkdtemp(dir)) return;
    dir_ = dir;
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addclose(&fa, out[1]);
    const std::string rateText = std::to_string(rate);
    std::vector<std::string> args = {KVX_MODSIM_PROGRAM, "--rate", rateText, "--paced"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The port link goes into a folder of its own, not into the user's settings.
    std::vector<std::string> env = {"APPDATA=" + dir_};
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "APPDATA=", 8) != 0) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int e = posix_spawn(&pid_, KVX_MODSIM_PROGRAM, &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (e != 0) {
      pid_ = -1;
      close(out[0]);
      return;
    }
    // Its first lines name the pseudo-terminal.
    FILE* f = fdopen(out[0], "r");
    char line[512];
    while (f && std::fgets(line, sizeof line, f)) {
      if (std::strncmp(line, "pty: ", 5) == 0) {
        path_ = line + 5;
        while (!path_.empty() && (path_.back() == '\n' || path_.back() == '\r')) path_.pop_back();
        break;
      }
    }
    out_ = f;
  }
  ~ModsimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (out_) std::fclose(out_);
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }
  ModsimProcess(const ModsimProcess&) = delete;
  ModsimProcess& operator=(const ModsimProcess&) = delete;
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  std::string dir_;
  std::string path_;
};

// ---- Measuring ---------------------------------------------------------------------------------

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The window thread as an event loop runs it: asleep until a call is handed to it.
class WindowLoop {
 public:
  WindowLoop() : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    platform::MainThread::SetWakeHook([fd = wake_] {
      const std::uint64_t one = 1;
      [[maybe_unused]] auto n = write(fd, &one, sizeof one);
    });
  }
  ~WindowLoop() {
    platform::MainThread::SetWakeHook(nullptr);
    close(wake_);
  }
  void RunFor(Clock::duration d) {
    const auto end = Clock::now() + d;
    for (;;) {
      platform::MainThread::CheckSynchronize();
      const auto now = Clock::now();
      if (now >= end) break;
      pollfd p{wake_, POLLIN, 0};
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count() + 1;
      if (poll(&p, 1, static_cast<int>(ms)) > 0) {
        std::uint64_t v;
        [[maybe_unused]] auto n = read(wake_, &v, sizeof v);
      }
    }
  }

 private:
  int wake_;
};

// ---- Views that only count --------------------------------------------------------------------

class CountingMonitor : public platform::TComponent, public IMonitorView {
 public:
  void SetProcessDataStructure(TModProcessData*) override {}
  void FireStatusInfoStrucInit(TModStatusInfoData*) override {}
  void NewProcessData(TBaseProcDataObj*) override { ++values; }
  void FireNewStatusInfo(std::uint16_t) override {}
  int values = 0;
};

class CountingScope : public platform::TComponent, public IScopeView {
 public:
  explicit CountingScope(std::uint32_t period, std::vector<std::string> names)
      : period_(period), names_(std::move(names)) {}
  void SetProcessDataStructure(TModProcessData*) override {}
  void SetEnabled(bool) override {}
  void AddScopeData(TASCIIProcDataObj* a, TASCIIProcDataObj*, TASCIIProcDataObj*,
                    TASCIIProcDataObj*) override {
    if (a) ++samples;
  }
  void AddProcessData(TBaseProcDataObj*) override {}
  std::uint32_t DataSampleRate() const override { return period_; }
  std::string ChannelSignalName(int channel) const override {
    const auto i = static_cast<std::size_t>(channel - 1);
    return channel >= 1 && i < names_.size() ? names_[i] : "";
  }
  std::atomic<int> samples{0};

 private:
  std::uint32_t period_;
  std::vector<std::string> names_;
};

// ---- The minimal poller ------------------------------------------------------------------------

class PlainLine {
 public:
  PlainLine(const std::string& path, int rate) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    const speed_t s = rate == 115200 ? B115200 : rate == 57600 ? B57600 : rate == 38400 ? B38400
                    : rate == 19200 ? B19200 : B9600;
    cfsetispeed(&t, s);
    cfsetospeed(&t, s);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~PlainLine() {
    if (fd_ >= 0) close(fd_);
  }
  PlainLine(const PlainLine&) = delete;
  PlainLine& operator=(const PlainLine&) = delete;
  bool Ok() const { return fd_ >= 0; }

  // The command out; the reply read until the echo and, after it, the prompt.
  bool Exchange(const std::string& cmd, const std::string& echo) {
    tcflush(fd_, TCIOFLUSH);
    if (write(fd_, cmd.data(), cmd.size()) != static_cast<ssize_t>(cmd.size())) return false;
    std::string reply;
    char buf[256];
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) return false;
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) return false;
      reply.append(buf, static_cast<std::size_t>(n));
      const auto at = reply.find(echo);
      if (at != std::string::npos && reply.back() == '>' && reply.size() > at + echo.size())
        return true;
      if (reply.size() > 4096) return false;
    }
  }

 private:
  int fd_ = -1;
};

struct Command {
  std::string Text;
  std::string Echo;
};

Command Named(const std::string& name) { return {name + "\r", name}; }

// ---- The protocol component against the module --------------------------------------------------

bool ConnectAndIdentify(TKVXModCommProt& prot, const std::string& path, int rate) {
  TModBaudrate idx{};
  ModBaudrateFromBits(rate, idx);
  prot.SetPortName(path);
  prot.SetAutoSetBaudrate(false);
  prot.SetFixBaudrate(idx);
  prot.SetAutoBaudDetection(false);
  prot.SetBaudRate(idx);
  std::string id;
  return prot.Connect() && prot.IdentifyModule(id);
}

// CPU seconds per second of polling, summed over the rounds. The protocol component and the
// minimal poller take turns on the line, so a machine whose load changes meanwhile weighs on
// both alike; the component's port is closed while the minimal poller runs.
struct TurnTaking {
  double Cpu[2] = {0, 0};
  double Wall[2] = {0, 0};
  template <typename F>
  void Run(int Side, F&& Segment) {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    Segment();
    Wall[Side] += std::chrono::duration<double>(Clock::now() - t0).count();
    Cpu[Side] += ProcessCpuSeconds() - cpu0;
  }
  void Report(benchmark::State& state) const {
    const double protocol = Cpu[0] / Wall[0];
    const double minimal = Cpu[1] / Wall[1];
    state.counters["protocol_cpu_per_s"] = protocol;
    state.counters["minimal_cpu_per_s"] = minimal;
    state.counters["ratio"] = minimal > 0 ? protocol / minimal : 0;
  }
};

// The module started and identified; false, with the benchmark told why, when it is not.
bool StartIdentified(benchmark::State& state, const ModsimProcess& sim, TKVXModCommProt& prot, int rate) {
  if (sim.Path().empty()) {
    state.SkipWithError("simulated module not started");
    return false;
  }
  if (!ConnectAndIdentify(prot, sim.Path(), rate)) {
    state.SkipWithError("identification failed");
    return false;
  }
  return true;
}

void BM_MonitorPollCost(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  for (auto _ : state) {
    ModsimProcess sim(rate);
    TKVXModCommProt prot;
    if (!StartIdentified(state, sim, prot, rate)) return;
    // What one monitor tick sends, and the tick's period.
    std::vector<Command> commands;
    for (int i = 0; i < prot.ProcessData()->Count(); ++i)
      commands.push_back(Named(prot.ProcessData()->GetName(i)));
    if (prot.StatusInfoData()->Count() > 0)
      commands.push_back(Named(prot.StatusInfoData()->GetName(0)));
    if (prot.RemoteCtrlAvailable()) commands.push_back(Named("RC:S"));
    const auto period =
        std::chrono::milliseconds(prot.ProcessData()->Count() <= 10 && rate > 9600 ? 320 : 500);
    CountingMonitor monitor;
    prot.SetMonitor(&monitor);
    WindowLoop window;

    TurnTaking turns;
    int exchanges = 0;
    for (int round = 0; round < kRounds; ++round) {
      if (!prot.Port()->Connected()) prot.Port()->Open();
      prot.SetOperatingMode(2);
      turns.Run(0, [&] { window.RunFor(kMonitorSegment); });
      prot.SetOperatingMode(0);
      prot.Port()->Close();

      PlainLine line(sim.Path(), rate);
      if (!line.Ok()) {
        state.SkipWithError("line not opened");
        return;
      }
      turns.Run(1, [&] {
        const auto end = Clock::now() + kMonitorSegment;
        for (auto next = Clock::now(); next < end; next += period) {
          std::this_thread::sleep_until(next);
          for (const Command& c : commands) exchanges += line.Exchange(c.Text, c.Echo) ? 1 : 0;
        }
      });
    }
    prot.SetMonitor(nullptr);
    turns.Report(state);
    state.counters["protocol_values"] = monitor.values;
    state.counters["minimal_exchanges"] = exchanges;
  }
}

void BM_ScopePollCost(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  // The scope page's sample period in full duplex.
  const std::uint32_t period = 20 + 60 / (rate / 9600);
  for (auto _ : state) {
    ModsimProcess sim(rate);
    TKVXModCommProt prot;
    if (!StartIdentified(state, sim, prot, rate)) return;
    std::vector<std::string> names;
    for (int i = 0; i < prot.ProcessData()->Count() && names.size() < 4; ++i)
      names.push_back(prot.ProcessData()->GetName(i));
    CountingScope scope(period, names);
    prot.SetScope(&scope);
    WindowLoop window;

    TurnTaking turns;
    std::atomic<int> exchanges{0};
    for (int round = 0; round < kRounds; ++round) {
      if (!prot.Port()->Connected()) prot.Port()->Open();
      prot.SetOperatingMode(3);
      turns.Run(0, [&] {
        const std::uint32_t timer = platform::timeSetEvent(
            period, 0,
            [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
              prot.PollScopeData();
            },
            1);
        window.RunFor(kScopeSegment);
        platform::timeKillEvent(timer);
      });
      prot.SetOperatingMode(0);
      prot.Port()->Close();

      PlainLine line(sim.Path(), rate);
      if (!line.Ok()) {
        state.SkipWithError("line not opened");
        return;
      }
      turns.Run(1, [&] {
        const std::uint32_t timer = platform::timeSetEvent(
            period, 0,
            [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
              for (const std::string& n : names) exchanges += line.Exchange(n + "\r", n) ? 1 : 0;
            },
            1);
        std::this_thread::sleep_for(kScopeSegment);
        platform::timeKillEvent(timer);
      });
    }
    prot.SetScope(nullptr);
    turns.Report(state);
    state.counters["protocol_samples"] = scope.samples.load();
    state.counters["minimal_exchanges"] = exchanges.load();
    state.counters["period_ms"] = period;
  }
}

BENCHMARK(BM_MonitorPollCost)->Arg(115200)->Arg(9600)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ScopePollCost)->Arg(115200)->Arg(9600)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

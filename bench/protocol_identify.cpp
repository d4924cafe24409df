// Identification of a large simulated module (300 parameters, 20 of them curves) over a
// pseudo-terminal.
//   Unpaced: how many exchanges and bytes per second the protocol itself gets through.
//   Paced at 115200 bit/s: the whole identification's time against the pure line time of the
//   bytes that crossed the line, i.e. what the tool adds to the line.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "protocol/osDRUVModProt.h"
#include "tools/modsim/PtyModule.h"

namespace {

constexpr int kParams = 300;
constexpr int kCurves = 20;
constexpr int kRate = 115200;

modsim::ModuleOptions LargeModule() {
  modsim::ModuleOptions o;
  o.Rate = kRate;
  o.GeneratedParams = kParams;
  o.GeneratedCurves = kCurves;
  return o;
}

// The bytes of one identification in each direction, found by replaying the command lines the
// module received into a fresh module of the same kind.
struct LineBytes {
  std::size_t toModule = 0;
  std::size_t fromModule = 0;
};

LineBytes CountLineBytes(const std::vector<std::string>& commands,
                         std::vector<std::size_t>* perCommand = nullptr) {
  modsim::ModuleLogic replay(LargeModule());
  LineBytes b;
  const auto now = modsim::Clock::now();
  for (const std::string& cmd : commands) {
    const std::string line = cmd + "\r";
    b.toModule += line.size();
    std::size_t answer = 0;
    for (char c : line)
      for (const auto& out : replay.Receive(c, now)) answer += out.Bytes.size();
    b.fromModule += answer;
    if (perCommand) perCommand->push_back(answer);
  }
  return b;
}

struct Rig {
  explicit Rig(bool paced) : sim(LargeModule()) {
    if (!sim.Start()) return;
    sim.SetPacing(paced);
    prot.SetPortName(sim.PortPath());
    prot.SetAutoBaudDetection(false);
    prot.SetAutoSetBaudrate(false);
    prot.SetFixBaudrate(mb115200);
    prot.SetBaudRate(mb115200);
    ok = prot.Connect();
  }
  modsim::PtyModule sim;
  TKVXModCommProt prot;
  bool ok = false;
};

void BM_IdentifyUnpaced(benchmark::State& state) {
  Rig rig(false);
  if (!rig.ok) {
    state.SkipWithError("simulated module not reachable");
    return;
  }
  std::size_t exchanges = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    rig.sim.Module().ClearRecords();
    std::string id;
    if (!rig.prot.IdentifyModule(id)) {
      state.SkipWithError("identification failed");
      return;
    }
    state.PauseTiming();
    const auto cmds = rig.sim.ReceivedCommands();
    const LineBytes b = CountLineBytes(cmds);
    exchanges += cmds.size();
    bytes += b.toModule + b.fromModule;
    state.ResumeTiming();
  }
  state.counters["exchanges_per_s"] =
      benchmark::Counter(static_cast<double>(exchanges), benchmark::Counter::kIsRate);
  state.counters["line_bytes_per_s"] =
      benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate);
  state.counters["exchanges"] =
      static_cast<double>(exchanges) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IdentifyUnpaced)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_IdentifyPaced115200(benchmark::State& state) {
  Rig rig(true);
  if (!rig.ok) {
    state.SkipWithError("simulated module not reachable");
    return;
  }
  double ratioSum = 0;
  double lineSum = 0;
  double totalSum = 0;
  for (auto _ : state) {
    rig.sim.Module().ClearRecords();
    std::string id;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = rig.prot.IdentifyModule(id);
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      state.SkipWithError("identification failed");
      return;
    }
    state.PauseTiming();
    const LineBytes b = CountLineBytes(rig.sim.ReceivedCommands());
    // Full duplex: the module echoes each byte as it arrives, so the command's bytes travel
    // while their echoes come back; the module's output is what the line must carry in turn.
    const double line = static_cast<double>(b.fromModule) * 10.0 / kRate;
    ratioSum += total / line;
    lineSum += line;
    totalSum += total;
    state.counters["bytes_from_module"] = static_cast<double>(b.fromModule);
    state.counters["bytes_to_module"] = static_cast<double>(b.toModule);
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["line_time_s"] = lineSum / n;
  state.counters["total_time_s"] = totalSum / n;
  state.counters["ratio_to_line_time"] = ratioSum / n;
}
BENCHMARK(BM_IdentifyPaced115200)->Unit(benchmark::kMillisecond)->Iterations(3);

// The baseline: the same command lines sent by the plainest possible client (one write per
// line, then reading exactly the bytes the module answers, in large reads), so that what the
// simulated line and the operating system add is known apart from what the tool adds.
void BM_RawClientPaced115200(benchmark::State& state) {
  std::vector<std::string> commands;
  {
    Rig rig(false);
    std::string id;
    if (!rig.ok || !rig.prot.IdentifyModule(id)) {
      state.SkipWithError("identification failed");
      return;
    }
    commands = rig.sim.ReceivedCommands();
  }
  std::vector<std::size_t> answers;
  const LineBytes b = CountLineBytes(commands, &answers);
  modsim::PtyModule sim(LargeModule());
  if (!sim.Start()) {
    state.SkipWithError("simulated module not reachable");
    return;
  }
  sim.SetPacing(true);
  const int fd = ::open(sim.PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  ::cfsetspeed(&t, B115200);
  ::tcsetattr(fd, TCSANOW, &t);
  double ratioSum = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    char buf[4096];
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const std::string line = commands[i] + "\r";
      if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
      std::size_t got = 0;
      while (got < answers[i]) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ratioSum += total / (static_cast<double>(b.fromModule) * 10.0 / kRate);
  }
  ::close(fd);
  state.counters["ratio_to_line_time"] = ratioSum / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RawClientPaced115200)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

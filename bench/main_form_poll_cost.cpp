// What polling costs the processor when the program runs as a user runs it: the real main window
// (offscreen, its event loop running) on the monitor page and on the running scope page, against
// a minimal poller that sends the same commands at the same period to the same kind of module and
// reads the replies plainly (poll(2) and read(2), nothing else).
//
// Each side talks to a simulated module of its own, a program of its own (tools/modsim, paced:
// every byte takes its line time), so the figures hold only the pollers' work. They take turns,
// so a machine whose load changes meanwhile weighs on both alike:
// - window: CPU seconds (user plus system) of this whole process per second of polling, every
//   thread included (window, poll timer, serial events, scope timer and paint thread);
// - minimal: CPU seconds of the minimal poller's thread per second of polling (the window then
//   shows the parameter page, which polls nothing).
// Counters: window_cpu_pct and minimal_cpu_pct in % of one core, and their ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/KVX7MainForm.h"
#include "bench/ModsimProgram.h"
#include "bench/WindowBench.h"
#include "protocol/osDRUVModProt.h"
#include "services/osQtWindowThread.h"
#include "views/osDRUVScope.h"

namespace {

using Clock = std::chrono::steady_clock;

// Each side polls in turns of these lengths (KVX_POLL_TURN_S seconds when set), kRounds times.
constexpr int kRounds = 3;
Clock::duration TurnLength(int seconds) {
  const char* s = std::getenv("KVX_POLL_TURN_S");
  const int n = s ? std::atoi(s) : 0;
  return std::chrono::seconds(n > 0 ? n : seconds);
}
const Clock::duration kMonitorTurn = TurnLength(6);
const Clock::duration kScopeTurn = TurnLength(4);
// How long a page is shown before its turn is measured.
constexpr auto kSettle = std::chrono::milliseconds(500);

// ---- The module, in a process of its own -------------------------------------------------------

// A fresh profile (APPDATA) where the modules publish their ports and the window keeps its
// settings.
struct Profile : windowbench::TempProfile {
  void UsePort(const std::string& name, int rate) const {
    std::ofstream(folder + "/DRUV/kvx7.ini")
        << "[Interface]\nPort=" << name << "\nFixBR=" << rate << "\nAutoBRDetection=0\n";
  }
};

// Its module publishes the port NAME, at RATE with every byte taking its line time.
struct ModsimProcess : windowbench::ModsimProgram {
  ModsimProcess(const std::string& name, int rate)
      : ModsimProgram(KVX_MODSIM_PROGRAM, {"--name", name, "--rate", std::to_string(rate), "--paced"}, false) {}
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

using windowbench::CpuSeconds;

struct Turn {
  double Cpu = 0;
  double Wall = 0;
  int Exchanges = 0;
};

// The minimal poller on a thread of its own for one turn: every period, each command in turn.
Turn MinimalTurn(PlainLine& line, const std::vector<std::string>& names, std::chrono::milliseconds period,
                 Clock::duration length) {
  Turn turn;
  std::thread poller([&] {
    const double cpu0 = CpuSeconds(RUSAGE_THREAD);
    const auto start = Clock::now();
    for (auto next = start; next < start + length; next += period) {
      std::this_thread::sleep_until(next);
      for (const std::string& n : names) turn.Exchanges += line.Exchange(n + "\r", n) ? 1 : 0;
    }
    turn.Wall = std::chrono::duration<double>(Clock::now() - start).count();
    turn.Cpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
  });
  poller.join();
  return turn;
}

// ---- The window --------------------------------------------------------------------------------

// The window's event loop for a while, as the program runs it.
void RunWindowFor(Clock::duration length) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(length).count()),
                     &loop, &QEventLoop::quit);
  loop.exec();
}

// The window's side of one turn: the page entered, and once it has settled (shown and painted,
// the first exchanges of the page done) the CPU of the whole process while it polls; then left.
template <typename Enter, typename Leave>
Turn WindowTurn(Enter&& enter, Clock::duration length, Leave&& leave) {
  Turn turn;
  enter();
  RunWindowFor(kSettle);
  const double cpu0 = CpuSeconds(RUSAGE_SELF);
  const auto start = Clock::now();
  RunWindowFor(length);
  turn.Wall = std::chrono::duration<double>(Clock::now() - start).count();
  turn.Cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
  leave();
  return turn;
}

struct Totals {
  Turn Side[2];
  void Add(int side, const Turn& t) {
    Side[side].Cpu += t.Cpu;
    Side[side].Wall += t.Wall;
    Side[side].Exchanges += t.Exchanges;
  }
  void Report(benchmark::State& state) const {
    const double window = Side[0].Wall > 0 ? 100.0 * Side[0].Cpu / Side[0].Wall : 0;
    const double minimal = Side[1].Wall > 0 ? 100.0 * Side[1].Cpu / Side[1].Wall : 0;
    state.counters["window_cpu_pct"] = window;
    state.counters["minimal_cpu_pct"] = minimal;
    state.counters["ratio"] = minimal > 0 ? window / minimal : 0;
    state.counters["minimal_exchanges"] = Side[1].Exchanges;
  }
};

// Both modules started, the window shown on the parameter page, connected and identified; the
// minimal poller's line open. Null, with the benchmark told why, when something failed.
struct Setup {
  Setup(benchmark::State& state, int rate) : windowModule("modsim", rate), plainModule("plain", rate) {
    if (windowModule.Path().empty() || plainModule.Path().empty()) {
      state.SkipWithError("simulated module not started");
      return;
    }
    profile.UsePort("modsim", rate);
    line = std::make_unique<PlainLine>(plainModule.Path(), rate);
    form = std::make_unique<TKVXMainForm>();
    form->show();
    windowbench::Idle();
    form->ConnectActExecute();
    if (form->ConnectTag != 1 || !line->Ok()) {
      state.SkipWithError("not connected");
      return;
    }
    form->IdentifyActExecute();
    if (!form->KVXModProt->ModuleLoaded()) {
      state.SkipWithError("identification failed");
      return;
    }
    ready = true;
  }
  ~Setup() { form.reset(); }

  Profile profile;
  ModsimProcess windowModule;
  ModsimProcess plainModule;
  std::unique_ptr<PlainLine> line;
  std::unique_ptr<TKVXMainForm> form;
  bool ready = false;
};

void BM_MonitorPageCost(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Setup s(state, rate);
    if (!s.ready) return;
    TKVXModCommProt& prot = *s.form->KVXModProt;
    // What one monitor tick sends, and the tick's period.
    std::vector<std::string> names;
    for (int i = 0; i < prot.ProcessData()->Count(); ++i) names.push_back(prot.ProcessData()->GetName(i));
    if (prot.StatusInfoData()->Count() > 0) names.push_back(prot.StatusInfoData()->GetName(0));
    if (prot.RemoteCtrlAvailable()) names.push_back("RC:S");
    const auto period = std::chrono::milliseconds(prot.ProcessData()->Count() <= 10 && rate > 9600 ? 320 : 500);

    Totals totals;
    for (int round = 0; round < kRounds; ++round) {
      totals.Add(0, WindowTurn([&] { s.form->ShowPage(1); }, kMonitorTurn, [&] { s.form->ShowPage(0); }));
      if (prot.PollErrorState() != 0) state.SkipWithError("the monitor stopped polling");
      totals.Add(1, MinimalTurn(*s.line, names, period, kMonitorTurn));
    }
    totals.Report(state);
    state.counters["period_ms"] = static_cast<double>(period.count());
  }
}

void BM_ScopePageCost(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Setup s(state, rate);
    if (!s.ready) return;
    TKVXMainForm& form = *s.form;
    // Four channels, bound to the module's first four process values as a user chooses them.
    std::vector<std::string> names;
    for (int n = 1; n <= 4 && n <= form.KVXModProt->ProcessData()->Count(); ++n) {
      const std::string name = form.KVXModProt->ProcessData()->GetName(n - 1);
      QComboBox* box = form.CBChCustSignal[static_cast<std::size_t>(n - 1)];
      form.CBChSignalDropDown(n, true);
      box->setCurrentIndex(box->findText(QString::fromStdString(name)));
      form.CBChCustSignalChange(n);
      if (form.KVXScope->ChannelSignalName(n) == name) names.push_back(name);
    }
    if (names.size() != 4) {
      state.SkipWithError("channels not bound");
      return;
    }
    form.ShowPage(2);
    const auto period = std::chrono::milliseconds(form.ScopePeriodMs());
    form.ShowPage(0);

    // Every sample set the window's scope takes, counted on its way to the data log.
    std::atomic<int> samples{0};
    const TScopeDataEvent log = form.KVXScope->OnScopeData;
    form.KVXScope->OnScopeData = [&](TASCIIProcDataObj* a, TASCIIProcDataObj* b, TASCIIProcDataObj* c,
                                     TASCIIProcDataObj* d) {
      ++samples;
      if (log) log(a, b, c, d);
    };

    Totals totals;
    std::uint64_t frames = 0;
    for (int round = 0; round < kRounds; ++round) {
      std::uint64_t frames0 = 0;
      const auto enter = [&] {
        form.ShowPage(2);
        form.BtnStartClick();
        frames0 = form.KVXScope->PaintThread()->FrameCount();
      };
      const auto leave = [&] {
        frames += form.KVXScope->PaintThread()->FrameCount() - frames0;
        form.BtnStopClick();
        form.ShowPage(0);
      };
      totals.Add(0, WindowTurn(enter, kScopeTurn, leave));
      if (form.KVXModProt->PollErrorState() != 0) state.SkipWithError("the scope stopped polling");
      totals.Add(1, MinimalTurn(*s.line, names, period, kScopeTurn));
    }
    totals.Report(state);
    state.counters["period_ms"] = static_cast<double>(period.count());
    const double shown = totals.Side[0].Wall + kRounds * std::chrono::duration<double>(kSettle).count();
    state.counters["frames_per_s"] = static_cast<double>(frames) / shown;
    // Both sides keep the period: as many sample sets as the minimal poller's rounds.
    state.counters["window_samples_per_s"] = samples.load() / shown;
    state.counters["minimal_samples_per_s"] = totals.Side[1].Exchanges / 4.0 / totals.Side[1].Wall;
    form.KVXScope->OnScopeData = log;
  }
}

BENCHMARK(BM_MonitorPageCost)->Arg(115200)->Arg(9600)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ScopePageCost)->Arg(115200)->Arg(9600)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return windowbench::RunWindowBenchmarks(argc, argv); }

// The scope poll on its periodic timer thread, over a pseudo-terminal paced by the simulated
// module (every byte takes its line time): the period achieved between successful samples and
// its jitter, against the period the scope page sets, 20 + K div (rate div 9600) ms with K 60 in
// full duplex and 120 in half duplex. Four channels are bound, so every sample reads all four
// process values of the module.
//
// Half duplex runs at 19200 bit/s, the only rate the tool uses on a two-wire line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/MMTimer.h"
#include "protocol/osDRUVModProt.h"
#include "tools/modsim/PtyModule.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchScope : public platform::TComponent, public IScopeView {
 public:
  explicit BenchScope(std::uint32_t period) : period_(period) {}
  void SetProcessDataStructure(TModProcessData*) override {}
  void SetEnabled(bool) override {}
  void AddScopeData(TASCIIProcDataObj* a, TASCIIProcDataObj* b, TASCIIProcDataObj* c,
                    TASCIIProcDataObj* d) override {
    if (a && b && c && d) ++complete;
  }
  void AddProcessData(TBaseProcDataObj*) override {}
  std::uint32_t DataSampleRate() const override { return period_; }
  std::string ChannelSignalName(int channel) const override {
    static const char* const names[4] = {"SINE", "RAMP", "PRESS", "TEMP"};
    return channel >= 1 && channel <= 4 ? names[channel - 1] : "";
  }
  std::atomic<int> complete{0};

 private:
  std::uint32_t period_;
};

struct Tick {
  Clock::time_point Start;
  double DurationMs;
  bool Ok;
};

void RunScopePoll(benchmark::State& state, int rate, bool hdx) {
  const int factor = rate / 9600;
  const std::uint32_t period = 20 + (hdx ? 120 : 60) / factor;
  modsim::ModuleOptions options;
  options.Rate = rate;
  options.HalfDuplex = hdx;
  modsim::PtyModule sim(options);
  if (!sim.Start()) {
    state.SkipWithError("simulated module not reachable");
    return;
  }
  sim.SetPacing(true);
  TKVXModCommProt prot;
  TModBaudrate idx{};
  ModBaudrateFromBits(rate, idx);
  prot.SetPortName(sim.PortPath());
  prot.SetAutoSetBaudrate(false);
  if (hdx) prot.SetTransferMode(tmHalfDuplex);
  prot.SetFixBaudrate(idx);
  prot.SetAutoBaudDetection(false);
  prot.SetBaudRate(idx);
  std::string id;
  if (!prot.Connect() || !prot.IdentifyModule(id)) {
    state.SkipWithError("identification failed");
    return;
  }
  BenchScope scope(period);
  prot.SetScope(&scope);
  prot.SetOperatingMode(3);

  constexpr int kTicks = 150;
  for (auto _ : state) {
    std::mutex m;
    std::vector<Tick> ticks;
    ticks.reserve(kTicks + 8);
    std::atomic<bool> done{false};
    const std::uint32_t timer = platform::timeSetEvent(
        period, 0,
        [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
          const auto t0 = Clock::now();
          const bool ok = prot.PollScopeData();
          const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
          std::lock_guard<std::mutex> lock(m);
          ticks.push_back({t0, ms, ok});
          if (ticks.size() >= kTicks) done = true;
        },
        1);
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    platform::timeKillEvent(timer);

    std::vector<double> gaps;
    double busy = 0;
    double worst = 0;
    int failed = 0;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
      busy += ticks[i].DurationMs;
      worst = std::max(worst, ticks[i].DurationMs);
      if (!ticks[i].Ok) ++failed;
      if (i > 0)
        gaps.push_back(
            std::chrono::duration<double, std::milli>(ticks[i].Start - ticks[i - 1].Start)
                .count());
    }
    double mean = 0;
    for (double g : gaps) mean += g;
    mean /= static_cast<double>(gaps.size());
    double var = 0;
    double maxDev = 0;
    for (double g : gaps) {
      var += (g - mean) * (g - mean);
      maxDev = std::max(maxDev, std::fabs(g - period));
    }
    state.counters["set_period_ms"] = period;
    state.counters["achieved_period_ms"] = mean;
    state.counters["jitter_sd_ms"] = std::sqrt(var / static_cast<double>(gaps.size()));
    state.counters["jitter_max_ms"] = maxDev;
    state.counters["poll_mean_ms"] = busy / static_cast<double>(ticks.size());
    state.counters["poll_max_ms"] = worst;
    state.counters["failed_polls"] = failed;
  }
  prot.SetOperatingMode(0);
  if (!sim.Violations().empty()) state.SkipWithError(sim.Violations().front().c_str());
}

void BM_ScopePollFdx115200(benchmark::State& state) { RunScopePoll(state, 115200, false); }
void BM_ScopePollFdx9600(benchmark::State& state) { RunScopePoll(state, 9600, false); }
void BM_ScopePollHdx19200(benchmark::State& state) { RunScopePoll(state, 19200, true); }

BENCHMARK(BM_ScopePollFdx115200)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ScopePollFdx9600)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ScopePollHdx19200)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

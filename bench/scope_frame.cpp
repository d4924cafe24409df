// What one oscilloscope frame costs, and how much of a processor the paint thread takes at its
// refresh rate: four channels, each holding a full span (10 s at a 25 ms sampling period, 401
// points), on the main window's 805 x 677 picture.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "model/osDRUVModProtBase.h"
#include "views/osDRUVScope.h"

namespace {

// A scope bound to an 805 x 677 box, four channels bound and filled for the whole span.
struct FullScope {
  FullScope() {
    box.resize(805, 677);
    scope.SetDestPaintBox(&box);
    module = std::make_unique<TModProcessData>();
    const char* const names[] = {"Pressure", "Flow", "Position", "Current"};
    for (const char* name : names) {
      auto* cmd = new TModProcCommand;
      cmd->Name = name;
      cmd->CompFactor = 1;
      module->Add(cmd);
    }
    scope.SetProcessDataStructure(module.get());
    for (int n = 1; n <= 4; ++n) scope.Channel(n)->SetSignalName(names[n - 1]);
    scope.SetTimeScalePerDiv(1000);
    scope.SetDataSampleRate(25);
    scope.SetRunScope(true);
    for (int i = 0; i < 401; ++i) {
      std::int32_t v[4];
      for (int c = 0; c < 4; ++c)
        v[c] = static_cast<std::int32_t>(90 * std::sin(i * 0.05 + c) + 10 * std::sin(i * 0.7));
      TASCIIProcDataObj a(&v[0], 4, false, 0), b(&v[1], 4, false, 0), c(&v[2], 4, false, 0),
          d(&v[3], 4, false, 0);
      scope.AddScopeData(&a, &b, &c, &d);
    }
  }

  QWidget box;
  TKVXScope scope;
  std::unique_ptr<TModProcessData> module;
};

double ProcessCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// One frame as the paint thread builds it: the background copy plus four 401-point polylines.
void BM_ScopeFrame(benchmark::State& state) {
  FullScope f;
  f.scope.SetSignalLineWidth(static_cast<TSignalLineWidthKind>(state.range(0)));
  for (auto _ : state) f.scope.PaintThread()->PaintFrame();
  state.counters["points_per_channel"] = 401;
  state.SetLabel(state.range(0) == 0 ? "1 px pen" : state.range(0) == 1 ? "2 px pen" : "4 px pen");
}
BENCHMARK(BM_ScopeFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The running paint thread for a few seconds while this thread sleeps (no hand-over is taken,
// so nothing but the paint thread works): its share of one processor.
void BM_PaintThreadLoad(benchmark::State& state) {
  const auto refresh = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    FullScope f;
    f.scope.SetRefreshRate(refresh);
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    const auto frames0 = f.scope.PaintThread()->FrameCount();
    f.scope.SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::seconds(4));
    f.scope.SetEnabled(false);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double cpu = ProcessCpuSeconds() - cpu0;
    state.SetIterationTime(wall);
    state.counters["cpu_load_pct"] = 100.0 * cpu / wall;
    state.counters["frames_per_s"] =
        static_cast<double>(f.scope.PaintThread()->FrameCount() - frames0) / wall;
  }
}
BENCHMARK(BM_PaintThreadLoad)->Arg(250)->Arg(100)->Arg(25)->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

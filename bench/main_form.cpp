// The main window's start: built offscreen on a fresh profile and timed until it is shown and the
// event queue has run dry (the window idle, ready for the user's first click).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <memory>
#include <string>

#include "app/KVX7MainForm.h"
#include "bench/WindowBench.h"
#include "services/osQtWindowThread.h"

namespace {

void BM_MainFormStart(benchmark::State& state) {
  for (auto _ : state) {
    // A fresh profile every round: no settings file, no ports folder.
    char tmpl[] = "/tmp/kvx-bench-XXXXXX";
    const std::string profile = ::mkdtemp(tmpl) ? tmpl : "/tmp";
    setenv("APPDATA", profile.c_str(), 1);
    const auto start = std::chrono::steady_clock::now();
    auto form = std::make_unique<TKVXMainForm>();
    form->show();
    // Until nothing is left to do: every pending event, paint and timer-zero call has run.
    while (QCoreApplication::eventDispatcher()->processEvents(QEventLoop::AllEvents)) {
    }
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    form.reset();
    std::error_code ec;
    std::filesystem::remove_all(profile, ec);
  }
}
BENCHMARK(BM_MainFormStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return windowbench::RunWindowBenchmarks(argc, argv); }

// What the benchmarks of the main window share: a settings folder of their own, and the start of
// the program around the benchmarks (offscreen unless a platform is chosen).
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/KVX7MainForm.h"

#include "services/osQtWindowThread.h"

namespace windowbench {

// Runs the window thread's events until none is left.
inline void Idle() {
  while (QCoreApplication::eventDispatcher()->processEvents(QEventLoop::AllEvents)) {
  }
}

// The main window shown and connected to the port its settings name; null after a skip that says
// why.
inline std::unique_ptr<TKVXMainForm> ConnectedWindow(benchmark::State& state) {
  auto form = std::make_unique<TKVXMainForm>();
  form->show();
  Idle();
  form->ConnectActExecute();
  if (form->ConnectTag != 1) {
    state.SkipWithError("not connected");
    return nullptr;
  }
  return form;
}

// Processor time (user and system) of RUSAGE_SELF or RUSAGE_THREAD, in seconds.
inline double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// A fresh profile (APPDATA) for one benchmark, removed with it.
struct TempProfile {
  TempProfile() {
    char tmpl[] = "/tmp/kvx-bench-XXXXXX";
    folder = ::mkdtemp(tmpl) ? tmpl : "/tmp";
    setenv("APPDATA", folder.c_str(), 1);
    std::filesystem::create_directories(folder + "/DRUV/ports");
  }
  ~TempProfile() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  TempProfile(const TempProfile&) = delete;
  TempProfile& operator=(const TempProfile&) = delete;
  std::string folder;
};

// The program's main block around the benchmarks. The offscreen platform remarks on every window
// it shows; only the figures matter here.
inline int RunWindowBenchmarks(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static const QtMessageHandler toolkit = qInstallMessageHandler(nullptr);
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QLatin1String("propagateSizeHints"))) return;
    if (toolkit)
      toolkit(type, context, text);
    else
      std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  InstallWindowThreadHook();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace windowbench

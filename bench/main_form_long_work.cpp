// Long work started from the main window, offscreen, against the simulated module:
//   WindowIdentify: Identify of a 300-parameter module (20 curves) at 115200 bit/s with every
//     byte taking its line time, as the user starts it: its time, and the longest gap between
//     two ticks of a 50 ms timer of the window thread meanwhile (the window's liveliness).
//   ProtocolIdentify: the same identification by the protocol alone, no window: the line's share.
//   TerminalOpen: a 10 MB terminal file (RTF) opened from the terminal page: its time, the
//     longest timer gap, and the time the RTF reader alone needs for the file.
//   TerminalReopenMemory: an 8 MB terminal file opened ten times: the resident memory after the
//     first and after the tenth open (what a replaced text leaves behind).
//   TerminalOpenGiantLine: a terminal file of one 15 MB line opened from the terminal page: the
//     longest time the window does not answer, until it has painted the result.
//   ViewerGiantLine: a ".kvx" file of one 15 MB line shown in the document viewer: the same.
//   DownloadGiantName: a ".par" download whose chosen name is 10 MB long, the module identified:
//     the longest time the window does not answer, and the longest text it then shows in a
//     message and in the status bar.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/KVX7MainForm.h"
#include "bench/WindowBench.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "model/osRtfText.h"
#include "services/osDialogHooks.h"
#include "services/osQtWindowThread.h"
#include "tools/modsim/PtyModule.h"

namespace {

using Clock = std::chrono::steady_clock;

modsim::ModuleOptions LargeModule() {
  modsim::ModuleOptions o;
  o.Rate = 115200;
  o.GeneratedParams = 300;
  o.GeneratedCurves = 20;
  return o;
}

// A fresh profile with the module published as "modsim" and chosen at its fixed rate.
struct Profile : windowbench::TempProfile {
  void Publish(const std::string& device) const {
    std::filesystem::create_symlink(device, folder + "/DRUV/ports/modsim");
    std::ofstream(folder + "/DRUV/kvx7.ini") << "[Interface]\nPort=modsim\nFixBR=115200\nAutoBRDetection=0\n";
  }
};

// The longest gap between two ticks of a 50 ms window-thread timer while it runs.
struct Ticker {
  Ticker() {
    timer.setInterval(50);
    // Counted from the start: work that blocks before the first tick is a gap too.
    QObject::connect(&timer, &QTimer::timeout, [this] { longest = std::max(longest, since.restart()); });
    since.start();
    timer.start();
  }
  QTimer timer;
  QElapsedTimer since;
  qint64 longest = 0;
};

using windowbench::Idle;

// Closes the message dialogs the window shows, as a user who reads them at once, and keeps the
// length of the longest text shown.
struct DialogCloser {
  DialogCloser() {
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      if (auto* text = modal->findChild<QLabel*>("Message"))
        longest = std::max(longest, static_cast<std::size_t>(text->text().size()));
      modal->close();
    });
    timer.start();
  }
  QTimer timer;
  std::size_t longest = 0;
};

// Idle for a while, as a user waiting for the window: what it paints late counts too.
void IdleFor(int Ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < Ms) {
    Idle();
    QThread::msleep(5);
  }
}

// The main window connected to the simulated module published as the port "modsim"; null after
// a skip naming what failed.
std::unique_ptr<TKVXMainForm> ConnectedForm(benchmark::State& state, const Profile& profile,
                                            modsim::PtyModule& sim) {
  if (!sim.Start()) {
    state.SkipWithError("simulated module not reachable");
    return nullptr;
  }
  profile.Publish(sim.PortPath());
  return windowbench::ConnectedWindow(state);
}

void BM_WindowIdentify(benchmark::State& state) {
  Profile profile;
  modsim::PtyModule sim(LargeModule());
  auto form = ConnectedForm(state, profile, sim);
  if (!form) return;
  sim.SetPacing(true);
  qint64 longest = 0;
  for (auto _ : state) {
    Ticker ticker;
    const auto start = Clock::now();
    form->IdentifyActExecute();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    longest = std::max(longest, ticker.longest);
    if (!form->KVXModProt->ModuleLoaded()) state.SkipWithError("identification failed");
    Idle();
  }
  state.counters["longest_tick_gap_ms"] = static_cast<double>(longest);
}
BENCHMARK(BM_WindowIdentify)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ProtocolIdentify(benchmark::State& state) {
  modsim::PtyModule sim(LargeModule());
  if (!sim.Start()) {
    state.SkipWithError("simulated module not reachable");
    return;
  }
  TKVXModCommProt prot;
  prot.SetPortName(sim.PortPath());
  prot.SetAutoBaudDetection(false);
  prot.SetFixBaudrate(mb115200);
  prot.SetBaudRate(mb115200);
  if (!prot.Connect()) {
    state.SkipWithError("not connected");
    return;
  }
  sim.SetPacing(true);
  for (auto _ : state) {
    std::string id;
    const auto start = Clock::now();
    if (!prot.IdentifyModule(id)) state.SkipWithError("identification failed");
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}
BENCHMARK(BM_ProtocolIdentify)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The main window on its terminal page, its file dialogs choosing File.
std::unique_ptr<TKVXMainForm> TerminalPageChoosing(const std::string& File) {
  auto form = std::make_unique<TKVXMainForm>();
  form->show();
  Idle();
  form->ShowPage(3);
  SetFileDialogHook([File](const TFileDialogOptions&, std::string& name) {
    name = File;
    return true;
  });
  return form;
}

void BM_TerminalOpen(benchmark::State& state) {
  Profile profile;
  std::string text;
  for (int i = 0; text.size() < 10u * 1024 * 1024; ++i)
    text += "GAIN " + std::to_string(i) + "\nKVX-SIM 1.20 2026 4711 >PD  1234 5678 9012 >\n";
  const std::string rtf = rtf::WriteRtfText(text);
  const std::string file = profile.folder + "/log.rtf";
  std::ofstream(file, std::ios::binary) << rtf;
  auto form = TerminalPageChoosing(file);
  qint64 longest = 0;
  double reader = 0;
  for (auto _ : state) {
    const auto read = Clock::now();
    std::string back;
    rtf::ReadRtfText(rtf, back);
    reader += std::chrono::duration<double, std::milli>(Clock::now() - read).count();
    Ticker ticker;
    const auto start = Clock::now();
    form->OpenTerminalActExecute();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    longest = std::max(longest, ticker.longest);
    Idle();
  }
  SetFileDialogHook({});
  state.counters["longest_tick_gap_ms"] = static_cast<double>(longest);
  state.counters["rtf_reader_ms"] = reader / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TerminalOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Resident memory of the process in MB.
double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void BM_TerminalReopenMemory(benchmark::State& state) {
  Profile profile;
  std::string text;
  for (int i = 0; text.size() < 8u * 1024 * 1024; ++i)
    text += "GAIN " + std::to_string(i) + "\nKVX-SIM 1.20 2026 4711 >PD  1234 5678 9012 >\n";
  const std::string file = profile.folder + "/log.rtf";
  std::ofstream(file, std::ios::binary) << rtf::WriteRtfText(text);
  auto form = TerminalPageChoosing(file);
  double first = 0, last = 0;
  for (auto _ : state) {
    for (int open = 1; open <= 10; ++open) {
      form->OpenTerminalActExecute();
      Idle();
      (open == 1 ? first : last) = ResidentMb();
    }
  }
  SetFileDialogHook({});
  state.counters["rss_after_1_open_mb"] = first;
  state.counters["rss_after_10_opens_mb"] = last;
}
BENCHMARK(BM_TerminalReopenMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_TerminalOpenGiantLine(benchmark::State& state) {
  Profile profile;
  const std::string file = profile.folder + "/line.rtf";
  std::ofstream(file, std::ios::binary) << rtf::WriteRtfText(std::string(15u * 1024 * 1024, 'x'));
  auto form = TerminalPageChoosing(file);
  DialogCloser closer;
  qint64 longest = 0;
  for (auto _ : state) {
    form->ClearTerminalActExecute();
    Idle();
    Ticker ticker;
    const auto start = Clock::now();
    form->OpenTerminalAct->trigger();
    IdleFor(500);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    longest = std::max(longest, ticker.longest);
  }
  SetFileDialogHook({});
  state.counters["longest_tick_gap_ms"] = static_cast<double>(longest);
  state.counters["terminal_chars"] = static_cast<double>(form->KVXTermEditor->document()->characterCount());
  state.counters["longest_message_chars"] = static_cast<double>(closer.longest);
}
BENCHMARK(BM_TerminalOpenGiantLine)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ViewerGiantLine(benchmark::State& state) {
  Profile profile;
  const std::string file = profile.folder + "/line.kvx";
  std::ofstream(file, std::ios::binary) << "<?xml version=\"1.0\"?><KVX>" << std::string(15u * 1024 * 1024, 'x')
                                        << "</KVX>";
  auto form = std::make_unique<TKVXMainForm>();
  form->show();
  Idle();
  qint64 longest = 0;
  for (auto _ : state) {
    Ticker ticker;
    const auto start = Clock::now();
    form->WebBrowserDlg->ShowFile(file);
    IdleFor(500);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    longest = std::max(longest, ticker.longest);
    form->WebBrowserDlg->close();
    Idle();
  }
  state.counters["longest_tick_gap_ms"] = static_cast<double>(longest);
}
BENCHMARK(BM_ViewerGiantLine)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DownloadGiantName(benchmark::State& state) {
  Profile profile;
  modsim::PtyModule sim(LargeModule());
  auto form = ConnectedForm(state, profile, sim);
  if (!form) return;
  form->IdentifyActExecute();
  if (!form->KVXModProt->ModuleLoaded()) {
    state.SkipWithError("not identified");
    return;
  }
  const std::string name = profile.folder + "/" + std::string(10u * 1024 * 1024, 'p') + ".par";
  SetFileDialogHook([&](const TFileDialogOptions&, std::string& chosen) {
    chosen = name;
    return true;
  });
  DialogCloser closer;
  qint64 longest = 0;
  qsizetype longestStatus = 0;
  for (auto _ : state) {
    Ticker ticker;
    const auto start = Clock::now();
    form->BBtnDownload->click();
    IdleFor(500);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    longest = std::max(longest, ticker.longest);
    for (int i = 0; i < 6; ++i) longestStatus = std::max(longestStatus, form->PanelText(i).size());
  }
  SetFileDialogHook({});
  state.counters["longest_tick_gap_ms"] = static_cast<double>(longest);
  state.counters["longest_message_chars"] = static_cast<double>(closer.longest);
  state.counters["longest_status_chars"] = static_cast<double>(longestStatus);
}
BENCHMARK(BM_DownloadGiantName)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) { return windowbench::RunWindowBenchmarks(argc, argv); }

// What text streaming in at the line's pace costs the terminal page, run as a user runs it: the
// real main window (offscreen, its event loop running), connected at 115200 bit/s, the terminal
// page shown; beside it a bare text view that appends what each read of the same kind of line
// brings (a read on the window thread, then an insert at the end). Each side has a simulated
// module of its own, a program of its own (tools/modsim), that prints text for
// KVX_TERMINAL_STREAM_S seconds (default 10) at the line's pace: 64 bytes every 64 line times
// (5.56 ms), in lines of 64 bytes with CR LF (line_ends:1) or with no line end at all
// (line_ends:0). The sides take turns. Counters per side (window_, bare_):
// - bytes_per_s: bytes the line took per second (11,520 when the reader keeps up), as the module
//   measured it: its bytes over the time until the last of them went out;
// - all_bytes: 1 when every byte shows, in order (the window's text is checked against the
//   terminal's rules, the bare view's length against the bytes it read);
// - max_delay_ms: the longest time from a chunk's due time on the line to the first paint of
//   the view that shows it;
// - buffer_full: the times the module found the line's buffer full (it then waits for room);
// - cpu_pct: processor time in % of one core from the first byte until the last shows: for the
//   window every thread of this process (the window, the port's event thread, ...), for the bare
//   view the window thread (which does all its work); the modules' own time never counts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/KVX7MainForm.h"
#include "bench/ModsimProgram.h"
#include "bench/WindowBench.h"
#include "services/QtText.h"
#include "tools/modsim/PtyModule.h"
#include "views/osDRUVTerminal.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 115200;
constexpr std::size_t kChunk = 64;
const Clock::duration kChunkTime = std::chrono::nanoseconds(10'000'000'000LL / kRate) * kChunk;

int StreamSeconds() {
  const char* s = std::getenv("KVX_TERMINAL_STREAM_S");
  const int n = s ? std::atoi(s) : 0;
  return n > 0 ? n : 10;
}

using windowbench::CpuSeconds;
using windowbench::Idle;

// ---- The modules, each a program of its own, told what to do through its console -----------------

// Its module publishes the port NAME and takes the console command "stream".
struct ModsimProcess : windowbench::ModsimProgram {
  explicit ModsimProcess(const std::string& name)
      : ModsimProgram(KVX_MODSIM_PROGRAM, {"--name", name, "--rate", std::to_string(kRate)}, true) {}
};

// What the module said of its stream: "stream: SENT of TOTAL bytes sent, ... full N times" and
// ", took S s" once done.
struct StreamReport {
  StreamReport() = default;
  explicit StreamReport(const std::string& answer) {
    unsigned long long sent = 0, total = 0;
    const char* full = std::strstr(answer.c_str(), "full ");
    Ok = std::sscanf(answer.c_str(), "stream: %llu of %llu", &sent, &total) == 2 && full &&
         std::sscanf(full, "full %d", &Full) == 1;
    const char* took = std::strstr(answer.c_str(), "took ");
    Done = Ok && sent == total && took && std::sscanf(took, "took %lf", &Took) == 1;
    Sent = static_cast<double>(sent);
  }
  bool Ok = false;
  bool Done = false;
  int Full = 0;
  double Sent = 0;
  double Took = 0;
};

// ---- What each side should show -------------------------------------------------------------------

// The terminal's text after the whole stream, and its length after each chunk: CR starts a line
// unless the last one is empty, LF shows nothing, a full line goes on in a new one.
struct Expected {
  explicit Expected(const std::string& stream) {
    int line = 0;
    for (std::size_t i = 0; i < stream.size(); ++i) {
      const char c = stream[i];
      if (c == '\r') {
        if (line > 0) Text += QLatin1Char('\n');
        line = 0;
      } else if (c != '\n') {
        if (line >= TKVXPTerminal::MaxLineLength) {
          Text += QLatin1Char('\n');
          line = 0;
        }
        Text += FromAnsiChar(c);
        ++line;
      }
      if ((i + 1) % kChunk == 0 || i + 1 == stream.size()) Lengths.push_back(Text.size());
    }
  }
  // Chunks wholly within a text of this length.
  std::size_t Chunks(qsizetype length) const {
    return static_cast<std::size_t>(std::upper_bound(Lengths.begin(), Lengths.end(), length) - Lengths.begin());
  }
  QString Text;
  std::vector<qsizetype> Lengths;
};

// Watches the paints of a view: the longest time from a chunk's due time to the first paint that
// shows it, and when all have shown (the event loop then ends).
class PaintWatch : public QObject {
 public:
  PaintWatch(QWidget* viewport, std::function<std::size_t()> shownChunks, std::size_t chunks, QEventLoop& loop)
      : viewport_(viewport), shown_(std::move(shownChunks)), chunks_(chunks), loop_(loop) {
    viewport_->installEventFilter(this);
  }
  ~PaintWatch() override { viewport_->removeEventFilter(this); }
  void Start() { start_ = Clock::now(); }
  Clock::time_point StartedAt() const { return start_; }

  bool AllShown() const { return next_ >= chunks_; }
  Clock::time_point AllShownAt() const { return allAt_; }
  double MaxDelayMs() const { return std::chrono::duration<double, std::milli>(maxDelay_).count(); }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::Paint || AllShown()) return false;
    const auto now = Clock::now();
    const std::size_t shown = shown_();
    for (; next_ < shown && next_ < chunks_; ++next_)
      maxDelay_ = std::max(maxDelay_, now - (start_ + kChunkTime * static_cast<long>(next_)));
    if (AllShown()) {
      allAt_ = now;
      loop_.quit();
    }
    return false;
  }

 private:
  QWidget* viewport_;
  std::function<std::size_t()> shown_;
  std::size_t chunks_;
  QEventLoop& loop_;
  Clock::time_point start_{}, allAt_{};
  std::size_t next_ = 0;
  Clock::duration maxDelay_{};
};

struct Side {
  double Cpu = 0;  // % of one core
  double MaxDelayMs = 0;
  bool AllBytes = false;
  StreamReport Writer;
  double BytesPerSecond = 0;
};

// Streams into one side: the module told to print, the event loop run until every chunk has
// shown (or long after the stream should have ended), and the module asked how it went.
Side Stream(ModsimProcess& module, bool lineEnds, PaintWatch& watch, QEventLoop& loop, int who,
            const std::function<bool()>& allBytes) {
  Side side;
  const int seconds = StreamSeconds();
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  limit.start(std::chrono::seconds(5 * seconds + 10));
  const double cpu0 = CpuSeconds(who);
  watch.Start();
  module.Command("stream " + std::to_string(seconds) + (lineEnds ? " lines" : " plain"));
  loop.exec();
  const auto end = watch.AllShown() ? watch.AllShownAt() : Clock::now();
  const double cpu = CpuSeconds(who) - cpu0;
  const double wall = std::chrono::duration<double>(end - watch.StartedAt()).count();
  side.Cpu = wall > 0 ? 100.0 * cpu / wall : 0;
  side.MaxDelayMs = watch.MaxDelayMs();
  side.AllBytes = watch.AllShown() && allBytes();
  // The module has ended its stream when the last chunk shows; a reader that fell behind may
  // have kept it from ending so far.
  side.Writer = StreamReport(module.Command("stream"));
  const double sinceStart = std::chrono::duration<double>(Clock::now() - watch.StartedAt()).count();
  side.BytesPerSecond = side.Writer.Done ? side.Writer.Sent / side.Writer.Took : side.Writer.Sent / sinceStart;
  return side;
}

// A line read as plainly as it gets: raw, at the module's rate, without waiting.
int OpenPlainLine(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetspeed(&t, B115200);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

struct Profile : windowbench::TempProfile {
  Profile() {
    std::ofstream(folder + "/DRUV/kvx7.ini")
        << "[Interface]\nPort=modsim\nFixBR=" << kRate << "\nAutoBRDetection=0\n";
  }
};

void BM_TerminalStream(benchmark::State& state) {
  const bool lineEnds = state.range(0) != 0;
  for (auto _ : state) {
    Profile profile;
    ModsimProcess windowModule("modsim"), bareModule("plain");
    if (windowModule.Path().empty() || bareModule.Path().empty()) {
      state.SkipWithError("simulated module not started");
      return;
    }
    const std::string text = modsim::StreamText(static_cast<std::size_t>(StreamSeconds()) * kRate / 10, lineEnds);
    const Expected expected(text);
    const std::size_t chunks = expected.Lengths.size();

    // The window: connected, on the terminal page, its text cleared after the module's prompt.
    auto form = windowbench::ConnectedWindow(state);
    if (!form) return;
    form->ShowPage(3);
    QTextEdit* terminal = form->KVXTermEditor;
    for (int i = 0; i < 100 && !terminal->toPlainText().contains('>'); ++i) {
      Idle();
      QThread::msleep(10);
    }
    form->ClearTerminalActExecute();
    Idle();

    // The bare view, as large as the terminal's.
    QTextEdit bare;
    bare.resize(terminal->size());
    bare.show();
    const int fd = OpenPlainLine(bareModule.Path());
    if (fd < 0) {
      state.SkipWithError("line of the bare view not opened");
      return;
    }
    std::size_t bareBytes = 0;
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
      char buf[4096];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return;
      bareBytes += static_cast<std::size_t>(n);
      bare.moveCursor(QTextCursor::End);
      bare.insertPlainText(QString::fromLatin1(buf, n));
      bare.ensureCursorVisible();
    });
    Idle();

    QEventLoop loop;
    Side window, plain;
    {
      PaintWatch watch(
          terminal->viewport(), [&] { return expected.Chunks(terminal->document()->characterCount() - 1); },
          chunks, loop);
      window = Stream(windowModule, lineEnds, watch, loop, RUSAGE_SELF, [&] {
        QString shown = terminal->document()->toRawText();
        shown.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        return shown == expected.Text;
      });
    }
    {
      PaintWatch watch(bare.viewport(), [&] { return bareBytes / kChunk + (bareBytes == text.size() ? 1 : 0); },
                       (text.size() + kChunk - 1) / kChunk, loop);
      plain = Stream(bareModule, lineEnds, watch, loop, RUSAGE_THREAD, [&] {
        // CR LF makes one line break (two when a read ends between them).
        const auto breaks = static_cast<qsizetype>(std::count(text.begin(), text.end(), '\r'));
        return bareBytes == text.size() &&
               bare.document()->characterCount() - 1 >= static_cast<qsizetype>(text.size()) - breaks;
      });
    }
    close(fd);

    state.counters["stream_s"] = StreamSeconds();
    for (const auto& [name, side] : {std::pair<const char*, const Side&>{"window_", window}, {"bare_", plain}}) {
      const std::string n = name;
      state.counters[n + "bytes_per_s"] = side.BytesPerSecond;
      state.counters[n + "all_bytes"] = side.AllBytes ? 1 : 0;
      state.counters[n + "max_delay_ms"] = side.MaxDelayMs;
      state.counters[n + "buffer_full"] = side.Writer.Full;
      state.counters[n + "cpu_pct"] = side.Cpu;
    }
    state.counters["cpu_ratio"] = plain.Cpu > 0 ? window.Cpu / plain.Cpu : 0;
    if (!window.Writer.Ok || !plain.Writer.Ok) state.SkipWithError("the module did not report its stream");
  }
}
BENCHMARK(BM_TerminalStream)->ArgName("line_ends")->Arg(1)->Arg(0)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return windowbench::RunWindowBenchmarks(argc, argv); }

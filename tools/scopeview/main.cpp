// The oscilloscope on its own: four channels fed with synthetic process values from a thread of
// their own (as the scope poll feeds them), both cursor pairs on, and the cursor read-out in the
// status bar as the main window shows it.
//
//   scopeview                 a window to look at and drag the cursors in
//   scopeview --png FILE      the window as a PNG after the picture has settled, then exit
//   scopeview --classic       the program's default colours (grey face, blue grid)
//   scopeview --wide          large ranges, so the scale labels need their shortened form
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "model/osDRUVModProtBase.h"
#include "views/osDRUVScope.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kPeriodMs = 25;

// The synthetic module: four process values as a controller reports them.
std::unique_ptr<TModProcessData> SyntheticModule() {
  auto list = std::make_unique<TModProcessData>();
  const char* const names[] = {"Pressure", "Flow", "Position", "Current"};
  for (const char* name : names) {
    auto* cmd = new TModProcCommand;
    cmd->Name = name;
    cmd->CompFactor = 1;
    list->Add(cmd);
  }
  return list;
}

// Sample k (25 ms apart) of the four signals.
struct Signals {
  std::int32_t v[4];
};

Signals SampleAt(long k) {
  const double t = k * kPeriodMs / 1000.0;
  Signals s{};
  // A pressure swinging slowly with a ripple on it.
  s.v[0] = static_cast<std::int32_t>(std::lround(60 * std::sin(2 * kPi * 0.15 * t) +
                                                 6 * std::sin(2 * kPi * 2.3 * t)));
  // A flow following a set point that steps every 3 s, with a first-order lag.
  const double sinceStep = std::fmod(t + 1000.0 * 6, 3.0);
  const bool high = static_cast<long>(std::floor((t + 1000.0 * 6) / 3.0)) % 2 == 0;
  const double target = high ? 150 : -150, from = -target;
  s.v[1] = static_cast<std::int32_t>(std::lround(target + (from - target) * std::exp(-sinceStep / 0.35)));
  // A position running up and down between 10 and 90 every 6 s.
  const double phase = std::fmod(t + 600.0, 6.0) / 6.0;
  s.v[2] = static_cast<std::int32_t>(std::lround(10 + 80 * (phase < 0.5 ? 2 * phase : 2 - 2 * phase)));
  // A motor current around -50, pulsing with the load, with a little noise.
  const unsigned h = static_cast<unsigned>(k) * 2654435761u;
  s.v[3] = static_cast<std::int32_t>(std::lround(-50 + 18 * std::sin(2 * kPi * 0.4 * t))) +
           static_cast<std::int32_t>((h >> 24) % 7) - 3;
  return s;
}

// Factors of the four signals for the large ranges of --wide.
std::int32_t gFactor[4] = {1, 1, 1, 1};

void Feed(TKVXScope& scope, long k) {
  Signals s = SampleAt(k);
  for (int i = 0; i < 4; ++i) s.v[i] *= gFactor[i];
  TASCIIProcDataObj a(&s.v[0], 4, false, 0), b(&s.v[1], 4, false, 0), c(&s.v[2], 4, false, 0),
      d(&s.v[3], 4, false, 0);
  scope.AddScopeData(&a, &b, &c, &d);
}

QString Fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QString png;
  bool classic = false;
  bool wide = false;
  for (int i = 1; i < argc; ++i) {
    const QString a = QString::fromLocal8Bit(argv[i]);
    if (a == "--png" && i + 1 < argc)
      png = QString::fromLocal8Bit(argv[++i]);
    else if (a == "--classic")
      classic = true;
    else if (a == "--wide")
      wide = true;
    else {
      std::fprintf(stderr, "usage: scopeview [--png FILE] [--classic] [--wide]\n");
      return 2;
    }
  }

  QMainWindow window;
  window.setWindowTitle("Oscilloscope");
  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* box = new QWidget;
  box->setFixedSize(805, 677);
  layout->addWidget(box);
  window.setCentralWidget(central);
  auto* amplitude = new QLabel;
  auto* time = new QLabel;
  amplitude->setMinimumWidth(370);
  time->setMinimumWidth(330);
  window.statusBar()->addWidget(amplitude);
  window.statusBar()->addWidget(time);

  TKVXScope scope;
  if (!classic) {
    // What a user picks in the settings for a clear picture: white face, grey grid.
    scope.SetDisplayColor(clWhite);
    scope.SetGridColor(0x8C8C8C);
    scope.Channel1()->SetColor(0xC05000);  // blue
    scope.Channel2()->SetColor(0x1C1CD0);  // red
    scope.Channel3()->SetColor(0x208000);  // green
    scope.Channel4()->SetColor(0x800080);  // purple
    scope.SetSignalLineWidth(swMedium);
  }
  scope.SetDestPaintBox(box);
  scope.SetRefreshRate(250);
  scope.SetDataSampleRate(kPeriodMs);
  scope.SetTimeScalePerDiv(1000);

  auto module = SyntheticModule();
  scope.SetProcessDataStructure(module.get());
  scope.Channel1()->SetSignalName("Pressure");  // -100 .. 100
  scope.Channel2()->SetSignalName("Flow");      // -250 .. 250
  scope.Channel2()->SetYScalePerDiv(50);
  scope.Channel2()->SetYZeroOffset(250);
  scope.Channel3()->SetSignalName("Position");  // 0 .. 100
  scope.Channel3()->SetYScalePerDiv(10);
  scope.Channel3()->SetYZeroOffset(0);
  scope.Channel4()->SetSignalName("Current");  // -100 .. 100
  if (wide) {
    const std::int32_t factor[4] = {1000, 1000, 6000, 100};
    std::copy(factor, factor + 4, gFactor);
    scope.Channel1()->SetYScalePerDiv(20000);  // -100000 .. 100000
    scope.Channel1()->SetYZeroOffset(100000);
    scope.Channel2()->SetYScalePerDiv(50000);  // -250000 .. 250000
    scope.Channel2()->SetYZeroOffset(250000);
    scope.Channel3()->SetYScalePerDiv(60000);  // 0 .. 600000
    scope.Channel4()->SetYScalePerDiv(2000);  // -10000 .. 10000
    scope.Channel4()->SetYZeroOffset(10000);
  }

  // Time cursors at -7 s and -2 s, amplitude cursors at 60 and -40 of channel 1.
  const TScopeGeometry g = ScopeGeometry(805, 677);
  scope.Cursors()->T1->X = g.offX + 3 * g.pxPerDivX;
  scope.Cursors()->T2->X = g.offX + 8 * g.pxPerDivX;
  scope.Cursors()->A1->Y = g.offY + 2 * g.pxPerDivY;
  scope.Cursors()->A2->Y = g.offY + 7 * g.pxPerDivY;
  scope.SetCursorChannel(1);
  scope.SetCursorEnable({ckAmplitude, ckTime});
  auto showCursors = [&](const TCursorInfo& i) {
    amplitude->setText(QString("Cha. %1   y1: %2   y2: %3   dy: %4")
                           .arg(scope.CursorChannel())
                           .arg(Fixed(i.A1, 2), Fixed(i.A2, 2), Fixed(i.DA, 2)));
    time->setText(QString("Cha. %1   t1: %2 ms   t2: %3 ms   dt: %4 ms")
                      .arg(scope.CursorChannel())
                      .arg(Fixed(i.T1, 0), Fixed(i.T2, 0), Fixed(i.DT, 0)));
  };
  scope.OnCursorPosChanged = [&](TObject*, const TCursorInfo& i) { showCursors(i); };
  TCursorInfo info;
  scope.GetCursorInfo(info);
  showCursors(info);

  // Scope page shown and started: a full span of history, then live samples every 25 ms.
  scope.SetEnabled(true);
  scope.SetRunScope(true);
  long k = 0;
  for (; k < 10 * 1000 / kPeriodMs; ++k) Feed(scope, k);
  std::atomic<bool> stop{false};
  std::thread poll([&, k]() mutable {
    auto next = std::chrono::steady_clock::now();
    while (!stop) {
      next += std::chrono::milliseconds(kPeriodMs);
      std::this_thread::sleep_until(next);
      Feed(scope, k++);
    }
  });

  window.show();
  int rc = 0;
  if (!png.isEmpty()) {
    QTimer::singleShot(1500, &window, [&] {
      if (!window.grab().save(png)) {
        std::fprintf(stderr, "scopeview: cannot write %s\n", png.toLocal8Bit().constData());
        rc = 1;
      }
      app.quit();
    });
  }
  const int loop = app.exec();
  stop = true;
  poll.join();
  return rc ? rc : loop;
}

// The views fed live by the protocol: the parameter grid, the monitor, the oscilloscope and the
// terminal on one module, each page switching the protocol's operating mode as the main window
// will. Without --port the simulated module is started in this process.
//
//   liveview                      simulated module, full duplex
//   liveview --port ttyUSB0       a real module (or a port name of the ports/ folder)
//   liveview --hdx                half duplex
//   liveview --png-monitor F --png-scope G --png-grid H   screenshots after a few seconds, then exit
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "model/osDRUVModProtBase.h"
#include "platform/MMTimer.h"
#include "protocol/osDRUVModProt.h"
#include "serial/CPort.h"
#include "services/QtText.h"
#include "services/osQtWindowThread.h"
#include "tools/modsim/PtyModule.h"
#include "views/osDRUVMonitor.h"
#include "views/osDRUVParamList.h"
#include "views/osDRUVScope.h"
#include "views/osDRUVTerminal.h"

namespace {

enum Page { kGrid = 0, kMonitor = 1, kScope = 2, kTerminal = 3 };

struct Options {
  QString port;
  bool hdx = false;
  QString pngMonitor, pngScope, pngGrid;
};

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const QString a = QString::fromLocal8Bit(argv[i]);
    auto next = [&](QString& v) {
      if (i + 1 >= argc) return false;
      v = QString::fromLocal8Bit(argv[++i]);
      return true;
    };
    if (a == "--port") {
      if (!next(o.port)) return false;
    } else if (a == "--hdx") {
      o.hdx = true;
    } else if (a == "--png-monitor") {
      if (!next(o.pngMonitor)) return false;
    } else if (a == "--png-scope") {
      if (!next(o.pngScope)) return false;
    } else if (a == "--png-grid") {
      if (!next(o.pngGrid)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// The scope poll, driven by a periodic timer off the window thread as the main window drives it:
// after more than three failed polls in a row the timer stops itself.
class ScopePoller {
 public:
  explicit ScopePoller(TKVXModCommProt& prot) : prot_(prot) {}
  ~ScopePoller() { Stop(); }

  void Start(std::uint32_t periodMs) {
    Stop();
    failures_ = 0;
    prot_.SetPollErrorState(0);
    id_ = platform::timeSetEvent(periodMs, 0, [this](std::uint32_t id, auto, auto, auto, auto) {
      if (prot_.PollScopeData()) {
        failures_ = 0;
      } else if (++failures_ > 3) {
        prot_.SetPollErrorState(2);
        platform::timeKillEvent(id);
      }
    }, 0);
  }
  void Stop() {
    if (id_) platform::timeKillEvent(id_);
    id_ = 0;
  }

 private:
  TKVXModCommProt& prot_;
  std::uint32_t id_ = 0;
  std::atomic<int> failures_{0};
};

// Full duplex: K = 60, half duplex: K = 120; plus the 20 ms of the hidden time grid.
std::uint32_t ScopePeriodMs(const TKVXModCommProt& prot) {
  const int k = prot.TransferMode() == tmHalfDuplex ? 120 : 60;
  const int factor = ModBaudrates[prot.BaudRate()] / 9600;
  return static_cast<std::uint32_t>(20 + k / (factor > 0 ? factor : 1));
}

// Scales that show the simulated module's process values whole on the ten divisions.
void BindChannel(TKVXSCopeChaSettings* ch, const std::string& name) {
  struct Range { const char* name; int scale; int offset; };
  static const Range ranges[] = {{"SINE", 2, 10}, {"RAMP", 10, 0}, {"PRESS", 10, -200}, {"TEMP", 2, -30}};
  ch->SetSignalName(name);
  for (const Range& r : ranges) {
    if (name == r.name) {
      ch->SetYScalePerDiv(static_cast<std::uint16_t>(r.scale));
      ch->SetYZeroOffset(r.offset);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  InstallWindowThreadHook();
  ApplySystemDecimalSeparator();
  InitComErrorMessages();

  Options opt;
  if (!ParseArgs(argc, argv, opt)) {
    std::fprintf(stderr,
                 "usage: liveview [--port NAME] [--hdx] [--png-monitor F] [--png-scope F] [--png-grid F]\n");
    return 2;
  }

  std::unique_ptr<modsim::PtyModule> sim;
  std::string portName = ToAnsi(opt.port);
  if (portName.empty()) {
    modsim::ModuleOptions mo;
    mo.HalfDuplex = opt.hdx;
    mo.Rate = 19200;
    sim = std::make_unique<modsim::PtyModule>(mo);
    if (!sim->Start()) {
      std::fprintf(stderr, "liveview: the simulated module did not start: %s\n", sim->LastError().c_str());
      return 1;
    }
    portName = sim->PortPath();
  }

  QMainWindow window;
  window.setWindowTitle("Live views");
  auto* tabs = new QTabWidget;
  window.setCentralWidget(tabs);

  auto* grid = new QTableWidget;
  tabs->addTab(grid, "Parameters");
  auto* monitorHost = new QWidget;
  tabs->addTab(monitorHost, "Monitor");
  auto* scopePage = new QWidget;
  auto* scopeLayout = new QVBoxLayout(scopePage);
  auto* scopeBox = new QWidget;
  scopeBox->setFixedSize(805, 677);
  scopeLayout->addWidget(scopeBox, 0, Qt::AlignLeft | Qt::AlignTop);
  tabs->addTab(scopePage, "Scope");
  auto* editor = new QTextEdit;
  tabs->addTab(editor, "Terminal");

  auto* portLabel = new QLabel(QString("Port: %1").arg(FromAnsi(portName)));
  auto* idLabel = new QLabel;
  auto* ampLabel = new QLabel;
  auto* timeLabel = new QLabel;
  for (QLabel* l : {portLabel, idLabel, ampLabel, timeLabel}) l->setContentsMargins(6, 0, 12, 0);
  window.statusBar()->addWidget(portLabel);
  window.statusBar()->addWidget(idLabel, 1);
  window.statusBar()->addPermanentWidget(ampLabel);
  window.statusBar()->addPermanentWidget(timeLabel);

  TKVXModCommProt prot;
  TKVXParamList paramList;
  TKVXMonitor monitor;
  TKVXScope scope;
  TKVXPTerminal terminal;
  paramList.SetParamGrid(grid);
  monitor.SetParent(monitorHost);
  monitor.Show();
  scope.SetDestPaintBox(scopeBox);
  scope.SetRefreshRate(250);
  terminal.SetTerminalEditor(editor);
  prot.SetParameterList(&paramList);
  prot.SetMonitor(&monitor);
  prot.SetScope(&scope);
  prot.SetTerminal(&terminal);

  ScopePoller poller(prot);

  auto showCursors = [&](const TCursorInfo& i) {
    ampLabel->setText(QString("Cha. %1   y1: %2   y2: %3   dy: %4")
                          .arg(scope.CursorChannel())
                          .arg(i.A1, 0, 'f', 2).arg(i.A2, 0, 'f', 2).arg(i.DA, 0, 'f', 2));
    timeLabel->setText(QString("Cha. %1   t1: %2 ms   t2: %3 ms   dt: %4 ms")
                           .arg(scope.CursorChannel())
                           .arg(i.T1, 0, 'f', 0).arg(i.T2, 0, 'f', 0).arg(i.DT, 0, 'f', 0));
  };
  scope.OnCursorPosChanged = [&](TObject*, const TCursorInfo& i) { showCursors(i); };

  try {
    prot.SetPortName(portName);
    if (opt.hdx) prot.SetTransferMode(tmHalfDuplex);
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Error", QString::fromLocal8Bit(e.what()));
    return 1;
  }
  std::string idText;
  if (!prot.Connect() || !prot.IdentifyModule(idText)) {
    QMessageBox::critical(nullptr, "Error", "No module answers on " + FromAnsi(portName) + ".");
    return 1;
  }
  idLabel->setText("Module: " + FromAnsi(idText));

  // The scope samples every process value it can show; the first four go on the four channels.
  TKVXSCopeChaSettings* channels[] = {scope.Channel1(), scope.Channel2(), scope.Channel3(), scope.Channel4()};
  for (int i = 0; i < 4 && i < prot.ProcessData()->Count(); ++i)
    BindChannel(channels[i], prot.ProcessData()->GetName(i));
  scope.SetDataSampleRate(ScopePeriodMs(prot));
  scope.SetTimeScalePerDiv(1000);
  {
    const TScopeGeometry g = ScopeGeometry(scopeBox->width(), scopeBox->height());
    scope.Cursors()->T1->X = g.offX + 3 * g.pxPerDivX;
    scope.Cursors()->T2->X = g.offX + 8 * g.pxPerDivX;
    scope.Cursors()->A1->Y = g.offY + 2 * g.pxPerDivY;
    scope.Cursors()->A2->Y = g.offY + 7 * g.pxPerDivY;
  }
  scope.SetCursorChannel(1);
  scope.SetCursorEnable({ckAmplitude, ckTime});
  scope.SetRunScope(true);

  auto enterPage = [&](int page) {
    poller.Stop();
    switch (page) {
      case kMonitor: prot.SetOperatingMode(2); break;
      case kScope:
        prot.SetOperatingMode(3);
        poller.Start(ScopePeriodMs(prot));
        break;
      case kTerminal: prot.SetOperatingMode(1); break;
      default: prot.SetOperatingMode(0); break;
    }
    TCursorInfo info;
    scope.GetCursorInfo(info);
    showCursors(info);
  };
  QObject::connect(tabs, &QTabWidget::currentChanged, enterPage);

  window.resize(1000, 780);
  window.show();
  enterPage(tabs->currentIndex());

  // Screenshots: each page is shown for a while, live, then grabbed. The list and the step live
  // until the event loop has ended, so the timers may refer to them.
  struct Shot { int page; QString file; int ms; };
  std::vector<Shot> shots;
  if (!opt.pngGrid.isEmpty()) shots.push_back({kGrid, opt.pngGrid, 800});
  if (!opt.pngMonitor.isEmpty()) shots.push_back({kMonitor, opt.pngMonitor, 2500});
  if (!opt.pngScope.isEmpty()) shots.push_back({kScope, opt.pngScope, 11000});
  bool shotFailed = false;
  std::function<void(std::size_t)> shoot = [&](std::size_t k) {
    if (k >= shots.size()) {
      QApplication::quit();
      return;
    }
    tabs->setCurrentIndex(shots[k].page);
    QTimer::singleShot(shots[k].ms, &window, [&, k] {
      if (!window.grab().save(shots[k].file)) {
        std::fprintf(stderr, "liveview: cannot write %s\n", shots[k].file.toLocal8Bit().constData());
        shotFailed = true;
      }
      shoot(k + 1);
    });
  };
  if (!shots.empty()) QTimer::singleShot(0, &window, [&] { shoot(0); });

  const int rc = app.exec();
  poller.Stop();
  prot.SetOperatingMode(0);
  prot.SetPortOpen(false);
  prot.SetParameterList(nullptr);
  prot.SetMonitor(nullptr);
  prot.SetScope(nullptr);
  prot.SetTerminal(nullptr);
  return shotFailed ? 1 : rc;
}

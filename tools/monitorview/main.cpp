// Shows the monitor embedded in a host panel, fed with six synthetic process values that change
// like a running module's. With --png FILE it draws one fixed set of values into FILE and exits;
// with --dialog the monitor is a dialog of its own instead.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFrame>
#include <QTimer>
#include <QVBoxLayout>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "model/osDRUVModProtBase.h"
#include "platform/Threads.h"
#include "views/osDRUVMonitor.h"

namespace {

struct Signal {
  const char* name;
  const char* help;
  const char* unit;  // Windows-1252
  std::int32_t compFactor;
};

const Signal kSignals[] = {
    {"SOLL", "Command value", "%", 100},
    {"IST", "Actual position", "mm", 100},
    {"DIFF", "Control error", "%", 100},
    {"PRES", "System pressure", "bar", 10},
    {"TEMP", "Board temperature", "\xB0" "C", 10},
    {"UB", "Supply voltage", "V", 1000},
};

void FillProcessData(TModProcessData& list) {
  for (const Signal& s : kSignals) {
    auto* cmd = new TModProcCommand;
    cmd->Name = s.name;
    cmd->Help = s.help;
    cmd->PhysUnit = s.unit;
    cmd->CompFactor = s.compFactor;
    list.Add(cmd);
  }
}

// One binary process-data block as the module answers "PD": two header bytes, then each value
// as an unsigned 16-bit word, high byte first.
void Feed(TKVXMonitor& monitor, const std::vector<std::uint16_t>& raw) {
  std::vector<unsigned char> block = {0, 0};
  for (std::uint16_t v : raw) {
    block.push_back(static_cast<unsigned char>(v >> 8));
    block.push_back(static_cast<unsigned char>(v & 0xFF));
  }
  TBINProcDataObj obj(block.data(), static_cast<std::int32_t>(block.size()), true, Now());
  monitor.NewProcessData(&obj);
}

std::vector<std::uint16_t> ValuesAt(double t) {
  const double command = 50.0 + 25.0 * std::sin(t * 0.8);
  const double actual = command - 0.6 * std::cos(t * 0.8) + 0.05 * std::sin(t * 7.0);
  const double error = std::fabs(command - actual);
  return {static_cast<std::uint16_t>(std::lround(command * 100)),
          static_cast<std::uint16_t>(std::lround(actual * 100)),
          static_cast<std::uint16_t>(std::lround(error * 100)),
          static_cast<std::uint16_t>(std::lround((210.0 + 2.5 * std::sin(t * 1.7)) * 10)),
          static_cast<std::uint16_t>(std::lround((41.0 + 0.02 * t) * 10)),
          static_cast<std::uint16_t>(std::lround((24.13 + 0.01 * std::sin(t * 3.1)) * 1000))};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  platform::MainThread::SetCurrent();

  QCommandLineParser parser;
  parser.addHelpOption();
  QCommandLineOption pngOption("png", "Draw one fixed set of values into <file> and exit.", "file");
  parser.addOption(pngOption);
  QCommandLineOption dialogOption("dialog", "Show the monitor as a dialog of its own.");
  parser.addOption(dialogOption);
  parser.process(app);

  // The main window's monitor page: a panel the monitor's form fills.
  QWidget window;
  window.setWindowTitle("Monitor");
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* host = new QFrame(&window);
  host->setObjectName("PanelMonitorParent");
  layout->addWidget(host);
  window.resize(TMonitorForm::DesignWidth, 490);

  const bool asDialog = parser.isSet(dialogOption);
  TKVXMonitor monitor;
  if (!asDialog) monitor.SetParent(host);
  monitor.SetVisibleParamKind(vpMax);
  TModProcessData list;
  FillProcessData(list);
  monitor.SetProcessDataStructure(&list);
  monitor.Show();

  if (parser.isSet(pngOption)) {
    Feed(monitor, {7500, 7462, 38, 2105, 412, 24130});
    QWidget* shown = asDialog ? static_cast<QWidget*>(monitor.Form()) : &window;
    shown->show();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 50);
    const QString file = parser.value(pngOption);
    if (!shown->grab().save(file)) {
      std::fprintf(stderr, "monitorview: cannot write %s\n", qPrintable(file));
      return 1;
    }
    return 0;
  }

  QElapsedTimer clock;
  clock.start();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout,
                   [&] { Feed(monitor, ValuesAt(clock.elapsed() / 1000.0)); });
  poll.start(320);  // the monitor poll's period
  if (!asDialog) window.show();  // the dialog is shown by the monitor
  return app.exec();
}

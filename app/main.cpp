// The program: one main window on the task bar; the message loop runs until it closes.
#include <QApplication>
#include <QSocketNotifier>
#include <clocale>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "app/KVX7MainForm.h"
#include "serial/CPort.h"
#include "services/QtText.h"
#include "services/osQtWindowThread.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnTerminate(int) {
  const char byte = 1;
  // Only an async-signal-safe write here; the window thread does the closing.
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Files and the line never depend on the user's number format; decimal texts shown to the user
  // take the separator read here once.
  std::setlocale(LC_NUMERIC, "C");
  InitComErrorMessages();
  InstallWindowThreadHook();
  ApplySystemDecimalSeparator();
  QApplication::setApplicationName("kvx7");
  QApplication::setApplicationDisplayName(QString());

  TKVXMainForm form;

  // Ctrl+C in a terminal, kill or a log-out ends the program as the close box does, so the port
  // is closed and every thread ends before the program does. A message or dialog may be open in
  // an event loop of its own, even before the main loop runs (a message of the start): every
  // loop is told to end (a loop opened after that ends at once), and the window closes once
  // they have returned.
  bool quitting = false;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&quitting] {
      char byte = 0;
      [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
      quitting = true;
      QCoreApplication::exit(0);
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
  }

  form.show();
  const int result = quitting ? 0 : app.exec();
  form.close();
  return quitting ? 0 : result;
}

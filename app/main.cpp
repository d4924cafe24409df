// The program: one main window on the task bar; the message loop runs until it closes.
#include <QApplication>
#include <clocale>

#include "app/KVX7MainForm.h"
#include "serial/CPort.h"
#include "services/QtText.h"
#include "services/osQtWindowThread.h"

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
  form.show();
  return app.exec();
}

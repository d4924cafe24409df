// Entry of the GUI test programs: one QApplication for all tests, on the window thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "platform/Threads.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  platform::MainThread::SetCurrent();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// The window's one busy mode on its own: while a job runs it holds back the windows' input (their
// shortcuts too), the calls other threads hand to the window thread and the calls deferred to its
// end, and lets them go once no job runs, also when the next job begins at once; a stop is taken
// only from a job that can stop.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QShortcutEvent>
#include <QTest>
#include <QWidget>
#include <atomic>
#include <thread>

#include "platform/Threads.h"
#include "services/osBusyMode.h"

namespace {

using namespace std::chrono_literals;

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

TEST(BusyMode, AWindowsShortcutsWaitWhileAJobRuns) {
  QWidget window;
  auto* action = new QAction(&window);
  const QKeySequence keys(Qt::CTRL | Qt::Key_I);
  action->setShortcut(keys);
  window.addAction(action);
  int triggered = 0;
  QObject::connect(action, &QAction::triggered, [&] { ++triggered; });
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  {
    TBusyJob job(nullptr, "work");
    QTest::keyClick(&window, Qt::Key_I, Qt::ControlModifier);
    // The shortcut itself, as the shortcut map hands it to the action.
    QShortcutEvent shortcut(keys, 0);
    QApplication::sendEvent(action, &shortcut);
    EXPECT_EQ(triggered, 0);
  }
  QTest::keyClick(&window, Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(triggered, 1);
}

TEST(BusyMode, AStopIsTakenOnlyFromAJobThatCanStop) {
  QWidget window;
  window.show();
  TBusyMode& busy = TBusyMode::Instance();
  {
    TBusyJob job(nullptr, "cannot stop", false);
    busy.RequestStop();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(busy.StopRequested());
  }
  {
    TBusyJob job(nullptr, "can stop", true);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(busy.StopRequested());
  }
  EXPECT_FALSE(busy.StopRequested());
}

TEST(BusyMode, WhatWaitsForTheEndRunsOnceNoJobRunsAlsoWhenTheNextJobBeginsAtOnce) {
  TBusyMode& busy = TBusyMode::Instance();
  QObject context;
  int idle = 0;
  std::atomic<bool> synced{false};
  std::thread other;
  {
    TBusyJob first(nullptr, "first");
    busy.WhenIdle(&context, [&] { ++idle; });
    // A call another thread hands to the window thread (received characters, a poll tick).
    other = std::thread([&] { platform::MainThread::Synchronize([&] { synced = true; }); });
    while (platform::MainThread::Pending() == 0) std::this_thread::sleep_for(1ms);
    busy.Pump(true);
  }
  {
    // The handler that ran the first job starts the next one.
    TBusyJob second(nullptr, "second");
    busy.Pump(true);
    Settle();
    EXPECT_EQ(idle, 0);
    EXPECT_FALSE(synced);
  }
  Settle();
  EXPECT_EQ(idle, 1);
  EXPECT_TRUE(synced);
  platform::MainThread::PumpUntil([&] { return synced.load(); }, 5s);
  other.join();
  busy.WhenIdle(&context, [&] { ++idle; });  // no job: at once
  EXPECT_EQ(idle, 2);
}

}  // namespace

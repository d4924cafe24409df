#include "services/osQtWindowThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>

#include "platform/Threads.h"
#include "services/osBusyMode.h"

namespace {
// One queued wake-up at a time is enough: it drains everything that is waiting.
std::atomic<bool> wakePending{false};
}  // namespace

void InstallWindowThreadHook() {
  platform::MainThread::SetCurrent();
  // A modal dialog or any other event loop opened in the middle of an operation runs the
  // window's events too: what they start is no step of that operation.
  platform::SetLoopDepthHook([] { return QThread::currentThread()->loopLevel(); });
  platform::MainThread::SetWakeHook([] {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || wakePending.exchange(true)) return;
    QMetaObject::invokeMethod(
        app,
        [] {
          wakePending = false;
          // While the window does long work on the line, calls of other threads (a poll tick,
          // received characters) wait: they must not cut into it. The busy mode runs them when
          // it ends.
          if (TBusyMode::Instance().Active()) return;
          platform::MainThread::CheckSynchronize();
        },
        Qt::QueuedConnection);
  });
}

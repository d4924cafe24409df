#include "services/osQtWindowThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>

#include "platform/Threads.h"

namespace {
// One queued wake-up at a time is enough: it drains everything that is waiting.
std::atomic<bool> wakePending{false};
}  // namespace

void InstallWindowThreadHook() {
  platform::MainThread::SetCurrent();
  platform::MainThread::SetWakeHook([] {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || wakePending.exchange(true)) return;
    QMetaObject::invokeMethod(
        app,
        [] {
          wakePending = false;
          platform::MainThread::CheckSynchronize();
        },
        Qt::QueuedConnection);
  });
}

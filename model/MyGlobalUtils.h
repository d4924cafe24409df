// Small routines every part of the command model uses, the owning keyed object list, and the
// worker-thread base.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Threads.h"

// ---- Worker thread ----------------------------------------------------------------------------

// A worker thread that is stopped by terminating it and posting a quit message to its own queue,
// so a body blocked waiting for its next thread message wakes up and ends its loop.
class TosBaseThread : public platform::TThread {
 public:
  explicit TosBaseThread(bool createSuspended) : platform::TThread(createSuspended) {}
  // Derived classes call Shutdown() first in their own destructors, while their members still
  // exist; this destructor then finds the thread ended.
  ~TosBaseThread() override;

  // Sets Terminated and posts WM_QUIT to the thread's own queue.
  void Quit();

 protected:
  // Quit; wait for a running body; a suspended thread is ended without running its body.
  void Shutdown();
};

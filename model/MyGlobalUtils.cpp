#include "model/MyGlobalUtils.h"

// ---- Worker thread ----------------------------------------------------------------------------

TosBaseThread::~TosBaseThread() { Shutdown(); }

void TosBaseThread::Quit() {
  Terminate();
  PostMessage(platform::WM_QUIT, 0, 0);
}

void TosBaseThread::Shutdown() {
  Quit();
  if (!Suspended()) WaitFor();
  StopThread();
}

#include <gtest/gtest.h>

#include <atomic>

#include "model/osWinUtils.h"

using namespace std::chrono_literals;

namespace {

class Probe : public TosBaseMsgComponent {
 public:
  using TosBaseMsgComponent::TosBaseMsgComponent;
  std::atomic<bool> ran{false};
  void MsgThreadExecute() override { ran = true; }
  TMsgThread* Thread() { return MsgThread.get(); }
};

class WaitingThread : public TosBaseThread {
 public:
  explicit WaitingThread(bool suspended) : TosBaseThread(suspended) {
    if (!suspended) Start();
  }
  ~WaitingThread() override { Shutdown(); }
  std::atomic<bool> bodyEnded{false};
  std::atomic<bool> bodyRan{false};

 protected:
  void Execute() override {
    bodyRan = true;
    platform::TMsg m;
    while (!Terminated()) {
      if (!MessageQueue().Get(m, 0, 0x818F)) break;
    }
    bodyEnded = true;
  }
};

}  // namespace

TEST(MsgComponent, DestroyRightAfterCreateNeverRunsTheBody) {
  bool ran = false;
  {
    Probe p(nullptr);
    EXPECT_TRUE(p.Thread()->Suspended());
    EXPECT_FALSE(p.MsgThreadTerminated());
    ran = p.ran;
  }
  EXPECT_FALSE(ran);
}

TEST(BaseThread, DestroyWakesABodyWaitingForMessages) {
  auto t = std::make_unique<WaitingThread>(false);
  platform::MainThread::PumpUntil([&] { return t->bodyRan.load(); }, 10s);
  WaitingThread* raw = t.get();
  std::atomic<bool>* ended = &raw->bodyEnded;
  t.reset();  // returns only after the body has left its wait
  (void)ended;
  SUCCEED();
}

TEST(BaseThread, SuspendedThreadEndsWithoutRunningItsBody) {
  bool ran = true;
  {
    WaitingThread t(true);
    ran = t.bodyRan;
  }
  EXPECT_FALSE(ran);
}

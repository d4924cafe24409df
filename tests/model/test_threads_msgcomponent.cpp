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
  explicit WaitingThread(bool suspended, std::atomic<bool>* endedOutside = nullptr)
      : TosBaseThread(suspended), endedOutside_(endedOutside) {
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
    if (endedOutside_) *endedOutside_ = true;
  }

 private:
  std::atomic<bool>* endedOutside_;
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
  std::atomic<bool> ended{false};
  auto t = std::make_unique<WaitingThread>(false, &ended);
  ASSERT_TRUE(platform::MainThread::PumpUntil([&] { return t->bodyRan.load(); }, 10s));
  EXPECT_FALSE(ended);  // still waiting for a message
  t.reset();  // returns only after the body has left its wait
  EXPECT_TRUE(ended);
}

TEST(BaseThread, SuspendedThreadEndsWithoutRunningItsBody) {
  bool ran = true;
  {
    WaitingThread t(true);
    ran = t.bodyRan;
  }
  EXPECT_FALSE(ran);
}

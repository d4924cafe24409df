#include "model/osWinUtils.h"

TMsgThread::TMsgThread(std::function<void()> code) : TosBaseThread(true), code_(std::move(code)) {}

TMsgThread::~TMsgThread() { Shutdown(); }

void TMsgThread::Execute() {
  if (code_) code_();
}

TosBaseMsgComponent::TosBaseMsgComponent(platform::TComponent* owner) : platform::TComponent(owner) {
  // Bound through the virtual call, so a descendant's override is the body.
  MsgThread = std::make_unique<TMsgThread>([this] { MsgThreadExecute(); });
}

TosBaseMsgComponent::~TosBaseMsgComponent() { MsgThread.reset(); }

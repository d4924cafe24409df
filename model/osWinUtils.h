// A component with a message thread of its own.
#pragma once

#include <functional>
#include <memory>

#include "model/MyGlobalUtils.h"
#include "platform/Component.h"

// A thread whose body is one call of a method bound at creation. Always created suspended.
class TMsgThread : public TosBaseThread {
 public:
  explicit TMsgThread(std::function<void()> code);
  ~TMsgThread() override;

 protected:
  void Execute() override;

 private:
  std::function<void()> code_;
};

// The component's message thread is created suspended and nothing starts it while the component
// lives; destroying the component ends it without its body ever running.
class TosBaseMsgComponent : public platform::TComponent {
 public:
  explicit TosBaseMsgComponent(platform::TComponent* owner);
  ~TosBaseMsgComponent() override;

  // The body of the message thread; empty here.
  virtual void MsgThreadExecute() {}
  bool MsgThreadTerminated() const { return MsgThread && MsgThread->Terminated(); }

 protected:
  std::unique_ptr<TMsgThread> MsgThread;
};

#include <gtest/gtest.h>

#include "platform/Component.h"

using platform::TComponent;
using platform::TOperation;

namespace {
struct Watcher : TComponent {
  using TComponent::TComponent;
  TComponent* watched = nullptr;
  int removals = 0;
  void Watch(TComponent* c) {
    watched = c;
    c->FreeNotification(this);
  }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == TOperation::opRemove && c == watched) {
      watched = nullptr;
      ++removals;
    }
  }
};

struct Counted : TComponent {
  Counted(TComponent* owner, int& n) : TComponent(owner), n_(n) { ++n_; }
  ~Counted() override { --n_; }
  int& n_;
};
}  // namespace

TEST(Component, OwnerFreesItsChildren) {
  int alive = 0;
  auto* owner = new TComponent(nullptr);
  new Counted(owner, alive);
  auto* c2 = new Counted(owner, alive);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete c2;  // a child freed early leaves the owner's list
  EXPECT_EQ(owner->ComponentCount(), 1);
  delete owner;
  EXPECT_EQ(alive, 0);
}

TEST(Component, HolderForgetsARemovedComponent) {
  Watcher w;
  auto* view = new TComponent(nullptr);
  w.Watch(view);
  delete view;
  EXPECT_EQ(w.watched, nullptr);
  EXPECT_EQ(w.removals, 1);
}

TEST(Component, HolderGoingFirstUnhooksItself) {
  auto* view = new TComponent(nullptr);
  {
    Watcher w;
    w.Watch(view);
  }
  delete view;  // must not call back into the destroyed watcher
  SUCCEED();
}

TEST(Component, EarlyRemovalNoticeReachesHoldersWhileTheObjectIsWhole) {
  // A component used from other threads announces its removal first in its destructor; holders
  // are told once, before its own members go.
  struct Early : TComponent {
    bool whole = true;
    ~Early() override {
      NotifyRemoval();
      whole = false;
    }
  };
  struct Holder : Watcher {
    bool sawWhole = false;
    int notices = 0;

   protected:
    void Notification(TComponent* c, TOperation op) override {
      if (op == TOperation::opRemove && c == watched) {
        sawWhole = static_cast<Early*>(c)->whole;
        ++notices;
      }
      Watcher::Notification(c, op);
    }
  };
  Holder h;
  auto* e = new Early;
  h.Watch(e);
  delete e;
  EXPECT_TRUE(h.sawWhole);
  EXPECT_EQ(h.notices, 1);
  EXPECT_EQ(h.watched, nullptr);
}

TEST(Component, UnhookedLinkIsGoneOnBothSides) {
  // Either side may undo the link; afterwards neither hears of the other, whichever goes first.
  struct Listener : TComponent {
    int removals = 0;

   protected:
    void Notification(TComponent*, TOperation op) override {
      if (op == TOperation::opRemove) ++removals;
    }
  };
  for (const bool viewUnhooks : {true, false}) {
    SCOPED_TRACE(viewUnhooks ? "view unhooks" : "holder unhooks");
    Listener view;
    auto* holder = new Listener;
    view.FreeNotification(holder);
    if (viewUnhooks)
      view.RemoveFreeNotification(holder);
    else
      holder->RemoveFreeNotification(&view);
    delete holder;
    EXPECT_EQ(view.removals, 0);
  }
}

// The scope's paint thread: frames while enabled, single frames on request, hand-over of each
// frame to the window thread, and ending cleanly while frames and samples are in flight.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <thread>

#include "scope_test_support.h"

using namespace scopetest;

namespace {

// Generous: shared, noisy machines.
bool WaitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 20000); }

// Stands in for the protocol's scope poll: feeds the scope from its own thread while it holds
// it. Drop() waits for a call in progress, as the protocol's exchange lock does.
class Feeder {
 public:
  explicit Feeder(TKVXScope* scope) : scope_(scope), thread_([this] { Run(); }) {}
  ~Feeder() {
    Drop();
    stop_ = true;
    thread_.join();
  }
  void Drop() {
    std::lock_guard<std::mutex> lock(mutex_);
    scope_ = nullptr;
  }
  std::atomic<int> fed{0};

 private:
  void Run() {
    for (std::int32_t v = 0; !stop_;) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!scope_) continue;
      v = (v + 37) % 400 - 200;
      auto a = Ascii(v, 0), b = Ascii(-v, 1);
      scope_->AddScopeData(a.get(), b.get(), nullptr, a.get());
      scope_->AddProcessData(Binary({static_cast<std::uint16_t>(v + 200), 5, 6}).get());
      scope_->AddProcessData(a.get());
      (void)scope_->ChannelSignalName(1 + (v + 200) % 4);
      ++fed;
    }
  }

  std::mutex mutex_;
  TKVXScope* scope_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

TEST(ScopePaintThread, FramesRunWhileEnabledAndReachTheWindowThread) {
  QWidget box;
  box.resize(500, 400);
  box.show();
  TKVXScope scope;
  scope.SetDisplayColor(clWhite);
  scope.SetDestPaintBox(&box);
  auto module = MakeProcessData({{"A", 1}});
  scope.SetProcessDataStructure(module.get());
  scope.Channel2()->SetSignalName("A");
  scope.SetRefreshRate(10);
  ASSERT_EQ(scope.PaintThread()->FrameCount(), 0u) << "idle until enabled";
  // The scope's own hand-over repaints the box; count the hand-overs around it.
  std::atomic<int> handed{0};
  std::atomic<bool> onWindowThread{true};
  auto repaint = scope.PaintThread()->OnPainted;
  scope.PaintThread()->OnPainted = [&](TObject* sender) {
    onWindowThread = onWindowThread && QThread::currentThread() == qApp->thread();
    ++handed;
    repaint(sender);
  };

  scope.SetEnabled(true);
  scope.SetRunScope(true);
  Feed(scope, 200, 0);
  const QColor red(255, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return handed >= 5 && CountColor(box.grab().toImage(), red) > 100; }));
  EXPECT_TRUE(onWindowThread);

  scope.SetEnabled(false);
  ASSERT_TRUE(WaitFor([&] { return !scope.PaintThread()->Running(); }));
  const auto frames = scope.PaintThread()->FrameCount();
  QTest::qWait(100);
  EXPECT_LE(scope.PaintThread()->FrameCount(), frames + 1) << "at most the frame in progress";

  // Stopped, a settings change paints a single frame.
  const auto before = scope.PaintThread()->FrameCount();
  scope.Channel1()->SetColor(clRed);
  ASSERT_TRUE(WaitFor([&] { return scope.PaintThread()->FrameCount() == before + 1; }));
  EXPECT_FALSE(scope.PaintThread()->Running());
}

TEST(ScopePaintThread, EndsAtOnceEvenInALongRefreshWaitAndWithItsOwner) {
  const auto start = std::chrono::steady_clock::now();
  {
    platform::TComponent owner;
    auto* scope = new TKVXScope(&owner);
    scope->SetRefreshRate(600000);
    scope->SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return scope->PaintThread()->FrameCount() >= 1; }));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(ScopePaintThread, DestroyedWhilePaintingAndFedAHundredTimesWithoutHanging) {
  auto module = MakeProcessData({{"A", 1}, {"B", 10}, {"C", 1}});
  for (int round = 0; round < 100; ++round) {
    auto box = std::make_unique<QWidget>();
    box->resize(320 + round, 240);
    if (round % 3 == 0) box->show();
    auto scope = std::make_unique<TKVXScope>();
    scope->SetDestPaintBox(box.get());
    scope->SetProcessDataStructure(module.get());
    scope->Channel1()->SetSignalName("A");
    scope->Channel2()->SetSignalName("B");
    scope->Channel4()->SetSignalName("C");
    scope->SetRefreshRate(round % 2);
    scope->SetDataSampleRate(1 + round % 5);
    scope->SetRunScope(true);
    scope->SetEnabled(true);
    Feeder feeder(scope.get());
    const auto frames = scope->PaintThread()->FrameCount();
    ASSERT_TRUE(WaitFor([&] { return scope->PaintThread()->FrameCount() > frames + 2 && feeder.fed > 10; }))
        << round;
    // Window-thread work racing the frames: settings, resizes, copies.
    scope->Channel3()->SetYScalePerDiv(static_cast<std::uint16_t>(5 + round));
    box->resize(300 + round % 7, 200 + round % 11);
    if (box->isVisible()) box->repaint();
    QImage copy;
    scope->CopyToBitmap(&copy);
    if (round % 4 == 1) QCoreApplication::processEvents();
    if (round % 2 == 0) box.reset();  // the box may go first
    feeder.Drop();
    scope.reset();  // with frames still announced to the window thread
    box.reset();
    QCoreApplication::processEvents();
  }
}

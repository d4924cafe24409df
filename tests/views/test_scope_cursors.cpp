// The scope's measuring cursors: which one a press picks, dragging with the left button alone,
// the read-out in milliseconds and channel units, and the lines drawn into copies.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include "scope_test_support.h"

using namespace scopetest;

namespace {

class ScopeCursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.resize(805, 677);
    scope.SetDestPaintBox(&box);
    scope.OnCursorPosChanged = [this](TObject* sender, const TCursorInfo& info) {
      ++reports;
      lastSender = sender;
      last = info;
    };
  }

  // Sends a mouse event through the paint box, as the window system would.
  void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QPointF local(x, y);
    QMouseEvent e(type, local, box.mapToGlobal(local), button, buttons, mods);
    QCoreApplication::sendEvent(&box, &e);
  }
  void Press(int x, int y, Qt::MouseButton b = Qt::LeftButton,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Mouse(QEvent::MouseButtonPress, x, y, b, b, mods);
  }
  void Drag(int x, int y) { Mouse(QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton); }
  void Release(int x, int y, Qt::MouseButton b = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonRelease, x, y, b, Qt::NoButton);
  }

  QWidget box;
  TKVXScope scope;
  int reports = 0;
  TObject* lastSender = nullptr;
  TCursorInfo last;
};

}  // namespace

TEST(ScopeCursorRules, HitTestPrefersAmplitudeCursorsInAFixedOrder) {
  TScopeCusors c;
  c.A1->Y = 200, c.T1->X = 200, c.A2->Y = 300, c.T2->X = 300;
  EXPECT_EQ(c.HitTest(200, 203), c.A1);  // both in reach: the amplitude cursor
  EXPECT_EQ(c.HitTest(200, 195), c.A1);
  EXPECT_EQ(c.HitTest(10, 305), c.A2);
  EXPECT_EQ(c.HitTest(205, 500), c.T1);
  EXPECT_EQ(c.HitTest(296, 500), c.T2);
  EXPECT_EQ(c.HitTest(206, 206), nullptr);
  c.A2->Y = 200;  // two in reach: the first in order
  EXPECT_EQ(c.HitTest(0, 200), c.A1);
}

TEST(ScopeCursorRules, ReadOutMatchesTheGridLabels) {
  TScopeCusors c;
  c.T1->X = 732, c.T2->X = 72, c.A1->Y = 58, c.A2->Y = 618;
  TCursorInfo i = ScopeCursorInfo(c, 805, 677, 1000, 20, 100);
  EXPECT_DOUBLE_EQ(i.T1, 0.0);
  EXPECT_DOUBLE_EQ(i.T2, 10000.0);
  EXPECT_DOUBLE_EQ(i.DT, 10000.0);
  EXPECT_DOUBLE_EQ(i.A1, 100.0);
  EXPECT_DOUBLE_EQ(i.A2, -100.0);
  EXPECT_DOUBLE_EQ(i.DA, 200.0);
  c.T1->X = 402;
  c.A1->Y = 58 + 28;  // half a division down
  i = ScopeCursorInfo(c, 805, 677, 1000, 20, 100);
  EXPECT_DOUBLE_EQ(i.T1, 5000.0);
  EXPECT_DOUBLE_EQ(i.A1, 90.0);
  // Beyond the grid the read-out goes on linearly.
  c.T1->X = 732 + 66;
  EXPECT_DOUBLE_EQ(ScopeCursorInfo(c, 805, 677, 1000, 20, 100).T1, -1000.0);
}

TEST(ScopeCursorRules, PicturesWithoutDivisionsGiveNoValue) {
  TScopeCusors c;
  // Too narrow for a time axis: times have no value, amplitudes still do.
  TCursorInfo i = ScopeCursorInfo(c, 140, 677, 1000, 20, 100);
  EXPECT_EQ(i.T1, -1.0);
  EXPECT_EQ(i.T2, -1.0);
  EXPECT_EQ(i.DT, 0.0);
  EXPECT_NE(i.A1, -1.0);
  // Too low for an amplitude axis.
  i = ScopeCursorInfo(c, 805, 11, 1000, 20, 100);
  EXPECT_EQ(i.A1, -1.0);
  EXPECT_EQ(i.A2, -1.0);
  EXPECT_EQ(i.DA, 0.0);
  EXPECT_NE(i.T1, -1.0);
  // A time base of 0 is no divisor: every time reads 0.
  i = ScopeCursorInfo(c, 805, 677, 0, 0, 0);
  EXPECT_EQ(i.T1, 0.0);
  EXPECT_EQ(i.A1, 0.0);
}

TEST_F(ScopeCursorTest, DefaultsAndTheChosenChannelsScale) {
  EXPECT_EQ(scope.Cursors()->T1->X, 200);
  EXPECT_EQ(scope.Cursors()->A1->Y, 200);
  EXPECT_EQ(scope.Cursors()->T2->X, 300);
  EXPECT_EQ(scope.Cursors()->A2->Y, 300);
  EXPECT_TRUE(scope.CursorEnable().Empty());
  EXPECT_EQ(scope.CursorChannel(), 1);

  scope.Cursors()->A1->Y = 58;
  scope.Channel3()->SetYScalePerDiv(50);
  scope.Channel3()->SetYZeroOffset(0);
  TCursorInfo info;
  scope.GetCursorInfo(info);
  EXPECT_DOUBLE_EQ(info.A1, 100.0);
  scope.SetCursorChannel(3);
  scope.GetCursorInfo(info);
  EXPECT_DOUBLE_EQ(info.A1, 500.0);
  scope.SetCursorChannel(0);  // outside 1..4: ignored
  scope.SetCursorChannel(5);
  EXPECT_EQ(scope.CursorChannel(), 3);

  scope.SetTimeScalePerDiv(500);
  scope.Cursors()->T1->X = 72;
  scope.GetCursorInfo(info);
  EXPECT_DOUBLE_EQ(info.T1, 5000.0);
}

TEST_F(ScopeCursorTest, LeftDragMovesTheCursorAndReportsEvenWhenHidden) {
  Press(300, 500);  // T2 at X 300; no amplitude cursor near row 500
  EXPECT_EQ(scope.DragCursor(), scope.Cursors()->T2);
  EXPECT_EQ(scope.MouseX(), 300);
  Drag(402, 510);
  EXPECT_EQ(scope.Cursors()->T2->X, 402);
  EXPECT_EQ(scope.Cursors()->T2->Y, 510);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(lastSender, &scope);
  EXPECT_DOUBLE_EQ(last.T2, 5000.0);
  // Positions are not limited to the box.
  Drag(-50, 2000);
  EXPECT_EQ(scope.Cursors()->T2->X, -50);
  Release(-50, 2000);
  EXPECT_EQ(scope.DragCursor(), nullptr);
  Drag(600, 600);
  EXPECT_EQ(scope.Cursors()->T2->X, -50);
  EXPECT_EQ(reports, 2);
}

TEST_F(ScopeCursorTest, OnlyTheLeftButtonAloneStartsADrag) {
  Press(200, 203, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(scope.DragCursor(), nullptr);
  Press(200, 203, Qt::RightButton);
  EXPECT_EQ(scope.DragCursor(), nullptr);
  Drag(210, 250);
  EXPECT_EQ(reports, 0);
  // Left with the right button already held is no plain left press either.
  Mouse(QEvent::MouseButtonPress, 200, 203, Qt::LeftButton, Qt::LeftButton | Qt::RightButton);
  EXPECT_EQ(scope.DragCursor(), nullptr);

  Press(200, 203);
  EXPECT_EQ(scope.DragCursor(), scope.Cursors()->A1);
  // A move with a modifier held does not drag; any release ends the drag.
  Mouse(QEvent::MouseMove, 200, 260, Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(scope.Cursors()->A1->Y, 200);
  Release(200, 260, Qt::RightButton);
  EXPECT_EQ(scope.DragCursor(), nullptr);

  // A press that hits nothing leaves the following moves without effect.
  Press(600, 600);
  EXPECT_EQ(scope.DragCursor(), nullptr);
  Drag(610, 610);
  EXPECT_EQ(reports, 0);
}

TEST_F(ScopeCursorTest, CopiesCarryTheEnabledCursorLines) {
  scope.SetDisplayColor(clWhite);
  scope.SetGridColor(0x808080);
  scope.PaintThread()->PaintFrame();
  scope.Cursors()->T1->X = 100;
  scope.Cursors()->A1->Y = 100;
  const QColor black(0, 0, 0);

  QImage img;
  ASSERT_TRUE(scope.CopyToBitmap(&img));
  EXPECT_EQ(CountColor(img, black, QRect(100, 0, 1, 40)), 0);  // cursors off

  scope.SetCursorEnable({ckTime});
  ASSERT_TRUE(scope.CopyToBitmap(&img));
  EXPECT_EQ(CountColor(img, black, QRect(100, 0, 1, 677)), 677) << "the full height";
  EXPECT_EQ(CountColor(img, black, QRect(0, 100, 60, 1)), 0);

  scope.SetCursorEnable({ckAmplitude, ckTime});
  ASSERT_TRUE(scope.CopyToBitmap(&img));
  EXPECT_EQ(CountColor(img, black, QRect(0, 100, 805, 1)), 805) << "the full width";
  EXPECT_EQ(CountColor(img, black, QRect(0, 300, 805, 1)), 805) << "A2";
}

TEST_F(ScopeCursorTest, WithoutAPaintBoxCursorsAreInert) {
  TKVXScope alone;
  TCursorInfo info;
  info.T1 = 123;
  alone.GetCursorInfo(info);
  EXPECT_EQ(info.T1, -1.0);
  EXPECT_EQ(info.T2, -1.0);
  EXPECT_EQ(info.A1, -1.0);
  EXPECT_EQ(info.A2, -1.0);
  EXPECT_EQ(info.DT, 0.0);
  EXPECT_EQ(info.DA, 0.0);
  alone.PaintBoxMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, 200, 200);
  EXPECT_EQ(alone.DragCursor(), nullptr);
  alone.SetCursorEnable({ckTime});  // nothing to draw on, nothing breaks
}

TEST_F(ScopeCursorTest, ADestroyedPaintBoxIsLetGo) {
  auto other = std::make_unique<QWidget>();
  other->resize(400, 300);
  scope.SetDestPaintBox(other.get());
  Press(200, 203);
  EXPECT_EQ(scope.DragCursor(), nullptr) << "the old box is no longer watched";
  other.reset();
  EXPECT_EQ(scope.DestPaintBox(), nullptr);
  TCursorInfo info;
  scope.GetCursorInfo(info);
  EXPECT_EQ(info.T1, -1.0);
  QImage img;
  EXPECT_FALSE(scope.CopyToBitmap(&img));
}

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
      EXPECT_EQ(sender, &scope);
      ++reports;
      last = info;
    };
  }

  // A mouse event through the paint box, as the window system sends it.
  void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, QPointF(x, y), box.mapToGlobal(QPointF(x, y)), button, buttons, mods);
    QCoreApplication::sendEvent(&box, &e);
  }
  void Press(int x, int y, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
    Mouse(QEvent::MouseButtonPress, x, y, b, b, m);
  }
  void Drag(int x, int y) { Mouse(QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton); }

  QWidget box;
  TKVXScope scope;
  int reports = 0;
  TCursorInfo last;
};

}  // namespace

TEST(ScopeCursorRules, HitTestPrefersAmplitudeCursorsInAFixedOrder) {
  TScopeCusors c;
  c.A1->Y = 200, c.T1->X = 200, c.A2->Y = 300, c.T2->X = 300;
  EXPECT_EQ(c.HitTest(200, 203), c.A1);  // both in reach: the amplitude cursor
  EXPECT_EQ(c.HitTest(10, 305), c.A2);
  EXPECT_EQ(c.HitTest(205, 500), c.T1);
  EXPECT_EQ(c.HitTest(296, 500), c.T2);
  EXPECT_EQ(c.HitTest(206, 206), nullptr);
  c.A2->Y = 200;
  EXPECT_EQ(c.HitTest(0, 200), c.A1);
}

TEST(ScopeCursorRules, ReadOutMatchesTheGridAndHasNoValueWithoutDivisions) {
  TScopeCusors c;
  c.T1->X = 732, c.T2->X = 72, c.A1->Y = 58, c.A2->Y = 618;
  TCursorInfo i = ScopeCursorInfo(c, 805, 677, 1000, 20, 100);
  EXPECT_EQ((std::vector<double>{i.T1, i.T2, i.DT, i.A1, i.A2, i.DA}),
            (std::vector<double>{0, 10000, 10000, 100, -100, 200}));
  c.T1->X = 402, c.A1->Y = 58 + 28;
  i = ScopeCursorInfo(c, 805, 677, 1000, 20, 100);
  EXPECT_DOUBLE_EQ(i.T1, 5000.0);
  EXPECT_DOUBLE_EQ(i.A1, 90.0);
  c.T1->X = 732 + 66;  // beyond the grid the read-out goes on linearly
  EXPECT_DOUBLE_EQ(ScopeCursorInfo(c, 805, 677, 1000, 20, 100).T1, -1000.0);

  // Too narrow for a time axis, or too low for an amplitude axis: that axis has no value.
  i = ScopeCursorInfo(c, 140, 677, 1000, 20, 100);
  EXPECT_TRUE(i.T1 == -1.0 && i.T2 == -1.0 && i.DT == 0.0 && i.A1 != -1.0);
  i = ScopeCursorInfo(c, 805, 11, 1000, 20, 100);
  EXPECT_TRUE(i.A1 == -1.0 && i.A2 == -1.0 && i.DA == 0.0 && i.T1 != -1.0);
}

TEST_F(ScopeCursorTest, ReadOutUsesTheTimeBaseAndTheChosenChannelsScale) {
  scope.Cursors()->A1->Y = 58;
  scope.Channel3()->SetYScalePerDiv(50);
  scope.Channel3()->SetYZeroOffset(0);
  TCursorInfo info;
  scope.GetCursorInfo(info);
  EXPECT_DOUBLE_EQ(info.A1, 100.0);  // channel 1 by default
  scope.SetCursorChannel(3);
  scope.SetCursorChannel(5);  // outside 1..4: ignored
  scope.GetCursorInfo(info);
  EXPECT_DOUBLE_EQ(info.A1, 500.0);
  scope.SetTimeScalePerDiv(500);
  scope.Cursors()->T1->X = 72;
  scope.GetCursorInfo(info);
  EXPECT_DOUBLE_EQ(info.T1, 5000.0);
}

TEST_F(ScopeCursorTest, TheLeftButtonAloneDragsEvenHiddenCursors) {
  // Shift held, the right button, or left with right held: no pick.
  Press(200, 203, Qt::LeftButton, Qt::ShiftModifier);
  Press(200, 203, Qt::RightButton);
  Mouse(QEvent::MouseButtonPress, 200, 203, Qt::LeftButton, Qt::LeftButton | Qt::RightButton);
  EXPECT_EQ(scope.DragCursor(), nullptr);
  Drag(210, 250);
  EXPECT_EQ(reports, 0);

  ASSERT_TRUE(scope.CursorEnable().Empty());
  Press(300, 500);  // T2; no amplitude cursor near row 500
  EXPECT_EQ(scope.DragCursor(), scope.Cursors()->T2);
  Drag(402, 510);
  EXPECT_EQ(scope.Cursors()->T2->X, 402);
  EXPECT_EQ(reports, 1);
  EXPECT_DOUBLE_EQ(last.T2, 5000.0);
  Mouse(QEvent::MouseMove, 500, 510, Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(scope.Cursors()->T2->X, 402) << "a modifier stops the drag step";
  Drag(-50, 2000);  // not limited to the box
  EXPECT_EQ(scope.Cursors()->T2->X, -50);
  // Any release ends the drag; a press that hits nothing starts none.
  Mouse(QEvent::MouseButtonRelease, 0, 0, Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(scope.DragCursor(), nullptr);
  Press(600, 600);
  Drag(610, 610);
  EXPECT_EQ(reports, 2);
}

TEST_F(ScopeCursorTest, CopiesCarryTheEnabledCursorsAcrossTheWholePicture) {
  scope.SetDisplayColor(clWhite);
  scope.PaintThread()->PaintFrame();
  scope.Cursors()->T1->X = 100;
  scope.Cursors()->A1->Y = 100;
  const QColor black(0, 0, 0);
  QImage img;
  ASSERT_TRUE(scope.CopyToBitmap(&img));
  EXPECT_EQ(CountColor(img, black, QRect(100, 0, 1, 40)), 0);
  scope.SetCursorEnable({ckTime});
  ASSERT_TRUE(scope.CopyToBitmap(&img));
  EXPECT_EQ(CountColor(img, black, QRect(100, 0, 1, 677)), 677);
  EXPECT_EQ(CountColor(img, black, QRect(0, 100, 60, 1)), 0);
  scope.SetCursorEnable({ckAmplitude, ckTime});
  ASSERT_TRUE(scope.CopyToBitmap(&img));
  EXPECT_EQ(CountColor(img, black, QRect(0, 100, 805, 1)), 805);
  EXPECT_EQ(CountColor(img, black, QRect(0, 300, 805, 1)), 805);
}

TEST_F(ScopeCursorTest, WithoutAPaintBoxCursorsAreInert) {
  auto other = std::make_unique<QWidget>();
  scope.SetDestPaintBox(other.get());
  Press(200, 203);
  EXPECT_EQ(scope.DragCursor(), nullptr) << "the old box is no longer watched";
  other.reset();
  EXPECT_EQ(scope.DestPaintBox(), nullptr);
  TCursorInfo info;
  info.T1 = 123;
  scope.GetCursorInfo(info);
  EXPECT_EQ((std::vector<double>{info.T1, info.T2, info.A1, info.A2, info.DT, info.DA}),
            (std::vector<double>{-1, -1, -1, -1, 0, 0}));
  QImage img;
  EXPECT_FALSE(scope.CopyToBitmap(&img));
  scope.PaintBoxMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, 200, 200);
  EXPECT_EQ(scope.DragCursor(), nullptr);
  scope.SetCursorEnable({ckTime});
}

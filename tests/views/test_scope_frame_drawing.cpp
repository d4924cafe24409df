// The oscilloscope picture: grid geometry, the scale and time labels, the curves and their
// clamping, colours, and pictures too small or scales too degenerate to draw in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QTest>
#include <QWidget>

#include "scope_test_support.h"

using namespace scopetest;

namespace {

const QColor kGrid(128, 128, 128);
const QColor kBack(255, 255, 255);
constexpr TColor kGridColor = 0x808080;

// A scope on an 805 x 677 box with a grey grid on white and four bound process values.
class ScopeFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.resize(805, 677);
    scope.SetGridColor(kGridColor);
    scope.SetDisplayColor(clWhite);
    scope.SetDestPaintBox(&box);
    module = MakeProcessData({{"A", 1}, {"B", 1}, {"C", 1}, {"D", 1}});
    scope.SetProcessDataStructure(module.get());
    scope.SetRunScope(true);
  }

  void FeedChannel(int n, int count, std::int32_t value) {
    for (int i = 0; i < count; ++i) {
      auto v = Ascii(value);
      TASCIIProcDataObj* ch[4] = {};
      ch[n - 1] = v.get();
      scope.AddScopeData(ch[0], ch[1], ch[2], ch[3]);
    }
  }

  QWidget box;
  TKVXScope scope;
  std::unique_ptr<TModProcessData> module;
};

std::vector<TScopeLabel> LabelsStartingAt(const std::vector<TScopeLabel>& all, int x) {
  std::vector<TScopeLabel> out;
  for (const auto& l : all)
    if (l.X == x && l.Top != 623) out.push_back(l);  // 623: the time labels' row
  return out;
}

}  // namespace

TEST(ScopeGeometryRules, GridIsCentredWithRoomForLabels) {
  const TScopeGeometry g = ScopeGeometry(805, 677);
  EXPECT_EQ(g.pxPerDivX, 66);
  EXPECT_EQ(g.pxPerDivY, 56);
  EXPECT_EQ(g.offX, 72);
  EXPECT_EQ(g.offY, 58);
  EXPECT_TRUE(g.Usable());
  EXPECT_FALSE(ScopeGeometry(140, 677).Usable());
  EXPECT_FALSE(ScopeGeometry(149, 677).Usable());
  EXPECT_TRUE(ScopeGeometry(150, 677).Usable());
  EXPECT_FALSE(ScopeGeometry(805, 11).Usable());
}

TEST(ScopeLabelRules, ScaleColumnsFollowTheBoundChannelsInOrder) {
  TScopeChannelList channels;
  for (int i = 0; i < 4; ++i) channels.AddChannel(new TScopeChannel);
  channels.GetChannel(0)->ProcIndex = 3;
  channels.GetChannel(0)->Color = clBlue;
  channels.GetChannel(2)->ProcIndex = 0;
  channels.GetChannel(2)->YScalePerDiv = 50;
  channels.GetChannel(2)->YZeroOffset = 0;
  // Channel 3 holds no binding: no labels of its own, whatever its points.
  channels.GetChannel(3)->Points.push_back({});

  const auto labels = ScopeGridLabels(805, 677, 1000, channels);
  const auto first = LabelsStartingAt(labels, 72 - 5);
  const auto second = LabelsStartingAt(labels, 72 - 40);
  ASSERT_EQ(first.size(), 11u);
  ASSERT_EQ(second.size(), 11u);
  for (const auto& l : labels) EXPECT_FALSE(l.X > 732 && l.Top != 623) << "scale label right of the grid";

  const char* const expected1[] = {"100", "80", "60", "40", "20", "0", "-20", "-40", "-60", "-80", "-100"};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(first[i].Text, expected1[i]);
    EXPECT_TRUE(first[i].RightAligned);
    EXPECT_EQ(first[i].Top, 58 + i * 56 - 10);
    EXPECT_EQ(first[i].Color, clBlue);
    EXPECT_EQ(second[i].Text, std::to_string((10 - i) * 50));
  }

  // All four bound: the third and fourth stand right of the grid, left-aligned.
  channels.GetChannel(1)->ProcIndex = 1;
  channels.GetChannel(3)->ProcIndex = 2;
  const auto four = ScopeGridLabels(805, 677, 1000, channels);
  EXPECT_EQ(LabelsStartingAt(four, 732 + 5).size(), 11u);
  EXPECT_EQ(LabelsStartingAt(four, 732 + 40).size(), 11u);
  EXPECT_FALSE(LabelsStartingAt(four, 732 + 5)[0].RightAligned);
}

TEST(ScopeLabelRules, TimeLabelsRunFromTheSpanToThePresent) {
  TScopeChannelList channels;
  for (int i = 0; i < 4; ++i) channels.AddChannel(new TScopeChannel);
  const auto labels = ScopeGridLabels(805, 677, 1000, channels);
  ASSERT_EQ(labels.size(), 11u);  // nothing bound: time labels only
  EXPECT_EQ(labels.front().Text, "-10.0 s");
  EXPECT_EQ(labels.front().X, 56);
  EXPECT_EQ(labels.front().Top, 623);
  EXPECT_FALSE(labels.front().RightAligned);
  EXPECT_EQ(labels.front().Color, clBlack);
  EXPECT_EQ(labels[9].Text, "-1.0 s");
  EXPECT_EQ(labels.back().Text, "0.0 s");
  EXPECT_EQ(labels.back().X, 72 + 660 - 16);

  EXPECT_EQ(ScopeTimeLabel(1, 100), "-1.0 s");
  EXPECT_EQ(ScopeTimeLabel(10, 100), "-0.1 s");
  EXPECT_EQ(ScopeTimeLabel(1, 10000), "-100.0 s");
  EXPECT_EQ(ScopeTimeLabel(10, 250), "-0.3 s");  // a quarter second rounds half up
  const char old = DecimalSeparator();
  SetDecimalSeparator(',');
  EXPECT_EQ(ScopeTimeLabel(6, 1000), "-5,0 s");
  SetDecimalSeparator(old);
}

TEST_F(ScopeFrameTest, GridLinesSitOnTheDivisions) {
  const QImage img = Render(scope);
  ASSERT_EQ(img.size(), QSize(805, 677));
  // Solid frame lines: every pixel along the top, bottom, left and right edge.
  for (int x = 72; x <= 732; ++x) {
    ASSERT_TRUE(SameRgb(img.pixel(x, 58), kGrid)) << x;
    ASSERT_TRUE(SameRgb(img.pixel(x, 618), kGrid)) << x;
  }
  for (int y = 58; y <= 618; ++y) {
    ASSERT_TRUE(SameRgb(img.pixel(72, y), kGrid)) << y;
    ASSERT_TRUE(SameRgb(img.pixel(732, y), kGrid)) << y;
  }
  // Dotted inner lines: some pixels of grid colour, some background, on the line only.
  const int dots = CountColor(img, kGrid, QRect(73, 58 + 5 * 56, 659, 1));
  EXPECT_GT(dots, 100);
  EXPECT_LT(dots, 500);
  // Between the lines the cell is empty.
  EXPECT_EQ(CountColor(img, kGrid, QRect(73, 59, 65, 55)), 0);
  // Ten divisions each way: the inner vertical lines at 72 + 66 k.
  for (int k = 1; k < 10; ++k) EXPECT_GT(CountColor(img, kGrid, QRect(72 + 66 * k, 59, 1, 559)), 100) << k;
  // Nothing of the grid outside its frame but the labels (which are black or channel colours).
  EXPECT_EQ(CountColor(img, kGrid, QRect(0, 0, 805, 57)), 0);
  EXPECT_EQ(CountColor(img, kGrid, QRect(733, 0, 72, 677)), 0);
  EXPECT_TRUE(SameRgb(img.pixel(10, 10), kBack));
}

TEST_F(ScopeFrameTest, LabelsAreDrawnWhereTheLayoutPutsThem) {
  scope.Channel2()->SetSignalName("B");  // the only bound channel: first column
  const QImage img = Render(scope);
  const QRgb back = kBack.rgb();
  // Top row label "100" of the only bound channel: right end at offX - 5, top near 48.
  const QRect label = InkBox(img, back, QRect(0, 40, 71, 22));
  ASSERT_TRUE(label.isValid());
  EXPECT_GE(label.right(), 72 - 5 - 3);
  EXPECT_LE(label.right(), 72 - 5);
  EXPECT_GE(label.top(), 48);
  EXPECT_LE(label.bottom(), 48 + 16);
  // Drawn in the channel's colour: the darkest pixel leans to red.
  QRgb darkest = back;
  for (int y = label.top(); y <= label.bottom(); ++y)
    for (int x = label.left(); x <= label.right(); ++x)
      if (qGray(img.pixel(x, y)) < qGray(darkest)) darkest = img.pixel(x, y);
  EXPECT_GT(qRed(darkest), 150);
  EXPECT_LT(qBlue(darkest), 100);
  // No second column, nothing right of the grid above the time labels.
  EXPECT_FALSE(InkBox(img, back, QRect(0, 40, 72 - 40 - 8, 22)).isValid());
  EXPECT_FALSE(InkBox(img, back, QRect(734, 0, 71, 620)).isValid());
  // Time label "-10.0 s" starts at (56, 623) and is black.
  const QRect time = InkBox(img, back, QRect(40, 620, 60, 30));
  ASSERT_TRUE(time.isValid());
  EXPECT_GE(time.left(), 56);
  EXPECT_LE(time.left(), 58);
  EXPECT_GE(time.top(), 623);
}

TEST_F(ScopeFrameTest, TheCurveRunsFromTheRightEdgeBackOverTheSpan) {
  scope.Channel2()->SetSignalName("B");  // red
  FeedChannel(2, 101, 0);                // 0 lies 5 divisions up: y = 618 - 280 = 338
  const QImage img = Render(scope);
  const QColor red(255, 0, 0);
  EXPECT_TRUE(SameRgb(img.pixel(731, 338), red));
  EXPECT_TRUE(SameRgb(img.pixel(400, 338), red));
  EXPECT_TRUE(SameRgb(img.pixel(73, 338), red));
  EXPECT_FALSE(SameRgb(img.pixel(400, 337), red));
  EXPECT_FALSE(SameRgb(img.pixel(400, 339), red));
  // 101 points at 100 ms over 10 s: the oldest is on the left edge, nothing beyond.
  EXPECT_EQ(CountColor(img, red, QRect(0, 330, 72, 20)), 0);
  EXPECT_EQ(CountColor(img, red, QRect(733, 330, 72, 20)), 0);

  // Half the span of samples covers the right half only.
  scope.Channel2()->SetSignalName("A");  // rebinding drops the points; A is channel 2 now
  FeedChannel(2, 51, 40);                // 40 = 7 divisions up: y = 618 - 392 = 226
  const QImage half = Render(scope);
  EXPECT_TRUE(SameRgb(half.pixel(700, 226), red));
  EXPECT_TRUE(SameRgb(half.pixel(403, 226), red));
  EXPECT_EQ(CountColor(half, red, QRect(73, 220, 320, 12)), 0);
}

TEST_F(ScopeFrameTest, ScaleOffsetAndCompFactorPlaceTheValue) {
  auto scaled = MakeProcessData({{"A", 10}});
  scope.SetProcessDataStructure(scaled.get());
  scope.Channel3()->SetSignalName("A");  // green, raw / 10
  scope.Channel3()->SetYScalePerDiv(50);
  scope.Channel3()->SetYZeroOffset(0);
  FeedChannel(3, 20, 2500);  // 250 units = 5 divisions up
  const QImage img = Render(scope);
  const QColor green(0, 128, 0);
  EXPECT_TRUE(SameRgb(img.pixel(731, 338), green));
  EXPECT_EQ(CountColor(img, green, QRect(600, 300, 130, 36)), 0);
}

TEST_F(ScopeFrameTest, ValuesBeyondTheGridAreDrawnOnItsEdge) {
  scope.Channel1()->SetSignalName("A");  // blue
  scope.Channel2()->SetSignalName("B");  // red
  FeedChannel(1, 30, 1000000);   // far above the top line
  FeedChannel(2, 30, -1000000);  // far below the bottom line
  const QImage img = Render(scope);
  const QColor blue(0, 0, 255), red(255, 0, 0);
  EXPECT_TRUE(SameRgb(img.pixel(720, 58), blue));
  EXPECT_EQ(CountColor(img, blue, QRect(72, 0, 661, 58)), 0) << "never above the top line";
  // The lower limit is the height less the top margin, one row under the bottom line.
  EXPECT_TRUE(SameRgb(img.pixel(720, 619), red));
  EXPECT_EQ(CountColor(img, red, QRect(72, 620, 661, 57)), 0);
}

TEST_F(ScopeFrameTest, UnboundChannelsDrawNeitherCurveNorLabels) {
  scope.Channel3()->SetSignalName("C");
  scope.Channel3()->SetSignalName("");  // unbound again
  FeedChannel(3, 50, 0);                // AddScopeData still stores the points
  EXPECT_EQ(PointCount(scope, 2), 50u);
  const QImage img = Render(scope);
  const QColor green(0, 128, 0);
  EXPECT_EQ(CountColor(img, green), 0);
  EXPECT_FALSE(InkBox(img, kBack.rgb(), QRect(0, 40, 66, 560)).isValid());
}

TEST_F(ScopeFrameTest, LineWidthsAreOneTwoAndFourPixels) {
  scope.Channel2()->SetSignalName("B");
  FeedChannel(2, 101, 0);
  const QColor red(255, 0, 0);
  auto thickness = [&] {
    const QImage img = Render(scope);
    return CountColor(img, red, QRect(400, 320, 1, 40));
  };
  EXPECT_EQ(thickness(), 1);
  scope.SetSignalLineWidth(swMedium);
  EXPECT_EQ(thickness(), 2);
  scope.SetSignalLineWidth(swFat);
  EXPECT_EQ(thickness(), 4);
}

TEST_F(ScopeFrameTest, ButtonFaceIsTheSystemColour) {
  scope.SetDisplayColor(clBtnFace);
  const QImage img = Render(scope);
  const QColor face = QApplication::palette().color(QPalette::Active, QPalette::Button);
  EXPECT_TRUE(SameRgb(img.pixel(5, 5), face));
  EXPECT_TRUE(SameRgb(img.pixel(400, 300), face));
}

TEST_F(ScopeFrameTest, UnscalableValuesGoToTheTopWithoutUndefinedArithmetic) {
  auto zero = MakeProcessData({{"A", 0}});
  scope.SetProcessDataStructure(zero.get());
  scope.Channel1()->SetSignalName("A");  // CompFactor 0
  FeedChannel(1, 20, 5);
  QImage img = Render(scope);
  const QColor blue(0, 0, 255);
  EXPECT_TRUE(SameRgb(img.pixel(725, 0), blue));

  // A vertical scale of 0 does the same.
  auto one = MakeProcessData({{"A", 1}});
  scope.SetProcessDataStructure(one.get());
  scope.Channel1()->SetYScalePerDiv(0);
  FeedChannel(1, 20, 5);
  img = Render(scope);
  EXPECT_TRUE(SameRgb(img.pixel(725, 0), blue));

  // No time axis (period or time base 0): no curve, and nothing breaks.
  scope.Channel1()->SetYScalePerDiv(20);
  scope.SetDataSampleRate(0);
  img = Render(scope);
  EXPECT_EQ(CountColor(img, blue, QRect(72, 58, 661, 561)), 0);
  scope.SetDataSampleRate(100);
  scope.SetTimeScalePerDiv(0);
  FeedChannel(1, 20, 5);
  img = Render(scope);
  EXPECT_EQ(PointCount(scope, 0), 1u);
  EXPECT_EQ(CountColor(img, blue, QRect(72, 58, 661, 561)), 0);
}

TEST(ScopeResize, TinyAndResizedBoxesAreHandled) {
  QWidget window;
  window.resize(900, 700);
  auto* box = new QWidget(&window);
  box->resize(805, 677);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  TKVXScope scope;
  scope.SetGridColor(kGridColor);
  scope.SetDestPaintBox(box);
  auto module = MakeProcessData({{"A", 1}});
  scope.SetProcessDataStructure(module.get());
  scope.Channel1()->SetSignalName("A");
  scope.SetRunScope(true);
  FeedAll(scope, 20, 5);
  for (const QSize s : {QSize(140, 300), QSize(100, 5), QSize(1, 1), QSize(805, 677)}) {
    box->resize(s);
    box->repaint();  // the repaint takes up the new size
    EXPECT_EQ(scope.PaintThread()->Width(), s.width());
    EXPECT_EQ(scope.PaintThread()->Height(), s.height());
    const QImage img = Render(scope);
    EXPECT_EQ(img.size(), s);
  }
  const QImage img = Render(scope);
  EXPECT_TRUE(SameRgb(img.pixel(72, 58), kGrid));
  // The box shows the display buffer.
  const QImage shot = box->grab().toImage();
  EXPECT_TRUE(SameRgb(shot.pixel(72, 58), kGrid));
}

TEST(ScopeWithoutBox, FramesDrawNothingAndCopiesFail) {
  TKVXScope scope;
  scope.PaintThread()->PaintFrame();
  QImage img;
  EXPECT_FALSE(scope.CopyToBitmap(&img));
  QWidget box;
  box.resize(300, 200);
  scope.SetDestPaintBox(&box);
  EXPECT_FALSE(scope.CopyToBitmap(nullptr));
  EXPECT_TRUE(scope.CopyToBitmap(&img));
  EXPECT_EQ(img.size(), QSize(300, 200));
}

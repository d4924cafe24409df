// The oscilloscope picture: grid geometry, scale and time labels, the curves and their clamping,
// and boxes too small or scales too degenerate to draw in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "scope_test_support.h"

using namespace scopetest;

namespace {

const QColor kGrid(128, 128, 128), kBack(255, 255, 255), kRed(255, 0, 0), kBlue(0, 0, 255);

// An 805 x 677 box (the main window's), grey grid on white, four process values.
class ScopeFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.resize(805, 677);
    scope.SetGridColor(0x808080);
    scope.SetDisplayColor(clWhite);
    scope.SetDestPaintBox(&box);
    scope.SetProcessDataStructure(module.get());
    scope.SetRunScope(true);
  }

  QWidget box;
  TKVXScope scope;
  std::unique_ptr<TModProcessData> module = MakeProcessData({{"A", 1}, {"B", 1}, {"C", 10}});
};

}  // namespace

TEST(ScopeLayout, GridGeometryAndLabelPlaces) {
  const TScopeGeometry g = ScopeGeometry(805, 677);
  EXPECT_EQ((std::vector<int>{g.pxPerDivX, g.pxPerDivY, g.offX, g.offY}), (std::vector<int>{66, 56, 72, 58}));
  EXPECT_FALSE(ScopeGeometry(149, 677).Usable());
  EXPECT_TRUE(ScopeGeometry(150, 677).Usable());
  EXPECT_FALSE(ScopeGeometry(805, 11).Usable());

  TScopeChannelList channels;
  for (int i = 0; i < 4; ++i) channels.AddChannel(new TScopeChannel);
  channels.GetChannel(0)->ProcIndex = 3;
  channels.GetChannel(2)->ProcIndex = 0;
  channels.GetChannel(2)->YScalePerDiv = 50;
  channels.GetChannel(2)->YZeroOffset = 0;
  const auto labels = ScopeGridLabels(805, 677, 1000, channels);
  ASSERT_EQ(labels.size(), 33u);
  // Row by row, the k-th bound channel takes the k-th column: 5 and 40 px left of the grid.
  for (int i = 0; i < 11; ++i) {
    const TScopeLabel& first = labels[2 * i];
    const TScopeLabel& second = labels[2 * i + 1];
    EXPECT_EQ(first.Text, std::to_string(100 - 20 * i));  // 100, 80, ..., -100
    EXPECT_EQ(second.Text, std::to_string(500 - 50 * i));
    EXPECT_EQ(first.Top, 58 + 56 * i - 10);
    EXPECT_TRUE(first.RightAligned && second.RightAligned);
    EXPECT_EQ(first.X, 67);
    EXPECT_EQ(second.X, 32);
  }
  EXPECT_EQ(labels[22].Text, "-10.0 s");
  EXPECT_EQ(labels[22].X, 56);
  EXPECT_EQ(labels[22].Top, 623);
  EXPECT_EQ(labels[31].Text, "-1.0 s");
  EXPECT_EQ(labels[32].Text, "0.0 s");
  // Four bound: the third and fourth columns stand right of the grid, left-aligned.
  channels.GetChannel(1)->ProcIndex = channels.GetChannel(3)->ProcIndex = 1;
  const auto four = ScopeGridLabels(805, 677, 1000, channels);
  EXPECT_EQ(four[2].X, 737);
  EXPECT_EQ(four[3].X, 772);
  EXPECT_FALSE(four[3].RightAligned);

  EXPECT_EQ(ScopeTimeLabel(10, 250), "-0.3 s");  // a quarter second rounds half up
  const char old = DecimalSeparator();
  SetDecimalSeparator(',');
  EXPECT_EQ(ScopeTimeLabel(6, 1000), "-5,0 s");
  SetDecimalSeparator(old);
}

TEST(ScopeLayout, LargeScalesAreShortenedSoColumnsNeverMeet) {
  TScopeChannelList channels;
  for (int i = 0; i < 4; ++i) channels.AddChannel(new TScopeChannel);
  const std::uint32_t scale[4] = {20000, 50000, 65535, 2000};
  const std::int32_t offset[4] = {100000, 250000, -2000000000, 10000};
  for (int c = 0; c < 4; ++c) {
    channels.GetChannel(c)->ProcIndex = c;
    channels.GetChannel(c)->YScalePerDiv = scale[c];
    channels.GetChannel(c)->YZeroOffset = offset[c];
  }
  for (int width : {805, 300, 1600}) {
    const auto labels = ScopeGridLabels(width, 677, 1000, channels);
    ASSERT_EQ(labels.size(), 55u);
    for (int row = 0; row < 11; ++row) {
      int lastRight = 0;
      for (int k : {1, 0, 2, 3}) {  // the columns from left to right
        const TScopeLabel& l = labels[static_cast<std::size_t>(row * 4 + k)];
        const int w = ScopeLabelWidth(l.Text, l.PixelSize);
        const int left = l.RightAligned ? l.X - w : l.X;
        EXPECT_GT(left, lastRight) << width << " " << l.Text;
        EXPECT_GE(l.PixelSize, 9);
        lastRight = left + w;
      }
      EXPECT_LT(lastRight, width);
    }
    EXPECT_EQ(labels[0].Text, "100k");
    EXPECT_EQ(labels[1].Text, "250k");
    EXPECT_EQ(labels[4 * 5 + 1].Text, "0");
  }

  // One unit and one count of decimals for the column, the user's separator.
  const char old = DecimalSeparator();
  SetDecimalSeparator(',');
  EXPECT_EQ(FitScaleLabels({1999999, -12500, -987654}, 30).Texts,
            (std::vector<std::string>{"2M", "-0,01M", "-0,99M"}));
  SetDecimalSeparator(old);
  // Three digits would give two rows the same text: more are kept where they fit.
  const TScaleLabelTexts close = FitScaleLabels({1504000, 1502000, 1500000}, 40);
  EXPECT_EQ(close.Texts, (std::vector<std::string>{"1.504M", "1.502M", "1.5M"}));
  EXPECT_LE(ScopeLabelWidth(close.Texts[0], close.PixelSize), 40);
  EXPECT_EQ(FitScaleLabels({100, -80}, 33).Texts, (std::vector<std::string>{"100", "-80"}));
  EXPECT_EQ(FitScaleLabels({100, -80}, 33).PixelSize, 12);
}

TEST_F(ScopeFrameTest, GridAndLabelsAreDrawnWhereTheLayoutPutsThem) {
  scope.Channel2()->SetSignalName("B");  // the only bound channel: red labels, first column
  const QImage img = Render(scope);
  ASSERT_EQ(img.size(), QSize(805, 677));
  // A closed solid frame.
  EXPECT_EQ(CountColor(img, kGrid, QRect(72, 58, 661, 1)), 661);
  EXPECT_EQ(CountColor(img, kGrid, QRect(72, 618, 661, 1)), 661);
  EXPECT_EQ(CountColor(img, kGrid, QRect(72, 58, 1, 561)), 561);
  EXPECT_EQ(CountColor(img, kGrid, QRect(732, 58, 1, 561)), 561);
  // Dotted lines on the divisions, nothing between them or outside the frame.
  for (int k = 1; k < 10; ++k) {
    EXPECT_GT(CountColor(img, kGrid, QRect(72 + 66 * k, 59, 1, 559)), 100) << k;
    EXPECT_LT(CountColor(img, kGrid, QRect(72 + 66 * k, 59, 1, 559)), 500) << k;
  }
  EXPECT_EQ(CountColor(img, kGrid, QRect(73, 59, 65, 55)), 0);
  EXPECT_EQ(CountColor(img, kGrid, QRect(0, 0, 805, 57)), 0);

  // "100" ends at offX - 5 on the top row, in the channel's colour.
  const QRect label = InkBox(img, kBack, QRect(0, 40, 71, 22));
  ASSERT_TRUE(label.isValid());
  EXPECT_GE(label.right(), 64);
  EXPECT_LE(label.right(), 67);
  EXPECT_GE(label.top(), 48);
  QRgb darkest = kBack.rgb();
  for (int y = label.top(); y <= label.bottom(); ++y)
    for (int x = label.left(); x <= label.right(); ++x)
      if (qGray(img.pixel(x, y)) < qGray(darkest)) darkest = img.pixel(x, y);
  EXPECT_GT(qRed(darkest), 150);
  EXPECT_LT(qBlue(darkest), 100);
  // No second column, nothing right of the grid but time labels.
  EXPECT_FALSE(InkBox(img, kBack, QRect(0, 40, 24, 22)).isValid());
  EXPECT_FALSE(InkBox(img, kBack, QRect(734, 0, 71, 620)).isValid());
  // "-10.0 s" starts at (56, 623).
  const QRect time = InkBox(img, kBack, QRect(40, 620, 60, 30));
  EXPECT_GE(time.left(), 56);
  EXPECT_LE(time.left(), 58);
  EXPECT_GE(time.top(), 623);

  scope.SetDisplayColor(clBtnFace);
  EXPECT_TRUE(SameRgb(Render(scope).pixel(5, 5), QApplication::palette().color(QPalette::Button)));
}

TEST_F(ScopeFrameTest, CurvesRunBackFromTheRightEdgeAndStayInsideTheGrid) {
  scope.Channel2()->SetSignalName("B");  // red
  Feed(scope, 101, 0, 2);                // 0 lies 5 divisions up: y = 618 - 280
  QImage img = Render(scope);
  for (int x : {73, 400, 731}) EXPECT_TRUE(SameRgb(img.pixel(x, 338), kRed)) << x;
  EXPECT_EQ(CountColor(img, kRed, QRect(400, 300, 1, 80)), 1) << "one pixel wide";
  EXPECT_EQ(CountColor(img, kRed, QRect(0, 330, 72, 20)) + CountColor(img, kRed, QRect(733, 330, 72, 20)), 0);

  // Half a span covers the right half; scale, offset and factor place the value.
  scope.Channel2()->SetSignalName("C");  // factor 10; rebinding drops the points
  scope.Channel2()->SetYScalePerDiv(50);
  scope.Channel2()->SetYZeroOffset(0);
  Feed(scope, 51, 3500, 2);  // 350 units: 7 divisions up, y = 618 - 392
  img = Render(scope);
  EXPECT_TRUE(SameRgb(img.pixel(700, 226), kRed));
  EXPECT_TRUE(SameRgb(img.pixel(403, 226), kRed));
  EXPECT_EQ(CountColor(img, kRed, QRect(73, 220, 320, 12)), 0);

  // Beyond the grid: on its top line, or one row under the bottom line (height less offY).
  scope.Channel1()->SetSignalName("A");
  Feed(scope, 30, 1000000, 1);
  Feed(scope, 30, -10000000, 2);
  img = Render(scope);
  EXPECT_TRUE(SameRgb(img.pixel(720, 58), kBlue));
  EXPECT_EQ(CountColor(img, kBlue, QRect(72, 0, 661, 58)), 0);
  EXPECT_TRUE(SameRgb(img.pixel(720, 619), kRed));
  EXPECT_EQ(CountColor(img, kRed, QRect(72, 620, 661, 57)), 0);
}

TEST_F(ScopeFrameTest, LineWidthsAreOneTwoAndFourPixels) {
  scope.Channel2()->SetSignalName("B");
  Feed(scope, 101, 0, 2);
  for (auto [kind, px] : {std::pair{swSmall, 1}, {swMedium, 2}, {swFat, 4}}) {
    scope.SetSignalLineWidth(kind);
    EXPECT_EQ(CountColor(Render(scope), kRed, QRect(400, 320, 1, 40)), px);
  }
}

// A frame puts the background back only where the last curves were: whatever the curves did
// meanwhile, the picture is the one a fresh background gives, and only the curves' part of it
// goes to the window again.
TEST_F(ScopeFrameTest, EachFrameShowsItsOwnCurvesOnly) {
  scope.Channel1()->SetSignalName("A");
  scope.Channel2()->SetSignalName("B");
  scope.SetSignalLineWidth(swFat);
  Render(scope);
  for (int step = 0; step < 4; ++step) {
    // Jumping curves, points trimmed away, and at step 2 other steps between the samples.
    for (int i = 0; i < 60; ++i) {
      Feed(scope, 1, (i * 37 + step * 101) % 260 - 130, 1);
      Feed(scope, 1, step % 2 ? 90 : -90, 2);
    }
    if (step == 2) scope.SetDataSampleRate(250);
    scope.PaintThread()->TakeDamage();
    const QImage shown = Render(scope);
    const QRegion damage = scope.PaintThread()->TakeDamage();
    EXPECT_FALSE(damage.isEmpty()) << step;
    EXPECT_TRUE((damage & QRect(0, 0, 40, 677)).isEmpty()) << "the scale labels stay: " << step;
    scope.SetGridColor(0x808081);
    scope.SetGridColor(0x808080);  // the next frame takes the background whole
    EXPECT_EQ(Render(scope), shown) << step;
  }
}

// The same with the thin pen, whose pixels lie closest to the edges of the area put back: after
// the curves move, their samples' spacing changes, they are cleared or a channel goes.
TEST_F(ScopeFrameTest, TheThinPenLeavesNoPixelOfAnOldCurve) {
  scope.Channel1()->SetSignalName("A");
  scope.Channel2()->SetSignalName("B");
  const QRect grid(72, 58, 661, 562);  // where curves go: no label stands there
  Render(scope);
  for (int step = 0; step < 5; ++step) {
    for (int i = 0; i < 60; ++i) {
      Feed(scope, 1, (i * 37 + step * 101) % 260 - 130, 1);
      Feed(scope, 1, (i * 53 + step * 7) % 200 - 100, 2);
    }
    if (step == 2) scope.SetDataSampleRate(250);
    if (step == 3) scope.PaintThread()->ClearData();
    if (step == 4) scope.Channel1()->SetSignalName("");
    const QImage shown = Render(scope);
    scope.SetGridColor(0x808081);
    scope.SetGridColor(0x808080);  // the next frame takes the background whole
    EXPECT_EQ(Render(scope), shown) << step;
    // Cleared at step 3, channel 1 gone at step 4: none of their pixels in the grid.
    EXPECT_EQ(CountColor(shown, kBlue, grid) == 0, step >= 3) << step;
    EXPECT_EQ(CountColor(shown, kRed, grid) == 0, step == 3) << step;
  }
}

namespace {

// Paints magenta wherever the box is to be repainted, before the scope copies its buffer there
// (the filter installed last runs first): a pixel the copy leaves out stays magenta.
struct Undercoat : QObject {
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::Paint) return false;
    QPainter p(static_cast<QWidget*>(o));
    p.fillRect(p.window(), Qt::magenta);
    return false;
  }
};

}  // namespace

// The box repaints only what the frames changed, and all of it: after each frame the whole box,
// to its last row and column, shows the buffer the frame was drawn into.
TEST_F(ScopeFrameTest, TheRepaintedPartOfTheBoxShowsTheBufferWhole) {
  scope.Channel1()->SetSignalName("A");
  scope.Channel2()->SetSignalName("B");
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  Undercoat undercoat;
  box.installEventFilter(&undercoat);
  for (int step = 0; step < 6; ++step) {  // the first frame changes all, the others the curves
    for (int i = 0; i < 40; ++i) {
      Feed(scope, 1, (i * 37 + step * 101) % 260 - 130, 1);
      Feed(scope, 1, step % 2 ? 120 : -120, 2);  // the top and bottom rows curves reach
    }
    scope.PaintThread()->PaintFrame();
    const QRegion damage = scope.PaintThread()->TakeDamage();
    EXPECT_EQ(damage.boundingRect() == box.rect(), step == 0) << step;
    box.repaint(damage);
    QImage buffer;
    scope.CopyToBitmap(&buffer);
    const QImage shown =
        box.screen()->grabWindow(box.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(CountColor(shown, Qt::magenta), 0) << step;
    EXPECT_TRUE(shown == buffer) << step;
  }
}

TEST_F(ScopeFrameTest, UnboundOrUnscalableChannelsDrawSafely) {
  scope.Channel3()->SetSignalName("B");
  scope.Channel3()->SetSignalName("");  // unbound again; AddScopeData still stores points
  Feed(scope, 50, 0, 3);
  QImage img = Render(scope);
  EXPECT_EQ(CountColor(img, QColor(0, 128, 0)), 0);
  EXPECT_FALSE(InkBox(img, kBack, QRect(0, 40, 66, 560)).isValid()) << "no labels";

  // A factor or a vertical scale of 0 puts the value at the top of the picture.
  auto zero = MakeProcessData({{"A", 0}});
  scope.SetProcessDataStructure(zero.get());
  scope.Channel1()->SetSignalName("A");
  Feed(scope, 20, 5, 1);
  EXPECT_TRUE(SameRgb(Render(scope).pixel(725, 0), kBlue));
  scope.SetProcessDataStructure(module.get());
  scope.Channel1()->SetYScalePerDiv(0);
  Feed(scope, 20, 5, 1);
  EXPECT_TRUE(SameRgb(Render(scope).pixel(725, 0), kBlue));

  // Without a time axis (period or time base 0) there is no curve.
  scope.Channel1()->SetYScalePerDiv(20);
  scope.SetDataSampleRate(0);
  EXPECT_EQ(CountColor(Render(scope), kBlue, QRect(72, 58, 661, 561)), 0);
  scope.SetDataSampleRate(100);
  scope.SetTimeScalePerDiv(0);
  Feed(scope, 20, 5, 1);
  EXPECT_EQ(CountColor(Render(scope), kBlue, QRect(72, 58, 661, 561)), 0);
}

TEST(ScopeResize, TheRepaintTakesUpAnySizeOfBox) {
  QWidget window;
  window.resize(900, 700);
  auto* box = new QWidget(&window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  TKVXScope scope;
  QImage img;
  EXPECT_FALSE(scope.CopyToBitmap(&img)) << "no box yet";
  scope.PaintThread()->PaintFrame();
  scope.SetGridColor(0x808080);
  scope.SetDestPaintBox(box);
  auto module = MakeProcessData({{"A", 1}});
  scope.SetProcessDataStructure(module.get());
  scope.Channel1()->SetSignalName("A");
  scope.SetRunScope(true);
  Feed(scope, 20, 5);
  for (const QSize s : {QSize(140, 300), QSize(100, 5), QSize(1, 1), QSize(805, 677)}) {
    box->resize(s);
    box->repaint();
    EXPECT_EQ(QSize(scope.PaintThread()->Width(), scope.PaintThread()->Height()), s);
    EXPECT_EQ(Render(scope).size(), s);
  }
  EXPECT_TRUE(SameRgb(box->grab().toImage().pixel(72, 58), kGrid)) << "the box shows the buffer";
}

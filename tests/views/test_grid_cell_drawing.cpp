// Grid-cell drawing: fill with the brush, alignment margins, vertical placement, word wrap, the
// font given for one call, and text measuring.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTableWidget>

#include "views/osGridCellDraw.h"

namespace {

// Bounding box of the pixels within `area` (default: all) that are not the fill colour.
QRect InkBox(const QImage& img, QRgb fill, QRect area = QRect()) {
  if (!area.isValid()) area = img.rect();
  int l = img.width(), t = img.height(), r = -1, b = -1;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (img.pixel(x, y) != fill) {
        l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
      }
  return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

class GridCellDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    grid.setColumnCount(3);
    grid.setRowCount(2);
    grid.setItem(1, 1, new QTableWidgetItem("IIII"));
    grid.setItem(0, 0, new QTableWidgetItem("one two three four five six seven"));
    font.setPixelSize(14);
  }

  // Draws cell (col, row) into a 200x40 image at cellRect and returns the image.
  QImage Draw(int col, int row, std::uint8_t h, std::uint8_t v, bool wrap, QRect cell,
              bool* ok = nullptr) {
    QImage img(200, 80, QImage::Format_RGB32);
    img.fill(Qt::gray);
    QPainter p(&img);
    p.setBrush(Qt::white);
    p.setPen(Qt::black);
    p.setFont(font);
    const bool r = DrawGridCellTextRect(&grid, &p, cell, col, row, h, v, wrap);
    if (ok) *ok = r;
    return img;
  }

  QTableWidget grid;
  QFont font{"Liberation Sans"};
};

}  // namespace

TEST_F(GridCellDrawTest, LeftAndRightKeepFourPixelsCentreNone) {
  const QRect cell(20, 10, 120, 30);
  const QRgb white = qRgb(255, 255, 255);
  const QRect left = InkBox(Draw(1, 1, gcaLeft, gcaVCenter, false, cell), white, cell);
  const QRect right = InkBox(Draw(1, 1, gcaRight, gcaVCenter, false, cell), white, cell);
  const QRect centre = InkBox(Draw(1, 1, gcaCenter, gcaVCenter, false, cell), white, cell);
  // "I" strokes start within a pixel or two of their advance box.
  EXPECT_GE(left.left(), cell.left() + 4);
  EXPECT_LE(left.left(), cell.left() + 4 + 3);
  EXPECT_LE(right.right(), cell.right() - 4);
  EXPECT_GE(right.right(), cell.right() - 4 - 3);
  const int marginL = centre.left() - cell.left();
  const int marginR = cell.right() - centre.right();
  EXPECT_LE(std::abs(marginL - marginR), 3);
}

TEST_F(GridCellDrawTest, VerticalPlacement) {
  const QRect cell(0, 0, 200, 80);
  const QRgb white = qRgb(255, 255, 255);
  const QRect top = InkBox(Draw(1, 1, gcaLeft, gcaTop, false, cell), white, cell);
  const QRect mid = InkBox(Draw(1, 1, gcaLeft, gcaVCenter, false, cell), white, cell);
  const QRect bottom = InkBox(Draw(1, 1, gcaLeft, gcaBottom, false, cell), white, cell);
  EXPECT_LT(top.top(), 10);
  EXPECT_NEAR(mid.center().y(), 40, 6);
  EXPECT_GT(bottom.bottom(), 70);
}

TEST_F(GridCellDrawTest, FillsWithTheBrushEvenWhenEmptyOrUnaligned) {
  const QRect cell(10, 10, 50, 20);
  QImage img = Draw(2, 1, gcaLeft, gcaVCenter, false, cell);  // no item there
  EXPECT_EQ(img.pixel(11, 11), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(59, 29), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(9, 9), QColor(Qt::gray).rgb());  // nothing outside the cell
  EXPECT_EQ(InkBox(img, qRgb(255, 255, 255), cell), QRect());

  bool ok = false;
  img = Draw(1, 1, 7, gcaVCenter, false, cell, &ok);  // no such alignment: just the fill
  EXPECT_TRUE(ok);
  EXPECT_EQ(InkBox(img, qRgb(255, 255, 255), cell), QRect());
}

TEST_F(GridCellDrawTest, TextStaysInsideItsCell) {
  const QRect cell(20, 10, 40, 20);
  QImage img = Draw(0, 0, gcaLeft, gcaVCenter, false, cell);  // a text far wider than the cell
  EXPECT_TRUE(InkBox(img, qRgb(255, 255, 255), cell).isValid());
  const QImage right = img.copy(QRect(cell.right() + 1, 0, img.width() - cell.right() - 1, 80));
  EXPECT_EQ(InkBox(right, QColor(Qt::gray).rgb()), QRect());
}

TEST_F(GridCellDrawTest, WordWrapBreaksLines) {
  const QRect cell(0, 0, 120, 80);
  const QRgb white = qRgb(255, 255, 255);
  const QRect single = InkBox(Draw(0, 0, gcaLeft, gcaTop, false, cell), white, cell);
  const QRect wrapped = InkBox(Draw(0, 0, gcaLeft, gcaBottom, true, cell), white, cell);
  EXPECT_GT(wrapped.height(), 2 * single.height());
  EXPECT_LT(wrapped.top(), 10);  // vertical alignment is not used with word wrap
}

TEST_F(GridCellDrawTest, WithoutGridOrCanvasNothingIsDrawn) {
  QImage img(50, 50, QImage::Format_RGB32);
  img.fill(Qt::gray);
  const QImage before = img;
  QPainter p(&img);
  p.setBrush(Qt::white);
  EXPECT_FALSE(DrawGridCellText(nullptr, &p, QRect(0, 0, 40, 40), 0, 0, 0, 1, false, nullptr));
  EXPECT_FALSE(DrawGridCellText(&grid, nullptr, QRect(0, 0, 40, 40), 0, 0, 0, 1, false, nullptr));
  p.end();
  EXPECT_EQ(img, before);
}

TEST_F(GridCellDrawTest, GivenFontIsUsedForOneCallOnly) {
  QImage img(200, 80, QImage::Format_RGB32);
  QPainter p(&img);
  p.setBrush(Qt::white);
  p.setFont(font);
  QFont big("Liberation Serif");
  big.setPixelSize(30);
  big.setBold(true);
  p.fillRect(img.rect(), Qt::gray);
  ASSERT_TRUE(DrawGridCellText(&grid, &p, QRect(0, 0, 200, 80), 1, 1, gcaLeft, gcaTop, false, &big));
  EXPECT_EQ(p.font(), font);
  p.end();
  const QRect ink = InkBox(img, qRgb(255, 255, 255), QRect(0, 0, 200, 80));
  EXPECT_GT(ink.height(), 18);  // drawn in the 30-pixel font
}

TEST(GridCellTextSize, MeasuresOneLineInThePainterFont) {
  QSize size(5, 5);
  EXPECT_FALSE(GetTextSize(nullptr, std::string("abc"), size));
  EXPECT_EQ(size, QSize(5, 5));

  QImage img(10, 10, QImage::Format_RGB32);
  QPainter p(&img);
  QFont f("Liberation Sans");
  f.setPixelSize(20);
  p.setFont(f);
  ASSERT_TRUE(GetTextSize(&p, std::string("Dummy"), size));
  const QFontMetrics fm(f, &img);
  EXPECT_EQ(size, fm.size(Qt::TextSingleLine, "Dummy"));
  EXPECT_GE(size.height(), 20);
  QSize two;
  ASSERT_TRUE(GetTextSize(&p, std::string("Dummy\nDummy"), two));
  EXPECT_EQ(two.height(), size.height());  // one line, whatever the text holds
}

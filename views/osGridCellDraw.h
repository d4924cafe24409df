// Drawing one grid cell's text with a chosen alignment and font, and measuring a line of text.
// The "canvas" is a QPainter on any paint device (a grid's viewport, an image, a printer); its
// current brush fills the cell, its pen colours the text, its font is used unless one is given.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <string>

class QFont;
class QPainter;
class QTableWidget;

// Horizontal alignment codes.
constexpr std::uint8_t gcaLeft = 0;
constexpr std::uint8_t gcaRight = 1;
constexpr std::uint8_t gcaCenter = 2;
// Vertical alignment codes.
constexpr std::uint8_t gcaTop = 0;
constexpr std::uint8_t gcaVCenter = 1;
constexpr std::uint8_t gcaBottom = 2;

// The margin between left- or right-aligned text and the cell border.
constexpr int kGridCellTextMargin = 4;

// Draws the text of cell (col, row) of `grid` (its item's text; no item is an empty cell) into
// `rect`. Single line: vAlign places it (top, centre, bottom); a vAlign outside 0..2 draws from
// the top and breaks only at line breaks. Word wrap: breaks at words, from the top. Left and
// right alignment keep 4 pixels from the border, centred text none; an hAlign outside 0..2 draws
// nothing but the fill. With `font`, the painter's font is used for this call only.
// False, and nothing drawn, without a grid or a painter.
bool DrawGridCellText(QTableWidget* grid, QPainter* canvas, const QRect& rect, int col, int row,
                      std::uint8_t hAlign, std::uint8_t vAlign, bool wordWrap, const QFont* font);

// The same with the painter's current font.
bool DrawGridCellTextRect(QTableWidget* grid, QPainter* canvas, QRect rect, int col, int row,
                          std::uint8_t hAlign, std::uint8_t vAlign, bool wordWrap);

// The size of `text` as one line in the painter's font on its device. Without a painter: false
// and `size` untouched; otherwise `size` is first (-1, -1).
bool GetTextSize(QPainter* canvas, const QString& text, QSize& size);
bool GetTextSize(QPainter* canvas, const std::string& text, QSize& size);

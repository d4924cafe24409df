#include "views/osGridCellDraw.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QTableWidget>

#include "services/QtText.h"

bool DrawGridCellText(QTableWidget* grid, QPainter* canvas, const QRect& rect, int col, int row,
                      std::uint8_t hAlign, std::uint8_t vAlign, bool wordWrap, const QFont* font) {
  if (!grid || !canvas) return false;
  QRect r = rect;

  const QFont saved = canvas->font();
  if (font) canvas->setFont(*font);

  canvas->fillRect(r, canvas->brush());

  QString text;
  if (const QTableWidgetItem* item = grid->item(row, col)) text = item->text();

  int flags = 0;
  bool draw = true;
  switch (hAlign) {
    case gcaLeft:
      r.setLeft(r.left() + kGridCellTextMargin);
      flags |= Qt::AlignLeft;
      break;
    case gcaRight:
      r.setRight(r.right() - kGridCellTextMargin);
      flags |= Qt::AlignRight;
      break;
    case gcaCenter:
      flags |= Qt::AlignHCenter;
      break;
    default:
      draw = false;
      break;
  }
  if (wordWrap) {
    flags |= Qt::TextWordWrap | Qt::AlignTop;
  } else {
    switch (vAlign) {
      case gcaTop: flags |= Qt::AlignTop | Qt::TextSingleLine; break;
      case gcaVCenter: flags |= Qt::AlignVCenter | Qt::TextSingleLine; break;
      case gcaBottom: flags |= Qt::AlignBottom | Qt::TextSingleLine; break;
      default: flags |= Qt::AlignTop; break;
    }
  }
  if (draw && !text.isEmpty()) {
    // Text never spills into the neighbouring cells.
    canvas->save();
    canvas->setClipRect(rect, Qt::IntersectClip);
    canvas->drawText(r, flags, text);
    canvas->restore();
  }

  if (font) canvas->setFont(saved);
  return true;
}

bool DrawGridCellTextRect(QTableWidget* grid, QPainter* canvas, QRect rect, int col, int row,
                          std::uint8_t hAlign, std::uint8_t vAlign, bool wordWrap) {
  return DrawGridCellText(grid, canvas, rect, col, row, hAlign, vAlign, wordWrap, nullptr);
}

bool GetTextSize(QPainter* canvas, const QString& text, QSize& size) {
  if (!canvas) return false;
  size = QSize(-1, -1);
  // Measured for the painter's device, so a printer's resolution is taken into account.
  const QFontMetrics fm = canvas->device() ? QFontMetrics(canvas->font(), canvas->device())
                                           : QFontMetrics(canvas->font());
  size = fm.size(Qt::TextSingleLine, text);
  return true;
}

bool GetTextSize(QPainter* canvas, const std::string& text, QSize& size) {
  return GetTextSize(canvas, FromAnsi(text), size);
}

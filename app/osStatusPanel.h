// A status bar panel for texts that may be longer than the panel: it shows what fits, ending in
// "..." where the text is cut, never a text cut off in the middle of a word without a sign. The
// whole text is then its tool tip, and a click on it hands the whole text to OnOpen (the window
// shows it in a message). The tool tip always follows the text shown: a text that fits has none.
#pragma once

#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <functional>

class TStatusPanel : public QLabel {
 public:
  using QLabel::QLabel;

  std::function<void(const QString& Text)> OnOpen;

  // The panel asks for its own width, not its text's: a long result must not squeeze the other
  // panels (the port's name) out of sight.
  QSize sizeHint() const override { return {minimumWidth(), QLabel::sizeHint().height()}; }
  QSize minimumSizeHint() const override { return {minimumWidth(), QLabel::minimumSizeHint().height()}; }

  // The text does not fit the panel as it is now.
  bool Elided() const { return fontMetrics().horizontalAdvance(text()) > contentsRect().width(); }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QFrame::paintEvent(e);
    QPainter p(this);
    const QRect r = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
    style()->drawItemText(&p, r, static_cast<int>(alignment()), palette(), isEnabled(), shown, foregroundRole());
    // A cut text can be opened: the pointer says so.
    const Qt::CursorShape want = Elided() ? Qt::PointingHandCursor : Qt::ArrowCursor;
    if (cursor().shape() != want) setCursor(want);
  }

  bool event(QEvent* e) override {
    if (e->type() == QEvent::ToolTip) {
      auto* help = static_cast<QHelpEvent*>(e);
      if (Elided())
        QToolTip::showText(help->globalPos(), text(), this);
      else
        QToolTip::hideText();
      return true;
    }
    return QLabel::event(e);
  }

  void mouseReleaseEvent(QMouseEvent* e) override {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && Elided() && OnOpen)
      OnOpen(text());
  }
};

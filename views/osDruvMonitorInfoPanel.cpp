#include "views/osDruvMonitorInfoPanel.h"

#include <algorithm>

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPainter>
#include <QPaintEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// Never lets a text run past its box: a name or help text that is too long ends in an ellipsis,
// and a value is drawn smaller until it fits. A right-justified number cut off at its left edge
// would lose its leading digits or its sign and read as a different, plausible value.
class FitLabel : public QLabel {
 public:
  enum Mode { Elide, Shrink };

  FitLabel(Mode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
    // The panel decides the widths; a long text must not widen its column.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setMinimumWidth(0);
    // Room between a justified text and the panel's bevel.
    setContentsMargins(4, 0, 4, 0);
    // Filled with the panel's colour, so a value that changes repaints the label alone, not
    // the panel and its bevel beneath it.
    setAutoFillBackground(true);
  }

  // A shrinking label takes the width its column gives it and one line of its font. Its hints
  // do not depend on its text, so a value that changes several times a second does not have
  // its text laid out again only to tell the panel a size the panel does not use.
  QSize sizeHint() const override {
    if (mode_ != Shrink) return QLabel::sizeHint();
    const QMargins m = contentsMargins();
    return QSize(m.left() + m.right(), QFontMetrics(font()).height() + m.top() + m.bottom())
        .expandedTo(minimumSize());
  }
  QSize minimumSizeHint() const override {
    return mode_ == Shrink ? sizeHint() : QLabel::minimumSizeHint();
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    const QRect box = contentsRect();
    const QString text = this->text();
    if (text.isEmpty() || QFontMetrics(font()).horizontalAdvance(text) <= box.width()) {
      QLabel::paintEvent(event);
      return;
    }
    QFont drawFont = font();
    if (mode_ == Shrink) drawFont = ShrunkFont(text, box.width());
    const QFontMetrics fm(drawFont);
    const QString shown = fm.elidedText(text, Qt::ElideRight, box.width());

    QPainter painter(this);
    painter.setFont(drawFont);
    style()->drawItemText(&painter, box, static_cast<int>(alignment()), palette(), isEnabled(),
                          shown, foregroundRole());
  }

 private:
  // The largest size of the label's font, down to 6 pt, in which the text fits the width.
  QFont ShrunkFont(const QString& text, int width) const {
    QFont f = font();
    const bool byPixels = f.pointSizeF() <= 0;
    double size = byPixels ? f.pixelSize() : f.pointSizeF();
    const double minSize = byPixels ? 8.0 : 6.0;
    while (size > minSize) {
      size = std::max(minSize, size - (byPixels ? 1.0 : 0.5));
      if (byPixels)
        f.setPixelSize(static_cast<int>(size));
      else
        f.setPointSizeF(size);
      if (QFontMetrics(f).horizontalAdvance(text) <= width) break;
    }
    return f;
  }

  Mode mode_;
};

}  // namespace

TKVXMonitorInfoPanel::TKVXMonitorInfoPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  resize(DefaultWidth, DefaultHeight);

  ParaFont_ = QFont(QStringLiteral("Arial"));
  ParaFont_.setStyleHint(QFont::SansSerif);
  ParaFont_.setPointSize(20);
  InfoFont_ = QFont(QStringLiteral("Arial"));
  InfoFont_.setStyleHint(QFont::SansSerif);
  InfoFont_.setPointSize(8);

  Info_ = new FitLabel(FitLabel::Elide, this);
  Info_->setObjectName(QStringLiteral("Info"));
  Info_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Info_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

  // A name a little too wide for its column is drawn smaller rather than cut to "PR…".
  Para_ = new FitLabel(FitLabel::Shrink, this);
  Para_->setObjectName(QStringLiteral("Para"));
  Para_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Para_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  Para_->setFixedWidth(70);

  PUnit_ = new FitLabel(FitLabel::Elide, this);
  PUnit_->setObjectName(QStringLiteral("PUnit"));
  PUnit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  PUnit_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  PUnit_->setFixedWidth(60);

  Data_ = new FitLabel(FitLabel::Shrink, this);
  Data_->setObjectName(QStringLiteral("Data"));
  Data_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* values = new QHBoxLayout;
  values->setContentsMargins(0, 0, 0, 0);
  values->setSpacing(0);
  values->addWidget(Para_);
  values->addWidget(Data_, 1);
  values->addWidget(PUnit_);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addLayout(values, 1);
  column->addWidget(Info_);

  SetParaFont(ParaFont_);
  SetInfoFont(InfoFont_);
}

void TKVXMonitorInfoPanel::SetParaFont(const QFont& value) {
  ParaFont_ = value;
  Para_->setFont(ParaFont_);
  Data_->setFont(ParaFont_);
  PUnit_->setFont(ParaFont_);
}

void TKVXMonitorInfoPanel::SetInfoFont(const QFont& value) {
  InfoFont_ = value;
  Info_->setFont(InfoFont_);
  // The help line is exactly as high as its font needs; the values get the rest.
  Info_->setFixedHeight(QFontMetrics(InfoFont_).height());
}

void TKVXMonitorInfoPanel::SetParaWidth(int width) { Para_->setFixedWidth(std::max(0, width)); }

void TKVXMonitorInfoPanel::SetPUnitWidth(int width) { PUnit_->setFixedWidth(std::max(0, width)); }

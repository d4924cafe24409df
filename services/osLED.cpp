#include "services/osLED.h"

#include <QLabel>
#include <QMouseEvent>

#include "services/QtText.h"

namespace {

TLEDColor ToLedColor(TosLedColor c) {
  switch (c) {
    case TosLedColor::lcRed: return lcRed;
    case TosLedColor::lcBlue: return lcBlue;
    case TosLedColor::lcYellow: return lcYellow;
    case TosLedColor::lcGreen: return lcGreen;
  }
  return lcRed;
}

TosLedColor FromLedColor(TLEDColor c) {
  switch (c) {
    case lcRed: return TosLedColor::lcRed;
    case lcBlue: return TosLedColor::lcBlue;
    case lcYellow: return TosLedColor::lcYellow;
    case lcGreen: return TosLedColor::lcGreen;
  }
  return TosLedColor::lcRed;
}

}  // namespace

TosNamedLed::TosNamedLed(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::NoFrame);
  Led_ = new TvLED(this);
  LedLabel_ = new QLabel(this);
  LedLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  LedLabel_->setText(FromAnsi(LedText_));
  Led_->installEventFilter(this);
  LedLabel_->installEventFilter(this);
  resize(120, Led_->height() + 2);
  ArrangeChildren();
}

void TosNamedLed::SetLedText(const std::string& Value) {
  LedText_ = Value;
  LedLabel_->setText(FromAnsi(Value));
}

TosLedState TosNamedLed::State() const { return Led_->State() == lsON ? TosLedState::lsOn : TosLedState::lsOff; }

void TosNamedLed::SetState(TosLedState Value) { Led_->SetState(Value == TosLedState::lsOn ? lsON : lsOFF); }

TosLedColor TosNamedLed::Color() const { return FromLedColor(Led_->Color()); }

void TosNamedLed::SetColor(TosLedColor Value) { Led_->SetColor(ToLedColor(Value)); }

void TosNamedLed::ArrangeChildren() {
  if (arranging_) return;
  arranging_ = true;
  const int ledH = Led_->height();
  Led_->move(0, 0);
  LedLabel_->setGeometry(Led_->width(), 0, qMax(0, width() - Led_->width()), ledH);
  LedLabel_->setText(FromAnsi(LedText_));
  // The height follows the lamp; layouts and callers cannot change it.
  setFixedHeight(ledH + 2);
  arranging_ = false;
}

void TosNamedLed::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  ArrangeChildren();
}

void TosNamedLed::ChildClick() {
  if (OnClick) OnClick(this);
}

bool TosNamedLed::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == Led_ || watched == LedLabel_) && event->type() == QEvent::MouseButtonRelease) {
    auto* me = static_cast<QMouseEvent*>(event);
    auto* w = static_cast<QWidget*>(watched);
    if (me->button() == Qt::LeftButton && w->rect().contains(me->position().toPoint())) ChildClick();
    return true;
  }
  return QFrame::eventFilter(watched, event);
}

void TosNamedLed::mouseReleaseEvent(QMouseEvent* event) {
  // The panel's own click (outside lamp and label, e.g. the two spare lines) counts as well.
  QFrame::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) ChildClick();
}

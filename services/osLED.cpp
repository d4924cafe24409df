#include "services/osLED.h"

#include <QAccessible>
#include <QAccessibleWidget>
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

// The panel for assistive tools: one indicator, its lamp and label not shown on their own.
class TNamedLedAccessible : public QAccessibleWidget {
 public:
  explicit TNamedLedAccessible(TosNamedLed* led) : QAccessibleWidget(led, QAccessible::Indicator) {}

  QString text(QAccessible::Text t) const override {
    const auto* led = static_cast<const TosNamedLed*>(widget());
    if (t == QAccessible::Name && led->accessibleName().isEmpty())
      return FromAnsi(led->LedText()).trimmed();
    if (t == QAccessible::Description && led->accessibleDescription().isEmpty())
      return led->AccessibleDescriptionText();
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.readOnly = true;
    s.checked = static_cast<const TosNamedLed*>(widget())->State() == TosLedState::lsOn;
    return s;
  }

  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
};

QAccessibleInterface* NamedLedAccessibleFactory(const QString& ClassName, QObject* Object) {
  if (ClassName == QLatin1String("TosNamedLed") && Object && Object->isWidgetType())
    return new TNamedLedAccessible(static_cast<TosNamedLed*>(Object));
  return nullptr;
}

// Tells assistive tools that the panel's state, name or description changed.
void NotifyAccessible(TosNamedLed* Led, bool StateChanged, QAccessible::Event Text) {
  if (!QAccessible::isActive()) return;
  if (StateChanged) {
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent state(Led, changed);
    QAccessible::updateAccessibility(&state);
  }
  QAccessibleEvent text(Led, Text);
  QAccessible::updateAccessibility(&text);
}

}  // namespace

TosNamedLed::TosNamedLed(QWidget* parent) : QFrame(parent) {
  // Once, before the first panel can be asked for its interface.
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(NamedLedAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
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
  NotifyAccessible(this, false, QAccessible::NameChanged);
}

TosLedState TosNamedLed::State() const { return Led_->State() == lsON ? TosLedState::lsOn : TosLedState::lsOff; }

void TosNamedLed::SetState(TosLedState Value) {
  Led_->SetState(Value == TosLedState::lsOn ? lsON : lsOFF);
  NotifyAccessible(this, true, QAccessible::DescriptionChanged);
}

TosLedColor TosNamedLed::Color() const { return FromLedColor(Led_->Color()); }

void TosNamedLed::SetColor(TosLedColor Value) {
  Led_->SetColor(ToLedColor(Value));
  NotifyAccessible(this, false, QAccessible::DescriptionChanged);
}

QString TosNamedLed::AccessibleDescriptionText() const {
  const QString hint = toolTip().trimmed();
  return hint.isEmpty() ? Led_->AccessibleStateText() : hint + QStringLiteral(". ") + Led_->AccessibleStateText();
}

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

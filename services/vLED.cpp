#include "services/vLED.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPainter>
#include <QRadialGradient>

namespace {

// The lamp's colour when lit; unlit lamps are a dark shade of it.
QColor LitColor(TLEDColor c) {
  switch (c) {
    case lcYellow: return QColor(255, 230, 0);
    case lcRed: return QColor(255, 30, 20);
    case lcGreen: return QColor(20, 225, 40);
    case lcBlue: return QColor(40, 110, 255);
  }
  return Qt::gray;
}

QPixmap DrawLamp(TLEDColor color, TLEDState state, TLEDSize size) {
  const int px = TvLED::LampPixels(size);
  QPixmap pm(px, px);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF ring(0.5, 0.5, px - 1.0, px - 1.0);
  // A grey bezel around the glass.
  p.setPen(QPen(QColor(90, 90, 90), 1.0));
  p.setBrush(QColor(170, 170, 170));
  p.drawEllipse(ring);
  const qreal inset = px >= 23 ? 2.5 : 1.5;
  const QRectF glass = ring.adjusted(inset, inset, -inset, -inset);
  const QColor lit = LitColor(color);
  const QColor base = state == lsON ? lit : lit.darker(330);
  QRadialGradient g(glass.center() - QPointF(glass.width() * 0.18, glass.height() * 0.18),
                    glass.width() * 0.65);
  g.setColorAt(0.0, state == lsON ? base.lighter(170) : base.lighter(140));
  g.setColorAt(1.0, base);
  p.setPen(QPen(base.darker(160), 0.8));
  p.setBrush(g);
  p.drawEllipse(glass);
  // The reflection on the glass.
  const QRectF shine(glass.left() + glass.width() * 0.22, glass.top() + glass.height() * 0.14,
                     glass.width() * 0.34, glass.height() * 0.24);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, state == lsON ? 170 : 70));
  p.drawEllipse(shine);
  return pm;
}

// The lamp for assistive tools: an indicator whose checked state is the lamp's.
class TLampAccessible : public QAccessibleWidget {
 public:
  explicit TLampAccessible(TvLED* lamp) : QAccessibleWidget(lamp, QAccessible::Indicator) {}

  QString text(QAccessible::Text t) const override {
    const auto* lamp = static_cast<const TvLED*>(widget());
    if (t == QAccessible::Name && lamp->accessibleName().isEmpty())
      return TvLED::ColorName(lamp->Color()) + QStringLiteral(" lamp");
    if (t == QAccessible::Description && lamp->accessibleDescription().isEmpty())
      return lamp->State() == lsON ? QStringLiteral("on") : QStringLiteral("off");
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.readOnly = true;
    s.checked = static_cast<const TvLED*>(widget())->State() == lsON;
    return s;
  }
};

QAccessibleInterface* LampAccessibleFactory(const QString& ClassName, QObject* Object) {
  if (ClassName == QLatin1String("TvLED") && Object && Object->isWidgetType())
    return new TLampAccessible(static_cast<TvLED*>(Object));
  return nullptr;
}

}  // namespace

TvLED::TvLED(QWidget* parent) : QWidget(parent) {
  // Once, before the first lamp can be asked for its interface.
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(LampAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setAttribute(Qt::WA_TranslucentBackground);
  UpdateBitmap();
}

QString TvLED::ColorName(TLEDColor Color) {
  switch (Color) {
    case lcYellow: return QStringLiteral("Yellow");
    case lcRed: return QStringLiteral("Red");
    case lcGreen: return QStringLiteral("Green");
    case lcBlue: return QStringLiteral("Blue");
  }
  return QString();
}

QString TvLED::AccessibleStateText() const {
  return ColorName(Color_) + (State_ == lsON ? QStringLiteral(" lamp on") : QStringLiteral(" lamp off"));
}

int TvLED::LampPixels(TLEDSize Size) {
  switch (Size) {
    case lzSmall: return 15;
    case lzBig: return 35;
    default: return 23;
  }
}

QString TvLED::LampName(TLEDColor Color, TLEDState State, TLEDSize Size) {
  static const char letters[] = {'Y', 'R', 'G', 'B'};
  QString name(QChar::fromLatin1(letters[Color]));
  name += State == lsON ? QStringLiteral("ON") : QStringLiteral("OFF");
  if (Size == lzSmall) name += QLatin1Char('S');
  if (Size == lzBig) name += QLatin1Char('B');
  return name;
}

QPixmap TvLED::LampPicture(TLEDColor Color, TLEDState State, TLEDSize Size) {
  static QHash<QString, QPixmap> pictures;
  const QString name = LampName(Color, State, Size);
  auto it = pictures.find(name);
  if (it == pictures.end()) it = pictures.insert(name, DrawLamp(Color, State, Size));
  return *it;
}

QString TvLED::BitmapName() const { return LampName(Color_, State_, Size_); }

void TvLED::SetSize(TLEDSize Value) {
  Size_ = Value;
  UpdateBitmap();
}

void TvLED::SetState(TLEDState Value) {
  State_ = Value;
  UpdateBitmap();
}

void TvLED::SetColor(TLEDColor Value) {
  Color_ = Value;
  UpdateBitmap();
}

void TvLED::UpdateBitmap() {
  Picture_ = LampPicture(Color_, State_, Size_);
  setFixedSize(Picture_.size());
  update();
  if (QAccessible::isActive()) {
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent state(this, changed);
    QAccessible::updateAccessibility(&state);
    QAccessibleEvent text(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&text);
  }
}

void TvLED::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, Picture_);
}

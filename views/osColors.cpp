#include "views/osColors.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace {

// The desktop element indexes a system colour may name, mapped to the palette role that plays
// the same part in a Qt style.
QPalette::ColorRole RoleOfSystemIndex(std::uint32_t index) {
  switch (index) {
    case 1:   // desktop background
    case 12:  // application work space
      return QPalette::Dark;
    case 2:   // active caption
    case 13:  // selection
      return QPalette::Highlight;
    case 14:  // selected text
      return QPalette::HighlightedText;
    case 4:   // menu
    case 10:  // active border
    case 11:  // inactive border
    case 15:  // button face
    case 22:  // 3D light
      return QPalette::Button;
    case 5:   // window background
      return QPalette::Base;
    case 6:   // window frame
    case 21:  // 3D dark shadow
      return QPalette::Shadow;
    case 7:   // menu text
    case 8:   // window text
      return QPalette::WindowText;
    case 16:  // button shadow
      return QPalette::Mid;
    case 18:  // button text
      return QPalette::ButtonText;
    case 20:  // button highlight
      return QPalette::Light;
    case 23:  // tool tip text
      return QPalette::ToolTipText;
    case 24:  // tool tip background
      return QPalette::ToolTipBase;
    default:
      return QPalette::Window;
  }
}

double Linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
  return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}

QColor Mix(const QColor& from, const QColor& to, double t) {
  auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
  return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                mix(from.blue(), to.blue()));
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableTextColor(const QColor& text, const QColor& background, double minRatio) {
  // Black reaches 4.5:1 on every background lighter than this, white on every darker one.
  const QColor target = Luminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
  for (int step = 0; step <= 50; ++step) {
    const QColor c = Mix(text, target, step / 50.0);
    if (ContrastRatio(c, background) >= minRatio) return c;
  }
  return target;
}

QColor ColorToQColor(TColor c) {
  if (IsSystemColor(c)) {
    const QPalette pal = QGuiApplication::instance() ? QGuiApplication::palette() : QPalette();
    if (c == clSystemColor + 17u)  // disabled text
      return pal.color(QPalette::Disabled, QPalette::WindowText);
    return pal.color(QPalette::Active, RoleOfSystemIndex(c & 0x00FFFFFFu));
  }
  return PlainColorToQColor(c);
}

QColor PlainColorToQColor(TColor c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

TColor QColorToColor(const QColor& c) {
  return static_cast<TColor>(c.red()) | (static_cast<TColor>(c.green()) << 8) |
         (static_cast<TColor>(c.blue()) << 16);
}

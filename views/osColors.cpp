#include "views/osColors.h"

#include <QGuiApplication>
#include <QPalette>

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

}  // namespace

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

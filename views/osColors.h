// Colours as the program stores them: a 32-bit value with red in the low byte, green in the
// next and blue in the third ($FF0000 is blue). A value whose top byte is $FF names a system
// colour instead: its low 24 bits are the index of the desktop's colour for that kind of element
// (button face, window background, ...), which is looked up in the application's palette.
#pragma once

#include <QColor>
#include <cstdint>

using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clGreen = 0x008000;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSystemColor = 0xFF000000u;
constexpr TColor clBtnFace = clSystemColor | 15u;
constexpr TColor clWindow = clSystemColor | 5u;
constexpr TColor clWindowText = clSystemColor | 8u;

constexpr bool IsSystemColor(TColor c) { return (c & 0xFF000000u) == clSystemColor; }

// The colour for drawing. A system colour is taken from the application palette, so call this
// on the window thread and hand the result to other threads.
QColor ColorToQColor(TColor c);

// The red, green and blue bytes of the value, for colours that are always plain RGB (grid and
// channel colours); safe on any thread.
QColor PlainColorToQColor(TColor c);

// A plain RGB value of QColor's red, green and blue (alpha ignored).
TColor QColorToColor(const QColor& c);

// The contrast ratio of two colours as the accessibility guidelines define it, from 1 (same
// lightness) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// `text` when it stands out from `background` by at least `minRatio`; otherwise the same hue
// darkened (on a light background) or lightened (on a dark one) just enough that it does. For
// texts drawn in a style colour that may be too pale to read.
QColor ReadableTextColor(const QColor& text, const QColor& background, double minRatio = 4.5);

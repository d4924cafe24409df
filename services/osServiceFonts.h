// The fonts of the program's forms. The forms were drawn with Arial; Liberation Sans has the same
// metrics and stands in for it (Arial is taken where Liberation Sans is missing).
#pragma once

#include <QDialog>
#include <QFont>
#include <QStringList>

// A negative height in the form designs is a pixel size.
inline QFont ArialFont(int pixelSize, bool bold = false) {
  QFont f;
  f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  return f;
}

inline QFont ArialPointFont(int pointSize) {
  QFont f = ArialFont(12);
  f.setPointSize(pointSize);
  return f;
}

// A fixed-size dialog in the forms' style: no help button in its title, the forms' font.
inline void SetupDialogForm(QDialog* Form, int FontPixelSize = 11) {
  Form->setWindowFlags((Form->windowFlags() | Qt::MSWindowsFixedSizeDialogHint) &
                       ~Qt::WindowContextHelpButtonHint);
  Form->setFont(ArialFont(FontPixelSize));
}

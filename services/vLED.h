// A lamp in one of four colours, on or off, in three sizes (15, 23 and 35 pixels). The 24
// pictures are drawn by the program; each keeps the name it is known by ("RON", "GOFFS", ...).
// Screen readers meet it as an indicator named by its colour (or its accessible name), checked
// while it is on.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

enum TLEDColor { lcYellow, lcRed, lcGreen, lcBlue };
enum TLEDState { lsON, lsOFF };
enum TLEDSize { lzSmall, lzNormal, lzBig };

class TvLED : public QWidget {
  Q_OBJECT

 public:
  explicit TvLED(QWidget* parent = nullptr);

  TLEDSize Size() const { return Size_; }
  void SetSize(TLEDSize Value);
  TLEDState State() const { return State_; }
  void SetState(TLEDState Value);
  TLEDColor Color() const { return Color_; }
  void SetColor(TLEDColor Value);

  // The name of the picture shown: colour letter, "ON"/"OFF", size suffix ("S", "", "B").
  QString BitmapName() const;
  const QPixmap& Picture() const { return Picture_; }

  // The picture of a name's lamp, drawn once and kept.
  static QPixmap LampPicture(TLEDColor Color, TLEDState State, TLEDSize Size);
  static QString LampName(TLEDColor Color, TLEDState State, TLEDSize Size);
  static int LampPixels(TLEDSize Size);

  // Takes the picture of the current colour, state and size and repaints.
  void UpdateBitmap();

  // What a screen reader says of the lamp: its colour ("Red lamp") and "on" or "off".
  static QString ColorName(TLEDColor Color);
  QString AccessibleStateText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TLEDSize Size_ = lzNormal;
  TLEDState State_ = lsOFF;
  TLEDColor Color_ = lcRed;
  QPixmap Picture_;
};

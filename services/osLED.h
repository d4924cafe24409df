// A lamp with a text to its right on a borderless panel, as the monitor page shows the module's
// status bits. Its height is the lamp's plus two and cannot be changed. Screen readers meet the
// panel as one indicator named by its text, described by its hint and lamp ("Red lamp on") and
// checked while the lamp is on.
#pragma once

#include <QFrame>
#include <functional>
#include <string>

#include "platform/Object.h"
#include "services/vLED.h"

class QLabel;

// The named LED's own orders; they differ from the lamp's, so they are translated by name.
// Scoped, as the value names are the lamp's too.
enum class TosLedColor { lcRed, lcBlue, lcYellow, lcGreen };
enum class TosLedState { lsOn, lsOff };

class TosNamedLed : public QFrame, public TObject {
  Q_OBJECT

 public:
  explicit TosNamedLed(QWidget* parent = nullptr);

  const std::string& LedText() const { return LedText_; }
  void SetLedText(const std::string& Value);
  TosLedState State() const;
  void SetState(TosLedState Value);
  TosLedColor Color() const;
  void SetColor(TosLedColor Value);

  TvLED* Led() const { return Led_; }
  QLabel* LedLabel() const { return LedLabel_; }

  // Clicking the lamp or the label; Sender is the panel.
  std::function<void(TObject* Sender)> OnClick;

  void ArrangeChildren();
  // Raises OnClick for the panel.
  void ChildClick();
  // What a screen reader says besides the name: the hint, then the lamp's colour and state.
  QString AccessibleDescriptionText() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TvLED* Led_;
  QLabel* LedLabel_;
  std::string LedText_ = "LED";
  bool arranging_ = false;
};

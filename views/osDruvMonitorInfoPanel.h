// One read-out of the monitor: a raised panel with the process value's name on the left, its
// value large in the middle, its physical unit on the right and its help text small underneath.
#pragma once

#include <QFont>
#include <QFrame>
#include <QLabel>

class TKVXMonitorInfoPanel : public QFrame {
  Q_OBJECT

 public:
  // The size a new panel has; the monitor's row spacing is built on the height.
  static constexpr int DefaultWidth = 300;
  static constexpr int DefaultHeight = 55;

  explicit TKVXMonitorInfoPanel(QWidget* parent = nullptr);

  QLabel* Para() const { return Para_; }
  QLabel* Data() const { return Data_; }
  QLabel* PUnit() const { return PUnit_; }
  QLabel* Info() const { return Info_; }

  // Font of the name, the value and the unit ("Arial" 20 pt at first).
  const QFont& ParaFont() const { return ParaFont_; }
  // Takes the font and applies it to the three labels at once.
  void SetParaFont(const QFont& value);
  // Font of the help text ("Arial" 8 pt at first).
  const QFont& InfoFont() const { return InfoFont_; }
  void SetInfoFont(const QFont& value);

  // Widths of the name and unit columns (70 and 60 at first); the value takes the rest.
  void SetParaWidth(int width);
  void SetPUnitWidth(int width);

 private:
  QLabel* Info_ = nullptr;
  QLabel* Para_ = nullptr;
  QLabel* PUnit_ = nullptr;
  QLabel* Data_ = nullptr;
  QFont ParaFont_;
  QFont InfoFont_;
};

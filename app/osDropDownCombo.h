// A combo box that tells its owner when its list is about to drop down, so the list can be
// filled just in time (ports plugged in after start, signals still free).
#pragma once

#include <QComboBox>
#include <functional>

class TDropDownCombo : public QComboBox {
 public:
  using QComboBox::QComboBox;

  std::function<void()> OnDropDown;

  void showPopup() override {
    if (OnDropDown) OnDropDown();
    QComboBox::showPopup();
  }
};

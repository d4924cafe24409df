// The small password form: one masked entry with OK and Cancel. Only printable characters go in
// (32-126 and 160-255), so no control character (a CR from Ctrl+M) can reach the module's
// command line.
#pragma once

#include <QDialog>
#include <QValidator>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// Accepts a text only when every character is printable and has a byte of its own.
class TPasswordCharValidator : public QValidator {
  Q_OBJECT

 public:
  using QValidator::QValidator;
  static bool IsPasswordChar(char32_t ch) { return (ch >= 32 && ch <= 126) || (ch >= 160 && ch <= 255); }
  State validate(QString& input, int& pos) const override;
};

class TSimplePasswForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSimplePasswForm(QWidget* parent = nullptr);

  QLabel* LabelPassword = nullptr;
  QLineEdit* LEditPassword = nullptr;
  QPushButton* BBtnOk = nullptr;
  QPushButton* BBtnCancel = nullptr;

  // Asked when OK is pressed: Accepted closes the form with OK, Rejected closes it as Cancel,
  // KeepOpen leaves it open. Without a handler OK closes at once.
  static constexpr int KeepOpen = -1;
  std::function<int()> OnCloseQuery;

 public slots:
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;
};

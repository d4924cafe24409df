// The check list of the hidden options with OK and Cancel.
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

class TApplOptionsDlgForm : public QDialog {
  Q_OBJECT

 public:
  explicit TApplOptionsDlgForm(QWidget* parent = nullptr);

  // Places the form over the window the user works in (the main window), or leaves it to the
  // system when there is none.
  void CentreOnActiveWindow();

  QListWidget* ChkLBox = nullptr;
  QPushButton* BBtnOK = nullptr;
  QPushButton* BBtnCancel = nullptr;
};

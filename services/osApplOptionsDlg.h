// The check list of the hidden options with OK and Cancel.
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

class TApplOptionsDlgForm : public QDialog {
  Q_OBJECT

 public:
  explicit TApplOptionsDlgForm(QWidget* parent = nullptr);

  QListWidget* ChkLBox = nullptr;
  QPushButton* BBtnOK = nullptr;
  QPushButton* BBtnCancel = nullptr;
};

// A plain dialog with a framed area and the buttons "OK" and "Abbrechen" below it; dialogs of
// the main window derive from it and fill the frame.
#pragma once

#include <QDialog>

class QFrame;
class QPushButton;

class TOKBottomDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOKBottomDlg(QWidget* parent = nullptr);

  QFrame* Bevel1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};

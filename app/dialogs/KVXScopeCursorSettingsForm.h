// Which cursor pairs the scope shows, and which channel's scale the amplitude cursors use.
#pragma once

#include <QDialog>

#include "views/osDRUVScopeCursors.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QWidget;

class TScopeCursorDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TScopeCursorDlg(QWidget* parent = nullptr);

  // Shows Channel (1..4) and Cursors; on OK both take what the user chose and the result is true.
  // Any other end leaves them unchanged and gives false.
  bool Execute(TCursorCha& Channel, TCursors& Cursors);

  // The chosen item of the channel group, 0..3.
  int ChannelIndex() const;
  void SetChannelIndex(int Index);

  QWidget* Panel1 = nullptr;
  QWidget* Panel2 = nullptr;
  QPushButton* BBtnOK = nullptr;
  QPushButton* BBtnCancel = nullptr;
  QGroupBox* RGrpChaSelect = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* CBTime = nullptr;
  QCheckBox* CBAmplitude = nullptr;

 private:
  QButtonGroup* ChaButtons_ = nullptr;
};

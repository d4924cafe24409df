// Chooses one module's data set when a parameter or module-description file holds several and
// none matches the identified module (the protocol's OnModIdSelRequest).
#pragma once

#include <QDialog>

#include "model/MyGlobalUtils.h"

class QGroupBox;
class QListWidget;
class QPushButton;

class TModulIdSelDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TModulIdSelDlg(QWidget* parent = nullptr);

  // The index (from 0) of the entry chosen with OK; -1 for Cancel, the close box, OK without a
  // choice, or no list or an empty one (then nothing is shown). Texts are Windows-1252.
  int Execute(const TStringList* List);
  int Execute(const TStringList& List) { return Execute(&List); }

  QGroupBox* GroupBox1 = nullptr;
  QListWidget* LBoxIdList = nullptr;
  QPushButton* BBtnOK = nullptr;
  QPushButton* BBtnCancel = nullptr;
};

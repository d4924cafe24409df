#include "app/dialogs/KVXModIdSelDlgForm.h"

#include <string>
#include <unordered_set>
#include <vector>

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "services/QtText.h"
#include "services/osDialogHooks.h"
#include "services/osServiceFonts.h"

TModulIdSelDlg::TModulIdSelDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("ModulIdSelDlg");
  setWindowTitle("Modul Selection");
  SetupDialogForm(this);

  GroupBox1 = new QGroupBox("Available Modul Data", this);
  GroupBox1->setObjectName("GroupBox1");
  LBoxIdList = new QListWidget(GroupBox1);
  LBoxIdList->setObjectName("LBoxIdList");
  LBoxIdList->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* g = new QVBoxLayout(GroupBox1);
  g->addWidget(LBoxIdList);

  BBtnOK = new QPushButton("OK", this);
  BBtnOK->setObjectName("BBtnOK");
  BBtnOK->setDefault(true);
  BBtnCancel = new QPushButton("Cancel", this);
  BBtnCancel->setObjectName("BBtnCancel");
  connect(BBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BBtnOK);
  buttons->addWidget(BBtnCancel);
  auto* top = new QVBoxLayout(this);
  top->addWidget(GroupBox1, 1);
  top->addLayout(buttons);
  setFixedSize(221, 271);
}

int TModulIdSelDlg::Execute(const TStringList* List) {
  if (!List) return -1;
  LBoxIdList->clear();
  // Two identical lines could not be told apart: an entry given twice is shown once and stands
  // for its first place in the list.
  std::vector<int> places;
  std::unordered_set<std::string> shown;
  for (std::size_t i = 0; i < List->size(); ++i) {
    const std::string& s = (*List)[i];
    if (!shown.insert(s).second) continue;
    LBoxIdList->addItem(FromAnsi(s));
    places.push_back(static_cast<int>(i));
  }
  LBoxIdList->setCurrentRow(-1);
  LBoxIdList->clearSelection();
  if (LBoxIdList->count() == 0) return -1;
  if (ExecModal(this) != QDialog::Accepted) return -1;
  const QList<QListWidgetItem*> chosen = LBoxIdList->selectedItems();
  return chosen.isEmpty() ? -1 : places[static_cast<std::size_t>(LBoxIdList->row(chosen.first()))];
}

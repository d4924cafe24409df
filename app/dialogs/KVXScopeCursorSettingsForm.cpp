#include "app/dialogs/KVXScopeCursorSettingsForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "services/osDialogHooks.h"
#include "services/osServiceFonts.h"

TScopeCursorDlg::TScopeCursorDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("ScopeCursorDlg");
  setWindowTitle("Scope Cursor Settings");
  SetupDialogForm(this);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  RGrpChaSelect = new QGroupBox("Channel select", Panel1);
  RGrpChaSelect->setObjectName("RGrpChaSelect");
  RGrpChaSelect->setFixedWidth(115);
  ChaButtons_ = new QButtonGroup(this);
  auto* radios = new QVBoxLayout(RGrpChaSelect);
  for (int i = 0; i < 4; ++i) {
    auto* b = new QRadioButton(QString("Channel %1").arg(i + 1), RGrpChaSelect);
    b->setObjectName(QString("RBtnChannel%1").arg(i + 1));
    ChaButtons_->addButton(b, i);
    radios->addWidget(b);
  }
  radios->addStretch();
  ChaButtons_->button(0)->setChecked(true);

  GroupBox1 = new QGroupBox("Adjustment", Panel1);
  GroupBox1->setObjectName("GroupBox1");
  CBAmplitude = new QCheckBox("Amplitude", GroupBox1);
  CBAmplitude->setObjectName("CBAmplitude");
  CBTime = new QCheckBox("Time", GroupBox1);
  CBTime->setObjectName("CBTime");
  auto* checks = new QVBoxLayout(GroupBox1);
  checks->setContentsMargins(12, 8, 6, 6);
  checks->addWidget(CBAmplitude);
  checks->addWidget(CBTime);
  checks->addStretch();

  auto* p1 = new QHBoxLayout(Panel1);
  p1->setContentsMargins(4, 4, 4, 4);
  p1->addWidget(RGrpChaSelect);
  p1->addWidget(GroupBox1, 1);

  Panel2 = new QWidget(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFixedHeight(52);
  BBtnOK = new QPushButton("OK", Panel2);
  BBtnOK->setObjectName("BBtnOK");
  BBtnOK->setDefault(true);
  BBtnOK->setGeometry(17, 16, 89, 25);
  BBtnCancel = new QPushButton("Cancel", Panel2);
  BBtnCancel->setObjectName("BBtnCancel");
  BBtnCancel->setGeometry(132, 16, 89, 25);
  connect(BBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  top->addWidget(Panel1, 1);
  top->addWidget(Panel2);

  // Time comes before Amplitude in the tab order.
  setTabOrder(ChaButtons_->button(0), CBTime);
  setTabOrder(CBTime, CBAmplitude);
  setTabOrder(CBAmplitude, BBtnOK);
  setTabOrder(BBtnOK, BBtnCancel);
  setFixedSize(234, 183);
}

int TScopeCursorDlg::ChannelIndex() const { return ChaButtons_->checkedId(); }

void TScopeCursorDlg::SetChannelIndex(int Index) {
  if (QAbstractButton* b = ChaButtons_->button(Index)) {
    b->setChecked(true);
  } else if (QAbstractButton* checked = ChaButtons_->checkedButton()) {
    // An index outside 0..3 chooses nothing.
    ChaButtons_->setExclusive(false);
    checked->setChecked(false);
    ChaButtons_->setExclusive(true);
  }
}

bool TScopeCursorDlg::Execute(TCursorCha& Channel, TCursors& Cursors) {
  CBAmplitude->setChecked(Cursors.Contains(ckAmplitude));
  CBTime->setChecked(Cursors.Contains(ckTime));
  SetChannelIndex(static_cast<int>(Channel) - 1);
  if (ExecModal(this) != QDialog::Accepted) return false;
  // With no channel chosen the channel stays as it was.
  if (ChannelIndex() >= 0) Channel = static_cast<TCursorCha>(ChannelIndex() + 1);
  if (CBAmplitude->isChecked()) Cursors.Include(ckAmplitude);
  else Cursors.Exclude(ckAmplitude);
  if (CBTime->isChecked()) Cursors.Include(ckTime);
  else Cursors.Exclude(ckTime);
  return true;
}

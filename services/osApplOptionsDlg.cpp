#include "services/osApplOptionsDlg.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "services/osServiceFonts.h"

TApplOptionsDlgForm::TApplOptionsDlgForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ApplOptionsDlgForm"));
  setWindowTitle(QStringLiteral("Options"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  setFont(ArialFont(13));
  setFixedSize(274, 373);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  auto* panel1 = new QWidget(this);
  panel1->setObjectName(QStringLiteral("Panel1"));
  auto* p1 = new QVBoxLayout(panel1);
  p1->setContentsMargins(6, 6, 6, 0);
  ChkLBox = new QListWidget(panel1);
  ChkLBox->setObjectName(QStringLiteral("ChkLBox"));
  ChkLBox->setUniformItemSizes(true);
  ChkLBox->setStyleSheet(QStringLiteral("QListWidget::item { height: 16px; }"));
  p1->addWidget(ChkLBox);
  outer->addWidget(panel1, 1);

  auto* panel2 = new QWidget(this);
  panel2->setObjectName(QStringLiteral("Panel2"));
  panel2->setFixedHeight(41);
  auto* p2 = new QHBoxLayout(panel2);
  p2->setContentsMargins(6, 0, 6, 0);
  BBtnOK = new QPushButton(QStringLiteral("OK"), panel2);
  BBtnOK->setObjectName(QStringLiteral("BBtnOK"));
  BBtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BBtnOK->setDefault(true);
  BBtnOK->setFixedWidth(97);
  BBtnCancel = new QPushButton(QStringLiteral("Cancel"), panel2);
  BBtnCancel->setObjectName(QStringLiteral("BBtnCancel"));
  BBtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  BBtnCancel->setFixedWidth(97);
  p2->addStretch(1);
  p2->addWidget(BBtnOK);
  p2->addSpacing(12);
  p2->addWidget(BBtnCancel);
  p2->addStretch(1);
  outer->addWidget(panel2);

  connect(BBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

#include "services/osPasswordForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "services/osServiceFonts.h"

QValidator::State TPasswordCharValidator::validate(QString& input, int&) const {
  for (char32_t ch : input.toUcs4())
    if (!IsPasswordChar(ch)) return Invalid;
  return Acceptable;
}

TSimplePasswForm::TSimplePasswForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SimplePasswForm"));
  setWindowTitle(QStringLiteral("Enter Password"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  setFont(ArialFont(11));
  setFixedSize(303, 157);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  auto* panel1 = new QFrame(this);
  panel1->setObjectName(QStringLiteral("Panel1"));
  panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* p1 = new QVBoxLayout(panel1);
  p1->setContentsMargins(31, 16, 31, 16);
  p1->setSpacing(3);
  LabelPassword = new QLabel(QStringLiteral("Password"), panel1);
  LabelPassword->setObjectName(QStringLiteral("LabelPassword"));
  LEditPassword = new QLineEdit(panel1);
  LEditPassword->setObjectName(QStringLiteral("LEditPassword"));
  LEditPassword->setEchoMode(QLineEdit::Password);
  LEditPassword->setFixedWidth(241);
  LEditPassword->setValidator(new TPasswordCharValidator(LEditPassword));
  LabelPassword->setBuddy(LEditPassword);
  p1->addStretch(1);
  p1->addWidget(LabelPassword);
  p1->addWidget(LEditPassword);
  p1->addStretch(1);
  outer->addWidget(panel1, 1);

  auto* panel2 = new QFrame(this);
  panel2->setObjectName(QStringLiteral("Panel2"));
  panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel2->setFixedHeight(50);
  auto* p2 = new QHBoxLayout(panel2);
  BBtnOk = new QPushButton(QStringLiteral("OK"), panel2);
  BBtnOk->setObjectName(QStringLiteral("BBtnOk"));
  BBtnOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BBtnOk->setDefault(true);
  BBtnOk->setFixedWidth(97);
  BBtnCancel = new QPushButton(QStringLiteral("Cancel"), panel2);
  BBtnCancel->setObjectName(QStringLiteral("BBtnCancel"));
  BBtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  BBtnCancel->setFixedWidth(97);
  p2->addStretch(1);
  p2->addWidget(BBtnOk);
  p2->addSpacing(16);
  p2->addWidget(BBtnCancel);
  p2->addStretch(1);
  outer->addWidget(panel2);

  connect(BBtnOk, &QPushButton::clicked, this, &TSimplePasswForm::accept);
  connect(BBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TSimplePasswForm::accept() {
  const int answer = OnCloseQuery ? OnCloseQuery() : int(QDialog::Accepted);
  if (answer == QDialog::Accepted) QDialog::accept();
  else if (answer == QDialog::Rejected) QDialog::reject();
}

void TSimplePasswForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  LEditPassword->setFocus();
}

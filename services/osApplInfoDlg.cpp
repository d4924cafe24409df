#include "services/osApplInfoDlg.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "services/QtText.h"
#include "services/osServiceFonts.h"

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
  setCursor(Qt::PointingHandCursor);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::blue);
  setPalette(pal);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
    OnClick();
}

namespace {

QFrame* Panel(QWidget* parent, const char* name, bool bevel) {
  auto* p = new QFrame(parent);
  p->setObjectName(QString::fromLatin1(name));
  if (bevel) p->setFrameStyle(QFrame::Panel | QFrame::Raised);
  return p;
}

QLabel* Label(QWidget* parent, const char* name, const QFont& font, Qt::Alignment align) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setFont(font);
  l->setAlignment(align);
  return l;
}

void OpenLink(const QString& text) {
  if (!text.isEmpty()) QDesktopServices::openUrl(QUrl(text));
}

}  // namespace

TAboutDlgForm::TAboutDlgForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutDlgForm"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  setFont(ArialFont(10));

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  // Product: names and description on the left, the logo on the right.
  PanelProduktInfo = Panel(this, "PanelProduktInfo", false);
  PanelProduktInfo->setFixedHeight(131);
  auto* product = new QHBoxLayout(PanelProduktInfo);
  product->setContentsMargins(10, 8, 10, 6);
  PanelProductInfo = new QWidget(PanelProduktInfo);
  PanelProductInfo->setObjectName(QStringLiteral("PanelProductInfo"));
  PanelProductInfo->setFixedWidth(312);
  auto* names = new QVBoxLayout(PanelProductInfo);
  names->setContentsMargins(0, 0, 0, 0);
  names->setSpacing(2);
  LabProdukt = Label(PanelProductInfo, "LabProdukt", ArialFont(16, true), Qt::AlignLeft);
  LabVersion = Label(PanelProductInfo, "LabVersion", ArialFont(15), Qt::AlignLeft);
  LabCopyRight = Label(PanelProductInfo, "LabCopyRight", ArialFont(15), Qt::AlignLeft);
  MemoProduktDes = new QPlainTextEdit(PanelProductInfo);
  MemoProduktDes->setObjectName(QStringLiteral("MemoProduktDes"));
  MemoProduktDes->setReadOnly(true);
  MemoProduktDes->setFrameStyle(QFrame::NoFrame);
  MemoProduktDes->setFocusPolicy(Qt::NoFocus);
  MemoProduktDes->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MemoProduktDes->setFont(ArialFont(12));
  MemoProduktDes->document()->setDocumentMargin(0);
  MemoProduktDes->viewport()->setAutoFillBackground(false);
  MemoProduktDes->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
  names->addWidget(LabProdukt);
  names->addWidget(LabVersion);
  names->addWidget(LabCopyRight);
  names->addWidget(MemoProduktDes, 1);
  product->addWidget(PanelProductInfo);
  product->addStretch(1);
  CompanyLogo = new QLabel(PanelProduktInfo);
  CompanyLogo->setObjectName(QStringLiteral("CompanyLogo"));
  product->addWidget(CompanyLogo, 0, Qt::AlignTop | Qt::AlignRight);
  outer->addWidget(PanelProduktInfo);

  // The maker: address and the two links, centred.
  PanelCompanyInfo = Panel(this, "PanelCompanyInfo", true);
  auto* company = new QVBoxLayout(PanelCompanyInfo);
  company->setContentsMargins(10, 6, 10, 10);
  company->setSpacing(4);
  const QFont linkFont = ArialFont(12);
  LabelDummy = Label(PanelCompanyInfo, "LabelDummy", linkFont, Qt::AlignCenter);
  AdrLabel = Label(PanelCompanyInfo, "AdrLabel", linkFont, Qt::AlignCenter);
  EMailLabel = new TLinkLabel(PanelCompanyInfo);
  EMailLabel->setObjectName(QStringLiteral("EMailLabel"));
  EMailLabel->setFont(linkFont);
  EMailLabel->setAlignment(Qt::AlignCenter);
  WebLabel = new TLinkLabel(PanelCompanyInfo);
  WebLabel->setObjectName(QStringLiteral("WebLabel"));
  WebLabel->setFont(linkFont);
  WebLabel->setAlignment(Qt::AlignCenter);
  company->addWidget(LabelDummy);
  company->addWidget(AdrLabel);
  company->addSpacing(6);
  company->addWidget(EMailLabel, 0, Qt::AlignHCenter);
  company->addWidget(WebLabel, 0, Qt::AlignHCenter);
  company->addStretch(1);
  outer->addWidget(PanelCompanyInfo, 1);

  // The system the program runs on.
  PanelSysInfo = Panel(this, "PanelSysInfo", true);
  PanelSysInfo->setMinimumHeight(66);
  auto* sys = new QVBoxLayout(PanelSysInfo);
  sys->setContentsMargins(10, 6, 10, 6);
  sys->setSpacing(4);
  LabelSysInfo = Label(PanelSysInfo, "LabelSysInfo", ArialFont(12), Qt::AlignLeft | Qt::AlignVCenter);
  LabelSysInfo->setWordWrap(true);
  LabelMemInfo = Label(PanelSysInfo, "LabelMemInfo", ArialFont(12), Qt::AlignLeft | Qt::AlignVCenter);
  sys->addWidget(LabelSysInfo);
  sys->addWidget(LabelMemInfo);
  outer->addWidget(PanelSysInfo);

  Panel1 = Panel(this, "Panel1", true);
  Panel1->setFixedHeight(50);
  auto* buttons = new QHBoxLayout(Panel1);
  BBtnOK = new QPushButton(QStringLiteral("OK"), Panel1);
  BBtnOK->setObjectName(QStringLiteral("BBtnOK"));
  BBtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BBtnOK->setDefault(true);
  BBtnOK->setMinimumWidth(97);
  BBtnOK->setFont(ArialFont(12));
  buttons->addStretch(1);
  buttons->addWidget(BBtnOK);
  buttons->addStretch(1);
  outer->addWidget(Panel1);

  connect(BBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  EMailLabel->OnClick = [this] { EMailLabelClick(); };
  WebLabel->OnClick = [this] { WebLabelClick(); };
  resize(475, 410);
}

void TAboutDlgForm::FitToContents() {
  QSize s = sizeHint().expandedTo(QSize(475, 410));
  resize(s);
}

void TAboutDlgForm::FormKeyPress(char Key) {
  TypedText += Key;
  if (OnHiddenInput && TypedText == HiddenText) OnHiddenInput(this);
}

void TAboutDlgForm::EMailLabelClick() { OpenLink(EMailLabel->text()); }

void TAboutDlgForm::WebLabelClick() { OpenLink(WebLabel->text()); }

void TAboutDlgForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TAboutDlgForm::keyPressEvent(QKeyEvent* event) {
  // The OK button has the focus and passes on every key it does not take itself.
  for (QChar ch : event->text()) {
    char byte = 0;
    if (ch.isPrint() && ToAnsiChar(ch.unicode(), byte)) FormKeyPress(byte);
  }
  QDialog::keyPressEvent(event);
}

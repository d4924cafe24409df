// The About box: product, version, copyright and description, the maker's address with mail and
// web links, and the system line. Every key typed while it is open is also collected, to find
// the hidden input.
#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <string>

#include "platform/Object.h"

class QFrame;
class QPlainTextEdit;
class QPushButton;

// A label that opens its own text as a link when clicked.
class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent = nullptr);
  std::function<void()> OnClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAboutDlgForm : public QDialog, public TObject {
  Q_OBJECT

 public:
  explicit TAboutDlgForm(QWidget* parent = nullptr);

  QFrame* Panel1 = nullptr;
  QFrame* PanelSysInfo = nullptr;
  QFrame* PanelProduktInfo = nullptr;
  QLabel* CompanyLogo = nullptr;
  QWidget* PanelProductInfo = nullptr;
  QLabel* LabProdukt = nullptr;
  QLabel* LabVersion = nullptr;
  QLabel* LabCopyRight = nullptr;
  QFrame* PanelCompanyInfo = nullptr;
  QPlainTextEdit* MemoProduktDes = nullptr;
  QPushButton* BBtnOK = nullptr;
  QLabel* LabelDummy = nullptr;
  QLabel* AdrLabel = nullptr;
  TLinkLabel* EMailLabel = nullptr;
  TLinkLabel* WebLabel = nullptr;
  QLabel* LabelSysInfo = nullptr;
  QLabel* LabelMemInfo = nullptr;

  // The keys typed since the box was shown.
  std::string TypedText;
  // Raised when TypedText equals HiddenText.
  std::function<void(TObject* Sender)> OnHiddenInput;
  std::string HiddenText;

  // Start a new hidden input: the box was (re)opened.
  void FormShow() { TypedText.clear(); }
  // One typed character.
  void FormKeyPress(char Key);
  // Hand the label's text to the system: the mail program or the web browser opens.
  void EMailLabelClick();
  void WebLabelClick();
  // Sizes the box to its contents, never below its design size.
  void FitToContents();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

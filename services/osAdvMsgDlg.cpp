#include "services/osAdvMsgDlg.h"

#include <QApplication>
#include <algorithm>
#include <iterator>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <utility>

#include "services/QtText.h"

namespace {

TAdvMessageDlgHandler& Handler() {
  static TAdvMessageDlgHandler handler;
  return handler;
}

std::function<void(QDialog*)>& ShowHook() {
  static std::function<void(QDialog*)> hook;
  return hook;
}

constexpr TMsgDlgBtn kAllButtons[] = {mbYes,    mbNo,  mbOK,      mbCancel,   mbAbort, mbRetry,
                                      mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp};

}  // namespace

void SetAdvMessageDlgHandler(TAdvMessageDlgHandler handler) { Handler() = std::move(handler); }

void SetAdvMessageDlgShowHook(std::function<void(QDialog*)> hook) { ShowHook() = std::move(hook); }

const char* TAdvMessageForm::Title(TMsgDlgType dlgType) {
  switch (dlgType) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirmation";
  }
  return "";
}

const char* TAdvMessageForm::Caption(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return "Yes";
    case mbNo: return "No";
    case mbOK: return "Ok";
    case mbCancel: return "Cancel";
    case mbAbort: return "Abort";
    case mbRetry: return "Retry";
    case mbIgnore: return "Ignore";
    case mbAll: return "All";
    case mbNoToAll: return "No to all";
    case mbYesToAll: return "Yes to all";
    case mbHelp: return "Help";
  }
  return "";
}

const char* TAdvMessageForm::ButtonName(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return "YES";
    case mbNo: return "NO";
    case mbOK: return "OK";
    case mbCancel: return "CANCEL";
    case mbAbort: return "ABORT";
    case mbRetry: return "RETRY";
    case mbIgnore: return "IGNORE";
    case mbAll: return "ALL";
    case mbNoToAll: return "NOTOALL";
    case mbYesToAll: return "YESTOALL";
    case mbHelp: return "HELP";
  }
  return "";
}

int TAdvMessageForm::Result(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrNone;
  }
  return mrNone;
}

TAdvMessageForm::TAdvMessageForm(const std::string& msg, TMsgDlgType dlgType,
                                 TMsgDlgButtons buttons, QWidget* parent)
    : QDialog(parent) {
  setObjectName("AdvMessageForm");
  setWindowTitle(Title(dlgType));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) &
                 ~Qt::WindowContextHelpButtonHint);

  QStyle::StandardPixmap sp = QStyle::SP_MessageBoxWarning;
  switch (dlgType) {
    case mtWarning: sp = QStyle::SP_MessageBoxWarning; break;
    case mtError: sp = QStyle::SP_MessageBoxCritical; break;
    case mtInformation: sp = QStyle::SP_MessageBoxInformation; break;
    case mtConfirmation: sp = QStyle::SP_MessageBoxQuestion; break;
  }
  const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  auto* icon = new QLabel(this);
  icon->setObjectName("Image");
  icon->setPixmap(style()->standardIcon(sp, nullptr, this).pixmap(iconSize, iconSize));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* text = new QLabel(this);
  text->setObjectName("Message");
  text->setTextFormat(Qt::PlainText);
  text->setText(FromAnsi(msg));
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Sized to the text, but a very long line wraps instead of growing past half the screen.
  int maxWidth = 600;
  if (const QScreen* screen = QApplication::primaryScreen())
    maxWidth = std::max(300, screen->availableGeometry().width() / 2);
  if (text->sizeHint().width() > maxWidth) {
    text->setWordWrap(true);
    text->setFixedWidth(maxWidth);
  }

  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(text, 1);

  auto* row = new QHBoxLayout;
  row->setSpacing(8);
  row->addStretch(1);
  QPushButton* byKind[std::size(kAllButtons)] = {};
  for (TMsgDlgBtn b : kAllButtons) {
    if (!buttons.Contains(b)) continue;
    auto* btn = new QPushButton(Caption(b), this);
    btn->setObjectName(ButtonName(b));
    btn->setMinimumWidth(75);
    byKind[b] = btn;
    row->addWidget(btn);
    if (b == mbHelp) continue;  // no help is shown, and Help does not close
    const int result = Result(b);
    connect(btn, &QPushButton::clicked, this, [this, result] { done(result); });
  }
  row->addStretch(1);

  defaultButton_ = byKind[mbOK] ? byKind[mbOK] : byKind[mbYes] ? byKind[mbYes] : byKind[mbRetry];
  escapeButton_ = byKind[mbCancel] ? byKind[mbCancel] : byKind[mbNo] ? byKind[mbNo] : byKind[mbOK];
  if (defaultButton_) {
    defaultButton_->setDefault(true);
    defaultButton_->setFocus(Qt::OtherFocusReason);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->setSpacing(16);
  layout->addLayout(top);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAdvMessageForm::reject() {
  // The close box: always "Cancel", whatever buttons the form has.
  done(mrCancel);
}

void TAdvMessageForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (escapeButton_) escapeButton_->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

int AdvMessageDlg(const std::string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                  int /*helpCtx*/) {
  if (Handler()) return Handler()(msg, dlgType, buttons);

  QPointer<TAdvMessageForm> form =
      new TAdvMessageForm(msg, dlgType, buttons, QApplication::activeWindow());
  form->setWindowModality(Qt::ApplicationModal);
  form->adjustSize();
  if (ShowHook()) ShowHook()(form.data());
  const int result = form->exec();
  // Freed at once: a later message must never find it as its parent window. It may already
  // be gone when its parent window was closed while it ran.
  delete form.data();
  return result;
}

#include "services/osAdvMsgDlg.h"

#include <QApplication>
#include <algorithm>
#include <iterator>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <QTextDocument>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <utility>

#include "model/MyGlobalUtils.h"
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
  Build(msg, nullptr, std::string(), dlgType, buttons);
}

TAdvMessageForm::TAdvMessageForm(const std::string& before, const std::vector<std::string>& items,
                                 const std::string& after, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                                 QWidget* parent)
    : QDialog(parent) {
  Build(Trim(before), &items, Trim(after), dlgType, buttons);
}

void TAdvMessageForm::Build(const std::string& msg, const std::vector<std::string>* items,
                            const std::string& after, TMsgDlgType dlgType, TMsgDlgButtons buttons) {
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
  if (!items) {
    top->addWidget(text, 1);
  } else {
    // The list may hold hundreds of lines: a box of at most ten that scrolls, so the buttons
    // below stay on the screen. Read-only text, so the names can be selected and copied.
    auto* list = new QPlainTextEdit(this);
    list->setObjectName("Items");
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setTabChangesFocus(true);
    list->setFocusPolicy(Qt::ClickFocus);
    QStringList lines;
    int widest = 0;
    const QFontMetrics fm(list->font());
    for (const std::string& item : *items) {
      lines << FromAnsi(item);
      widest = std::max(widest, fm.horizontalAdvance(lines.back()));
    }
    list->setPlainText(lines.join('\n'));
    const int frame = 2 * (list->frameWidth() + static_cast<int>(list->document()->documentMargin()));
    const int rows = std::clamp(static_cast<int>(items->size()), 1, 10);
    const int scrollBar = list->verticalScrollBar()->sizeHint().width();
    list->setFixedSize(std::clamp(widest + frame + scrollBar, 200, maxWidth),
                       rows * fm.lineSpacing() + frame + (widest + frame > maxWidth ? scrollBar : 0));
    auto* end = new QLabel(this);
    end->setObjectName("MessageEnd");
    end->setTextFormat(Qt::PlainText);
    end->setText(FromAnsi(after));
    end->setTextInteractionFlags(Qt::TextSelectableByMouse);
    end->setVisible(!after.empty());
    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(text);
    column->addWidget(list);
    column->addWidget(end);
    top->addLayout(column, 1);
  }

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

namespace {

int RunForm(TAdvMessageForm* created) {
  QPointer<TAdvMessageForm> form = created;
  form->setWindowModality(Qt::ApplicationModal);
  form->adjustSize();
  if (ShowHook()) ShowHook()(form.data());
  const int result = form->exec();
  // Freed at once: a later message must never find it as its parent window. It may already
  // be gone when its parent window was closed while it ran.
  delete form.data();
  return result;
}

}  // namespace

int AdvMessageDlg(const std::string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                  int /*helpCtx*/) {
  if (Handler()) return Handler()(msg, dlgType, buttons);
  return RunForm(new TAdvMessageForm(msg, dlgType, buttons, QApplication::activeWindow()));
}

int AdvMessageDlgList(const std::string& before, const std::vector<std::string>& items,
                      const std::string& after, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                      int /*helpCtx*/) {
  if (Handler()) {
    std::string msg = before;
    for (const std::string& item : items) msg += item + "\n";
    return Handler()(msg + after, dlgType, buttons);
  }
  return RunForm(new TAdvMessageForm(before, items, after, dlgType, buttons, QApplication::activeWindow()));
}

#include "views/osDRUVTerminal.h"

#include <QEvent>
#include <QFont>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QObject>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <exception>

#include "services/QtText.h"

namespace {

constexpr char kBS = 8;
constexpr char kLF = 10;
constexpr char kCR = 13;

// Keys the editor keeps for itself besides sending their control character: the clipboard and
// selection commands a user expects in any text window.
bool IsEditorCommand(QKeyEvent* e) {
  return e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Cut) ||
         e->matches(QKeySequence::Paste) || e->matches(QKeySequence::SelectAll);
}

}  // namespace

// Sits on the bound editor and turns its key presses into bytes for the terminal.
class TKVXPTerminal::KeyFilter : public QObject {
 public:
  explicit KeyFilter(TKVXPTerminal* owner) : owner_(owner) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    // Only user input: other events also come while the editor is being destroyed.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::InputMethod) return false;
    if (watched != owner_->Editor.data()) return false;
    if (event->type() == QEvent::KeyPress) return KeyPress(static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::InputMethod) {
      // Composed characters (dead keys, input methods) arrive here instead of as key presses.
      auto* im = static_cast<QInputMethodEvent*>(event);
      for (char32_t cp : im->commitString().toUcs4()) Send(cp);
      event->accept();
      return true;
    }
    return false;
  }

 private:
  bool KeyPress(QKeyEvent* e) {
    switch (e->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        SendByte(kCR);
        return true;
      case Qt::Key_Backspace:
        SendByte(kBS);
        return true;
      case Qt::Key_Delete:
        // An editing key like the arrows, not a character for the module.
        return false;
      default:
        break;
    }
    const QString text = e->text();
    for (char32_t cp : text.toUcs4()) Send(cp);
    if (IsEditorCommand(e)) return false;
    // Any key that produces a character is the module's; navigation and the like stay local.
    return !text.isEmpty();
  }

  void Send(char32_t cp) {
    char ch = 0;
    if (ToAnsiChar(cp, ch)) SendByte(ch);
  }

  void SendByte(char ch) {
    // The listener is the protocol, which writes to the line: nothing it throws may reach Qt.
    try {
      owner_->EditorKeyPress(owner_, ch);
    } catch (const std::exception&) {
    } catch (...) {
    }
  }

  TKVXPTerminal* owner_;
};

TKVXPTerminal::TKVXPTerminal(platform::TComponent* owner)
    : platform::TComponent(owner), filter_(std::make_unique<KeyFilter>(this)) {}

TKVXPTerminal::~TKVXPTerminal() {
  if (Editor) Editor->removeEventFilter(filter_.get());
}

void TKVXPTerminal::SetTerminalEditor(QTextEdit* value) {
  if (Editor == value) return;
  if (Editor) Editor->removeEventFilter(filter_.get());
  Editor = value;
  if (!value) return;
  value->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  value->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Lines as the module sends them: long ones scroll sideways instead of wrapping.
  value->setLineWrapMode(QTextEdit::NoWrap);
  QFont font(QStringLiteral("Courier New"));
  font.setPointSize(11);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  value->setFont(font);
  value->document()->setDefaultFont(font);
  value->installEventFilter(filter_.get());
}

void TKVXPTerminal::EditorKeyPress(TObject* /*sender*/, char& key) {
  if (!Editor) return;
  if (OnTerminalInput) {
    std::string response;
    OnTerminalInput(this, key, response);
  }
  key = 0;
}

void TKVXPTerminal::PutChar(char ch) {
  QTextEdit* editor = Editor.data();
  if (!editor) return;
  if (editor->isVisible() && editor->isEnabled() && editor->focusPolicy() != Qt::NoFocus)
    editor->setFocus(Qt::OtherFocusReason);

  QTextDocument* doc = editor->document();
  switch (ch) {
    case kLF:
      return;
    case kBS: {
      if (doc->isEmpty()) return;
      QTextCursor end(doc);
      end.movePosition(QTextCursor::End);
      end.deletePreviousChar();
      return;
    }
    case kCR: {
      if (doc->isEmpty()) return;
      const QTextBlock last = doc->lastBlock();
      // The text already ends with a line break when its last line is empty.
      if (doc->blockCount() > 1 && last.length() <= 1) return;
      QTextCursor end(doc);
      end.movePosition(QTextCursor::End);
      end.insertBlock();
      editor->setTextCursor(end);
      editor->ensureCursorVisible();
      return;
    }
    default: {
      QTextCursor caret = editor->textCursor();
      caret.insertText(QString(FromAnsiChar(ch)));
      editor->setTextCursor(caret);
      editor->ensureCursorVisible();
      return;
    }
  }
}

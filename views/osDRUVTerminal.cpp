#include "views/osDRUVTerminal.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <algorithm>
#include <QMenu>
#include <QMouseEvent>
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

// Keys the editor keeps for itself besides sending their control character: copying and marking,
// which a user expects in any text window and which change nothing shown.
bool IsEditorCommand(QKeyEvent* e) {
  return e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll);
}

}  // namespace

// Sits on the bound editor and its viewport: turns key presses into bytes for the terminal, and
// pastes into typing.
class TKVXPTerminal::KeyFilter : public QObject {
 public:
  explicit KeyFilter(TKVXPTerminal* owner) : owner_(owner) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    // Events also come while the editor is being destroyed, when it is a text editor no more:
    // the meta-object cast says so, where a cast of the editor's pointer would misread it.
    if (auto* editor = qobject_cast<QTextEdit*>(watched))
      return editor == owner_->Editor ? EditorEvent(event) : false;
    if (watched == owner_->viewport_.data()) return ViewportEvent(event);
    return false;
  }

 private:
  bool EditorEvent(QEvent* event) {
    switch (event->type()) {
      case QEvent::KeyPress:
        return KeyPress(static_cast<QKeyEvent*>(event));
      case QEvent::InputMethod: {
        // Composed characters (dead keys, input methods) arrive here instead of as key presses.
        auto* im = static_cast<QInputMethodEvent*>(event);
        for (char32_t cp : im->commitString().toUcs4()) owner_->TypeChar(cp);
        event->accept();
        return true;
      }
      case QEvent::InputMethodQuery: {
        // The editor's text is not editable, yet composed characters must still reach the line.
        auto* query = static_cast<QInputMethodQueryEvent*>(event);
        static_cast<QObject*>(owner_->Editor.data())->event(event);
        if (query->queries() & Qt::ImEnabled) query->setValue(Qt::ImEnabled, true);
        return true;
      }
      default:
        return false;
    }
  }

  bool ViewportEvent(QEvent* event) {
    switch (event->type()) {
      case QEvent::ContextMenu: {
        // The editor's own menu (copy, mark all) and a paste that types.
        QTextEdit* editor = owner_->Editor.data();
        if (!editor) return false;
        auto* e = static_cast<QContextMenuEvent*>(event);
        QPointer<QMenu> menu = editor->createStandardContextMenu(e->pos());
        QAction* paste = new QAction(
            QStringLiteral("&Paste\t") +
                QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText),
            menu);
        paste->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
        TKVXPTerminal* owner = owner_;
        QObject::connect(paste, &QAction::triggered, paste,
                         [owner] { owner->TypeText(QGuiApplication::clipboard()->text()); });
        QAction* before = nullptr;
        for (QAction* a : menu->actions())
          if (a->objectName() == QLatin1String("select-all")) before = a;
        menu->insertAction(before, paste);
        menu->exec(e->globalPos());
        delete menu.data();
        return true;
      }
      case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::MiddleButton) return false;
        QClipboard* clip = QGuiApplication::clipboard();
        if (clip->supportsSelection()) owner_->TypeText(clip->text(QClipboard::Selection));
        return true;
      }
      default:
        return false;
    }
  }

  bool KeyPress(QKeyEvent* e) {
    if (e->matches(QKeySequence::Paste)) {
      owner_->TypeText(QGuiApplication::clipboard()->text());
      return true;
    }
    switch (e->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        owner_->TypeByte(kCR);
        return true;
      case Qt::Key_Backspace:
        owner_->TypeByte(kBS);
        return true;
      case Qt::Key_Delete:
        // An editing key like the arrows, not a character for the module.
        return false;
      default:
        break;
    }
    const QString text = e->text();
    for (char32_t cp : text.toUcs4()) owner_->TypeChar(cp);
    if (IsEditorCommand(e)) return false;
    // Any key that produces a character is the module's; navigation and the like stay local.
    return !text.isEmpty();
  }

  TKVXPTerminal* owner_;
};

TKVXPTerminal::TKVXPTerminal(platform::TComponent* owner)
    : platform::TComponent(owner), filter_(std::make_unique<KeyFilter>(this)) {}

TKVXPTerminal::~TKVXPTerminal() { Unbind(); }

void TKVXPTerminal::Unbind() {
  if (viewport_) viewport_->removeEventFilter(filter_.get());
  viewport_.clear();
  if (QTextEdit* editor = Editor.data()) {
    editor->removeEventFilter(filter_.get());
    editor->setTextInteractionFlags(editorFlags_);
    editor->setAttribute(Qt::WA_InputMethodEnabled, !editor->isReadOnly());
  }
  Editor.clear();
}

void TKVXPTerminal::SetTerminalEditor(QTextEdit* value) {
  if (Editor == value) return;
  Unbind();
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
  value->document()->setMaximumBlockCount(MaxLines());
  // Text the user can mark, copy and move the caret in, but not change: no paste, drop or cut
  // reaches it. Composed characters still come
  // in, as keys for the module.
  editorFlags_ = value->textInteractionFlags();
  value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  value->setAttribute(Qt::WA_InputMethodEnabled, true);
  value->installEventFilter(filter_.get());
  viewport_ = value->viewport();
  if (viewport_) viewport_->installEventFilter(filter_.get());
}

void TKVXPTerminal::EditorKeyPress(TObject* /*sender*/, char& key) {
  if (!Editor) return;
  if (OnTerminalInput) {
    std::string response;
    OnTerminalInput(this, key, response);
  }
  key = 0;
}

void TKVXPTerminal::TypeText(const QString& text) {
  const QList<uint> chars = text.toUcs4();
  for (qsizetype i = 0; i < chars.size(); ++i) {
    const char32_t cp = chars[i];
    if (cp == U'\r' || cp == U'\n') {
      TypeByte(kCR);
      if (cp == U'\r' && i + 1 < chars.size() && chars[i + 1] == U'\n') ++i;
    } else {
      TypeChar(cp);
    }
  }
}

void TKVXPTerminal::TypeChar(char32_t codePoint) {
  char ch = 0;
  if (ToAnsiChar(codePoint, ch)) TypeByte(ch);
}

void TKVXPTerminal::TypeByte(char ch) {
  // The listener is the protocol, which writes to the line: nothing it throws may reach Qt.
  try {
    EditorKeyPress(this, ch);
  } catch (const std::exception&) {
  } catch (...) {
  }
}

int TKVXPTerminal::MaxLines() const {
  const QTextEdit* editor = Editor.data();
  if (!editor) return 0;
  // Well below the height the view's layout can reach (2^31 / 256 pixels).
  constexpr int kTallestText = 7000000;
  return kTallestText / std::max(1, QFontMetrics(editor->document()->defaultFont()).lineSpacing());
}

void TKVXPTerminal::PutChar(char ch) {
  QTextEdit* editor = Editor.data();
  if (!editor) return;
  if (editor->isVisible() && editor->isEnabled() && editor->focusPolicy() != Qt::NoFocus)
    editor->setFocus(Qt::OtherFocusReason);
  if (ch == kLF) return;

  QTextDocument* doc = editor->document();
  if (doc->isEmpty() && (ch == kBS || ch == kCR)) return;
  // The text grows at its end: a cursor there would move along with it, the user's mark too when
  // it reaches the end. So the mark is held where it is while the text changes.
  QTextCursor mark = editor->textCursor();
  const bool following = !mark.hasSelection() && mark.atEnd();
  const bool holdMark = mark.hasSelection() && mark.selectionEnd() == doc->characterCount() - 1;
  if (holdMark) mark.setKeepPositionOnInsert(true);
  QScrollBar* vertical = editor->verticalScrollBar();
  const bool showingEnd = vertical->value() >= vertical->maximum();

  QTextCursor end(doc);
  end.movePosition(QTextCursor::End);
  const QTextBlock last = doc->lastBlock();
  switch (ch) {
    case kBS:
      end.deletePreviousChar();
      break;
    case kCR:
      // The text already ends with a line break when its last line is empty.
      if (doc->blockCount() > 1 && last.length() <= 1) return;
      end.insertBlock();
      break;
    default:
      if (last.length() > MaxLineLength) end.insertBlock();
      end.insertText(QString(FromAnsiChar(ch)));
      break;
  }

  if (holdMark) {
    mark.setKeepPositionOnInsert(false);
    const int horizontalAt = editor->horizontalScrollBar()->value();
    const int verticalAt = vertical->value();
    editor->setTextCursor(mark);
    editor->horizontalScrollBar()->setValue(horizontalAt);
    vertical->setValue(verticalAt);
  }
  if (following)
    editor->ensureCursorVisible();
  else if (showingEnd)
    vertical->setValue(vertical->maximum());
}

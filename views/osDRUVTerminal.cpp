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
#include <QtMath>
#include <exception>

#include "services/QtText.h"

namespace {

constexpr char kBS = 8;
constexpr char kLF = 10;
constexpr char kCR = 13;

// What a batch of received bytes does to the text, worked out as if each byte went in alone:
// how many characters it takes from the end of the present text (BS), what it appends after
// them ('\n' between lines), and the most lines the text had meanwhile.
struct TBatchEffect {
  int Removed = 0;
  QString Added;
  int EndLines = 0;
  int MostLines = 0;
};

TBatchEffect WorkOut(const QTextDocument& doc, const std::string& bytes) {
  TBatchEffect e;
  const int present = doc.characterCount() - 1;
  // The present text as far as the batch leaves it: its lines, and the length of its last.
  int baseLines = doc.blockCount();
  int baseLast = doc.lastBlock().length() - 1;
  int addedBreaks = 0;
  int addedLast = 0;  // length of the last appended line, once a break was appended
  e.MostLines = baseLines;
  const auto appendBreak = [&] {
    e.Added += QLatin1Char('\n');
    ++addedBreaks;
    addedLast = 0;
    e.MostLines = std::max(e.MostLines, baseLines + addedBreaks);
  };
  for (const char ch : bytes) {
    const int added = static_cast<int>(e.Added.size());
    if (present - e.Removed + added == 0 && (ch == kBS || ch == kCR)) continue;
    const int lastLength = addedBreaks > 0 ? addedLast : baseLast + added;
    switch (ch) {
      case kLF:
        break;
      case kBS:
        if (added == 0) {
          ++e.Removed;
          const QTextBlock block = doc.findBlock(present - e.Removed);
          baseLines = block.blockNumber() + 1;
          baseLast = present - e.Removed - block.position();
        } else if (e.Added.back() == QLatin1Char('\n')) {
          e.Added.chop(1);
          if (--addedBreaks > 0)
            addedLast = static_cast<int>(e.Added.size() - 1 - e.Added.lastIndexOf(QLatin1Char('\n')));
        } else {
          e.Added.chop(1);
          --addedLast;
        }
        break;
      case kCR:
        // The text already ends with a line break when its last line is empty.
        if (baseLines + addedBreaks > 1 && lastLength == 0) break;
        appendBreak();
        break;
      default:
        if (lastLength >= TKVXPTerminal::MaxLineLength) appendBreak();
        e.Added += FromAnsiChar(ch);
        ++addedLast;
        break;
    }
  }
  e.EndLines = baseLines + addedBreaks;
  return e;
}

// Byte by byte the text would have lost its oldest line each time it grew past the most it holds;
// the document cuts only what it holds in excess at the end of the batch.
void DropOldestLines(QTextDocument& doc, const TBatchEffect& e) {
  const int most = doc.maximumBlockCount();
  if (most <= 0 || e.MostLines <= most) return;
  const int keep = e.EndLines - (e.MostLines - most);
  const int drop = doc.blockCount() - keep;
  if (drop <= 0) return;
  QTextCursor front(&doc);
  front.setPosition(doc.findBlockByNumber(drop).position(), QTextCursor::KeepAnchor);
  front.removeSelectedText();
}

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
    : platform::TComponent(owner), filter_(std::make_unique<KeyFilter>(this)) {
  flushTimer_.setSingleShot(true);
  QObject::connect(&flushTimer_, &QTimer::timeout, [this] { Flush(); });
}

TKVXPTerminal::~TKVXPTerminal() { Unbind(); }

void TKVXPTerminal::Unbind() {
  // What the bound editor was still to show goes there first.
  Flush();
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
  pending_ += ch;
  if (pending_.size() >= MostGathered) {
    // A window that cannot come round to the timer for a while holds no more than this.
    Flush();
  } else if (!flushTimer_.isActive()) {
    // The first byte after a quiet while (the echo of a typed key) goes in at the next turn of
    // the event loop, the bytes of a stream in batches BatchGapMs apart.
    const qint64 since = sinceFlush_.isValid() ? sinceFlush_.elapsed() : BatchGapMs;
    flushTimer_.start(static_cast<int>(std::max<qint64>(0, BatchGapMs - since)));
  }
}

void TKVXPTerminal::DiscardPending() {
  flushTimer_.stop();
  pending_.clear();
}

void TKVXPTerminal::Flush() {
  flushTimer_.stop();
  if (pending_.empty()) return;
  sinceFlush_.start();
  std::string bytes;
  bytes.swap(pending_);
  if (QTextEdit* editor = Editor.data()) Insert(editor, bytes);
}

void TKVXPTerminal::Insert(QTextEdit* editor, const std::string& bytes) {
  QTextDocument* doc = editor->document();
  const TBatchEffect effect = WorkOut(*doc, bytes);
  const int length = doc->characterCount() - 1;
  if (effect.Removed == 0 && effect.Added.isEmpty()) return;

  // The text changes at its end: a cursor there would move along with it, so the user's mark is
  // held where its two ends are, whichever of them is at the end.
  const QTextCursor mark = editor->textCursor();
  const bool following = !mark.hasSelection() && mark.atEnd();
  const bool holdMark = mark.hasSelection() && mark.selectionEnd() == length;
  QTextCursor anchorAt(doc), positionAt(doc);
  if (holdMark) {
    anchorAt.setPosition(mark.anchor());
    positionAt.setPosition(mark.position());
    anchorAt.setKeepPositionOnInsert(true);
    positionAt.setKeepPositionOnInsert(true);
  }
  // Showing the end: the last line in view, also when moving the caret there left out the margin
  // below it.
  QScrollBar* vertical = editor->verticalScrollBar();
  const bool showingEnd = vertical->value() >= vertical->maximum() - qCeil(doc->documentMargin());

  QTextCursor end(doc);
  end.beginEditBlock();
  end.movePosition(QTextCursor::End);
  if (effect.Removed > 0) {
    end.setPosition(length - effect.Removed, QTextCursor::KeepAnchor);
    end.removeSelectedText();
  }
  if (!effect.Added.isEmpty()) end.insertText(effect.Added);
  end.endEditBlock();
  DropOldestLines(*doc, effect);

  if (holdMark) {
    QTextCursor held(doc);
    held.setPosition(anchorAt.position());
    held.setPosition(positionAt.position(), QTextCursor::KeepAnchor);
    const int horizontalAt = editor->horizontalScrollBar()->value();
    const int verticalAt = vertical->value();
    editor->setTextCursor(held);
    editor->horizontalScrollBar()->setValue(horizontalAt);
    vertical->setValue(verticalAt);
  }
  if (following)
    editor->ensureCursorVisible();
  else if (showingEnd)
    vertical->setValue(vertical->maximum());
}

// A raw terminal on the module's serial line, bound to a text editor of the main window: shows
// what the module sends, hands every typed key to whoever listens, and never echoes locally.
// The editor shows only what came from the line: the user's typing, pastes and drops never
// change its text.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>
#include <memory>
#include <string>

#include "platform/Component.h"
#include "protocol/ViewInterfaces.h"

class QObject;

class TKVXPTerminal : public platform::TComponent, public ITerminalView {
 public:
  explicit TKVXPTerminal(platform::TComponent* owner = nullptr);
  ~TKVXPTerminal() override;

  QTextEdit* TerminalEditor() const { return Editor.data(); }
  // Binds the editor (not owned): both scroll bars, "Courier New" 11 pt (a monospace font where
  // it is missing), the key filter, and text the user can mark and copy but not change.
  // nullptr unbinds and makes the editor editable as it was. The reference is dropped when the
  // editor is destroyed.
  void SetTerminalEditor(QTextEdit* value);

  // The most lines the terminal holds. The text view cannot lay out a text taller than some
  // eight million pixels (it would never finish), so the terminal keeps the newest lines up to
  // this count and drops the oldest. 0 while no editor is bound.
  int MaxLines() const;

  // The longest line the terminal holds: the text view lays a line out whole at every change of
  // it, so a longer one would make each received character cost ever more. Received text goes on
  // in a new line there; a terminal file with a longer line is refused.
  static constexpr int MaxLineLength = 4096;

  // Shows one received byte (Windows-1252) at the end of the text, wherever the caret stands:
  // BS removes the last character; CR starts a new line unless the text is empty or already
  // ends with a line break; LF does nothing; every other byte is appended (on a new line when
  // the last one holds MaxLineLength characters). Marked text stays marked; a caret at the end
  // follows the text, and a view showing the end keeps showing it.
  // The bytes are gathered and go into the text together from the event loop, at most every
  // BatchGapMs (or at once when MostGathered wait): the view lays its text out and paints it
  // once per batch, not once per byte, and the text is the same as if each had gone in alone.
  void PutChar(char ch) override;

  // Takes what is gathered into the text now: before anything reads the text or its mark.
  void Flush();
  // Forgets what is gathered: before the text is cleared or replaced.
  void DiscardPending();

  static constexpr int BatchGapMs = 50;
  // The most bytes gathered, also while the window is kept from its event loop. Far fewer than
  // the lines the terminal holds, so the BS of one batch never reach back past its oldest line.
  static constexpr std::size_t MostGathered = 16 * 1024;

  void SetOnTerminalInput(TTerminalInputEvent handler) override {
    OnTerminalInput = std::move(handler);
  }

  // The editor's key-press path: raises OnTerminalInput for the byte and clears it, so the
  // editor never inserts the key itself.
  void EditorKeyPress(TObject* sender, char& key);

  // A paste (keys, context menu, middle click): types the text as keys, each character through
  // the key path (so the module echoes it); a line break (CR LF, LF or CR) as Enter; characters
  // without a Windows-1252 byte are dropped, as when typed.
  void TypeText(const QString& text);

  TTerminalInputEvent OnTerminalInput;

 private:
  class KeyFilter;

  void TypeChar(char32_t codePoint);
  void TypeByte(char ch);
  void Unbind();
  void Insert(QTextEdit* editor, const std::string& bytes);

  QPointer<QTextEdit> Editor;
  // Held as an object: the filter compares it while it may be going away, never casts it.
  QPointer<QObject> viewport_;
  Qt::TextInteractionFlags editorFlags_;
  std::unique_ptr<KeyFilter> filter_;
  // Received bytes not yet in the text (no LF: it shows nothing), and the timer that takes
  // them in.
  std::string pending_;
  QTimer flushTimer_;
  QElapsedTimer sinceFlush_;
};

// The terminal: how received bytes build the text (BS, CR, LF, caret), the Windows-1252 table,
// the key path to the listener without local echo, and pastes that type instead of inserting.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "views/TerminalTestUtil.h"
#include "views/osDRUVTerminal.h"

using termtest::ByteByByte;

namespace {

class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    editor = std::make_unique<QTextEdit>();
    editor->resize(400, 200);
    terminal.SetTerminalEditor(editor.get());
  }
  // The bytes of one call arrive together and show as one batch.
  void Put(const std::string& bytes) {
    for (char c : bytes) terminal.PutChar(c);
    terminal.Flush();
  }
  QString Text() {
    terminal.Flush();
    return editor->toPlainText();
  }

  std::unique_ptr<QTextEdit> editor;
  TKVXPTerminal terminal;
};

}  // namespace

TEST_F(TerminalTest, LineEndsFromTheModule) {
  Put("ID\r\n>");
  EXPECT_EQ(Text(), "ID\n>");

  editor->clear();
  Put("\r");
  EXPECT_EQ(Text(), "");  // the first CR into an empty terminal is ignored

  editor->clear();
  Put("a\nb");
  EXPECT_EQ(Text(), "ab");  // LF alone breaks nothing

  editor->clear();
  Put("a\r\rb\r\n\r\nc");
  EXPECT_EQ(Text(), "a\nb\nc");  // CR CR gives one break
}

TEST_F(TerminalTest, BackspaceRemovesTheLastCharacter) {
  Put("abc\b");
  EXPECT_EQ(Text(), "ab");
  Put("\r\b");
  EXPECT_EQ(Text(), "ab");  // the line break was the last character
  Put("\b\b\b");
  EXPECT_EQ(Text(), "");  // more BS than text stays empty
}

TEST_F(TerminalTest, BytesAreShownThroughTheWindows1252Table) {
  Put("\x80 \xE4\xDF\x07\t");
  const QString t = Text();
  ASSERT_EQ(t.size(), 6);
  EXPECT_EQ(t.at(0), QChar(0x20AC));
  EXPECT_EQ(t.at(2), QChar(0x00E4));
  EXPECT_EQ(t.at(3), QChar(0x00DF));
  EXPECT_EQ(t.at(4), QChar(0x0007));  // control characters go in as they are
  EXPECT_EQ(t.at(5), QChar('\t'));
}

TEST_F(TerminalTest, ReceivedTextGoesToTheEndAndMarkedTextStaysMarked) {
  Put("command error\r\n>");
  QTextCursor c = editor->textCursor();
  c.setPosition(2);
  editor->setTextCursor(c);
  Put("KP");
  EXPECT_EQ(Text(), "command error\n>KP");
  EXPECT_EQ(editor->textCursor().position(), 2);

  // A mark, also one up to the end, is neither replaced nor moved nor grown.
  for (int from : {8, 14}) {
    c.setPosition(from);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    editor->setTextCursor(c);
    const QString marked = editor->textCursor().selectedText();
    Put("a\rb\b");
    EXPECT_EQ(editor->textCursor().selectedText(), marked) << from;
    EXPECT_EQ(editor->textCursor().anchor(), from);
  }
  EXPECT_EQ(Text(), "command error\n>KPa\na\n");

  // A caret at the end follows the text; a line never grows past the longest the view holds.
  editor->setPlainText(QString(TKVXPTerminal::MaxLineLength - 1, 'x'));
  editor->moveCursor(QTextCursor::End);
  Put("yz");
  EXPECT_EQ(Text(), QString(TKVXPTerminal::MaxLineLength - 1, 'x') + "y\nz");
  EXPECT_TRUE(editor->textCursor().atEnd());
}

// A burst that comes faster than the view paints, in reads of any size: the text is the same as
// byte by byte, laid out once per batch, and the view keeps following the end.
TEST_F(TerminalTest, ABurstShowsAsByteByByteLaidOutOncePerBatch) {
  editor->show();
  std::string burst;
  for (int i = 0; i < 300; ++i) {
    burst += "line " + std::to_string(i) + (i % 3 ? "\r\n" : "\r");
    if (i % 7 == 0) burst += "abc\b\b\b\bxy\r\b";  // BS over its line break too
    if (i % 11 == 0) burst += "\xE4\x80\xFF\x07\t\x01";
    if (i % 100 == 0) burst += std::string(TKVXPTerminal::MaxLineLength + 10, 'L') + "\b\r\r\n";
  }
  int changes = 0;
  QObject::connect(editor->document(), &QTextDocument::contentsChange, [&] { ++changes; });
  std::mt19937 random(7);
  int batches = 0;
  for (std::size_t at = 0; at < burst.size(); ++batches) {
    const std::size_t n = std::min<std::size_t>(burst.size() - at, random() % 700 + 1);
    for (std::size_t i = 0; i < n; ++i) terminal.PutChar(burst[at + i]);
    at += n;
    if (batches % 5 == 0) QCoreApplication::processEvents();  // the timer may come round
    if (random() % 2) terminal.Flush();
  }
  // BS at the start of a batch takes the last character of the one before.
  burst += "\b\b";
  Put("\b\b");
  EXPECT_EQ(Text(), ByteByByte(burst));
  EXPECT_LE(changes, batches + 1);
  EXPECT_TRUE(editor->textCursor().atEnd());
  EXPECT_EQ(editor->verticalScrollBar()->value(), editor->verticalScrollBar()->maximum());

  // A view the user took away from the end (the caret placed elsewhere) stays where it is.
  editor->moveCursor(QTextCursor::Start);
  const int shown = editor->verticalScrollBar()->value();
  Put("more\r\n");
  EXPECT_EQ(editor->verticalScrollBar()->value(), shown);
}

// The oldest lines go as they would byte by byte, also when a batch grows past the most lines
// and shrinks again (BS).
TEST_F(TerminalTest, TheOldestLinesGoAsByteByByte) {
  for (const std::string bytes :
       {"a\rb\rc\rd\re", "a\rb\rc\rd\re\r", "a\rb\rc\rd\re\rf\b\b", "a\rb\rc\rd\re\rf\rg\b\b\b\b"}) {
    editor->clear();
    editor->document()->setMaximumBlockCount(5);
    Put(bytes);
    EXPECT_EQ(Text(), ByteByByte(bytes, {}, 5)) << bytes;
  }
}

// Bytes wait for the event loop, but never more than the terminal gathers.
TEST_F(TerminalTest, GatheredBytesShowFromTheEventLoopAndNeverPileUp) {
  terminal.PutChar('a');
  EXPECT_EQ(editor->toPlainText(), "");
  EXPECT_TRUE(QTest::qWaitFor([&] { return editor->toPlainText() == "a"; }, 5000));
  const std::string many(TKVXPTerminal::MostGathered, 'x');
  for (std::size_t i = 0; i + 1 < many.size(); ++i) terminal.PutChar(many[i]);
  EXPECT_EQ(editor->toPlainText(), "a");
  terminal.PutChar('x');
  EXPECT_EQ(editor->toPlainText(), ByteByByte("a" + many));
}

// A mark made backwards from the end (Shift+Left) or forwards to it stays as marked, a caret
// before the end stays where it is, and a view showing the end keeps showing it.
TEST_F(TerminalTest, AMarkEitherWayFromTheEndStaysAsMarked) {
  editor->show();
  for (int i = 0; i < 200; ++i) Put("line " + std::to_string(i) + "\r\n");
  Put("first\r\nsecond");
  for (const char* way : {"backwards", "forwards", "caret"}) {
    editor->moveCursor(QTextCursor::End);
    if (way[0] == 'b') {
      for (int i = 0; i < 3; ++i) QTest::keyClick(editor.get(), Qt::Key_Left, Qt::ShiftModifier);
    } else if (way[0] == 'f') {
      editor->moveCursor(QTextCursor::Left);
      editor->moveCursor(QTextCursor::End, QTextCursor::KeepAnchor);
    } else {
      QTest::keyClick(editor.get(), Qt::Key_Left);
    }
    const int anchor = editor->textCursor().anchor(), position = editor->textCursor().position();
    for (int i = 0; i < 3; ++i) {
      Put("more\r\nand more\b");
      QCoreApplication::processEvents();
    }
    EXPECT_EQ(editor->textCursor().anchor(), anchor) << way;
    EXPECT_EQ(editor->textCursor().position(), position) << way;
    EXPECT_EQ(editor->verticalScrollBar()->value(), editor->verticalScrollBar()->maximum()) << way;
  }
}

TEST_F(TerminalTest, EditorGetsTheTerminalFont) {
  EXPECT_EQ(editor->font().family(), "Courier New");
  EXPECT_EQ(editor->font().pointSize(), 11);
  EXPECT_TRUE(QFontInfo(editor->font()).fixedPitch());
  EXPECT_EQ(editor->lineWrapMode(), QTextEdit::NoWrap);
}

TEST_F(TerminalTest, TypedKeysGoToTheListenerWithoutEcho) {
  std::string keys;
  terminal.SetOnTerminalInput([&](TObject* sender, char key, std::string& response) {
    EXPECT_EQ(sender, &terminal);
    keys += key;
    response = "ignored";
  });
  QTest::keyClicks(editor.get(), "ab");
  QTest::keyClick(editor.get(), Qt::Key_Return);
  QTest::keyClick(editor.get(), Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(editor.get(), Qt::Key_Backspace);
  QTest::keyClick(editor.get(), Qt::Key_Left);  // stays local, sends nothing
  QTest::keyClick(editor.get(), Qt::Key_Delete);
  QKeyEvent euro(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(0x20AC)));
  QApplication::sendEvent(editor.get(), &euro);
  QKeyEvent cjk(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(0x4E00)));
  QApplication::sendEvent(editor.get(), &cjk);  // no Windows-1252 byte: dropped
  QInputMethodEvent composed;
  composed.setCommitString(QString(QChar(0x00E4)));
  QApplication::sendEvent(editor.get(), &composed);

  EXPECT_EQ(keys, std::string("ab\r\r\b\x80\xE4"));
  EXPECT_EQ(Text(), "");
}

TEST_F(TerminalTest, PastesTypeTheirCharactersAndInsertNothing) {
  std::string keys;
  terminal.SetOnTerminalInput([&](TObject*, char key, std::string&) { keys += key; });
  Put("ok");
  QGuiApplication::clipboard()->setText(QString("a\r\nb\nc\rd") + QChar(0x4E00) + QChar(0xE4));
  const std::string typed = "a\rb\rc\rd\xE4";  // line breaks as Enter, no byte for U+4E00
  QTest::keyClick(editor.get(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(keys, typed);

  // The context menu's paste types the same; the menu is answered once it is open.
  keys.clear();
  QTimer::singleShot(0, [] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions())
      if (a->text().startsWith("&Paste")) a->trigger();
    menu->close();
  });
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                              editor->viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(editor->viewport(), &menuEvent);
  EXPECT_EQ(keys, typed);

  // Cut, a drop and a middle click leave the text as the line made it.
  editor->selectAll();
  QTest::keyClick(editor.get(), Qt::Key_X, Qt::ControlModifier);
  QMimeData mime;
  mime.setText("dropped");
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(editor->viewport(), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(editor->viewport(), &drop);
  QTest::mouseClick(editor->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_EQ(Text(), "ok");
  // Composed characters still reach the line.
  QInputMethodQueryEvent query(Qt::ImEnabled);
  QApplication::sendEvent(editor.get(), &query);
  EXPECT_TRUE(query.value(Qt::ImEnabled).toBool());
}

TEST_F(TerminalTest, KeysWithoutListenerOrWithAFailingOneChangeNothing) {
  QTest::keyClicks(editor.get(), "xy");
  EXPECT_EQ(Text(), "");
  terminal.SetOnTerminalInput([](TObject*, char, std::string&) {
    throw std::runtime_error("line gone");
  });
  QTest::keyClicks(editor.get(), "z");
  QTest::keyClick(editor.get(), Qt::Key_Return);
  EXPECT_EQ(Text(), "");
}

TEST_F(TerminalTest, RemovedEditorLeavesAQuietTerminal) {
  editor.reset();
  EXPECT_EQ(terminal.TerminalEditor(), nullptr);
  terminal.PutChar('a');  // nothing to do, nothing to crash
  char key = 'k';
  terminal.EditorKeyPress(&terminal, key);
}

TEST_F(TerminalTest, UnboundEditorIsAPlainEditorAgain) {
  int calls = 0;
  terminal.SetOnTerminalInput([&](TObject*, char, std::string&) { ++calls; });
  terminal.SetTerminalEditor(nullptr);
  QTest::keyClicks(editor.get(), "q");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Text(), "q");
}

TEST(TerminalLifetime, TerminalGoneBeforeEditor) {
  QTextEdit editor;
  {
    TKVXPTerminal terminal;
    terminal.SetTerminalEditor(&editor);
  }
  QTest::keyClicks(&editor, "ok");
  EXPECT_EQ(editor.toPlainText(), "ok");
}

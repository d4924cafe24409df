// Text a module sends faster than the window paints reaches the terminal page through the line
// whole and in order, laid out in batches, while the user's mark holds.
#include <QTextDocument>
#include <QTextEdit>

#include "MainFormTestUtil.h"
#include "views/TerminalTestUtil.h"
#include "views/osDRUVTerminal.h"

namespace {

class MainWindowTerminalStream : public mftest::MainFormFixture {};

TEST_F(MainWindowTerminalStream, ABurstThroughTheLineShowsWholeAndInOrder) {
  ASSERT_NO_FATAL_FAILURE(StartModule({.Rate = 115200}));
  profile.WriteIni("[Interface]\nFixBR=115200\nAutoBRDetection=0\n");
  StartForm();
  ASSERT_NO_FATAL_FAILURE(ChoosePort("modsim"));
  form->ConnectActExecute();
  ASSERT_EQ(form->ConnectTag, 1);
  form->ShowPage(3);
  QTextEdit* editor = form->KVXTermEditor;
  ASSERT_TRUE(mftest::WaitFor([&] { return editor->toPlainText().endsWith('>'); }));
  // The prompt marked backwards from the end, as Shift+Left does.
  editor->moveCursor(QTextCursor::End);
  QTest::keyClick(editor, Qt::Key_Left, Qt::ShiftModifier);
  const QString before = editor->toPlainText();
  const int end = static_cast<int>(before.size());
  ASSERT_EQ(editor->textCursor().anchor(), end);

  // Lines with CR LF and with CR alone, BS, bytes above 127 and a line longer than the terminal
  // holds; sent all at once.
  std::string burst = "\r\n";
  for (int i = 0; burst.size() < 20000; ++i) {
    burst += "trace " + std::to_string(i) + (i % 4 ? "\r\n" : "\r");
    if (i % 9 == 0) burst += "12\b\b\b\xE4\xB0\x80";
    if (i == 100) burst += std::string(TKVXPTerminal::MaxLineLength + 3, '#');
  }
  int changes = 0;
  QObject::connect(editor->document(), &QTextDocument::contentsChange, [&] { ++changes; });
  sim->StartStream(burst, burst.size());
  const QString expected = termtest::ByteByByte(burst, before);
  EXPECT_TRUE(mftest::WaitFor([&] { return editor->toPlainText() == expected; }, 30000));
  EXPECT_TRUE(sim->Stream().Done());
  EXPECT_LT(changes, static_cast<int>(burst.size() / 20));
  EXPECT_EQ(editor->textCursor().anchor(), end);
  EXPECT_EQ(editor->textCursor().position(), end - 1);
}

}  // namespace

// The terminal's files and the edit menu in the main window: Save, Clear and Open give back the
// same bytes (128 to 255 included); an opened file is saved again without a question, any other
// text asks for a name; a broken file or a failed save is reported and loses nothing; Cut, Copy
// and Paste on the read-only terminal; the manuals in the viewer or a message naming them.
#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTableWidget>
#include <QTextEdit>
#include <cerrno>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "model/FileTestUtil.h"
#include "model/osFileUtils.h"
#include "model/osRtfText.h"
#include "services/QtText.h"
#include "views/osDRUVTerminal.h"

using dlgtest::FileAnswer;
using filetest::ReadAll;
using filetest::WriteAll;

namespace {

class MainWindowTerminal : public mftest::MainFormFixture {
 protected:
  void StartOnTerminalPage() {
    StartForm();
    form->ShowPage(3);
  }
  // Bytes as the module sends them.
  void Receive(const std::string& bytes) {
    for (char c : bytes) form->KVXPTerminal->PutChar(c);
  }
  QString Text() const {
    form->KVXPTerminal->Flush();
    return form->KVXTermEditor->document()->toRawText();
  }
  std::string FileText(const std::string& file) const {
    std::string text;
    EXPECT_TRUE(rtf::ReadRtfText(ReadAll(file), text)) << file;
    return text;
  }

  testutil::TempDir dir;
};

std::string HighBytes() {
  std::string s;
  for (int b = 128; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

TEST_F(MainWindowTerminal, SaveClearOpenGiveBackTheSameBytes) {
  StartOnTerminalPage();
  Receive("ID\r\nKVX-SIM 1.20\r\n" + HighBytes() + "\r\n>");
  const QString shown = Text();
  const std::string file = dir.File("session.rtf");
  {
    FileAnswer picker(file);
    form->SaveTerminalAct->trigger();
    EXPECT_TRUE(picker.last.OverwritePrompt);
  }
  EXPECT_EQ(ReadAll(file).rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
  EXPECT_EQ(FileText(file), "ID\nKVX-SIM 1.20\n" + HighBytes() + "\n>");
  {
    // A name chosen for saving is not kept: the next save asks again.
    FileAnswer picker("");
    form->SaveTerminalAct->trigger();
    EXPECT_EQ(picker.calls, 1);
  }

  Receive("\r\nnot yet shown");
  form->ClearTerminalAct->trigger();
  EXPECT_TRUE(Text().isEmpty());
  {
    FileAnswer picker(file);
    form->OpenTerminalAct->trigger();
    EXPECT_EQ(picker.last.Filter, "Terminalfenster (*.rtf)");
  }
  EXPECT_EQ(Text(), shown);

  // The opened file is written back without a question; what comes next follows the text.
  Receive("ACODE");
  {
    FileAnswer picker(dir.File("other.rtf"));
    form->SaveTerminalAct->trigger();
    EXPECT_EQ(picker.calls, 0);
  }
  EXPECT_EQ(FileText(file), "ID\nKVX-SIM 1.20\n" + HighBytes() + "\n>ACODE");

  // New forgets the file.
  form->ClearTerminalAct->trigger();
  FileAnswer picker("");
  form->SaveTerminalAct->trigger();
  EXPECT_EQ(picker.calls, 1);
  EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(MainWindowTerminal, ReadsOtherEditorsDocumentsAndLosesNothingOnABrokenFileOrAFailedSave) {
  StartOnTerminalPage();
  // A document of another editor: groups, tables, \'xx and \u read as its text.
  const std::string file = dir.File("other.rtf");
  WriteAll(file,
           "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern Courier New;}}\r\n"
           "{\\colortbl;\\red0\\green0\\blue0;}{\\*\\generator Other 1.0;}{\\info{\\title T}}\r\n"
           "\\f0\\fs22 Caf\\'e9 {\\b \\u8364?}\\par\r\nTab\\tab end\\line second}\r\n");
  {
    FileAnswer picker(file);
    form->OpenTerminalAct->trigger();
  }
  const QString shown = Text();
  EXPECT_EQ(form->KVXTermEditor->toPlainText(), QString::fromUtf8("Caf\u00e9 \u20ac\nTab\tend\nsecond"));
  EXPECT_TRUE(messages.Shown.empty());

  // A broken file: a message naming it, the text and the file name stay.
  for (const char* broken : {"{\\rtf1 no end", "plain text", "{\\rtf1 \\'zz}"}) {
    WriteAll(dir.File("broken.rtf"), broken);
    FileAnswer picker(dir.File("broken.rtf"));
    form->OpenTerminalAct->trigger();
    ASSERT_FALSE(messages.Shown.empty()) << broken;
    EXPECT_EQ(messages.Shown.back().Type, mtError);
    EXPECT_NE(messages.Shown.back().Text.find("broken.rtf"), std::string::npos);
    EXPECT_EQ(Text(), shown);
  }
  // A full disk leaves the opened file as it was.
  const std::string before = ReadAll(file);
  SetFileWriteHookForTests([](const std::string&) { return ENOSPC; });
  form->SaveTerminalAct->trigger();
  SetFileWriteHookForTests(nullptr);
  EXPECT_NE(messages.Shown.back().Text.find("No space left on device"), std::string::npos)
      << messages.Shown.back().Text;
  EXPECT_EQ(ReadAll(file), before);
  form->SaveTerminalAct->trigger();
  EXPECT_EQ(FileText(file), "Caf\xE9 \x80\nTab\tend\nsecond");
}

TEST_F(MainWindowTerminal, CutAndCopyTakeTheMarkedTextAndPasteTypesIt) {
  StartIdentified();
  form->ShowPage(3);
  ASSERT_TRUE(mftest::WaitFor([&] { return Text().endsWith(">"); })) << Text().toStdString();
  const QString before = form->KVXTermEditor->toPlainText();
  form->KVXTermEditor->selectAll();
  QGuiApplication::clipboard()->clear();
  form->MMICopy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), before);
  QGuiApplication::clipboard()->clear();
  form->MMICut->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), before);
  EXPECT_EQ(form->KVXTermEditor->toPlainText(), before);  // only the line changes the terminal

  form->KVXTermEditor->moveCursor(QTextCursor::End);
  sim->Module().ClearRecords();
  QGuiApplication::clipboard()->setText("ID\n");
  form->MMIPaste->trigger();
  ASSERT_TRUE(mftest::WaitFor([&] { return Text().contains("KVX-SIM") && Text().endsWith(">"); }))
      << Text().toStdString();
  EXPECT_EQ(sim->ReceivedCommands(), std::vector<std::string>{"ID"});
}

// Ctrl+X/C/V stay the module's control characters in the terminal; the edit menu shows keys of
// its own that copy and paste on the terminal page, and that do nothing where the menu is off.
TEST_F(MainWindowTerminal, TheEditMenusOwnKeysWorkOnTheTerminalPage) {
  StartIdentified();
  EXPECT_EQ(form->MMICut->shortcut(), QKeySequence("Ctrl+Shift+X"));
  EXPECT_EQ(form->MMICopy->shortcut(), QKeySequence("Ctrl+Shift+C"));
  EXPECT_EQ(form->MMIPaste->shortcut(), QKeySequence("Ctrl+Shift+V"));
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->ShowPage(3);
  ASSERT_TRUE(mftest::WaitFor([&] { return Text().endsWith(">"); })) << Text().toStdString();
  QTextEdit* editor = form->KVXTermEditor;
  const QString before = editor->toPlainText();
  sim->Module().ClearRecords();
  for (Qt::Key key : {Qt::Key_C, Qt::Key_X}) {
    editor->selectAll();
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(editor, key, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), before) << key;
  }
  editor->moveCursor(QTextCursor::End);
  QGuiApplication::clipboard()->setText("ID\n");
  const auto ids = Text().count("KVX-SIM");
  QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(mftest::WaitFor([&] { return Text().count("KVX-SIM") > ids && Text().endsWith(">"); }))
      << Text().toStdString();
  // Nothing but the pasted line reached the module: no control character of the keys.
  EXPECT_EQ(sim->ReceivedCommands(), std::vector<std::string>{"ID"});
  form->MMEdit->popup(form->mapToGlobal(QPoint(60, 30)));
  QApplication::processEvents();
  dlgtest::SavePicture(form->MMEdit, "main-edit-menu.png");
  form->MMEdit->hide();

  form->ShowPage(0);
  QSignalSpy pasted(form->MMIPaste, &QAction::triggered);
  QTest::keyClick(form->ParamGrid, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(pasted.count(), 0);
  EXPECT_FALSE(form->MMIPaste->isEnabled());
}

TEST_F(MainWindowTerminal, ManualsShowInTheViewerOrAMessageNamesTheMissingFile) {
  StartForm();
  SetProgramFolder(dir.Path());
  form->ManualEnglish1->trigger();
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(messages.Shown[0].Text, "The manual file \"" + dir.Path() + "/Manual_EN.pdf\" do not exists!");
  EXPECT_EQ(messages.Shown[0].Type, mtError);
  EXPECT_FALSE(form->WebBrowserDlg->isVisible());

  {
    QPdfWriter writer(QString::fromStdString(dir.File("Manual_DE.pdf")));
    QPainter p(&writer);
    p.drawText(100, 100, "Quick start");
  }
  form->MMIManual->trigger();
  EXPECT_EQ(messages.Shown.size(), 1u);
  EXPECT_TRUE(form->WebBrowserDlg->isVisible());
  EXPECT_EQ(form->WebBrowserDlg->windowTitle().toStdString(), dir.File("Manual_DE.pdf"));
  form->WebBrowserDlg->close();
  SetProgramFolder("");
}

}  // namespace

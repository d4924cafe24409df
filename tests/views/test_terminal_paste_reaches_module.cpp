// A paste into the terminal reaches the simulated module as typing: the module echoes it and
// answers, and the terminal shows just what came back over the line.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QTextEdit>

#include "protocol/ModesTestUtil.h"
#include "views/osDRUVTerminal.h"

namespace {

class TerminalToModule : public prottest::ModuleFixture {
 protected:
  void SetUp() override {
    terminal.SetTerminalEditor(&editor);
    StartModule();
    prot->SetTerminal(&terminal);
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    prot->SetOperatingMode(1);
    sim->Module().ClearRecords();
  }
  void TearDown() override {
    if (prot) {
      prot->SetOperatingMode(0);
      prot->SetTerminal(nullptr);
    }
    prottest::ModuleFixture::TearDown();
  }

  QTextEdit editor;
  TKVXPTerminal terminal;
};

}  // namespace

TEST_F(TerminalToModule, PastedCommandIsEchoedAndAnswered) {
  editor.setPlainText("");
  QGuiApplication::clipboard()->setText("ID\n");
  QTest::keyClick(&editor, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(editor.toPlainText(), "");  // nothing of the paste is shown before the line has it
  ASSERT_TRUE(prottest::PumpFor([&] {
    terminal.Flush();
    return editor.toPlainText().count('\n') >= 2;
  }));
  const QStringList lines = editor.toPlainText().split('\n');
  EXPECT_EQ(lines.front(), "ID");  // the module's echo
  EXPECT_EQ(sim->ReceivedCommands(), std::vector<std::string>{"ID"});
}

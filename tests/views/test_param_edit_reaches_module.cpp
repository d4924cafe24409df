// A confirmed edit in the grid's dialog arrives at the simulated module as the exact write
// command, and the grid shows the value the module took.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ViewsTestUtil.h"
#include "model/MyGlobalUtils.h"
#include "protocol/ProtocolTestUtil.h"
#include "views/osDRUVParamList.h"

using namespace viewtest;

namespace {

class GridToModule : public prottest::ModuleFixture {
 protected:
  void SetUp() override {
    savedSep = DecimalSeparator();
    SetDecimalSeparator(',');
    grid.resize(1100, 500);
    list.SetParamGrid(&grid);
    list.SetShowDecimals(true);
    StartModule();
    prot->SetParameterList(&list);
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    ASSERT_GT(grid.rowCount(), 2);
    grid.show();
    sim->Module().ClearRecords();
  }
  void TearDown() override {
    prot->SetParameterList(nullptr);
    prottest::ModuleFixture::TearDown();
    SetDecimalSeparator(savedSep);
  }
  int RowOf(const QString& name) const {
    for (int r = 0; r < grid.rowCount(); ++r)
      if (grid.item(r, 0) && grid.item(r, 0)->text() == name) return r;
    return -1;
  }

  QTableWidget grid;
  TKVXParamList list;
  MessageRecorder messages;
  char savedSep = '.';
};

}  // namespace

TEST_F(GridToModule, DecimalEntryIsWrittenAsHundredths) {
  const int row = RowOf("OFFSET");
  ASSERT_GE(row, 0);
  QTimer::singleShot(0, [this] {
    list.EditDlg->Form->LENumPara->setText("1,25");
    list.EditDlg->Form->BBtnOK->click();
  });
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {},
                     grid.visualItemRect(grid.item(row, 1)).center());
  const auto received = sim->ReceivedCommands();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), "OFFSET 125");
  EXPECT_EQ(sim->Writes(), (std::vector<modsim::WriteRecord>{{"OFFSET", "125"}}));
  EXPECT_EQ(sim->Module().ValueText("OFFSET"), "125");
  EXPECT_EQ(grid.item(row, 1)->text(), "1,25");
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(GridToModule, EnterOnARowWritesItsValue) {
  const int row = RowOf("GAIN");
  ASSERT_GE(row, 0);
  grid.setCurrentCell(row, 0);
  QTimer::singleShot(0, [this] {
    list.EditDlg->Form->LENumPara->setText("321");
    QTest::keyClick(list.EditDlg->Form->LENumPara, Qt::Key_Return);
  });
  QTest::keyClick(&grid, Qt::Key_Return);
  const auto received = sim->ReceivedCommands();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), "GAIN 321");
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "321");
  EXPECT_EQ(grid.item(row, 1)->text(), "321");
}

TEST_F(GridToModule, CancelledEditSendsNothing) {
  const int row = RowOf("GAIN");
  ASSERT_GE(row, 0);
  QTimer::singleShot(0, [this] {
    list.EditDlg->Form->LENumPara->setText("7");
    list.EditDlg->Form->BBtnCancel->click();
  });
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {},
                     grid.visualItemRect(grid.item(row, 0)).center());
  EXPECT_TRUE(sim->ReceivedCommands().empty());
}

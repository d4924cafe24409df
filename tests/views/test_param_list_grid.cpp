// The parameter grid: which commands are listed for an access code, row counts, the three
// columns, single-cell value updates, and the mouse and key paths to the edit dialog and the
// send request.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ViewsTestUtil.h"
#include "model/MyGlobalUtils.h"
#include "views/osDRUVParamList.h"

using namespace viewtest;

namespace {

constexpr std::uint16_t kDruvtecBit = 1u << 6;

class ParamListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedSep = DecimalSeparator();
    grid = std::make_unique<QTableWidget>();
    grid->resize(1100, 400);
    list.SetParamGrid(grid.get());
    list.OnCmdSendRequest = [this](TObject* sender, TModCtrlCommand* cmd) {
      EXPECT_EQ(sender, &list);
      requests.push_back(cmd);
    };
  }
  void TearDown() override { SetDecimalSeparator(savedSep); }

  template <class T>
  T* Add(std::unique_ptr<T> cmd) {
    T* raw = cmd.get();
    cmds.Add(cmd.release());
    return raw;
  }
  QString Cell(int tableRow, int col) const {
    const QTableWidgetItem* item = grid->item(tableRow, col);
    return item ? item->text() : QString();
  }
  // Centre of a table row's cell in viewport coordinates.
  QPoint CellPos(int tableRow, int col) const {
    return grid->visualItemRect(grid->item(tableRow, col)).center();
  }

  TModCommandList cmds;
  std::unique_ptr<QTableWidget> grid;
  TKVXParamList list;
  std::vector<TModCtrlCommand*> requests;
  MessageRecorder messages;
  char savedSep = '.';
};

}  // namespace

TEST_F(ParamListTest, BindingSetsColumnsAndHeadings) {
  EXPECT_EQ(grid->columnCount(), 3);
  EXPECT_EQ(grid->rowCount(), 1);  // with the heading row: 2 rows
  EXPECT_EQ(grid->columnWidth(0), 130);
  EXPECT_EQ(grid->columnWidth(1), 210);
  EXPECT_EQ(grid->columnWidth(2), 660);
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Command");
  EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Parameter");
  EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "Help");
}

TEST_F(ParamListTest, FillShowsNameValueAndHelp) {
  auto* gain = Add(NumCmd("GAIN", -42, -100, 100));
  gain->Help = "Proportional gain";
  auto* mode = Add(TextCmd("MODE", {"Off", "On"}, "On"));
  mode->Help = "Mode \xE4";
  auto* ain = Add(AinCmd("AIN1", 100, -50, 0, auVoltage));
  auto* cc = Add(CurveCmd("CC1"));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  ASSERT_EQ(grid->rowCount(), 4);
  EXPECT_EQ(Cell(0, 0), "GAIN");
  EXPECT_EQ(Cell(0, 1), "-42");
  EXPECT_EQ(Cell(0, 2), "Proportional gain");
  EXPECT_EQ(Cell(1, 1), "On");
  EXPECT_EQ(Cell(1, 2), QString::fromUtf8("Mode \xC3\xA4"));
  EXPECT_EQ(Cell(2, 1), "   100    -50      0 V");
  EXPECT_EQ(Cell(3, 1), "characteristic curve");
  EXPECT_EQ(list.RowCommand(0), gain);
  EXPECT_EQ(list.RowCommand(3), cc);
  EXPECT_EQ(grid->columnWidth(2), 725);
  EXPECT_EQ(grid->font().family(), "Courier New");
  EXPECT_EQ(grid->font().pointSize(), 10);
  EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
  (void)ain;
}

TEST_F(ParamListTest, OnlyReadWriteCommandsOfTheAccessSetAreListed) {
  auto* writeOnly = Add(NumCmd("WO", 0, 0, 1));
  writeOnly->AType = 1;
  auto* readOnly = Add(NumCmd("RO", 0, 0, 1));
  readOnly->AType = 2;
  auto* druvtec = Add(NumCmd("FACTORY", 0, 0, 1));
  druvtec->GCode = kDruvtecBit;
  auto* basic = Add(NumCmd("BASIC", 0, 0, 1));
  basic->GCode = 1u << 5;
  auto proc = std::make_unique<TModProcCommand>();  // not a parameter
  proc->Name = "PV";
  proc->AType = 3;
  proc->GCode = 0xFFFF;
  cmds.Add(proc.release());

  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  EXPECT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(Cell(0, 0), "FACTORY");
  EXPECT_EQ(Cell(1, 0), "BASIC");

  ASSERT_TRUE(list.Fill(&cmds, kDruvtecBit));
  EXPECT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(Cell(0, 0), "FACTORY");

  // Access code 0: every group but NewTab, NewData and DRUVTEC; as many rows as the list.
  ASSERT_TRUE(list.Fill(&cmds, 0));
  EXPECT_EQ(grid->rowCount(), 5);
  EXPECT_EQ(Cell(0, 0), "BASIC");
  for (int r = 1; r < 5; ++r) {
    EXPECT_EQ(Cell(r, 0), "") << r;
    EXPECT_EQ(list.RowCommand(r), nullptr) << r;
  }
}

TEST_F(ParamListTest, AccessCodeZeroKeepsEmptyRowsAfterTheListed) {
  for (int i = 0; i < 10; ++i) {
    auto* c = Add(NumCmd("P" + std::to_string(i), i, 0, 100));
    if (i % 3 != 0) c->AType = 2;  // 0, 3, 6, 9 pass
  }
  ASSERT_TRUE(list.Fill(&cmds, 0));
  EXPECT_EQ(grid->rowCount(), 10);  // 11 with the headings
  EXPECT_EQ(Cell(3, 0), "P9");
  for (int r = 4; r < 10; ++r) EXPECT_EQ(list.RowCommand(r), nullptr);
}

TEST_F(ParamListTest, EmptyListGivesOneEmptyRowThatOpensNothing) {
  bool opened = false;
  TParamListEditDlgForm* form = list.EditDlg->Form.get();
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (form->isVisible()) {
      opened = true;
      form->reject();
    }
  });
  watch.start(10);
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  EXPECT_EQ(grid->rowCount(), 1);
  grid->show();
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
  grid->setCurrentCell(0, 0);
  QTest::keyClick(grid.get(), Qt::Key_Return);
  Settle();
  EXPECT_FALSE(opened);
  EXPECT_TRUE(requests.empty());
}

TEST_F(ParamListTest, ValueChangeUpdatesOnlyItsCell) {
  auto* a = Add(NumCmd("A", 1, 0, 9999));
  auto* b = Add(NumCmd("B", 2, 0, 9999));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  a->Value = 77;
  b->Value = 88;  // changed without an event: its cell stays
  a->DoChange();
  EXPECT_EQ(Cell(0, 1), "77");
  EXPECT_EQ(Cell(1, 1), "2");
  EXPECT_TRUE(list.RefreshValues());
  EXPECT_EQ(Cell(1, 1), "88");
}

TEST_F(ParamListTest, DecimalsOnlyOnTheChangePath) {
  SetDecimalSeparator(',');
  list.SetShowDecimals(true);
  auto* p = Add(NumCmd("PRESS", 0, 0, 99999, 21));
  auto* q = Add(NumCmd("PLAIN", 0, 0, 99999, 1));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  p->Value = 1234;
  p->DoChange();
  q->Value = 1234;
  q->DoChange();
  EXPECT_EQ(Cell(0, 1), "12,34");
  EXPECT_EQ(Cell(1, 1), "1234");
  list.RefreshValues();
  EXPECT_EQ(Cell(0, 1), "1234");
}

TEST_F(ParamListTest, DoubleClickEditsAndRequestsTheSend) {
  Add(NumCmd("A", 1, 0, 100));
  auto* b = Add(NumCmd("B", 2, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid->show();
  QTimer::singleShot(0, [this] {
    TParamListEditDlgForm& f = *list.EditDlg->Form;
    f.LENumPara->setText("55");
    f.BBtnOK->click();
  });
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, CellPos(1, 2));
  EXPECT_EQ(list.ClickedCmd, b);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], b);
  EXPECT_EQ(b->Value, 55);
  // The grid itself changes no cell: the receiver of the request raises the change event.
  EXPECT_EQ(Cell(1, 1), "2");
  b->DoChange();
  EXPECT_EQ(Cell(1, 1), "55");
}

TEST_F(ParamListTest, EnterEditsTheCurrentRow) {
  Add(NumCmd("A", 1, 0, 100));
  auto* mode = Add(TextCmd("MODE", {"Off", "On"}, "Off"));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid->setCurrentCell(1, 0);
  QTimer::singleShot(0, [this] {
    list.EditDlg->Form->CBoxTextPara->setCurrentIndex(1);
    list.EditDlg->Form->BBtnOK->click();
  });
  QTest::keyClick(grid.get(), Qt::Key_Return);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], mode);
  EXPECT_EQ(mode->Text, "On");
}

TEST_F(ParamListTest, ClickOnTheHeadingsForgetsTheClickedCommand) {
  Add(NumCmd("A", 1, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid->show();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellPos(0, 1));
  EXPECT_NE(list.ClickedCmd, nullptr);
  QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
  EXPECT_EQ(list.ClickedCmd, nullptr);
  list.GridDblClick();  // opens nothing: no dialog shown, no request
  EXPECT_TRUE(requests.empty());
}

TEST_F(ParamListTest, RefillForgetsTheClickedCommand) {
  Add(NumCmd("A", 1, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid->show();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellPos(0, 0));
  ASSERT_NE(list.ClickedCmd, nullptr);
  cmds.Clear();  // a new identification frees the old commands
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  EXPECT_EQ(list.ClickedCmd, nullptr);
}

TEST_F(ParamListTest, CommandsFreedWithoutARefillAreNeverTouched) {
  // A failed identification can empty the command list without refilling the grid: its rows
  // still name the old commands, which must be left alone.
  Add(NumCmd("A", 1, 0, 100));
  Add(NumCmd("B", 2, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid->show();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellPos(1, 0));
  ASSERT_NE(list.ClickedCmd, nullptr);
  cmds.Clear();
  bool opened = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (list.EditDlg->Form->isVisible()) {
      opened = true;
      list.EditDlg->Form->reject();
    }
  });
  watch.start(10);
  EXPECT_EQ(list.RowCommand(0), nullptr);
  EXPECT_EQ(list.RowCommand(1), nullptr);
  list.GridDblClick();
  EXPECT_EQ(list.ClickedCmd, nullptr);
  grid->setCurrentCell(0, 0);
  QTest::keyClick(grid.get(), Qt::Key_Return);
  EXPECT_TRUE(list.RefreshValues());
  EXPECT_EQ(Cell(0, 1), "1");  // nothing read from the freed command
  Settle();
  EXPECT_FALSE(opened);
  EXPECT_TRUE(requests.empty());
  // A refill with new commands works as ever.
  auto* c = Add(NumCmd("C", 3, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  EXPECT_EQ(list.RowCommand(0), c);
}

TEST_F(ParamListTest, OnlyTheLeftButtonsDoubleClickOpensTheEditor) {
  auto* a = Add(NumCmd("A", 1, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid->show();
  bool opened = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (list.EditDlg->Form->isVisible()) {
      opened = true;
      list.EditDlg->Form->reject();
    }
  });
  watch.start(10);
  QTest::mouseDClick(grid->viewport(), Qt::RightButton, {}, CellPos(0, 1));
  Settle();
  EXPECT_EQ(list.ClickedCmd, a);  // still a press on the row
  EXPECT_FALSE(opened);
  EXPECT_TRUE(requests.empty());
}

TEST_F(ParamListTest, RemovedGridLeavesAUsableList) {
  Add(NumCmd("A", 1, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid.reset();
  EXPECT_EQ(list.ParamGrid(), nullptr);
  EXPECT_FALSE(list.Fill(&cmds, 0xFFFF));
  EXPECT_FALSE(list.RefreshValues());
  static_cast<TModNumParaCmd*>(cmds.GetCommand(0))->DoChange();  // no grid: nothing to do
  EXPECT_FALSE(list.Fill(nullptr, 0));
}

TEST(ParamListLifetime, CommandsOutlivingTheListStaySafe) {
  QTableWidget grid;
  TModCommandList cmds;
  auto cmd = NumCmd("A", 1, 0, 100);
  TModNumParaCmd* raw = cmd.get();
  cmds.Add(cmd.release());
  {
    TKVXParamList list;
    list.SetParamGrid(&grid);
    ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  }
  raw->Value = 5;
  raw->DoChange();  // the list is gone: its handler does nothing
  EXPECT_EQ(grid.item(0, 1)->text(), "1");
}

TEST_F(ParamListTest, CellsAreDrawnWithTheirAlignment) {
  Add(NumCmd("A", 1, 0, 100));
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  grid->show();
  grid->clearSelection();
  grid->setCurrentCell(-1, -1);
  const QImage img = grid->viewport()->grab().toImage();
  const QRect value = grid->visualItemRect(grid->item(0, 1));
  const QRgb base = grid->palette().color(QPalette::Base).rgb();
  // The value "1" hugs the right edge of its cell, 4 pixels in.
  int rightmostInk = -1;
  for (int x = value.left(); x <= value.right(); ++x)
    for (int y = value.top() + 2; y < value.bottom() - 1; ++y)
      if (img.pixel(x, y) != base && x < value.right() - 1) rightmostInk = std::max(rightmostInk, x);
  EXPECT_GT(rightmostInk, value.right() - 12);
  EXPECT_LE(rightmostInk, value.right() - 4);
  // The name column carries the fixed colour.
  const QRect name = grid->visualItemRect(grid->item(0, 0));
  EXPECT_EQ(img.pixel(name.right() - 3, name.top() + 3),
            grid->palette().color(QPalette::Button).rgb());
  // The current row keeps its highlight hue, dark enough for its text to be read.
  QPalette pale = grid->palette();
  pale.setColor(QPalette::Highlight, QColor(0x30, 0x8C, 0xC6));
  pale.setColor(QPalette::HighlightedText, Qt::white);
  grid->setPalette(pale);
  grid->selectRow(0);
  const QColor current = grid->viewport()->grab().toImage().pixelColor(value.left() + 3, value.top() + 3);
  EXPECT_GE(Contrast(current, Qt::white), 4.5);
  EXPECT_GT(current.blue(), current.red() + 40);
}

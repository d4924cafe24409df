// The monitor's rows: how many there are for each visibility kind, which of them fit the height,
// where they stand, and what a row's list offers and does when the user picks or types.
#include <gtest/gtest.h>

#include <QFrame>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "MonitorFixture.h"

using namespace monitortest;

namespace {

class MonitorRows : public ::testing::Test {
 protected:
  void SetUp() override { FillList(list, 6); }

  TMonitorForm* Form() { return monitor.Form(); }
  QComboBox* Combo(int row) { return Form()->Combos.at(row); }
  TKVXMonitorInfoPanel* Panel(int row) { return Form()->Panels.at(row); }

  // Embeds the monitor in a host whose rows area (Panel3) is `rowsHeight` high once shown.
  void EmbedShown(int rowsHeight) {
    host = std::make_unique<QFrame>();
    host->resize(TMonitorForm::DesignWidth, rowsHeight + 2);
    monitor.SetParent(host.get());
    monitor.Show();
    host->show();
  }

  TModProcessData list;
  std::unique_ptr<QFrame> host;  // declared before the monitor: it outlives the monitor's form
  TKVXMonitor monitor;
};

}  // namespace

TEST_F(MonitorRows, RowCountFollowsTheVisibilityKind) {
  monitor.SetProcessDataStructure(&list);
  EXPECT_EQ(Form()->Combos.size(), 4u);  // vpDefault: at most four
  EXPECT_EQ(Form()->Panels.size(), 4u);

  monitor.SetVisibleParamCnt(2);
  EXPECT_EQ(Form()->Combos.size(), 4u);  // the count only matters for vpCustom
  monitor.SetVisibleParamKind(vpCustom);
  EXPECT_EQ(Form()->Combos.size(), 2u);
  monitor.SetVisibleParamCnt(9);
  EXPECT_EQ(Form()->Combos.size(), 6u);  // never more rows than values
  monitor.SetVisibleParamCnt(-3);
  EXPECT_EQ(Form()->Combos.size(), 0u);

  monitor.SetVisibleParamKind(vpMax);
  EXPECT_EQ(Form()->Combos.size(), 6u);
  EXPECT_EQ(Form()->Panels.size(), 6u);

  // A kind read from a damaged settings file still gives the default four rows.
  monitor.SetVisibleParamKind(static_cast<TVisibleParamKind>(7));
  EXPECT_EQ(Form()->Combos.size(), 4u);
}

TEST_F(MonitorRows, EachRowStartsWithItsOwnValue) {
  monitor.SetVisibleParamKind(vpMax);
  list.GetProcCommand(2)->Value = 4711;  // the monitor's copy starts at 0
  monitor.SetProcessDataStructure(&list);
  for (int i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i + 1);
    EXPECT_EQ(ItemsOf(Combo(i)), std::vector<QString>{QString::fromStdString("PV" + n)});
    EXPECT_EQ(Combo(i)->currentIndex(), 0);
    EXPECT_EQ(ReadoutOf(Panel(i)),
              (Readout{QString::fromStdString("PV" + n), "0.00", QString::fromStdString("U" + n),
                       QString::fromStdString("Value " + n)}));
  }
  EXPECT_EQ(monitor.ProcData()->Count(), 6);
  EXPECT_NE(monitor.ProcData()->GetProcCommand(0), list.GetProcCommand(0));
}

TEST_F(MonitorRows, MissingOrEmptyListsGiveNoRows) {
  monitor.SetProcessDataStructure(&list);
  monitor.SetProcessDataStructure(nullptr);  // ignored: the rows stay
  EXPECT_EQ(Form()->Combos.size(), 4u);

  TModProcessData empty;
  monitor.SetProcessDataStructure(&empty);
  EXPECT_EQ(Form()->Combos.size(), 0u);
  EXPECT_EQ(Form()->Panels.size(), 0u);

  Form()->Build(nullptr, vpMax, 4);
  EXPECT_TRUE(Form()->Combos.empty());
}

TEST_F(MonitorRows, RowsStandCentredInTheDialog) {
  monitor.SetVisibleParamKind(vpMax);
  monitor.SetProcessDataStructure(&list);
  // The dialog's rows area is 533 x 410.
  ASSERT_EQ(Form()->Panel3->size(), QSize(533, 410));
  EXPECT_EQ(Combo(0)->pos(), QPoint(34, 25));
  EXPECT_EQ(Combo(0)->width(), 100);
  EXPECT_EQ(Panel(0)->geometry(), QRect(159, 25, 340, 55));
  EXPECT_EQ(Combo(1)->pos(), QPoint(34, 100));
  EXPECT_EQ(Panel(1)->pos(), QPoint(159, 100));
  EXPECT_EQ(Panel(0)->Para()->width(), 90);
  EXPECT_EQ(Panel(0)->PUnit()->width(), 60);
  // Five rows fit 410 pixels; the sixth waits, hidden rather than cut off.
  EXPECT_EQ(Form()->VisibleRowCount(), 5);
  EXPECT_EQ(RowsShown(Form()), (std::vector<bool>{true, true, true, true, true, false}));
}

TEST_F(MonitorRows, HeightDecidesWhichRowsAreShown) {
  monitor.SetVisibleParamKind(vpMax);
  monitor.SetProcessDataStructure(&list);
  EmbedShown(410);
  ASSERT_EQ(Form()->Panel3->height(), 410);
  EXPECT_FALSE(Form()->Panel2->isVisible());  // no OK button while embedded
  EXPECT_EQ(RowsShown(Form()), (std::vector<bool>{true, true, true, true, true, false}));

  host->resize(host->width(), 479 + 2);
  EXPECT_EQ(RowsShown(Form()).back(), false);
  host->resize(host->width(), 480 + 2);  // (480 - 30) div 75 = 6
  EXPECT_EQ(RowsShown(Form()), std::vector<bool>(6, true));

  host->resize(host->width(), 105 + 2);  // one row: 25 + 55 + 25
  EXPECT_EQ(RowsShown(Form()), (std::vector<bool>{true, false, false, false, false, false}));
  host->resize(host->width(), 104 + 2);
  EXPECT_EQ(RowsShown(Form()), std::vector<bool>(6, false));
  host->resize(host->width(), 10);
  EXPECT_EQ(Form()->VisibleRowCount(), 0);
  EXPECT_EQ(RowsShown(Form()), std::vector<bool>(6, false));
}

TEST_F(MonitorRows, AFramedHostKeepsItsFrameAndTheRowsFitInside) {
  monitor.SetVisibleParamKind(vpMax);
  monitor.SetProcessDataStructure(&list);
  // A panel with a bevel, as the main window's monitor page has: the form fills its inside.
  host = std::make_unique<QFrame>();
  host->setFrameStyle(QFrame::Panel | QFrame::Raised);
  host->setLineWidth(3);
  host->resize(TMonitorForm::DesignWidth + 6, 480 + 2 + 6);
  monitor.SetParent(host.get());
  monitor.Show();
  host->show();
  EXPECT_EQ(Form()->geometry(), host->contentsRect());
  EXPECT_EQ(Form()->Panel3->height(), 480);
  EXPECT_EQ(RowsShown(Form()), std::vector<bool>(6, true));
  host->resize(host->width(), 479 + 2 + 6);
  EXPECT_EQ(Form()->geometry(), host->contentsRect());
  EXPECT_EQ(RowsShown(Form()).back(), false);
}

TEST_F(MonitorRows, WidthRecentresTheRows) {
  monitor.SetProcessDataStructure(&list);
  EmbedShown(410);
  host->resize(800 + 2, host->height());
  EXPECT_EQ(Combo(0)->x(), (800 - 465) / 2);
  EXPECT_EQ(Panel(0)->x(), (800 - 465) / 2 + 125);
  EXPECT_EQ(Combo(3)->x(), Combo(0)->x());
  EXPECT_EQ(Combo(3)->y(), 25 + 3 * 75);  // resizing moves rows sideways only

  host->resize(400 + 2, host->height());  // too narrow: rows start at the left edge
  EXPECT_EQ(Combo(0)->x(), 0);
  EXPECT_EQ(Panel(0)->x(), 125);
}

TEST_F(MonitorRows, BuildInANarrowAreaMayStartLeftOfTheEdge) {
  host = std::make_unique<QFrame>();
  host->resize(300 + 2, 466);
  monitor.SetParent(host.get());
  monitor.SetProcessDataStructure(&list);
  EXPECT_EQ(Combo(0)->x(), (300 - 465) / 2);  // -82: truncated toward zero
}

TEST_F(MonitorRows, ListOffersValuesNoOtherVisibleRowShows) {
  monitor.SetVisibleParamKind(vpCustom);
  monitor.SetVisibleParamCnt(3);
  monitor.SetProcessDataStructure(&list);
  EmbedShown(410);

  Form()->ComboDropDown(Combo(0));
  EXPECT_EQ(ItemsOf(Combo(0)), (std::vector<QString>{"---", "PV1", "PV4", "PV5", "PV6"}));
  EXPECT_EQ(Combo(0)->maxVisibleItems(), 5);

  // Row 2 no longer fits: its value is free for the others.
  host->resize(host->width(), 200);
  ASSERT_EQ(RowsShown(Form()), (std::vector<bool>{true, true, false}));
  Form()->ComboDropDown(Combo(1));
  EXPECT_EQ(ItemsOf(Combo(1)), (std::vector<QString>{"---", "PV2", "PV3", "PV4", "PV5", "PV6"}));
}

TEST_F(MonitorRows, ChoosingFromTheListChangesTheRow) {
  monitor.SetVisibleParamKind(vpCustom);
  monitor.SetVisibleParamCnt(2);
  monitor.SetProcessDataStructure(&list);
  EmbedShown(410);

  QComboBox* combo = Combo(1);
  combo->showPopup();  // the real opening path rebuilds the list
  ASSERT_EQ(ItemsOf(combo), (std::vector<QString>{"---", "PV2", "PV3", "PV4", "PV5", "PV6"}));
  combo->hidePopup();
  const int pv5 = combo->findText("PV5");
  combo->setCurrentIndex(pv5);
  emit combo->activated(pv5);
  EXPECT_EQ(ReadoutOf(Panel(1)), (Readout{"PV5", "0.00", "U5", "Value 5"}));

  FeedBlock(monitor, {100, 200, 300, 400, 500, 600});
  EXPECT_EQ(Panel(1)->Data()->text(), "5.00");
  EXPECT_EQ(Panel(0)->Data()->text(), "1.00");

  // Row 0 can no longer offer PV5.
  Form()->ComboDropDown(Combo(0));
  EXPECT_EQ(Combo(0)->findText("PV5"), -1);

  combo->setCurrentIndex(0);  // "---"
  emit combo->activated(0);
  EXPECT_EQ(ReadoutOf(Panel(1)), (Readout{"---", "---", "---", "---"}));
  FeedBlock(monitor, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(ReadoutOf(Panel(1)), (Readout{"---", "---", "---", "---"}));  // left out of refreshes
}

TEST_F(MonitorRows, ClosingTheListWithoutAChoiceKeepsTheRowLive) {
  monitor.SetProcessDataStructure(&list);
  EmbedShown(410);
  FeedBlock(monitor, {100, 200});

  QComboBox* combo = Combo(0);
  combo->showPopup();
  combo->hidePopup();
  EXPECT_EQ(combo->currentText(), "PV1");
  FeedBlock(monitor, {150, 250});
  EXPECT_EQ(ReadoutOf(Panel(0)), (Readout{"PV1", "1.50", "U1", "Value 1"}));
  EXPECT_EQ(Panel(1)->Data()->text(), "2.50");

  // A row reset to "---" stays "---" when its list is opened and closed again.
  Combo(1)->setCurrentIndex(-1);
  Form()->ComboItemChosen(Combo(1));
  Form()->ComboDropDown(Combo(1));
  EXPECT_EQ(Combo(1)->currentText(), "---");
  EXPECT_EQ(ReadoutOf(Panel(1)), (Readout{"---", "---", "---", "---"}));
}

TEST_F(MonitorRows, TypingATextThatIsNoItemResetsTheRow) {
  monitor.SetProcessDataStructure(&list);
  EmbedShown(410);
  QComboBox* combo = Combo(2);
  combo->lineEdit()->selectAll();
  QTest::keyClicks(combo->lineEdit(), "x");
  EXPECT_EQ(combo->currentIndex(), -1);
  EXPECT_EQ(combo->currentText(), "---");
  EXPECT_EQ(ReadoutOf(Panel(2)), (Readout{"---", "---", "---", "---"}));
  EXPECT_EQ(combo->count(), 1);  // typing adds nothing to the list

  // The name of an item, in any case, is accepted as it stands.
  QComboBox* other = Combo(3);
  other->lineEdit()->selectAll();
  other->lineEdit()->setText("pv4");
  Form()->ComboChange(other);
  EXPECT_EQ(other->currentText(), "pv4");
  EXPECT_EQ(Panel(3)->Para()->text(), "PV4");
}

TEST_F(MonitorRows, RebuildDropsTheUsersChoices) {
  monitor.SetProcessDataStructure(&list);
  QComboBox* combo = Combo(0);
  Form()->ComboDropDown(combo);
  const int pv6 = combo->findText("PV6");
  combo->setCurrentIndex(pv6);
  Form()->ComboItemChosen(combo);
  ASSERT_EQ(Panel(0)->Para()->text(), "PV6");

  monitor.SetVisibleParamKind(vpMax);
  EXPECT_EQ(Panel(0)->Para()->text(), "PV1");
  monitor.SetVisibleParamKind(vpMax);  // unchanged: no rebuild
  EXPECT_EQ(Form()->Combos.size(), 6u);
}

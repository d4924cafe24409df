// What the monitor shows and passes on: values from binary blocks and single text replies, the
// two status events, the read-out panel's fonts and texts, and the form's host going away.
#include <gtest/gtest.h>

#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <memory>
#include <vector>

#include "MonitorFixture.h"

using namespace monitortest;

namespace {

class MonitorValues : public ::testing::Test {
 protected:
  void SetUp() override {
    FillList(list, 3);
    monitor.SetVisibleParamKind(vpMax);
    monitor.SetProcessDataStructure(&list);
  }
  QString Shown(int row) { return monitor.Form()->Panels.at(row)->Data()->text(); }
  std::int32_t Raw(int i) { return monitor.ProcData()->GetProcCommand(i)->Value; }

  TModProcessData list;
  TKVXMonitor monitor;
};

}  // namespace

TEST_F(MonitorValues, BinaryBlockSetsEveryEntry) {
  FeedBlock(monitor, {1234, 0xFFFF, 5});
  EXPECT_EQ(Raw(1), 65535);  // the block's words are unsigned
  EXPECT_EQ(Shown(0), "12.34");
  EXPECT_EQ(Shown(1), "655.35");
  EXPECT_EQ(Shown(2), "0.05");

  // A short block: the entries it does not reach read 0.
  FeedBlock(monitor, {700});
  EXPECT_EQ(Shown(0), "7.00");
  EXPECT_EQ(Shown(1), "0.00");
  EXPECT_EQ(Shown(2), "0.00");

  // A block with more values than entries changes nothing beyond them.
  FeedBlock(monitor, {1, 2, 3, 4, 5});
  EXPECT_EQ(Shown(2), "0.03");

  // A broken block (only a header byte) holds no values.
  const unsigned char oneByte[] = {0x12};
  TBINProcDataObj broken(oneByte, 1, true, 0);
  monitor.NewProcessData(&broken);
  EXPECT_EQ(Shown(0), "0.00");
}

TEST_F(MonitorValues, TextReplySetsTheEntryAtItsIndex) {
  FeedBlock(monitor, {100, 200, 300});
  FeedText(monitor, 1, -250);
  EXPECT_EQ(Shown(0), "1.00");
  EXPECT_EQ(Shown(1), "-2.50");
  EXPECT_EQ(Shown(2), "3.00");

  // An index the list does not have is ignored.
  FeedText(monitor, 3, 999);
  FeedText(monitor, -1, 999);
  EXPECT_EQ(Raw(0), 100);
  EXPECT_EQ(Raw(2), 300);
}

TEST_F(MonitorValues, AnyRecordRefreshesTheRows) {
  monitor.ProcData()->GetProcCommand(0)->Value = 4200;
  monitor.NewProcessData(nullptr);
  EXPECT_EQ(Shown(0), "42.00");
}

TEST_F(MonitorValues, FactorZeroShowsNoValue) {
  TModProcessData zero;
  FillList(zero, 2);
  zero.GetProcCommand(1)->CompFactor = 0;
  monitor.SetProcessDataStructure(&zero);
  EXPECT_EQ(Shown(1), "---");
  FeedBlock(monitor, {5, 7});
  EXPECT_EQ(Shown(0), "0.05");
  EXPECT_EQ(Shown(1), "---");
  EXPECT_EQ(monitor.Form()->Panels.at(1)->Para()->text(), "PV2");
}

TEST_F(MonitorValues, TextsComeInAsWindows1252) {
  TModProcessData one;
  auto* cmd = new TModProcCommand;
  cmd->Name = "TEMP";
  cmd->Help = "Temperatur \xFC" "ber alles";  // u umlaut
  cmd->PhysUnit = "\xB0" "C";                 // degree sign
  cmd->CompFactor = 10;
  one.Add(cmd);
  monitor.SetProcessDataStructure(&one);
  const TKVXMonitorInfoPanel* panel = monitor.Form()->Panels.at(0);
  EXPECT_EQ(panel->PUnit()->text(), QString::fromUtf8("\u00B0C"));
  EXPECT_EQ(panel->Info()->text(), QString::fromUtf8("Temperatur \u00FCber alles"));
  EXPECT_EQ(monitor.Form()->Combos.at(0)->currentText(), "TEMP");
}

TEST(MonitorStatus, EventsPassTheStatusOnToTheMainWindow) {
  TKVXMonitor monitor;
  TModStatusInfoData bits;
  monitor.FireNewStatusInfo(0x8001);  // without handlers nothing happens

  std::vector<TModStatusInfoData*> structures;
  std::vector<std::uint16_t> words;
  TObject* sender = nullptr;
  monitor.OnStatusInfoStrucInit = [&](TObject* s, TModStatusInfoData* st) {
    sender = s;
    structures.push_back(st);
  };
  monitor.OnNewStatusInfo = [&](TObject* s, std::uint16_t w) {
    sender = s;
    words.push_back(w);
  };

  monitor.FireStatusInfoStrucInit(nullptr);  // no structure, no event
  EXPECT_TRUE(structures.empty());
  monitor.FireStatusInfoStrucInit(&bits);
  EXPECT_EQ(structures, std::vector<TModStatusInfoData*>{&bits});
  EXPECT_EQ(sender, static_cast<TObject*>(&monitor));

  sender = nullptr;
  monitor.FireNewStatusInfo(0x8001);
  monitor.FireNewStatusInfo(0);
  EXPECT_EQ(words, (std::vector<std::uint16_t>{0x8001, 0}));
  EXPECT_EQ(sender, static_cast<TObject*>(&monitor));

  // Through the protocol's view of the monitor.
  IMonitorView* view = &monitor;
  view->FireNewStatusInfo(0xFFFF);
  EXPECT_EQ(words.back(), 0xFFFF);
}

TEST(MonitorInfoPanel, FontsGoToTheirLabels) {
  TKVXMonitorInfoPanel panel;
  EXPECT_EQ(panel.size(), QSize(300, 55));
  EXPECT_EQ(panel.ParaFont().pointSize(), 20);
  EXPECT_EQ(panel.InfoFont().pointSize(), 8);
  EXPECT_EQ(panel.Info()->font().pointSize(), 8);  // the help text keeps its own font

  QFont bigger = panel.ParaFont();
  bigger.setPointSize(24);
  bigger.setBold(true);
  panel.SetParaFont(bigger);
  for (const QLabel* label : {panel.Para(), panel.Data(), panel.PUnit()}) {
    EXPECT_EQ(label->font().pointSize(), 24);
    EXPECT_TRUE(label->font().bold());
  }
  EXPECT_EQ(panel.Info()->font().pointSize(), 8);
  EXPECT_EQ(panel.InfoFont().pointSize(), 8);

  QFont small = panel.InfoFont();
  small.setPointSize(7);
  panel.SetInfoFont(small);
  EXPECT_EQ(panel.Info()->font().pointSize(), 7);
  EXPECT_EQ(panel.ParaFont().pointSize(), 24);
}

namespace {

// The first and last columns of a label's picture that hold text ink, or (-1, -1).
std::pair<int, int> InkColumns(QLabel* label) {
  const QImage image = label->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRgb background = image.pixel(image.width() / 2, 0);
  int first = -1, last = -1;
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(x, y) != background) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

}  // namespace

TEST(MonitorInfoPanel, AValueTooWideIsDrawnSmallerNeverCut) {
  QFrame host;
  auto* panel = new TKVXMonitorInfoPanel(&host);
  panel->resize(200, 55);  // the value column is 70 pixels wide
  host.resize(220, 80);
  host.show();
  panel->Data()->setText("-21474836.48");
  const int textWidth = QFontMetrics(panel->ParaFont()).horizontalAdvance("-21474836.48");
  ASSERT_LT(panel->Data()->width(), textWidth);
  const auto [first, last] = InkColumns(panel->Data());
  ASSERT_GE(first, 0) << "nothing drawn";
  // Cut off, the text would run into the label's left text edge.
  EXPECT_GT(first, panel->Data()->contentsRect().left()) << "sign or leading digits cut off";
  EXPECT_LE(last, panel->Data()->contentsRect().right());
  EXPECT_EQ(panel->Data()->text(), "-21474836.48");  // the text itself is whole

  panel->Para()->setText("WWWWWWWWWWWW");  // dense glyphs: cut off, they would fill the edge
  const int pLast = InkColumns(panel->Para()).second;
  EXPECT_LT(pLast, panel->Para()->contentsRect().right()) << "the name runs into its edge";
}

TEST(MonitorLifecycle, TheFormFollowsItsHost) {
  TModProcessData list;
  FillList(list, 2);
  auto monitor = std::make_unique<TKVXMonitor>();
  TMonitorForm* form = monitor->Form();
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(form->windowTitle(), "MonitorForm");
  EXPECT_EQ(form->size(), QSize(535, 466));

  auto host = std::make_unique<QFrame>();
  host->resize(700, 500);
  monitor->SetParent(host.get());
  EXPECT_EQ(monitor->Parent(), host.get());
  EXPECT_EQ(form->parentWidget(), host.get());
  EXPECT_FALSE(form->isWindow());
  EXPECT_EQ(form->geometry(), host->rect());
  monitor->Show();
  host->show();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->Panel2->isVisible());

  // Back to a dialog of its own, with the OK button bar.
  monitor->SetParent(nullptr);
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(form->size(), QSize(535, 466));
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->Panel2->isVisible());
  form->BBtnOK->click();
  EXPECT_FALSE(form->isVisible());

  // The host takes the form with it when it goes first; the monitor carries on without rows.
  monitor->SetParent(host.get());
  host.reset();
  EXPECT_EQ(monitor->Form(), nullptr);
  EXPECT_EQ(monitor->Parent(), nullptr);
  monitor->SetProcessDataStructure(&list);
  FeedBlock(*monitor, {1, 2});
  monitor->SetVisibleParamKind(vpMax);
  monitor->Show();
  monitor->SetParent(nullptr);
  EXPECT_EQ(monitor->ProcData()->GetProcCommand(1)->Value, 2);
  monitor.reset();

  // The monitor takes its form out of a host that stays.
  QFrame keeper;
  monitor = std::make_unique<TKVXMonitor>();
  monitor->SetParent(&keeper);
  monitor->SetProcessDataStructure(&list);
  ASSERT_EQ(keeper.findChildren<TMonitorForm*>().size(), 1);
  monitor.reset();
  EXPECT_TRUE(keeper.findChildren<TMonitorForm*>().isEmpty());
  keeper.resize(300, 300);  // no filter of the dead monitor is left on the host
}

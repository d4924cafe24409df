// The hidden options' check list: only marks that differ after OK are taken and reported.
#include <gtest/gtest.h>

#include <QListWidget>
#include <vector>

#include "ServicesTestUtil.h"
#include "services/osApplOptions.h"
#include "services/osApplOptionsDlg.h"

namespace {

struct Change {
  std::string Name;
  int Index;
  int Id;
  bool operator==(const Change&) const = default;
};

struct HiddenOptions : ::testing::Test {
  TosApplOptions opt;
  std::vector<Change> changes;
  HiddenOptions() {
    for (const char* name : {"DRUV", "OEM", "Extra"}) opt.Options().Add()->Name = name;
    opt.OnOptionStateChanged = [this](TObject* sender, const std::string& name, int index, int id) {
      EXPECT_EQ(sender, &opt);
      changes.push_back({name, index, id});
    };
  }
  // Runs Execute, toggling the given rows (a row twice toggles it back), then OK or Cancel.
  bool Run(std::vector<int> toggles, bool ok) {
    svctest::ModalAnswer answer([&](QDialog* d) {
      auto* list = d->findChild<QListWidget*>("ChkLBox");
      EXPECT_EQ(list->count(), opt.Options().Count());
      for (int row : toggles) {
        QListWidgetItem* item = list->item(row);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
      }
      return ok ? QDialog::Accepted : QDialog::Rejected;
    });
    return opt.Execute();
  }
};

}  // namespace

TEST_F(HiddenOptions, OkWithoutChangesOrWithAChangeTakenBackReportsNothing) {
  EXPECT_TRUE(Run({}, true));
  EXPECT_TRUE(Run({0, 0}, true));
  EXPECT_TRUE(changes.empty());
  EXPECT_FALSE(opt.Options().Items(0)->Enabled);
}

TEST_F(HiddenOptions, CancelKeepsEveryOption) {
  EXPECT_FALSE(Run({0, 2}, false));
  EXPECT_TRUE(changes.empty());
  EXPECT_FALSE(opt.Options().Items(0)->Enabled);
  EXPECT_FALSE(opt.Options().Items(2)->Enabled);
}

TEST_F(HiddenOptions, TwoChangesAreReportedInCollectionOrderAndShownNextTime) {
  EXPECT_TRUE(Run({2, 0}, true));
  const int id0 = opt.Options().Items(0)->ID(), id2 = opt.Options().Items(2)->ID();
  EXPECT_EQ(changes, (std::vector<Change>{{"DRUV", 0, id0}, {"Extra", 2, id2}}));
  EXPECT_TRUE(opt.Options().Items(0)->Enabled);
  // The list is built again from the states: unchecking DRUV reports it once more.
  changes.clear();
  EXPECT_TRUE(Run({0}, true));
  EXPECT_EQ(changes, (std::vector<Change>{{"DRUV", 0, id0}}));
  EXPECT_FALSE(opt.Options().Items(0)->Enabled);
}

TEST_F(HiddenOptions, ItemsKeepTheirIdentifierAndCopiesGetTheirOwn) {
  const int idOem = opt.Options().Items(1)->ID();
  opt.Options().Delete(0);
  EXPECT_EQ(opt.Options().Items(0)->ID(), idOem);
  EXPECT_EQ(opt.Options().Items(0)->Index(), 0);
  TOptions copy;
  copy.Add()->Name = "DRUV";
  copy.Items(0)->Enabled = true;
  opt.SetOptions(copy);
  ASSERT_EQ(opt.Options().Count(), 1);
  EXPECT_TRUE(opt.Options().Items(0)->Enabled);
  EXPECT_EQ(opt.Options().Items(5), nullptr);
}

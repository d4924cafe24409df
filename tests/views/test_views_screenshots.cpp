// The windows as a person sees them, filled from the simulated module's own listing: the
// parameter grid and each page of the edit dialog are laid out without anything cut off or
// overlapping. With KVX_SCREENSHOT_DIR set, each window is also written there as a PNG (run under
// Xvfb with that variable to refresh the pictures in docs/).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "LayoutTestUtil.h"
#include "ViewsTestUtil.h"
#include "tools/modsim/CommandTable.h"
#include "views/osDRUVParamList.h"

using namespace viewtest;

namespace {

// The simulated module's commands as the tool builds them from its listing, with its values.
void LoadModuleListing(TModCommandList& list) {
  for (const modsim::CommandDef& def : modsim::MakeCommandTable()) {
    std::unique_ptr<TModBaseCommand> cmd = ParseModCommandLine(modsim::ListingLine(def));
    if (!cmd) continue;
    if (auto* n = dynamic_cast<TModNumParaCmd*>(cmd.get())) n->Value = def.Initial.Value;
    if (auto* t = dynamic_cast<TModTextParaCmd*>(cmd.get())) t->SetText(def.Initial.Text);
    if (auto* a = dynamic_cast<TModAinParaCmd*>(cmd.get())) {
      a->A = def.Initial.A, a->B = def.Initial.B, a->C = def.Initial.C;
      a->Unit = def.Initial.Current ? auCurrent : auVoltage;
    }
    if (auto* c = dynamic_cast<TModCCParaCmd*>(cmd.get()))
      for (int i = modsim::kCurveFirst; i <= modsim::kCurveLast; ++i)
        c->SetPoint(i, TModCCPoint{def.Initial.X[static_cast<std::size_t>(i + 10)],
                                   def.Initial.Y[static_cast<std::size_t>(i + 10)]});
    // Remote-control inputs have a list of their own.
    if (dynamic_cast<TModCtrlCommand*>(cmd.get()) && !dynamic_cast<TModRemoteCtrlCmd*>(cmd.get()))
      list.Add(cmd.release());
  }
}

template <class T>
T* FirstOf(TModCommandList& list) {
  for (int i = 0; i < list.Count(); ++i)
    if (auto* c = dynamic_cast<T*>(list.GetObject(i)); c && c->AType == 3) return c;
  return nullptr;
}

// Nothing cut off, nothing on top of something else; the paint box counts as one control.
void ExpectTidy(QWidget* top, const char* what) {
  layouttest::ExpectTidy(top, what, [](QWidget* w) { return dynamic_cast<TPaintBox*>(w) != nullptr; });
}

void Save(QWidget* w, const char* file) { layouttest::SavePicture(w, file); }

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadModuleListing(cmds); }
  TModCommandList cmds;
  TParamListEditDlg dlg;
};

}  // namespace

TEST_F(ScreenTest, ParameterGrid) {
  QWidget window;
  window.setWindowTitle("Parameters");
  auto* grid = new QTableWidget(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(grid);
  window.resize(1000, 560);
  TKVXParamList list;
  list.SetParamGrid(grid);
  ASSERT_TRUE(list.Fill(&cmds, 0xFFFF));
  ASSERT_GT(grid->rowCount(), 5);
  grid->selectRow(2);
  window.show();
  Settle();
  // Every row is tall enough for its font, and the value column's texts fit their cells.
  const QFontMetrics fm(grid->font());
  EXPECT_GE(grid->rowHeight(0), fm.height() + 2);
  for (int r = 0; r < grid->rowCount(); ++r) {
    if (const QTableWidgetItem* v = grid->item(r, 1)) {
      EXPECT_LE(fm.horizontalAdvance(v->text()) + 8, grid->columnWidth(1)) << r;
    }
  }
  Save(&window, "param-grid.png");
}

TEST_F(ScreenTest, EditDialogPages) {
  dlg.ShowDecimals = true;
  struct Page {
    TModCtrlCommand* cmd;
    const char* file;
  } pages[] = {{FirstOf<TModTextParaCmd>(cmds), "edit-dialog-text.png"},
               {FirstOf<TModNumParaCmd>(cmds), "edit-dialog-number.png"},
               {FirstOf<TModAinParaCmd>(cmds), "edit-dialog-analog-input.png"},
               {FirstOf<TModCCParaCmd>(cmds), "edit-dialog-curve.png"}};
  for (const Page& p : pages) {
    ASSERT_NE(p.cmd, nullptr) << p.file;
    ExecuteWith(dlg, p.cmd, [&](TParamListEditDlgForm& f) {
      Settle();
      ExpectTidy(&f, p.file);
      Save(&f, p.file);
      f.reject();
    });
  }
}

TEST(MessageScreen, ErrorMessage) {
  TAdvMessageForm form("Input data are out of range!", mtError, {mbOK});
  form.show();
  Settle();
  ExpectTidy(&form, "message");
  Save(&form, "message-error.png");
  TAdvMessageForm question("Do you really want to overwrite the module's data?\nAll changes are lost.",
                           mtWarning, {mbYes, mbNo});
  question.show();
  Settle();
  ExpectTidy(&question, "question");
  Save(&question, "message-question.png");
}

// The main window's answers to the module: mode buttons, password, the ".rdd" fallback of a
// module without listing, the protocol's questions, and the About box with its hidden options.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QRegularExpression>
#include <set>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "app/dialogs/KVXModIdSelDlgForm.h"
#include "services/osApplInfo.h"
#include "services/osApplInfoDlg.h"
#include "services/osApplOptionsDlg.h"
#include "services/osPasswordDialogs.h"
#include "services/osPasswordForm.h"
#include "views/osDRUVParamList.h"

namespace {

class MainWindowModule : public mftest::MainFormFixture {
 protected:
  std::set<std::string> GridNames() const {
    std::set<std::string> names;
    for (int r = 0; r < form->ParamGrid->rowCount(); ++r)
      if (TModCtrlCommand* c = form->KVXParamList->RowCommand(r)) names.insert(c->Name);
    return names;
  }
};

TEST_F(MainWindowModule, AModeButtonSendsItsModeShowsItsGroupAndTurnsBold) {
  StartWithDetection();
  ConnectAndIdentify();
  form->ModeButtons[1]->click();  // "IO_CONFIG "
  EXPECT_EQ(Received("MODE IO_CONFIG "), 1);
  const std::set<std::string> names = GridNames();
  EXPECT_TRUE(names.count("DIR") && names.count("AIN1")) << names.size();
  EXPECT_FALSE(names.count("GAIN"));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(form->ModeButtons[i]->font().bold(), i == 1) << i;
  form->ModeButtons[0]->click();
  EXPECT_TRUE(GridNames().count("GAIN"));
  EXPECT_TRUE(form->ModeButtons[0]->font().bold() && !form->ModeButtons[1]->font().bold());
  EXPECT_TRUE(sim->Violations().empty());
}

TEST_F(MainWindowModule, PasswordOpensItsGroupsAndARefusedOneAsksAgain) {
  StartWithDetection();
  ConnectAndIdentify();
  TSimplePasswForm* pf = form->PasswordDlg->PasswForm();
  std::string typed;
  int refusals = 0;
  dlgtest::ModalAnswer answer([&](QDialog*) {
    // Active as a modal dialog is: the main window's Ctrl+M (monitor page) must not see the key.
    pf->show();
    pf->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(pf));
    pf->LEditPassword->setFocus();
    // Ctrl+M is a CR: it must never reach "PASSWORD ...".
    QTest::keyClick(pf->LEditPassword, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(pf->LEditPassword->text(), "");
    QTest::keyClicks(pf->LEditPassword, QString::fromStdString(typed));
    pf->BBtnOk->click();
    pf->hide();
  });
  messages.Answer = [&](const std::string& m, TMsgDlgType, TMsgDlgButtons) {
    refusals += m == "The password is incorrect! Retry?";
    return mrCancel;
  };
  typed = "nope";
  std::string password = "x";
  EXPECT_FALSE(form->PasswordDlg->Execute(password));
  EXPECT_EQ(password, "");
  EXPECT_EQ(refusals, 1);
  EXPECT_FALSE(GridNames().count("CAL"));

  typed = "kvx7";
  form->PasswordAct->trigger();
  EXPECT_EQ(refusals, 1);
  EXPECT_TRUE(GridNames().count("CAL") && GridNames().count("PWLIMIT"));
  EXPECT_EQ(Received("PASSWORD kvx7"), 1);
  EXPECT_TRUE(sim->Violations().empty());
}

TEST_F(MainWindowModule, AModuleWithoutListingIsReadFromItsRddFile) {
  StartWithDetection();
  testutil::TempDir folder;
  SetProgramFolder(folder.Path() + "/");
  sim->Module().SetListingAvailable(false);
  const std::string rdd = folder.Path() + "/kvx-sim.RDD";  // found whatever its case
  std::ofstream(rdd, std::ios::binary) << sim->Module().ListingText() << "\r\n";
  form->ConnectAct->trigger();
  form->IdentifyAct->trigger();
  EXPECT_TRUE(form->KVXModProt->ModuleLoaded());
  EXPECT_TRUE(GridNames().count("GAIN"));
  EXPECT_TRUE(messages.Shown.empty());

  std::filesystem::remove(rdd);
  form->IdentifyAct->trigger();
  EXPECT_FALSE(form->KVXModProt->ModuleLoaded());
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(messages.Shown[0].Text,
            "The file: KVX-SIM.rdd could not found in the KVX7 working directory! Please make sure "
            "that the file is located in the \"" + folder.Path() + "/\" directory!");

  // A name that leaves the folder is no file name: "A/B.rdd" exists, yet counts as missing.
  std::filesystem::create_directory(folder.Path() + "/A");
  std::ofstream(folder.Path() + "/A/B.rdd", std::ios::binary) << sim->Module().ListingText();
  sim->Module().SetIdText("A/B 1.0 x 1");
  form->IdentifyAct->trigger();
  EXPECT_FALSE(form->KVXModProt->ModuleLoaded());
  ASSERT_EQ(messages.Shown.size(), 2u);
  EXPECT_NE(messages.Shown[1].Text.find("The file: A/B.rdd could not found"), std::string::npos);
  SetProgramFolder("");
}

TEST_F(MainWindowModule, TheProtocolsQuestionsAndReports) {
  StartForm();
  messages.Answer = [](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrCancel; };
  TModalResult result = mrOk;
  form->KVXModProtInfoMsg(nullptr, cpmkImpFktOverWriteQuestion, result);
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(messages.Shown.back().Text, "Do you want to overwrite the existing data for the module:  ?");
  EXPECT_EQ(messages.Shown.back().Type, mtWarning);
  form->KVXModProtInfoMsg(nullptr, cpmkImpFktNoValidModulId, result);
  EXPECT_EQ(messages.Shown.back().Type, mtError);
  TStringList bad = {"GAIN 5000", "DIR up"};
  form->KVXModProtParaDownloadError(nullptr, bad);
  EXPECT_EQ(messages.Shown.back().Text, "The commands GAIN 5000\nDIR up\n are not valid!");

  TStringList ids = {"KVX-SIM 1.20 2026 4711", "OTHER 2.00 x 1"};
  bool ok = true;
  dlgtest::ModalAnswer answer([&](QDialog*) {
    form->ModulIdSelDlg->LBoxIdList->item(1)->setSelected(true);
    ok ? form->ModulIdSelDlg->BBtnOK->click() : form->ModulIdSelDlg->BBtnCancel->click();
  });
  int sel = -5;
  form->KVXModProtModIdSelRequest(nullptr, ids, sel);
  EXPECT_EQ(sel, 1);
  ok = false;
  form->KVXModProtModIdSelRequest(nullptr, ids, sel);
  EXPECT_EQ(sel, -1);
}

TEST_F(MainWindowModule, AboutShowsTheVersionAndItsHiddenInputShowsTheDruvTab) {
  StartForm();
  TAboutDlgForm* about = form->ApplInfo->AboutForm();
  int step = 0;
  dlgtest::ModalAnswer answer([&](QDialog* d) {
    ++step;
    if (d == about) {
      EXPECT_TRUE(QRegularExpression("^Version \\d+\\.\\d+\\.\\d+ \\(Build: \\d+\\)$").match(about->LabVersion->text()).hasMatch())
          << about->LabVersion->text().toStdString();
      EXPECT_TRUE(about->LabelSysInfo->text().contains("(Build "));
      EXPECT_TRUE(QRegularExpression("^Total Physical Memory: \\d{6,} KB  Free: \\d+ KB$").match(about->LabelMemInfo->text()).hasMatch())
          << about->LabelMemInfo->text().toStdString();
      about->show();
      QTest::keyClicks(about->BBtnOK, "#&KMPF");
      about->hide();
    } else if (auto* options = qobject_cast<TApplOptionsDlgForm*>(d)) {
      ASSERT_GE(options->ChkLBox->count(), 1);
      EXPECT_EQ(options->ChkLBox->item(0)->text(), "DRUV");
      options->ChkLBox->item(0)->setCheckState(Qt::Checked);
      options->BBtnOK->click();
    } else if (d == form->KVX7OptionsDlg) {
      QTabWidget* tabs = form->KVX7OptionsDlg->PageControl;
      const int druv = tabs->indexOf(form->KVX7OptionsDlg->TSDruv);
      EXPECT_TRUE(tabs->isTabVisible(druv));
      d->reject();
    }
  });
  form->MMIInfo->trigger();
  EXPECT_EQ(step, 2);
  EXPECT_TRUE(form->KVX7OptionsDlg->ShowDruvTab());
  form->SettingsAct->trigger();
  EXPECT_EQ(step, 3);
}

}  // namespace

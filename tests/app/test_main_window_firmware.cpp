// The main window's firmware menu against the simulated module: the classic switch asks once,
// shows the terminal with "Firmware update!!!" and puts the module in its bootloader, and an S19
// file made by srec_cat, sent as terminal text, leaves the module's flash equal to the file;
// switching off asks nothing. The assistant started from the menu updates the module in step
// and in direct mode and remembers the file it used.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>

#include "FirmwareTestUtil.h"
#include "MainFormTestUtil.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "model/FileTestUtil.h"
#include "views/osDRUVTerminal.h"

using dlgtest::FileAnswer;
using dlgtest::ModalAnswer;

namespace {

class MainWindowFirmware : public mftest::MainFormFixture {
 protected:
  void SetUp() override {
    if (!fwtest::HaveSrecCat()) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
    ASSERT_TRUE(fw.Make(dir, 815, 2500));
    s19 = fw.s19;
  }

  bool FlashEqualsImage() const { return fw.FlashEquals(sim->Module()); }
  QString Terminal() const { return form->KVXTermEditor->document()->toRawText(); }
  bool TerminalShows(const char* text) {
    return mftest::WaitFor([&] { return Terminal().contains(text); });
  }
  std::string Ini(const std::string& key) const {
    const std::string ini = profile.ReadIni();
    const std::size_t at = ini.find("\n" + key + "=");
    if (at == std::string::npos) return "(none)";
    const std::size_t from = at + key.size() + 2;
    return ini.substr(from, ini.find('\n', from) - from);
  }

  void ExpectModuleCommands(bool On) {
    for (QPushButton* b : {form->BtnSave, form->BtnDefault2, form->BtnLoadBack, form->BBtnDownload,
                           form->BBtnUpload, form->ModeButtons[0]})
      EXPECT_EQ(b->isEnabled(), On) << b->objectName().toStdString();
    EXPECT_EQ(form->PasswordAct->isEnabled(), On);
    EXPECT_EQ(form->ShowMonitorAct->isEnabled(), On);
  }

  testutil::TempDir dir;
  fwtest::Firmware fw;
  std::string s19;
};

TEST_F(MainWindowFirmware, ClassicSwitchAsksOnceAndAnS19SentAsTextProgramsTheModule) {
  StartIdentified("[DRUV]\nTermFWUpdate=1\n");
  ASSERT_TRUE(form->MMIFirmwareUpd->isVisible());
  // No changes nothing.
  messages.Answer = [](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrNo; };
  form->MMIFirmwareUpd->trigger();
  EXPECT_FALSE(form->MMIFirmwareUpd->isChecked());
  EXPECT_TRUE(form->KVXModProt->ModuleLoaded());
  EXPECT_EQ(form->PageIndex(), 0);
  messages.Answer = nullptr;
  messages.Shown.clear();

  form->MMIFirmwareUpd->trigger();
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(messages.Shown[0].Text,
            "Attention! You will start firmware update!!!\nAre you really sure that you want to continue?");
  EXPECT_EQ(messages.Shown[0].Type, mtWarning);
  EXPECT_TRUE(form->MMIFirmwareUpd->isChecked());
  EXPECT_TRUE(form->MMISendFirmware->isEnabled());
  EXPECT_EQ(form->PageIndex(), 3);
  EXPECT_EQ(form->PanelText(4), "Firmware update!!!");
  EXPECT_TRUE(sim->Module().InBootloader());

  // The user erases and prepares in the terminal, then sends the file.
  ASSERT_TRUE(TerminalShows("G: Go")) << Terminal().toStdString();
  form->KVXPTerminal->TypeText("1");
  ASSERT_TRUE(mftest::WaitFor([&] { return sim->Module().FlashEraseCount() == 1; }));
  form->KVXPTerminal->TypeText("2");
  ASSERT_TRUE(TerminalShows("Send file")) << Terminal().toStdString();
  {
    FileAnswer picker(s19);
    form->MMISendFirmware->trigger();
    EXPECT_EQ(picker.last.Filter, "Firmware - Files (*.s19);;All (*)");
    EXPECT_EQ(picker.last.InitialDir, HomeFolder());
  }
  EXPECT_TRUE(mftest::WaitFor([&] { return FlashEqualsImage(); }));
  EXPECT_TRUE(TerminalShows("Programming"));
  EXPECT_EQ(Ini("FirmwarePath"), dir.Path() + "/");
  EXPECT_EQ(messages.Shown.size(), 1u);

  // A file that cannot be sent says so.
  {
    FileAnswer picker(dir.File("missing.s19"));
    form->MMISendFirmware->trigger();
    EXPECT_EQ(picker.last.InitialDir, dir.Path() + "/");
  }
  ASSERT_EQ(messages.Shown.size(), 2u);
  EXPECT_EQ(messages.Shown[1].Type, mtError);
  EXPECT_NE(messages.Shown[1].Text.find("missing.s19: No such file or directory"), std::string::npos)
      << messages.Shown[1].Text;

  // Refused with the reason and the line, nothing goes out: two files joined (the bootloader
  // would take what follows the first end record for its keys: "1" erases), data records
  // without a byte, records that give one address two different bytes.
  const std::string text = filetest::ReadAll(s19);
  filetest::WriteAll(dir.File("joined.s19"), text + text);
  filetest::WriteAll(dir.File("empty.s19"), "S00600004844521B\nS1031000EC\nS1031010DC\nS9030000FC\n");
  filetest::WriteAll(dir.File("clash.s19"), "S1131000000102030405060708090A0B0C0D0E0F64\n"
                                            "S1131008101112131415161718191A1B1C1D1E1F5C\n");
  const std::pair<const char*, std::string> refused[] = {
      {"joined.s19", "line " + std::to_string(std::count(text.begin(), text.end(), '\n') + 1) +
                         ": a record after the end record (S7, S8, S9)"},
      {"empty.s19", "no data byte: its data records (S1, S2, S3) are empty"},
      {"clash.s19", "line 2: a record that gives an address another byte than an earlier record"}};
  const std::size_t received = sim->ReceivedCommands().size();
  for (const auto& [name, reason] : refused) {
    FileAnswer picker(dir.File(name));
    form->MMISendFirmware->trigger();
    EXPECT_NE(messages.Shown.back().Text.find(std::string(name) + "\" is not valid (" + reason +
                                              "). Nothing was sent."),
              std::string::npos)
        << messages.Shown.back().Text;
  }
  ASSERT_EQ(messages.Shown.size(), 5u);
  EXPECT_EQ(sim->ReceivedCommands().size(), received);
  EXPECT_EQ(sim->Module().FlashEraseCount(), 1);
  EXPECT_TRUE(FlashEqualsImage());

  // Off without a question; the module asks whether to start its application.
  form->MMIFirmwareUpd->trigger();
  EXPECT_EQ(messages.Shown.size(), 5u);
  EXPECT_FALSE(form->MMIFirmwareUpd->isChecked());
  EXPECT_FALSE(form->MMISendFirmware->isEnabled());
  EXPECT_TRUE(form->PanelText(4).isEmpty());
  ASSERT_TRUE(TerminalShows("(y/n)?")) << Terminal().toStdString();
  // The application's commands stay off until it is identified again; an Identify meanwhile
  // says that the module did not answer.
  ExpectModuleCommands(false);
  ASSERT_TRUE(form->IdentifyAct->isEnabled());
  form->IdentifyAct->trigger();
  EXPECT_TRUE(form->PanelText(5).startsWith("no answer from the module on")) << form->PanelText(5).toStdString();
  ExpectModuleCommands(false);
  form->KVXPTerminal->TypeText("y");
  EXPECT_TRUE(mftest::WaitFor([&] { return !sim->Module().InBootloader(); }));
  form->IdentifyAct->trigger();
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded());
  ExpectModuleCommands(true);
}

// Pulled during the classic send: the lost connection is the one message, and the bootloader
// mode ends with its port.
TEST_F(MainWindowFirmware, ALineLostDuringTheClassicSendEndsLikeEverywhereElse) {
  StartIdentified("[DRUV]\nTermFWUpdate=1\n");
  form->MMIFirmwareUpd->trigger();
  ASSERT_TRUE(TerminalShows("G: Go")) << Terminal().toStdString();
  form->KVXPTerminal->TypeText("1");
  ASSERT_TRUE(mftest::WaitFor([&] { return sim->Module().FlashEraseCount() == 1; }));
  form->KVXPTerminal->TypeText("2");
  ASSERT_TRUE(TerminalShows("Send file")) << Terminal().toStdString();
  messages.Shown.clear();
  const TProgressEvent window = form->KVXModProt->OnProgress;
  form->KVXModProt->OnProgress = [&](TObject* s, TProgressStep step, int pos, int max, bool& stop) {
    if ((step == pgsSendText || step == pgsSendFirmware) && pos >= 20 && !sim->Unplugged()) sim->Unplug();
    window(s, step, pos, max, stop);
  };
  {
    FileAnswer picker(s19);
    form->MMISendFirmware->trigger();
  }
  ASSERT_TRUE(mftest::WaitFor([&] { return !messages.Shown.empty(); }));
  QTest::qWait(300);
  ASSERT_EQ(messages.Shown.size(), 1u) << messages.Shown.back().Text;
  EXPECT_NE(messages.Shown[0].Text.find("\"modsim\" was lost"), std::string::npos) << messages.Shown[0].Text;
  EXPECT_EQ(form->PanelText(0), "port closed");
  EXPECT_FALSE(form->KVXModProt->PortOpen());
  EXPECT_TRUE(form->ConnectAct->isEnabled());
  EXPECT_FALSE(form->MMIFirmwareUpd->isChecked());
  EXPECT_FALSE(form->MMISendFirmware->isEnabled());
}

TEST_F(MainWindowFirmware, ClassicSwitchWithAPortThatDoesNotOpenStaysOffAndSaysSo) {
  profile.WriteIni("[DRUV]\nTermFWUpdate=1\n");
  // A port that is listed but is no serial device (an adapter's stale link).
  std::ofstream(dir.File("notatty")) << "";
  profile.PublishPort("stale", dir.File("notatty"));
  StartForm();
  // No port chosen yet: nothing is tried on the protocol's default device.
  form->MMIFirmwareUpd->trigger();
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(messages.Shown[0].Text, "No valid com-port selected!");
  EXPECT_FALSE(form->MMIFirmwareUpd->isChecked());
  messages.Shown.clear();
  ChoosePort("stale");
  form->MMIFirmwareUpd->trigger();
  ASSERT_EQ(messages.Shown.size(), 2u);
  EXPECT_EQ(messages.Shown[1].Type, mtError);
  EXPECT_NE(messages.Shown[1].Text.find("could not be opened"), std::string::npos);
  EXPECT_FALSE(form->MMIFirmwareUpd->isChecked());
  EXPECT_FALSE(form->MMISendFirmware->isEnabled());
  EXPECT_FALSE(form->KVXModProt->GetBootloaderActive());
  EXPECT_TRUE(form->ConnectAct->isEnabled());
}

TEST_F(MainWindowFirmware, AssistantInStepModeUpdatesTheModuleAndRemembersTheFile) {
  StartIdentified();
  FileAnswer picker(s19);
  ModalAnswer answer([&](QDialog* d) {
    auto* dlg = qobject_cast<TFWUpdateDlg*>(d);
    ASSERT_NE(dlg, nullptr);
    // The window is in firmware state meanwhile.
    EXPECT_FALSE(form->ConnectAct->isEnabled());
    EXPECT_FALSE(form->CBoxPortSel->isEnabled());
    dlg->show();
    QTest::keyClick(dlg->LBoxSecKeyInput, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(dlg->NB->currentWidget(), dlg->PageMain);
    dlg->BtnStart->click();
    dlg->BtnErase->click();
    dlg->SBtnSelFWFile->click();
    ASSERT_TRUE(dlg->BtnProgram->isEnabled());
    dlg->BtnProgram->click();
    EXPECT_EQ(dlg->BtnCancel->text(), "Finish");
    // Every step says how it went, and the end what went into the module.
    for (auto step : {TFWUpdateDlg::fsStart, TFWUpdateDlg::fsErase, TFWUpdateDlg::fsProgram, TFWUpdateDlg::fsFinish})
      EXPECT_EQ(dlg->StepState(step), TFWUpdateDlg::fssDone) << step;
    EXPECT_EQ(dlg->StatusInfoLabel->text(), "Programmed: " + dlg->ProgrammedText());
    EXPECT_TRUE(dlg->ProgrammedText().endsWith(" records, 2500 bytes")) << dlg->ProgrammedText().toStdString();
    dlg->BtnCancel->click();
  });
  form->MMIFWUAss->trigger();
  EXPECT_TRUE(FlashEqualsImage());
  EXPECT_FALSE(sim->Module().InBootloader());
  ExpectModuleCommands(false);
  EXPECT_EQ(Ini("LastFirmware"), s19);
  EXPECT_TRUE(form->ConnectAct->isEnabled());
  EXPECT_TRUE(messages.Shown.empty());
  // The port stayed open: its box stays locked, and the window says what was programmed.
  EXPECT_FALSE(form->CBoxPortSel->isEnabled());
  EXPECT_TRUE(form->PanelText(5).startsWith("Firmware programmed: ")) << form->PanelText(5).toStdString();
}

TEST_F(MainWindowFirmware, AssistantLeftWithThePortClosedFreesThePortSettings) {
  StartModule();
  StartForm();
  ASSERT_NO_FATAL_FAILURE(ChoosePort("modsim"));
  ModalAnswer answer([&](QDialog* d) {
    EXPECT_FALSE(form->KVX7OptionsDlg->InterfaceEditable());
    EXPECT_FALSE(form->IdentifyAct->isEnabled());
    EXPECT_FALSE(form->BBtnDownload->isEnabled());
    d->reject();
  });
  form->MMIFWUAss->trigger();
  EXPECT_EQ(form->PanelText(0), "port closed");
  EXPECT_TRUE(form->CBoxPortSel->isEnabled());
  EXPECT_TRUE(form->KVX7OptionsDlg->InterfaceEditable());
  EXPECT_TRUE(form->BBtnDownload->isEnabled());
}

TEST_F(MainWindowFirmware, AssistantInDirectModeTakesTheLastFile) {
  StartIdentified("[Application]\nLastFirmware=" + s19 + "\n[DRUV]\nSFWUpdate=1\n");
  ModalAnswer answer([&](QDialog* d) {
    auto* dlg = qobject_cast<TFWUpdateDlg*>(d);
    ASSERT_NE(dlg, nullptr);
    dlg->show();
    EXPECT_EQ(dlg->LEditFWFile->text().toStdString(), s19);
    ASSERT_TRUE(dlg->BtnProgram->isEnabled());
    dlg->BtnProgram->click();
  });
  form->MMIFWUAss->trigger();
  EXPECT_TRUE(FlashEqualsImage());
  EXPECT_FALSE(sim->Module().InBootloader());
}

TEST_F(MainWindowFirmware, AssistantClosedAfterStartLeavesTheBootloaderAndKeepsTheLastFile) {
  StartIdentified("[Application]\nLastFirmware=" + dir.File("old.s19") + "\n");
  ModalAnswer answer([&](QDialog* d) {
    auto* dlg = qobject_cast<TFWUpdateDlg*>(d);
    ASSERT_NE(dlg, nullptr);
    dlg->show();
    QTest::keyClick(dlg->LBoxSecKeyInput, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    dlg->BtnStart->click();
    ASSERT_TRUE(sim->Module().InBootloader());
    dlg->close();  // the close box
  });
  form->MMIFWUAss->trigger();
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_EQ(sim->Module().FlashEraseCount(), 0);
  EXPECT_EQ(Ini("LastFirmware"), dir.File("old.s19"));
  EXPECT_TRUE(form->ConnectAct->isEnabled());
}

}  // namespace

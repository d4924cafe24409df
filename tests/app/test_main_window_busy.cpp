// Long work started from the main window runs in its busy mode: the window keeps ticking and
// says how far it is, the user's stray keys and clicks never reach the module, a Cancel stops
// where the line is clean and the window says what was done, and files too large to read whole
// are refused with their size.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QSlider>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include "FirmwareTestUtil.h"
#include "MainFormTestUtil.h"
#include "TestTempDir.h"
#include "model/FileTestUtil.h"
#include "model/osFileUtils.h"
#include "model/osRtfText.h"
#include "services/osBusyMode.h"
#include "views/osDRUVTerminal.h"

using dlgtest::FileAnswer;

namespace {

class BusyMode : public mftest::MainFormFixture {
 protected:
  // Every progress the protocol reports, and a hook that runs before the window sees it (a
  // Cancel pressed then is honoured before the next command).
  void RecordProgress() {
    const TProgressEvent window = form->KVXModProt->OnProgress;
    form->KVXModProt->OnProgress = [this, window](TObject* s, TProgressStep step, int pos, int max, bool& stop) {
      progress.push_back({step, pos, max});
      if (Before) Before(step, pos);
      window(s, step, pos, max, stop);
    };
  }
  // A window-thread timer's longest gap between two ticks, and whether the busy cursor showed.
  void StartTicking() {
    ticks.setInterval(50);
    QObject::connect(&ticks, &QTimer::timeout, [this] {
      if (sinceTick.isValid()) longestGap = std::max(longestGap, sinceTick.restart());
      else sinceTick.start();
      if (TBusyMode::Instance().Active()) {
        busyTicks++;
        waitCursor = waitCursor || (QApplication::overrideCursor() &&
                                    QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        shownTexts.push_back(form->BusyPanel->TextLabel->text());
      }
    });
    ticks.start();
  }
  bool Shown(const QString& part) const {
    return std::any_of(shownTexts.begin(), shownTexts.end(), [&](const QString& t) { return t.contains(part); });
  }

  struct Step {
    TProgressStep step;
    int pos, max;
  };
  std::vector<Step> progress;
  std::function<void(TProgressStep, int)> Before;
  QTimer ticks;
  QElapsedTimer sinceTick;
  qint64 longestGap = 0;
  int busyTicks = 0;
  bool waitCursor = false;
  std::vector<QString> shownTexts;
  testutil::TempDir dir;
};

TEST_F(BusyMode, IdentifyOfALargeModuleKeepsTheWindowTickingAndCountsToTheEnd) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified(modsim::ModuleOptions{.Rate = 115200, .GeneratedParams = 300}));
  // Every byte takes its time on the line, as on a real one: seconds for this module.
  sim->SetPacing(true);
  RecordProgress();
  Before = [this](TProgressStep step, int pos) {
    if (step == pgsReadParameters && pos == 150) dlgtest::SavePicture(form.get(), "main-identify-busy.png");
  };
  StartTicking();
  form->IdentifyAct->trigger();
  ticks.stop();
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded());
  ASSERT_FALSE(progress.empty());
  const Step& last = progress.back();
  EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](const Step& s) {
    return s.step == pgsReadParameters && s.pos == 300 && s.max == 300;
  }));
  EXPECT_EQ(last.step, pgsIdentify);  // the help texts come after the parameters
  EXPECT_TRUE(Shown("Reading parameters")) << busyTicks;
  EXPECT_TRUE(waitCursor);
  // Frozen, the timer would have waited the whole identification (seconds at this rate).
  EXPECT_GT(busyTicks, 5);
  EXPECT_LT(longestGap, 1000);
  EXPECT_FALSE(form->BusyPanel->isVisible());
}

TEST_F(BusyMode, AStoppedOrFailedIdentifyLeavesNoModuleAndNoControlOfIt) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified(modsim::ModuleOptions{.Rate = 115200, .GeneratedParams = 300}));
  auto expectNoModuleControls = [this] {
    EXPECT_FALSE(form->ModeButtons[0]->isEnabled());
    EXPECT_FALSE(form->LabelParameterView->isEnabled());
    EXPECT_FALSE(form->PasswordAct->isEnabled());
    EXPECT_FALSE(form->ShowScopeAct->isEnabled());
    EXPECT_FALSE(form->KVXModProt->CommandList()->Count());
  };
  ASSERT_TRUE(form->ModeButtons[0]->isEnabled());
  sim->SetSilent(true);
  form->IdentifyAct->trigger();
  expectNoModuleControls();
  EXPECT_EQ(form->PanelText(5), "no answer from the module on modsim");
  sim->SetSilent(false);
  form->IdentifyAct->trigger();
  ASSERT_TRUE(form->ModeButtons[0]->isEnabled());
  RecordProgress();
  Before = [this](TProgressStep step, int pos) {
    if (step == pgsReadParameters && pos == 37) QTest::keyClick(form.get(), Qt::Key_Escape);
  };
  form->IdentifyAct->trigger();
  EXPECT_FALSE(form->KVXModProt->ModuleLoaded());
  EXPECT_EQ(form->KVXModProt->CommandList()->Count(), 0);
  EXPECT_EQ(form->ParamGrid->rowCount() > 0 && form->ParamGrid->item(0, 0) != nullptr, false);
  EXPECT_TRUE(form->PanelText(4).isEmpty());
  EXPECT_FALSE(form->ShowMonitorAct->isEnabled());
  EXPECT_FALSE(form->BBtnUpload->isEnabled());
  EXPECT_TRUE(form->PanelText(5).startsWith("Identify stopped after 37 of ")) << form->PanelText(5).toStdString();
  expectNoModuleControls();
  // No read went out after the stop.
  EXPECT_EQ(std::count_if(progress.begin(), progress.end(),
                          [](const Step& s) { return s.step == pgsReadParameters && s.pos > 37; }),
            0);
  // A new result replaces the old one: a complete identification leaves no "stopped" behind,
  // and one that gets no answer says so in the status bar, without a message.
  Before = nullptr;
  form->IdentifyAct->trigger();
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded());
  EXPECT_EQ(form->PanelText(5), "");
  sim->SetSilent(true);
  form->IdentifyAct->trigger();
  EXPECT_EQ(form->PanelText(5), "no answer from the module on modsim");
  EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(BusyMode, AScreenReadersActionsDuringIdentifyReachNothingAndTheControlsShowWhatTheModuleHas) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified(modsim::ModuleOptions{.Rate = 115200, .GeneratedParams = 300}));
  form->ShowPage(1);
  form->CBoxRemoteCtrlEnable->click();  // remote control on: every input takes a toggle
  ASSERT_TRUE(form->CBDInp[0]->isEnabled());
  auto act = [](QWidget* w, const QString& action) {
    QAccessibleActionInterface* a = QAccessible::queryAccessibleInterface(w)->actionInterface();
    ASSERT_TRUE(a && a->actionNames().contains(action)) << w->objectName().toStdString();
    a->doAction(action);
  };
  const int slider = form->TBarAnaInputs->value();
  const std::size_t shown = messages.Shown.size();
  sim->SetPacing(true);
  sim->Module().ClearRecords();
  RecordProgress();
  Before = [&](TProgressStep step, int pos) {
    if (step != pgsReadParameters || pos != 20) return;
    // Requests of a screen reader, run from the window's events while Identify waits.
    QTimer::singleShot(0, form.get(), [&] {
      act(form->ModeButtons[4], QAccessibleActionInterface::pressAction());
      act(form->CBDInp[0], QAccessibleActionInterface::toggleAction());
      act(form->CBoxRemoteCtrlEnable, QAccessibleActionInterface::toggleAction());
      QAccessible::queryAccessibleInterface(form->TBarAnaInputs)->valueInterface()->setCurrentValue(slider + 500);
    });
  };
  form->IdentifyAct->trigger();
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded());
  // Identify's own queries only: no mode switch, no write.
  for (const std::string& c : sim->ReceivedCommands()) EXPECT_TRUE(c.rfind("MODE ", 0) != 0 || c == "MODE ?") << c;
  EXPECT_TRUE(sim->Writes().empty());
  EXPECT_TRUE(sim->Violations().empty());
  EXPECT_EQ(messages.Shown.size(), shown);
  EXPECT_FALSE(form->CBDInp[0]->isChecked());
  EXPECT_TRUE(form->CBoxRemoteCtrlEnable->isChecked());
  EXPECT_EQ(form->TBarAnaInputs->value(), slider);
  EXPECT_FALSE(form->ModeButtons[4]->font().bold());
  // With no job running the toggle is the user's: it reaches the module.
  act(form->CBDInp[0], QAccessibleActionInterface::toggleAction());
  EXPECT_EQ(sim->Module().DigitalInputs() & 1, 1);
  EXPECT_TRUE(form->CBDInp[0]->isChecked());
}

// A refused item has checked itself already, a value set past the keys is in its control: each
// shows what the program holds again, and the next real click is the user's.
TEST_F(BusyMode, WhatAScreenReaderSetsDuringIdentifyShowsTheProgramsStateAgain) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified(modsim::ModuleOptions{.Rate = 115200, .GeneratedParams = 300},
                                          "[DRUV]\nTermFWUpdate=1\n"));
  form->ShowPage(1);
  form->CBoxRemoteCtrlEnable->click();
  TLabeledEdit& edit = form->LEditPinX[0];
  form->LEditAnaInputsDlbClick(&edit);
  form->TBarAnaInputs->setValue(form->TBarAnaInputs->value() + 700);
  form->IdentifyAct->trigger();  // the active edit shows the new listing's value, the bar stays
  const int held = edit.Edit->text().toInt();
  ASSERT_NE(held, form->TBarAnaInputs->value());
  auto* menu = qobject_cast<QMenu*>(form->MMIFirmwareUpd->associatedObjects().value(0));
  ASSERT_TRUE(menu);
  sim->SetPacing(true);
  RecordProgress();
  Before = [&](TProgressStep step, int pos) {
    if (step != pgsReadParameters || pos != 20) return;
    QTimer::singleShot(0, form.get(), [&] {
      QAccessible::queryAccessibleInterface(menu)->child(menu->actions().indexOf(form->MMIFirmwareUpd))
          ->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
      QAccessible::queryAccessibleInterface(form->TBarAnaInputs)->valueInterface()->setCurrentValue(held + 900);
      QAccessible::queryAccessibleInterface(edit.Edit)->editableTextInterface()->replaceText(0, 3, "777");
      EXPECT_EQ(form->TBarAnaInputs->value(), held);
      EXPECT_EQ(edit.Edit->text(), QString::number(held));
    });
  };
  form->IdentifyAct->trigger();
  sim->SetPacing(false);
  EXPECT_FALSE(form->MMIFirmwareUpd->isChecked());
  EXPECT_FALSE(sim->Module().InBootloader());
  form->MMIFirmwareUpd->trigger();
  EXPECT_TRUE(form->MMIFirmwareUpd->isChecked());
  EXPECT_TRUE(sim->Module().InBootloader());
}

// A message raised in the middle of Identify (no listing, no fallback file) runs an event loop
// of its own: a command sent from there reaches nothing.
TEST_F(BusyMode, ACommandFromAMessagesEventLoopInTheMiddleOfIdentifyNeverReachesTheModule) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified());
  sim->Module().SetListingAvailable(false);
  int loops = 0;
  bool sent = true;
  messages.Answer = [&](const std::string&, TMsgDlgType, TMsgDlgButtons) {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
      std::string reply;
      sent = form->KVXModProt->SendCommand("SAVE\r", "SAVE", ">", reply, 2000);
      ++loops;
      loop.quit();
    });
    loop.exec();
    return mrOk;
  };
  form->IdentifyAct->trigger();
  EXPECT_TRUE(messages.Any("could not found"));
  EXPECT_EQ(loops, 1);
  EXPECT_FALSE(sent);
  EXPECT_EQ(Received("SAVE"), 0);
}

TEST_F(BusyMode, ACancelledDownloadWroteExactlyTheParametersItReports) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified(modsim::ModuleOptions{.Rate = 115200, .GeneratedParams = 400}));
  std::string par = form->KVXModProt->ModuleId() + "\n##\n";
  for (int i = 1; i <= 400; ++i)
    par += "P" + std::string(i < 10 ? "00" : i < 100 ? "0" : "") + std::to_string(i) +
           (i % 2 ? " 7\n" : " High\n");
  filetest::WriteAll(dir.File("p.par"), par + "##\n");
  RecordProgress();
  Before = [this](TProgressStep step, int pos) {
    if (step == pgsWriteParameters && pos == 120) QTest::keyClick(form.get(), Qt::Key_Escape);
  };
  const std::size_t writesBefore = sim->Writes().size();
  FileAnswer picker(dir.File("p.par"));
  form->BBtnDownload->click();
  EXPECT_EQ(sim->Writes().size() - writesBefore, 120u);
  EXPECT_EQ(form->PanelText(5), "Download stopped after 120 of 400 parameters: 120 parameters written to the module");
  // The window read the module again: it shows what the module holds.
  EXPECT_TRUE(form->KVXModProt->ModuleLoaded());
}

// A parameter whose groups ask for every parameter to be read again: a stop during that read
// still says how far the download got.
TEST_F(BusyMode, ADownloadStoppedWhileTheModuleIsReadAgainSaysHowFarItGot) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified());
  filetest::WriteAll(dir.File("r.par"), form->KVXModProt->ModuleId() + "\n##\nGAIN 5\nRANGE 6\nOFFSET 3\n##\n");
  RecordProgress();
  bool stopped = false;
  Before = [&](TProgressStep step, int) {
    if (step == pgsReadParameters && !stopped) QTest::keyClick(form.get(), Qt::Key_Escape);
    stopped = stopped || step == pgsReadParameters;
  };
  FileAnswer picker(dir.File("r.par"));
  form->BBtnDownload->click();
  EXPECT_EQ(form->PanelText(5), "Download stopped after 2 of 3 parameters: 2 parameters written to the module");
  EXPECT_EQ(sim->Module().ValueText("OFFSET"), "150");
}

TEST_F(BusyMode, AClassicSendTakesNoStrayInputAndNoSecondSend) {
  if (!fwtest::HaveSrecCat()) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  fwtest::Firmware fw;
  ASSERT_TRUE(fw.Make(dir, 815, 2500));
  ASSERT_NO_FATAL_FAILURE(StartIdentified("[DRUV]\nTermFWUpdate=1\n"));
  form->MMIFirmwareUpd->trigger();
  ASSERT_TRUE(sim->Module().InBootloader());
  // The bootloader takes no application command: they are all off.
  for (QAction* a : {form->IdentifyAct, form->ShowMonitorAct, form->ShowScopeAct, form->PasswordAct})
    EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  for (QPushButton* b : {form->BtnSave2, form->BtnDefault2, form->BtnLoadBack2, form->BBtnUpload2,
                         form->BBtnDownload2, form->MODE_ALL, form->ModeButtons[0]})
    EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
  form->KVXPTerminal->TypeText("1");
  ASSERT_TRUE(mftest::WaitFor([&] { return sim->Module().FlashEraseCount() == 1; }));
  form->KVXPTerminal->TypeText("2");
  ASSERT_TRUE(mftest::WaitFor([&] { return form->KVXTermEditor->document()->toRawText().contains("Send file"); }));

  RecordProgress();
  bool poked = false;
  Before = [&](TProgressStep step, int pos) {
    // What the module prints meanwhile shows while the file goes out.
    if (step == pgsSendText && pos == 20) sim->StartStream(std::string(10, '.'), 1);
    if (step == pgsSendText && pos == 60) {
      EXPECT_TRUE(form->KVXTermEditor->document()->toRawText().contains(QString(10, '.')));
      dlgtest::SavePicture(form.get(), "main-firmware-send-busy.png");
    }
    if (step != pgsSendText || pos != 40 || poked) return;
    poked = true;
    // Once begun the send cannot be stopped (a part image would stay in the flash): the strip
    // says so, and Esc or Cancel change nothing.
    EXPECT_TRUE(form->BusyPanel->NoStopLabel->isVisible());
    EXPECT_FALSE(form->BusyPanel->CancelButton->isVisible());
    QTest::keyClick(form.get(), Qt::Key_Escape);
    form->BusyPanel->CancelButton->click();
    // A user who clicks, types and asks for a second send while the file goes out.
    QTest::mouseClick(form->BtnSave, Qt::LeftButton);
    QTest::keyClicks(form->KVXTermEditor, "SAVE\r");
    form->MMISendFirmware->trigger();
    form->close();
    EXPECT_TRUE(form->isVisible());
  };
  FileAnswer picker(fw.s19);
  form->MMISendFirmware->trigger();
  EXPECT_TRUE(poked);
  EXPECT_EQ(picker.calls, 1);
  EXPECT_TRUE(mftest::WaitFor([&] { return fw.FlashEquals(sim->Module()); }));
  EXPECT_FALSE(form->KVXTermEditor->document()->toRawText().contains("rror"));
  EXPECT_TRUE(form->PanelText(5).startsWith("Firmware sent: ")) << form->PanelText(5).toStdString();
  // The close asked for meanwhile comes once the send has ended.
  EXPECT_TRUE(mftest::WaitFor([&] { return !form->isVisible(); }));
}

TEST_F(BusyMode, TerminalFilesOverTheLimitAreRefusedWithTheirSizeAndLargeOnesOpenInPieces) {
  StartForm();
  form->ShowPage(3);
  filetest::WriteAll(dir.File("big.rtf"), std::string(20 * 1024 * 1024, 'x'));
  {
    FileAnswer picker(dir.File("big.rtf"));
    form->OpenTerminalActExecute();
  }
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_NE(messages.Shown[0].Text.find("20 MB (the limit is 16 MB)"), std::string::npos) << messages.Shown[0].Text;

  // Lines as a module writes them; a file of more lines than the terminal holds is refused whole.
  std::string text, tooMany;
  for (int i = 0; text.size() < 10u * 1024 * 1024; ++i)
    text += "GAIN " + std::to_string(i) + "\nKVX-SIM 1.20 2026 4711 >PD  1234 5678 9012 >\n";
  for (int i = 0; i < 1000000; ++i) tooMany += ">\n";
  filetest::WriteAll(dir.File("log.rtf"), rtf::WriteRtfText(text));
  filetest::WriteAll(dir.File("many.rtf"), rtf::WriteRtfText(tooMany));
  {
    FileAnswer picker(dir.File("many.rtf"));
    form->OpenTerminalActExecute();
  }
  ASSERT_EQ(messages.Shown.size(), 2u);
  EXPECT_NE(messages.Shown[1].Text.find("has 1000001 lines: the terminal holds at most"), std::string::npos)
      << messages.Shown[1].Text;
  StartTicking();
  {
    FileAnswer picker(dir.File("log.rtf"));
    form->OpenTerminalActExecute();
  }
  ticks.stop();
  EXPECT_EQ(messages.Shown.size(), 2u);
  EXPECT_EQ(form->KVXTermEditor->document()->toPlainText().size(), static_cast<qsizetype>(text.size()));
  EXPECT_GT(busyTicks, 2);
  EXPECT_LT(longestGap, 1000);
  EXPECT_TRUE(form->KVXTermEditor->textCursor().atEnd());
}

// As many lines as the terminal holds, or a line as long as it holds, opens; one more is refused
// whole. The text an opened file replaces is freed.
TEST_F(BusyMode, TerminalFilesAtTheirLimitsOpenAndOneOverIsRefused) {
  StartForm();
  form->ShowPage(3);
  const int maxLines = form->KVXPTerminal->MaxLines();
  const std::string longest = "ID\n" + std::string(TKVXPTerminal::MaxLineLength, 'x');
  const struct {
    std::string text;
    bool opens;
  } files[] = {{std::string(maxLines - 1, '\n'), true},
               {std::string(maxLines, '\n'), false},
               {longest, true},
               {longest + "x", false}};
  for (const auto& file : files) {
    filetest::WriteAll(dir.File("limit.rtf"), rtf::WriteRtfText(file.text));
    const QPointer<QTextDocument> before = form->KVXTermEditor->document();
    messages.Shown.clear();
    FileAnswer picker(dir.File("limit.rtf"));
    form->OpenTerminalActExecute();
    EXPECT_EQ(messages.Shown.empty(), file.opens) << file.text.size();
    EXPECT_EQ(before.isNull(), file.opens) << file.text.size();
    if (file.opens) {
      EXPECT_EQ(form->KVXTermEditor->toPlainText().size(), static_cast<qsizetype>(file.text.size()));
    }
  }
  EXPECT_NE(messages.Shown[0].Text.find("has a line of 4097 characters: the terminal holds lines of at most 4096."),
            std::string::npos)
      << messages.Shown[0].Text;
}

}  // namespace

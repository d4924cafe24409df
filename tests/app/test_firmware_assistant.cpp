// The firmware update assistant against the simulated module: step mode and direct mode leave
// the module's flash equal to the S19 file; a bootloader that falls silent gives red text and
// the dialog stays open; closing after Start takes the module out of its bootloader, and closing
// is refused while the transfer runs.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <utility>

#include "DialogsTestUtil.h"
#include "FirmwareTestUtil.h"
#include "TestTempDir.h"
#include "model/FileTestUtil.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "protocol/ProtocolTestUtil.h"

using namespace dlgtest;

namespace {

class FirmwareAssistant : public prottest::ModuleFixture {
 protected:
  void SetUp() override {
    if (!fwtest::HaveSrecCat()) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
    StartModule({.HalfDuplex = HalfDuplex()});
    Identify();
    ASSERT_TRUE(fw.Make(dir, 4711, 3000));
    s19 = fw.s19;
  }

  virtual bool HalfDuplex() const { return false; }
  bool FlashEqualsImage() const { return fw.FlashEquals(sim->Module()); }

  QString Status() const { return dlg.StatusInfoLabel->isVisibleTo(&dlg) ? dlg.StatusInfoLabel->text() : QString(); }
  bool StatusRed() const {
    return dlg.StatusInfoLabel->palette().color(QPalette::WindowText) == QColor(255, 0, 0);
  }

  testutil::TempDir dir;
  fwtest::Firmware fw;
  std::string s19;
  TFWUpdateDlg dlg;
};

// Closing while the module is in its bootloader, on a two-wire line: the bootloader keeps the
// module's rate there, so the test does not hang on a rate change crossing the simulated line
// while the machine is loaded; every wait is for the module's answer.
class FirmwareAssistantHalfDuplex : public FirmwareAssistant {
 protected:
  bool HalfDuplex() const override { return true; }
};

TEST_F(FirmwareAssistant, StepModeChordStartEraseProgramFinish) {
  FileAnswer picker(s19);
  ModalAnswer answer([&](QDialog*) {
    dlg.show();
    EXPECT_EQ(dlg.NB->currentWidget(), dlg.PageKey);
    EXPECT_FALSE(dlg.BtnStart->isEnabled());
    QTest::keyClick(dlg.LBoxSecKeyInput, Qt::Key_J, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(dlg.BtnStart->isEnabled());
    QTest::keyClick(dlg.LBoxSecKeyInput, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(dlg.NB->currentWidget(), dlg.PageMain);
    dlg.BtnStart->click();
    ASSERT_TRUE(sim->Module().InBootloader());
    EXPECT_FALSE(dlg.BtnStart->isEnabled());
    // A file chosen before the erase does not enable Program yet.
    dlg.SBtnSelFWFile->click();
    EXPECT_EQ(dlg.LEditFWFile->text().toStdString(), s19);
    EXPECT_FALSE(dlg.BtnProgram->isEnabled());
    dlg.BtnErase->click();
    EXPECT_EQ(sim->Module().FlashEraseCount(), 1);
    ASSERT_TRUE(dlg.BtnProgram->isEnabled());
    dlg.BtnProgram->click();
    EXPECT_EQ(dlg.BtnCancel->text(), "Finish");
    EXPECT_FALSE(dlg.InBootloader());
    SavePicture(&dlg, "fw-update-done.png");
    dlg.BtnCancel->click();
    EXPECT_FALSE(dlg.isVisible());
  });
  // A name in upper case is not taken as the chosen file.
  std::filesystem::copy_file(s19, dir.File("FW.S19"));
  EXPECT_TRUE(dlg.Execute(prot.get(), dir.File("FW.S19"), false));
  EXPECT_EQ(answer.calls, 1);
  EXPECT_TRUE(FlashEqualsImage());
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_EQ(dlg.FileName(), s19);
}

TEST_F(FirmwareAssistant, DirectModeRunsEverythingAndRefusesToCloseMeanwhile) {
  int refusedCloses = 0;
  QTimer poke;
  QObject::connect(&poke, &QTimer::timeout, [&] {
    if (!dlg.StepRunning() || dlg.ProgressBar->value() < dlg.ProgressBar->maximum() / 2) return;
    poke.stop();
    SavePicture(&dlg, "fw-update-main.png");
    dlg.close();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    if (dlg.isVisible()) ++refusedCloses;
  });
  ModalAnswer answer([&](QDialog*) {
    dlg.show();
    EXPECT_EQ(dlg.NB->currentWidget(), dlg.PageMain);
    EXPECT_FALSE(dlg.BtnStart->isVisible());
    poke.start(1);
    dlg.BtnProgram->click();
  });
  EXPECT_TRUE(dlg.Execute(prot.get(), s19, true));
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(refusedCloses, 1);
  EXPECT_EQ(dlg.StepState(TFWUpdateDlg::fsFinish), TFWUpdateDlg::fssDone);
  EXPECT_TRUE(dlg.ProgrammedText().endsWith(" records, 3000 bytes")) << dlg.ProgrammedText().toStdString();
  EXPECT_TRUE(FlashEqualsImage());
  EXPECT_FALSE(sim->Module().InBootloader());
}

TEST_F(FirmwareAssistant, ASilentBootloaderGivesRedTextAndTheDialogStaysOpen) {
  QTimer silence;
  QObject::connect(&silence, &QTimer::timeout, [&] {
    if (dlg.ProgressBar->isVisibleTo(&dlg) && dlg.ProgressBar->value() > 100) {
      silence.stop();
      sim->SetSilent(true);
    }
  });
  ModalAnswer answer([&](QDialog*) {
    dlg.show();
    silence.start(1);
    dlg.BtnProgram->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(StatusRed());
    EXPECT_EQ(Status(), QString("%1 %2").arg(TFWUpdateDlg::kTransferFailedText,
                                             TFWUpdateDlg::kLeaveFailedText));
    EXPECT_TRUE(dlg.BtnProgram->isEnabled());
    EXPECT_TRUE(dlg.BtnCancel->isEnabled());
    EXPECT_TRUE(dlg.InBootloader());
    EXPECT_EQ(dlg.StepState(TFWUpdateDlg::fsErase), TFWUpdateDlg::fssDone);
    EXPECT_EQ(dlg.StepState(TFWUpdateDlg::fsProgram), TFWUpdateDlg::fssFailed);
    EXPECT_EQ(dlg.StepState(TFWUpdateDlg::fsFinish), TFWUpdateDlg::fssFailed);
    SavePicture(&dlg, "fw-update-failed.png");
    dlg.reject();
  });
  EXPECT_TRUE(dlg.Execute(prot.get(), s19, true));
  EXPECT_NE(dlg.result(), QDialog::Accepted);
}

TEST_F(FirmwareAssistant, ABrokenFileIsRefusedBeforeTheModuleIsTouched) {
  const std::string broken = dir.File("broken.s19");
  filetest::WriteAll(broken, "S1050000AABB96\nS9030000FC\n");  // bad checksum
  // Two files joined: the bootloader would take what follows the first end record for its keys.
  const std::string text = filetest::ReadAll(s19), joined = dir.File("joined.s19");
  filetest::WriteAll(joined, text + text);
  ModalAnswer answer([&](QDialog*) {
    ASSERT_TRUE(dlg.BtnProgram->isEnabled());
    dlg.BtnProgram->click();
    EXPECT_EQ(Status(), QString(TFWUpdateDlg::kFileInvalidText) +
                            " Line 1: a record whose checksum does not match.");
    EXPECT_TRUE(StatusRed());
    EXPECT_FALSE(dlg.BtnProgram->isEnabled());
    // Chosen with the picker, a file is refused at once.
    FileAnswer picker(joined);
    dlg.SBtnSelFWFile->click();
    EXPECT_EQ(Status(), QString("%1 Line %2: a record after the end record (S7, S8, S9).")
                            .arg(TFWUpdateDlg::kFileInvalidText)
                            .arg(std::count(text.begin(), text.end(), '\n') + 1));
    EXPECT_TRUE(dlg.LEditFWFile->text().isEmpty());
    SavePicture(&dlg, "fw-update-refused.png");
    dlg.reject();
  });
  EXPECT_TRUE(dlg.Execute(prot.get(), broken, true));
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_EQ(sim->Module().FlashEraseCount(), 0);
  const auto cmds = sim->ReceivedCommands();
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "BOOTLOADER"), 0);
}

// A file whose data records hold no byte, and one whose records give an address two different
// bytes: refused with the reason before the module is touched.
TEST_F(FirmwareAssistant, AFileWithoutDataOrWithClashingRecordsIsRefused) {
  const std::pair<std::string, QString> files[] = {
      {"S00600004844521B\nS1031000EC\nS1031010DC\nS9030000FC\n",
       "No data byte: its data records (S1, S2, S3) are empty."},
      {"S1131000000102030405060708090A0B0C0D0E0F64\nS1131008101112131415161718191A1B1C1D1E1F5C\n",
       "Line 2: a record that gives an address another byte than an earlier record."}};
  const std::size_t received = sim->ReceivedCommands().size();
  for (const auto& [text, reason] : files) {
    filetest::WriteAll(dir.File("bad.s19"), text);
    ModalAnswer answer([&](QDialog*) {
      dlg.BtnProgram->click();
      EXPECT_EQ(Status(), QString(TFWUpdateDlg::kFileInvalidText) + " " + reason);
      dlg.reject();
    });
    EXPECT_TRUE(dlg.Execute(prot.get(), dir.File("bad.s19"), true));
  }
  EXPECT_EQ(sim->ReceivedCommands().size(), received);
}

// A close asked for while a step runs is refused at once, and never carried out after the step:
// after the erase it would take the module out of its bootloader with an empty flash.
TEST_F(FirmwareAssistantHalfDuplex, ACloseDuringAStepIsRefusedAndNotCarriedOutAfterIt) {
  int closes = 0;
  QTimer poke;
  QObject::connect(&poke, &QTimer::timeout, [&] {
    if (!dlg.StepRunning()) return;
    poke.stop();
    dlg.close();
    ++closes;
  });
  ModalAnswer answer([&](QDialog*) {
    dlg.show();
    QTest::keyClick(dlg.LBoxSecKeyInput, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    dlg.BtnStart->click();
    poke.start(1);
    dlg.BtnErase->click();
    ASSERT_EQ(closes, 1);
    QCoreApplication::sendPostedEvents();  // what the step's end left queued
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.InBootloader());
    EXPECT_TRUE(sim->Module().InBootloader());
    dlg.BtnCancel->click();
  });
  EXPECT_TRUE(dlg.Execute(prot.get(), s19, false));
  EXPECT_EQ(sim->Module().FlashEraseCount(), 1);
}

TEST_F(FirmwareAssistantHalfDuplex, ClosingAfterStartLeavesTheBootloader) {
  ModalAnswer answer([&](QDialog*) {
    dlg.show();
    QTest::keyClick(dlg.LBoxSecKeyInput, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    dlg.BtnStart->click();
    ASSERT_TRUE(sim->Module().InBootloader());
    // An erase that fails is named in red and can be tried again.
    sim->SetSilent(true);
    dlg.BtnErase->click();
    EXPECT_EQ(Status(), TFWUpdateDlg::kEraseFailedText);
    EXPECT_TRUE(StatusRed());
    EXPECT_TRUE(dlg.BtnErase->isEnabled());
    sim->SetSilent(false);
    dlg.close();  // the close box
    EXPECT_FALSE(dlg.isVisible());
  });
  EXPECT_TRUE(dlg.Execute(prot.get(), s19, false));
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_FALSE(dlg.InBootloader());
  EXPECT_EQ(sim->Module().FlashEraseCount(), 0);
}

}  // namespace

// The settings dialog's tabs, the About box, the hidden options and the password dialog as a
// person sees them, with a prepared profile: nothing cut off, nothing on top of something else.
// With KVX_SCREENSHOT_DIR set each is also written there as a PNG (the pictures in docs/).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "OptionsTestUtil.h"
#include "LayoutTestUtil.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "services/osApplIni.h"
#include "services/osApplInfoDlg.h"
#include "services/osApplOptions.h"
#include "services/osApplOptionsDlg.h"
#include "services/osPasswordDialogs.h"
#include "services/osPasswordForm.h"

using namespace apptest;

namespace {

using layouttest::ExpectTidy;

void Save(QWidget* w, const char* file) { layouttest::SavePicture(w, file); }

const char* kPrepared =
    "[Interface]\nPort=modsim\nTranferMode=1\nFixBR=57600\nAutoBR=115200\nAutoSetBR=1\n"
    "DelayOnFirmwareUpdate=20\n"
    "[Scope]\nBackgoundColor=-16777201\nGridColor=8421504\nCha1Color=16711680\nCha2Color=255\n"
    "Cha3Color=32768\nCha4Color=8388736\nSignalLineWidth=1\nULimLLimManually=1\n"
    "[Monitor]\nVisParaKind=1\nVisParaCnt=7\n"
    "[DRUV]\nShowCmdGrpInfo=1\nKVXFileViewer=1\n";

}  // namespace

TEST(DialogScreens, OptionsTabsWithAPreparedProfile) {
  Profile profile;
  TSysInfoSources sys = FakeSystem(profile);
  AddPortLink(profile, "modsim");
  AddPortLink(profile, "ttyUSB0");
  TosApplIni ini;
  WriteFile(profile.IniPath(), kPrepared);
  TApplInfo info;
  info.SystemInfo()->SetSources(sys);
  TKVX7OptionsDlg dlg;
  dlg.SetApplIni(&ini);
  dlg.SetApplInfo(&info);
  dlg.SetShowDruvTab(true);
  dlg.LoadControls();
  dlg.show();
  QApplication::processEvents();
  const struct {
    QWidget* tab;
    const char* file;
  } tabs[] = {{dlg.TSInterface, "options-interface.png"},  {dlg.TSScope, "options-oscilloscope.png"},
              {dlg.TSMonitor, "options-monitor.png"},      {dlg.TSDruv, "options-druvtec.png"},
              {dlg.TSTableInput, "options-table-input.png"}};
  for (const auto& t : tabs) {
    dlg.PageControl->setCurrentWidget(t.tab);
    QApplication::processEvents();
    ExpectTidy(&dlg, t.file);
    Save(&dlg, t.file);
  }
  EXPECT_EQ(dlg.CBPort->currentText(), "modsim");
  dlg.hide();
}

TEST(DialogScreens, AboutBoxHiddenOptionsAndPassword) {
  Profile profile;
  testutil::TempDir sysDir;
  WriteFile(sysDir.File("os-release"), "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nVERSION_ID=\"12\"\n");
  WriteFile(sysDir.File("meminfo"), "MemTotal:       16318788 kB\nMemAvailable:   11474544 kB\n");
  TSysInfoSources sys = FakeSystem(profile);
  sys.OsRelease = sysDir.File("os-release");
  sys.MemInfo = sysDir.File("meminfo");
  TApplInfo info;
  info.SystemInfo()->SetSources(sys);
  SetMakerContactData(info);
  TosApplOptions opt;
  for (const char* name : {"DRUV", "OEM"}) opt.Options().Add()->Name = name;
  info.SetApplOptions(&opt);
  info.SetHiddenInputText("#&KMPF");

  int shots = 0;
  ModalAnswer answer([&](QDialog* d) {
    d->show();
    if (auto* about = qobject_cast<TAboutDlgForm*>(d)) {
      ExpectTidy(about, "about");
      Save(about, "about.png");
      QTest::keyClicks(about->BBtnOK, "#&KMPF");
    } else if (auto* list = qobject_cast<TApplOptionsDlgForm*>(d)) {
      list->ChkLBox->item(0)->setCheckState(Qt::Checked);
      ExpectTidy(list, "hidden options");
      Save(list, "hidden-options.png");
    }
    ++shots;
    d->hide();
    return d->result();
  });
  info.ShowAbout();
  EXPECT_EQ(shots, 2);

  TosPasswordDlg pw;
  pw.PasswForm()->show();
  QTest::keyClicks(pw.PasswForm()->LEditPassword, "secret");
  ExpectTidy(pw.PasswForm(), "password");
  Save(pw.PasswForm(), "password.png");
  pw.PasswForm()->hide();
}

// The settings dialog: what OK writes on a fresh profile, that Cancel writes nothing, damaged
// values, colours, the maker's tab, the rate controls and the port list.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>

#include "OptionsTestUtil.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "services/osApplIni.h"

using namespace apptest;

namespace {

struct OptionsDialog : ::testing::Test {
  Profile profile;
  std::unique_ptr<TosApplIni> ini;
  TApplInfo info;
  TKVX7OptionsDlg dlg;

  OptionsDialog() {
    info.SystemInfo()->SetSources(FakeSystem(profile));
  }
  void Attach() {
    ini = std::make_unique<TosApplIni>();
    dlg.SetApplIni(ini.get());
    dlg.SetApplInfo(&info);
  }
  void Prepare(const std::string& text) {
    ini = std::make_unique<TosApplIni>();  // makes the folder
    WriteFile(profile.IniPath(), text);
    dlg.SetApplIni(ini.get());
    dlg.SetApplInfo(&info);
  }
  // Runs Execute; `act` works on the controls like a user, then OK or Cancel.
  bool Run(bool ok, std::function<void()> act = {}) {
    ModalAnswer answer([&](QDialog*) {
      if (act) act();
      return ok ? QDialog::Accepted : QDialog::Rejected;
    });
    return dlg.Execute();
  }
};

const IniSets kFreshDefaults = {
    {"Interface",
     {{"Port", ""}, {"AutoSetBR", "0"}, {"AutoBR", "38400"}, {"AutoBRDetection", "0"},
      {"FixBR", "9600"}, {"TranferMode", "0"}, {"DelayOnFirmwareUpdate", "0"}}},
    {"Scope",
     {{"BackgoundColor", "-16777201"}, {"GridColor", "16711680"}, {"Cha1Color", "16711680"},
      {"Cha2Color", "255"}, {"Cha3Color", "32768"}, {"Cha4Color", "0"}, {"SignalLineWidth", "0"},
      {"ULimLLimManually", "0"}}},
    {"Monitor", {{"VisParaKind", "0"}, {"VisParaCnt", "4"}}},
    {"TableInput", {{"ShowDecimals", "0"}, {"AinCommandUI", "0"}}}};

const char* kPrepared =
    "[Interface]\nPort=modsim\nTranferMode=1\nFixBR=57600\nAutoBR=115200\n"
    "[Scope]\nCha1Color=32896\nCha2Color=8388736\nCha3Color=12632256\nCha4Color=1193046\n"
    "BackgoundColor=-16777208\n"
    "[Monitor]\nVisParaKind=1\nVisParaCnt=7\n";

}  // namespace

TEST_F(OptionsDialog, OkOnAFreshProfileWritesExactlyTheDefaults) {
  Attach();
  dlg.SetPort("");  // what the main window writes at its first start
  EXPECT_TRUE(Run(true));
  EXPECT_EQ(ParseIni(profile.IniPath()), kFreshDefaults);
  // A second OK changes nothing: system colours come back as they were.
  const std::string once = ReadFile(profile.IniPath());
  EXPECT_TRUE(Run(true));
  EXPECT_EQ(ReadFile(profile.IniPath()), once);
}

TEST_F(OptionsDialog, CancelLeavesTheFileByteForByte) {
  Prepare(kPrepared);
  const std::string before = ReadFile(profile.IniPath());
  EXPECT_FALSE(Run(false, [&] {
    dlg.CBoxFixBR->setCurrentIndex(0);
    dlg.CBoxCha1Color->SetSelected(clWhite);
    dlg.TransferModeButtons->button(0)->click();
  }));
  EXPECT_EQ(ReadFile(profile.IniPath()), before);
  Attach();
  EXPECT_FALSE(Run(false));
  EXPECT_EQ(ReadFile(profile.IniPath()), before);
}

TEST_F(OptionsDialog, DamagedValuesGiveTheDefaultsAndLeaveTheFileAlone) {
  Prepare("[Interface]\nFixBR=12345\nAutoBR=-3\nTranferMode=5\nDelayOnFirmwareUpdate=500\n"
          "[Scope]\nSignalLineWidth=7\n[Monitor]\nVisParaKind=9\nVisParaCnt=0\n");
  const std::string before = ReadFile(profile.IniPath());
  EXPECT_EQ(dlg.GetFixBR(), mb9600);
  EXPECT_EQ(dlg.GetAutoBR(), mb38400);
  EXPECT_EQ(dlg.GetTranferMode(), tmFullDuplex);
  EXPECT_EQ(dlg.GetDelayOnFirmwareUpdate(), 0);
  EXPECT_EQ(dlg.GetSignalLineWidth(), swSmall);
  EXPECT_EQ(dlg.GetVisParaKind(), vpDefault);
  EXPECT_EQ(dlg.GetVisParaCnt(), 4);
  dlg.LoadControls();
  EXPECT_EQ(dlg.CBoxFixBR->currentText(), "9.6 KBaud");
  EXPECT_EQ(dlg.TransferModeButtons->checkedId(), 0);
  EXPECT_EQ(dlg.VisibleParaKindButtons->checkedId(), 0);
  EXPECT_EQ(dlg.CBoxVisParCnt->currentText(), "4");
  EXPECT_EQ(dlg.CBoxSigLineWidth->currentText(), "Small");
  EXPECT_EQ(ReadFile(profile.IniPath()), before);
}

TEST_F(OptionsDialog, PreparedProfileShowsInTheControlsAndColoursRoundTrip) {
  AddPortLink(profile, "modsim");
  AddPortLink(profile, "ttyUSB0");
  Prepare(kPrepared);
  dlg.LoadControls();
  EXPECT_EQ(dlg.CBPort->currentText(), "modsim");
  EXPECT_EQ(dlg.TransferModeButtons->checkedId(), 1);
  EXPECT_EQ(dlg.CBoxFixBR->currentText(), "57.6 KBaud");
  EXPECT_EQ(dlg.CBoxHighBR->currentText(), "115.2 KBaud");
  // Half duplex: no rate choice, though the rates are still stored.
  EXPECT_FALSE(dlg.RGrpBROptions->isEnabled());
  EXPECT_FALSE(dlg.CBoxFixBR->isEnabled());
  EXPECT_FALSE(dlg.CBoxHighBR->isEnabled());
  EXPECT_EQ(dlg.CBoxCha1Color->currentText(), "Olive");
  EXPECT_EQ(dlg.CBoxCha4Color->currentText(), "#563412");
  EXPECT_EQ(dlg.CBoxDspColor->currentText(), "Window Text");
  EXPECT_EQ(dlg.CBoxVisParCnt->currentText(), "7");
  EXPECT_TRUE(dlg.CBoxVisParCnt->isEnabled());
  EXPECT_TRUE(Run(true));
  const IniSets after = ParseIni(profile.IniPath());
  EXPECT_EQ(after.at("Scope").at("BackgoundColor"), "-16777208");
  EXPECT_EQ(after.at("Scope").at("Cha4Color"), "1193046");
  EXPECT_EQ(after.at("Interface").at("FixBR"), "57600");
  EXPECT_EQ(after.at("Interface").at("AutoBR"), "115200");
  EXPECT_EQ(after.at("Interface").at("TranferMode"), "1");
  EXPECT_EQ(dlg.GetCha3Color(), 0xC0C0C0u);
}

TEST_F(OptionsDialog, MakersOptionsAreWrittenOnlyWhileItsTabShows) {
  Attach();
  const int druvTab = dlg.PageControl->indexOf(dlg.TSDruv);
  EXPECT_TRUE(Run(true, [&] { dlg.CBoxShowCmdGrp->setChecked(true); }));
  EXPECT_FALSE(dlg.PageControl->isTabVisible(druvTab));
  EXPECT_EQ(ParseIni(profile.IniPath()).count("DRUV"), 0u);
  dlg.SetShowDruvTab(true);
  EXPECT_TRUE(Run(true, [&] {
    dlg.CBoxShowCmdGrp->setChecked(true);
    dlg.CBoxFWUpdateViaTerminal->setChecked(true);
    dlg.CBoxULimLLimManually->setChecked(true);
  }));
  EXPECT_TRUE(dlg.PageControl->isTabVisible(druvTab));
  const IniSets after = ParseIni(profile.IniPath());
  EXPECT_EQ(after.at("DRUV"), (std::map<std::string, std::string>{{"ShowCmdGrpInfo", "1"},
                                                                    {"KVXFileViewer", "0"},
                                                                    {"TermFWUpdate", "1"},
                                                                    {"SFWUpdate", "0"}}));
  EXPECT_EQ(after.at("Scope").at("ULimLLimManually"), "1");
  EXPECT_TRUE(dlg.GetTermFWUpdate());
  EXPECT_FALSE(dlg.GetSFWUpdate());
}

TEST_F(OptionsDialog, ClicksSwitchTheRateControlsAndTheCountBox) {
  Attach();
  dlg.LoadControls();
  EXPECT_EQ(dlg.NBBROptions->currentIndex(), 0);
  dlg.BROptionsButtons->button(1)->click();
  EXPECT_EQ(dlg.NBBROptions->currentIndex(), 1);
  EXPECT_FALSE(dlg.CBoxHighBR->isEnabled());
  dlg.CBAutoSetBR->click();
  EXPECT_TRUE(dlg.CBoxHighBR->isEnabled());
  dlg.TransferModeButtons->button(1)->click();
  EXPECT_FALSE(dlg.CBAutoSetBR->isEnabled());
  EXPECT_FALSE(dlg.CBoxHighBR->isEnabled());
  EXPECT_FALSE(dlg.CBoxVisParCnt->isEnabled());
  dlg.VisibleParaKindButtons->button(1)->click();
  EXPECT_TRUE(dlg.CBoxVisParCnt->isEnabled());
  // While connected nothing of the interface can be changed.
  dlg.SetInterfaceEditable(false);
  dlg.LoadControls();
  EXPECT_FALSE(dlg.CBPort->isEnabled());
  EXPECT_FALSE(dlg.RGrpTransferMode->isEnabled());
  EXPECT_FALSE(dlg.RGrpBROptions->isEnabled());
}

TEST_F(OptionsDialog, PortListIsReadOnEveryOpeningAndAnAbsentPortIsKept) {
  Prepare("[Interface]\nPort=ttyUSB9\n");
  AddPortLink(profile, "modsim");
  EXPECT_TRUE(Run(true, [&] {
    EXPECT_EQ(dlg.CBPort->count(), 1);
    EXPECT_EQ(dlg.CBPort->currentIndex(), -1);
  }));
  EXPECT_EQ(dlg.GetPort(), "ttyUSB9");
  AddPortLink(profile, "ttyUSB9");
  EXPECT_TRUE(Run(true, [&] {
    EXPECT_EQ(dlg.CBPort->count(), 2);
    EXPECT_EQ(dlg.CBPort->currentText(), "ttyUSB9");
    dlg.CBPort->setCurrentIndex(dlg.CBPort->findText("modsim"));
  }));
  EXPECT_EQ(dlg.GetPort(), "modsim");
}

TEST_F(OptionsDialog, WithoutSettingsFileTheOptionsLiveInTheDialog) {
  EXPECT_EQ(dlg.GetBackgoundColor(), clBtnFace);
  EXPECT_EQ(dlg.GetAutoBR(), mb38400);
  dlg.SetFixBR(mb57600);
  dlg.SetVisParaCnt(7);
  dlg.SetAutoSetBR(true);
  EXPECT_EQ(dlg.GetFixBR(), mb57600);
  EXPECT_EQ(dlg.GetVisParaCnt(), 7);
  EXPECT_TRUE(Run(true));
  EXPECT_TRUE(dlg.GetAutoSetBR());
  EXPECT_EQ(dlg.GetBackgoundColor(), clBtnFace);
  // A settings file that goes away is let go.
  Attach();
  ini.reset();
  EXPECT_EQ(dlg.ApplIni(), nullptr);
  // One the dialog let go of first may go before the dialog: nothing of it is called later.
  Attach();
  dlg.SetApplIni(nullptr);
  ini.reset();
  EXPECT_EQ(dlg.GetVisParaCnt(), 7);
}

TEST(ColorBox, HandsBackAnyColourUnchangedAndKeepsOnlyTheLastUnnamedOne) {
  TColorBox box;
  const int standard = box.count();
  box.SetSelected(clBtnFace);
  EXPECT_EQ(box.Selected(), clBtnFace);
  EXPECT_EQ(box.currentText(), "Button Face");
  box.SetSelected(0x123456);
  EXPECT_EQ(box.Selected(), 0x123456u);
  EXPECT_EQ(box.count(), standard + 1);
  box.SetSelected(clRed);
  EXPECT_EQ(box.currentText(), "Red");
  EXPECT_EQ(box.count(), standard);
}

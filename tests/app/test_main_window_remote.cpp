// Remote control from the monitor page against the simulated module: the enable box and its
// warning, digital inputs written only by a click, analog inputs through the shared track bar.
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <algorithm>

#include "MainFormTestUtil.h"

namespace {

using mftest::WaitFor;

class RemoteControl : public mftest::MainFormFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartIdentified());
    form->ShowPage(1);
    ASSERT_TRUE(form->CBoxRemoteCtrlEnable->isEnabled());
  }
  // Position of the first command Cmd received at or after From; -1 when none.
  long Find(const std::string& Cmd, long From = 0) const {
    const auto cmds = sim->ReceivedCommands();
    for (long i = From; i < static_cast<long>(cmds.size()); ++i)
      if (cmds[static_cast<std::size_t>(i)] == Cmd) return i;
    return -1;
  }
  std::vector<modsim::WriteRecord> WritesOf(const std::string& Name) const {
    std::vector<modsim::WriteRecord> w;
    for (const auto& r : sim->Writes())
      if (r.Name == Name) w.push_back(r);
    return w;
  }
  void EnableRemote() {
    form->CBoxRemoteCtrlEnable->click();
    ASSERT_TRUE(sim->Module().RemoteOn());
  }
};

TEST_F(RemoteControl, EnablingAsksAndYesSwitchesOnWithClearedInputsNoSendsTheOldStateAgain) {
  sim->Module().SetDigitalInputs(0x05);
  sim->Module().ClearRecords();
  messages.Answer = [](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrNo; };
  form->CBoxRemoteCtrlEnable->click();
  EXPECT_TRUE(messages.Any("Attention! You will enable remote control!!!"));
  EXPECT_FALSE(form->CBoxRemoteCtrlEnable->isChecked());
  EXPECT_GE(Find("RC:M 0"), 0) << "the old state is sent again";
  EXPECT_FALSE(sim->Module().RemoteOn());

  messages.Answer = nullptr;  // Yes
  sim->Module().ClearRecords();
  form->CBoxRemoteCtrlEnable->click();
  const long on = Find("RC:M 1");
  ASSERT_GE(on, 0);
  EXPECT_GT(Find("RC:S 0", on), on);
  EXPECT_TRUE(form->CBoxRemoteCtrlEnable->isChecked());
  EXPECT_EQ(sim->Module().DigitalInputs(), 0);
  EXPECT_TRUE(form->CBDInp[0]->isEnabled());
  EXPECT_TRUE(form->LEditPinX[0].Edit->isEnabled());

  // Asked to disable, No keeps it on: "RC:M 1" again, the inputs untouched.
  messages.Answer = [](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrNo; };
  sim->Module().SetDigitalInputs(0x05);
  sim->Module().ClearRecords();
  form->CBoxRemoteCtrlEnable->click();
  EXPECT_TRUE(messages.Any("Attention! You will disable remote control!!!"));
  EXPECT_TRUE(form->CBoxRemoteCtrlEnable->isChecked());
  EXPECT_TRUE(sim->Module().RemoteOn());
  EXPECT_GE(Find("RC:M 1"), 0);
  EXPECT_EQ(Find("RC:S 0"), -1);
  EXPECT_EQ(sim->Module().DigitalInputs(), 0x05);
}

TEST_F(RemoteControl, ADigitalClickWritesItsBitOnlyPollingUpdatesWithoutWriting) {
  ASSERT_NO_FATAL_FAILURE(EnableRemote());
  sim->Module().SetDigitalInputs(0x05);
  // The monitor poll shows the module's state without writing it back.
  ASSERT_TRUE(WaitFor([&] { return form->CBDInp[0]->isChecked() && form->CBDInp[2]->isChecked(); }));
  const std::size_t writes = WritesOf("RC:S").size();
  const std::size_t before = sim->ReceivedCommands().size();
  ASSERT_TRUE(WaitFor([&] {
    const auto c = sim->ReceivedCommands();
    return std::count(c.begin() + static_cast<long>(before), c.end(), "RC:S") >= 3;
  }));
  EXPECT_EQ(WritesOf("RC:S").size(), writes);

  form->CBDInp[1]->click();  // bit 1 on; bits 0 and 2 as the module has them
  ASSERT_EQ(WritesOf("RC:S").size(), writes + 1);
  EXPECT_EQ(WritesOf("RC:S").back().Value, "7");
  EXPECT_EQ(sim->Module().DigitalInputs(), 7);

  // The state cannot be read: nothing is written, not even a state of 0.
  sim->SetSilent(true);
  const std::size_t received = sim->ReceivedCommands().size();
  form->CBDInp[3]->click();
  sim->SetSilent(false);
  const auto cmds = sim->ReceivedCommands();
  EXPECT_NE(std::find(cmds.begin() + static_cast<long>(received), cmds.end(), "RC:S"), cmds.end())
      << "the state was asked for";
  for (std::size_t i = received; i < cmds.size(); ++i) EXPECT_NE(cmds[i].rfind("RC:S ", 0), 0u) << cmds[i];
  EXPECT_EQ(sim->Module().DigitalInputs(), 7);
}

TEST_F(RemoteControl, TheTrackBarSendsTheValueAndAReleasedEditIsClampedToItsRange) {
  ASSERT_NO_FATAL_FAILURE(EnableRemote());
  TLabeledEdit& pin6 = form->LEditPinX[1];
  ASSERT_FALSE(pin6.Box->isHidden());
  form->LEditAnaInputsDlbClick(&pin6);
  EXPECT_EQ(form->ActiveAnalogEdit, &pin6);
  EXPECT_EQ(form->LabelTBarMin->text(), "-10000");
  form->TBarAnaInputs->setValue(1234);
  ASSERT_FALSE(WritesOf("RC:6").empty());
  EXPECT_EQ(WritesOf("RC:6").back().Value, "1234");
  EXPECT_EQ(pin6.Edit->text(), "1234");
  EXPECT_EQ(sim->Module().ValueText("RC:6"), "1234");
  // The range allows "-": it reaches the edit.
  pin6.Edit->setText("");
  QTest::keyClicks(pin6.Edit, "-5x");
  EXPECT_EQ(pin6.Edit->text(), "-5");

  // A pin of range 0..10000: "-" is refused, 20000 is clamped on release and shown clamped.
  form->KVXModProt->RemoteCtrlCmdList()->FindByPin(1)->Min = 0;
  TLabeledEdit& pin910 = form->LEditPinX[0];
  form->LEditAnaInputsDlbClick(&pin910);
  EXPECT_EQ(form->ActiveAnalogEdit, &pin910) << "another edit's activation releases the first";
  EXPECT_EQ(pin6.Edit->text(), "-5");
  EXPECT_EQ(WritesOf("RC:6").back().Value, "-5");
  pin910.Edit->setText("");
  QTest::keyClicks(pin910.Edit, "-20000");
  EXPECT_EQ(pin910.Edit->text(), "20000");
  // The focus leaves the group for another control of the window.
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  pin910.Edit->setFocus();
  form->CBDInp[0]->setFocus();
  EXPECT_EQ(form->ActiveAnalogEdit, nullptr);
  EXPECT_EQ(WritesOf("RC:910").back().Value, "10000");
  EXPECT_EQ(pin910.Edit->text(), "10000");

  // The track bar already at 10000: nothing is sent, and the edit shows 10000 all the same.
  const std::size_t writes = WritesOf("RC:910").size();
  form->LEditAnaInputsDlbClick(&pin910);
  pin910.Edit->setText("20000");
  QTest::keyClick(pin910.Edit, Qt::Key_Return);
  EXPECT_EQ(form->ActiveAnalogEdit, nullptr);
  EXPECT_EQ(WritesOf("RC:910").size(), writes);
  EXPECT_EQ(pin910.Edit->text(), "10000");
  EXPECT_FALSE(form->TBarAnaInputs->isEnabled());

  // The picture of the monitor page in docs/: an edit active, inputs set.
  form->LEditAnaInputsDlbClick(&pin6);
  sim->Module().SetDigitalInputs(0x13);
  ASSERT_TRUE(WaitFor([&] { return form->CBDInp[4]->isChecked(); }));
  form->resize(1024, 768);
  dlgtest::SavePicture(form.get(), "main-monitor-remote.png");
  // Leaving the page releases the edit.
  pin6.Edit->setFocus();
  form->ShowPage(0);
  EXPECT_EQ(form->ActiveAnalogEdit, nullptr);
  EXPECT_EQ(form->LabelTBarMax->text(), "");
}

// One click into an edit is enough to type into it, marking and replacing with the keyboard
// included; a paste is held to what could be typed; Enter sends the value.
TEST_F(RemoteControl, AClickIntoAnAnalogEditTakesTypedValues) {
  ASSERT_NO_FATAL_FAILURE(EnableRemote());
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  TLabeledEdit& pin6 = form->LEditPinX[1];
  QTest::mouseClick(pin6.Edit, Qt::LeftButton);
  EXPECT_EQ(form->ActiveAnalogEdit, &pin6);
  EXPECT_TRUE(form->TBarAnaInputs->isEnabled());
  const QString before = pin6.Edit->text();
  QTest::keyClick(pin6.Edit, Qt::Key_A, Qt::ControlModifier);
  QGuiApplication::clipboard()->setText("1x2");
  QTest::keyClick(pin6.Edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(pin6.Edit->text(), before);
  QTest::keyClicks(pin6.Edit, "-42x");
  EXPECT_EQ(pin6.Edit->text(), "-42");
  QTest::keyClick(pin6.Edit, Qt::Key_Return);
  EXPECT_EQ(form->ActiveAnalogEdit, nullptr);
  ASSERT_FALSE(WritesOf("RC:6").empty());
  EXPECT_EQ(WritesOf("RC:6").back().Value, "-42");
  EXPECT_EQ(sim->Module().ValueText("RC:6"), "-42");
}

class NoRemoteControl : public mftest::MainFormFixture {};

TEST_F(NoRemoteControl, TheMonitorPageLeavesAModuleWithoutRemoteControlAlone) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified({}, {}, [](modsim::ModuleLogic& m) { m.SetRemoteControl(false); }));
  sim->Module().ClearRecords();
  form->ShowPage(1);
  EXPECT_FALSE(form->CBoxRemoteCtrlEnable->isEnabled());
  EXPECT_FALSE(form->CBDInp[0]->isEnabled());
  for (const std::string& c : sim->ReceivedCommands()) EXPECT_NE(c.rfind("RC:", 0), 0u) << c;
  EXPECT_TRUE(sim->Violations().empty());
}

}  // namespace

// Save, defaults and load-back in the module, and the remote control of its inputs: each command
// as the module takes it, and each failure (refused, silent, not available, not switched on).
#include "ModesTestUtil.h"

namespace prottest {
namespace {

class ModuleCommands : public ModuleFixture {
 protected:
  void SetUp() override {
    StartModule();
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    sim->Module().ClearRecords();
  }
  std::int32_t Gain() { return Find<TModNumParaCmd>("GAIN")->Value; }
};

TEST_F(ModuleCommands, SaveDefaultsAndLoadbackReachTheModuleAndRereadTheValues) {
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "300"));
  EXPECT_FALSE(sim->Module().Saved());
  EXPECT_TRUE(prot->SaveInModule());
  EXPECT_TRUE(sim->Module().Saved());

  // Changed in the module but not saved: the load-back brings the stored value back, and the
  // tool reads it.
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "400"));
  EXPECT_TRUE(prot->Loadback());
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "300");
  EXPECT_EQ(Gain(), 300);

  EXPECT_TRUE(prot->LoadDefaults());
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
  EXPECT_EQ(Gain(), 250);

  const auto cmds = sim->ReceivedCommands();
  EXPECT_EQ(CountCommand(cmds, "SAVE"), 1u);
  EXPECT_EQ(CountCommand(cmds, "Loadback"), 1u);  // sent in mixed case, echoed upper case
  EXPECT_EQ(CountCommand(cmds, "DEFAULT"), 1u);
  // Each reload read every parameter again.
  EXPECT_EQ(CountCommand(cmds, "GAIN"), 2u);
}

TEST_F(ModuleCommands, TheModuleIdCheckTellsNoAnswerFromAnotherModule) {
  EXPECT_EQ(prot->CompareModuleId(), micSameModule);
  sim->SetSilent(true);
  EXPECT_EQ(prot->CompareModuleId(), micNoAnswer);
  sim->SetSilent(false);
  sim->Module().SetIdText("OTHER 1.0 x 1");
  EXPECT_EQ(prot->CompareModuleId(), micOtherModule);
  prot->SetPortOpen(false);
  EXPECT_EQ(prot->CompareModuleId(), micNoAnswer);
}

TEST_F(ModuleCommands, ARefusedOrUnansweredCommandFailsAndReadsNothing) {
  sim->Module().SetCommandError("SAVE");
  sim->Module().SetCommandError("DEFAULT");
  sim->Module().SetCommandError("LOADBACK");
  EXPECT_FALSE(prot->SaveInModule());
  EXPECT_FALSE(prot->LoadDefaults());
  EXPECT_FALSE(prot->Loadback());
  EXPECT_EQ(CountCommand(sim->ReceivedCommands(), "GAIN"), 0u);

  sim->Module().SetCommandError("SAVE", false);
  sim->Module().SetCommandError("DEFAULT", false);
  sim->SetSilent(true);
  EXPECT_FALSE(prot->SaveInModule());
  EXPECT_FALSE(prot->LoadDefaults());
  EXPECT_EQ(CountCommand(sim->ReceivedCommands(), "GAIN"), 0u);
}

TEST_F(ModuleCommands, ASaveCommandOfTheModulesListingIsWrittenLikeAParameter) {
  sim->Module().SetSaveCommandListed(true);
  Identify();
  ASSERT_GE(prot->CommandList()->IndexOf("SAVE"), 0);
  sim->Module().ClearRecords();
  EXPECT_TRUE(prot->SaveInModule());
  const auto writes = sim->Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].Name, "SAVE");
  // The write's follow-up: the access code is read again.
  EXPECT_EQ(CountCommand(sim->ReceivedCommands(), "ACODE"), 1u);
}

TEST_F(ModuleCommands, AListedCommandThatCannotBeWrittenIsRefusedWithoutSending) {
  // The module's listing names "DEFAULT" as a read-only number.
  std::string serno;
  for (const std::string& line : sim->Module().ListingLines())
    if (line.find("\\SERNO\\") != std::string::npos) serno = line;
  ASSERT_FALSE(serno.empty());
  const std::string line = serno.replace(serno.find("SERNO"), 5, "DEFAULT");
  ASSERT_TRUE(prot->ParseCommandList(sim->Module().ListingText() + "\r\n" + line));
  ASSERT_GE(prot->CommandList()->IndexOf("DEFAULT"), 0);
  EXPECT_FALSE(prot->LoadDefaults());
  EXPECT_TRUE(sim->ReceivedCommands().empty());
}

TEST_F(ModuleCommands, RemoteControlSwitchesAndDrivesTheInputs) {
  ASSERT_TRUE(prot->RemoteCtrlAvailable());
  EXPECT_FALSE(prot->RemoteCtrlEnabled());
  sim->Module().ClearRecords();

  // Digital inputs are taken only under remote control: the query alone goes out.
  std::uint8_t state = 0x5A;
  EXPECT_FALSE(prot->WriteRemoteState(state));
  EXPECT_EQ(sim->ReceivedCommands(), std::vector<std::string>{"RC:M"});
  std::int32_t value = 1234;
  EXPECT_FALSE(prot->WriteRemoteCtrlValue(2, value));

  prot->SetRemoteCtrlEnabled(true);
  EXPECT_TRUE(prot->RemoteCtrlOn());
  EXPECT_TRUE(sim->Module().RemoteOn());
  EXPECT_TRUE(prot->RemoteCtrlEnabled());

  state = 0x5A;
  EXPECT_TRUE(prot->WriteRemoteState(state));
  EXPECT_EQ(state, 0x5A);
  EXPECT_EQ(sim->Module().DigitalInputs(), 0x5A);
  sim->Module().SetDigitalInputs(0xC3);
  EXPECT_TRUE(prot->ReadRemoteState(state));
  EXPECT_EQ(state, 0xC3);

  // Pin 2 is "RC:6": written, read back into the value and the command.
  value = -1234;
  EXPECT_TRUE(prot->WriteRemoteCtrlValue(2, value));
  EXPECT_EQ(value, -1234);
  EXPECT_EQ(sim->Module().ValueText("RC:6"), "-1234");
  EXPECT_EQ(prot->RemoteCtrlCmdList()->FindByPin(2)->Value, -1234);
  ASSERT_TRUE(sim->Module().SetValueText("RC:13", "77"));
  value = 0;
  EXPECT_TRUE(prot->ReadRemoteCtrlValue(3, value));
  EXPECT_EQ(value, 77);

  // Out of the module's range: refused, and no read-back value.
  value = 20000;
  EXPECT_FALSE(prot->WriteRemoteCtrlValue(2, value));
  EXPECT_EQ(sim->Module().ValueText("RC:6"), "-1234");

  // A pin without a command sends nothing.
  sim->Module().ClearRecords();
  value = 5;
  EXPECT_FALSE(prot->ReadRemoteCtrlValue(7, value));
  EXPECT_FALSE(prot->WriteRemoteCtrlValue(0, value));
  EXPECT_EQ(value, 5);
  EXPECT_TRUE(sim->ReceivedCommands().empty());

  prot->SetRemoteCtrlEnabled(false);
  EXPECT_FALSE(prot->RemoteCtrlOn());
  EXPECT_FALSE(sim->Module().RemoteOn());
  EXPECT_FALSE(prot->RemoteCtrlEnabled());
}

TEST_F(ModuleCommands, ASilentModuleLeavesTheRemoteStateAtZero) {
  prot->SetRemoteCtrlEnabled(true);
  ASSERT_TRUE(prot->RemoteCtrlOn());
  sim->SetSilent(true);
  std::uint8_t state = 0x11;
  EXPECT_FALSE(prot->ReadRemoteState(state));
  EXPECT_EQ(state, 0);
  std::int32_t value = 9;
  EXPECT_FALSE(prot->ReadRemoteCtrlValue(1, value));
  EXPECT_EQ(value, 9);
  EXPECT_FALSE(prot->RemoteCtrlEnabled());
  // Switching on again fails and is remembered as off.
  prot->SetRemoteCtrlEnabled(true);
  EXPECT_FALSE(prot->RemoteCtrlOn());
}

class ModuleWithoutRemote : public ModuleFixture {
 protected:
  void SetUp() override {
    StartModule();
    sim->Module().SetRemoteControl(false);
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    sim->Module().ClearRecords();
  }
};

TEST_F(ModuleWithoutRemote, NothingIsSentForRemoteControl) {
  EXPECT_FALSE(prot->RemoteCtrlAvailable());
  prot->SetRemoteCtrlEnabled(true);
  EXPECT_FALSE(prot->RemoteCtrlOn());
  std::uint8_t state = 3;
  EXPECT_FALSE(prot->ReadRemoteState(state));
  EXPECT_EQ(state, 0);
  std::int32_t value = 10;
  EXPECT_FALSE(prot->WriteRemoteCtrlValue(1, value));
  EXPECT_TRUE(sim->ReceivedCommands().empty());
}

}  // namespace
}  // namespace prottest

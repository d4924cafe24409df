// Opening the line at the module's rate: the rate tables, detection, the rate request, the switch
// to the preferred rate, and the line settings of the component.
#include "ProtocolTestUtil.h"

namespace prottest {
namespace {

TEST(RateTables, ConvertBetweenIndexBitsNamesAndPortRates) {
  TModBaudrate idx = mb9600;
  EXPECT_TRUE(ModBaudrateFromName("19.2 KBaud", idx));
  EXPECT_EQ(idx, mb19200);
  EXPECT_FALSE(ModBaudrateFromName("19,2 KBaud", idx));
  EXPECT_EQ(static_cast<int>(idx), 5);
  EXPECT_TRUE(ModBaudrateFromBits(115200, idx));
  EXPECT_EQ(idx, mb115200);
  EXPECT_FALSE(ModBaudrateFromBits(14400, idx));
  EXPECT_EQ(static_cast<int>(idx), 5);
  EXPECT_EQ(ModBaudrateToPortBaud(mb38400), br38400);
  EXPECT_EQ(ModBaudrateToPortBaud(mb57600), br57600);
  EXPECT_EQ(ModBaudrateToPortBaud(static_cast<TModBaudrate>(5)), brCustom);
  const int factors[] = {1, 2, 4, 6, 12};
  for (int i = 0; i < ModBaudrateCount; ++i)
    EXPECT_EQ(ModBaudrateFactor(static_cast<TModBaudrate>(i)), factors[i]);
  EXPECT_STREQ(TransferModeNames[tmHalfDuplex], "HDX");
}

TEST(SplitModuleIdText, NameVersionAndNumberFromFourItems) {
  int number = 0;
  std::string name = "x";
  double version = 0;
  EXPECT_TRUE(SplitModuleId("  KVX-SIM 1.20 2026 4711 ", number, name, version));
  EXPECT_EQ(name, "KVX-SIM");
  EXPECT_DOUBLE_EQ(version, 1.2);
  EXPECT_EQ(number, 4711);

  EXPECT_FALSE(SplitModuleId("KVX-SIM 1.20 2026", number, name, version));
  EXPECT_EQ(number, -1);
  EXPECT_EQ(name, "");
  EXPECT_DOUBLE_EQ(version, -1.0);

  // Items that do not convert keep their defaults; the split still succeeds.
  EXPECT_TRUE(SplitModuleId("MOD V1 x n/a", number, name, version));
  EXPECT_EQ(name, "MOD");
  EXPECT_DOUBLE_EQ(version, -1.0);
  EXPECT_EQ(number, -1);

  // The version is read with the user's decimal separator; commas separate items.
  SetDecimalSeparator(',');
  EXPECT_TRUE(SplitModuleId("MOD 2.5 a 7", number, name, version));
  EXPECT_DOUBLE_EQ(version, -1.0);
  EXPECT_EQ(number, 7);
  EXPECT_TRUE(SplitModuleId("MOD 2,5 a 7", number, name, version));
  EXPECT_EQ(number, -1);
  SetDecimalSeparator('.');
}

class Detection : public ModuleFixture, public ::testing::WithParamInterface<int> {};

TEST_P(Detection, FindsTheModuleAtItsRateAfterTheLowerRatesFail) {
  const int rate = GetParam();
  StartModule({.Rate = rate});
  prot->SetAutoBaudDetection(true);
  prot->SetAutoSetBaudrate(false);
  EXPECT_TRUE(prot->Connect());
  TModBaudrate expected{};
  ASSERT_TRUE(ModBaudrateFromBits(rate, expected));
  EXPECT_EQ(prot->BaudRate(), expected);
  EXPECT_EQ(prot->Port()->BaudRate(), ModBaudrateToPortBaud(expected));
  // Every lower rate was tried with "ID", which reached the module as garbage; the garbage
  // spoils the line of the "ID" at the right rate, whose echo still tells the rate; then the
  // confirmation.
  EXPECT_EQ(sim->WrongRateBytes(), 3u * static_cast<std::size_t>(expected));
  const auto cmds = sim->ReceivedCommands();
  ASSERT_GE(cmds.size(), 2u);
  EXPECT_EQ(cmds[cmds.size() - 2].substr(cmds[cmds.size() - 2].size() - 2), "ID");
  EXPECT_EQ(cmds.back(), "BR " + std::to_string(rate / 9600));
  // The module stays where it was found.
  EXPECT_EQ(sim->Rate(), rate);
}

INSTANTIATE_TEST_SUITE_P(EveryRate, Detection,
                         ::testing::Values(9600, 19200, 38400, 57600, 115200));

class Connection : public ModuleFixture {};

TEST_F(Connection, SwitchesModuleAndPortToThePreferredRate) {
  StartModule({.Rate = 19200});
  prot->SetAutoBaudDetection(true);
  prot->SetAutoSetBaudrate(true);
  prot->SetAutoBaudrate(mb115200);
  EXPECT_TRUE(prot->Connect());
  EXPECT_EQ(prot->BaudRate(), mb115200);
  EXPECT_EQ(prot->Port()->BaudRate(), br115200);
  EXPECT_EQ(sim->Rate(), 115200);
  std::string id;
  EXPECT_TRUE(prot->IdentifyModule(id));
}

TEST_F(Connection, RefusedRateConfirmationKeepsTheDetectedRate) {
  StartModule({.Rate = 38400});
  sim->Module().SetCommandError("BR");
  prot->SetAutoBaudDetection(true);
  prot->SetAutoSetBaudrate(true);
  prot->SetAutoBaudrate(mb115200);
  EXPECT_TRUE(prot->Connect());
  EXPECT_EQ(prot->BaudRate(), mb38400);
  EXPECT_EQ(sim->Rate(), 38400);
  EXPECT_TRUE(prot->SetModuleBaudrate(mb38400) == false);
}

TEST_F(Connection, RateRequestAcceptsOnlyAKnownFactor) {
  StartModule({.Rate = 57600});
  ConnectFixed();
  EXPECT_TRUE(prot->SetModuleBaudrate(mb57600));
  EXPECT_FALSE(prot->SetModuleBaudrate(static_cast<TModBaudrate>(5)));
}

TEST_F(Connection, HalfDuplexOpensAt19200WithoutDetection) {
  StartModule({.Rate = 19200, .HalfDuplex = true});
  prot->SetAutoBaudDetection(true);
  prot->SetAutoSetBaudrate(true);
  prot->SetBaudRate(mb57600);
  EXPECT_TRUE(prot->Connect());
  EXPECT_EQ(prot->BaudRate(), mb19200);
  EXPECT_EQ(prot->Port()->BaudRate(), br19200);
  EXPECT_TRUE(sim->ReceivedCommands().empty());
  std::string id;
  EXPECT_TRUE(prot->IdentifyModule(id));
  EXPECT_EQ(id, "KVX-SIM 1.20 2026 4711");
  EXPECT_EQ(Find<TModNumParaCmd>("GAIN")->Value, 250);
  EXPECT_EQ(Find<TModCCParaCmd>("CURVE")->GetPoint(-10), (TModCCPoint{-10000, -8000}));
  // Writes and their read-back on the two-wire line.
  Find<TModNumParaCmd>("GAIN")->Value = 444;
  EXPECT_TRUE(prot->WriteParameter(Find<TModNumParaCmd>("GAIN")));
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "444");
  auto* curve = Find<TModCCParaCmd>("CURVE");
  curve->SetPoint(7, TModCCPoint{7100, 7200});
  EXPECT_TRUE(prot->WriteParameter(curve));
  EXPECT_EQ(sim->Module().CurvePoint("CURVE", 7), (std::pair<int, int>{7100, 7200}));
}

TEST_F(Connection, FixedRateOpensAtThatRateWithoutDetection) {
  StartModule({.Rate = 38400});
  prot->SetFixBaudrate(mb38400);
  prot->SetBaudRate(mb9600);
  EXPECT_TRUE(prot->Connect());
  EXPECT_EQ(prot->BaudRate(), mb38400);
  EXPECT_TRUE(sim->ReceivedCommands().empty());
}

TEST_F(Connection, NoModuleLeavesThePortOpenAt115200) {
  StartModule({.Rate = 19200});
  sim->SetSilent(true);
  prot->SetPortOpen(true);
  TModBaudrate idx = mb57600;
  const auto start = std::chrono::steady_clock::now();
  // One pass over the five rates (the component's own Connect makes five).
  EXPECT_FALSE(prot->DetectBaudrate(idx, 1));
  EXPECT_GE(MsSince(start), 5 * 550);
  EXPECT_EQ(idx, mb9600);
  EXPECT_EQ(prot->BaudRate(), mb115200);
  EXPECT_TRUE(prot->PortOpen());
}

TEST_F(Connection, PortThatCannotOpenFailsTheConnect) {
  StartModule();
  prot->SetPortName("/nonexistent/tty-of-nobody");
  EXPECT_FALSE(prot->Connect());
  EXPECT_FALSE(prot->PortOpen());
}

TEST_F(Connection, LineSettingsChangesResetTheModuleAndApplyTheirRate) {
  StartModule({.Rate = 19200});
  FakeParamList grid;
  prot->SetParameterList(&grid);
  Identify();
  ASSERT_TRUE(prot->ModuleLoaded());
  prot->SetFixBaudrate(mb38400);
  EXPECT_EQ(prot->BaudRate(), mb38400);  // detection is off: the fixed rate applies at once
  prot->SetFixBaudrate(mb19200);

  // Half duplex forces 19200 whatever the fixed rate says, and empties the module data.
  prot->SetFixBaudrate(mb57600);
  const int fillsBefore = grid.fills;
  prot->SetTransferMode(tmHalfDuplex);
  EXPECT_EQ(prot->BaudRate(), mb19200);
  EXPECT_FALSE(prot->PortOpen());
  EXPECT_FALSE(prot->ModuleLoaded());
  EXPECT_EQ(prot->CommandList()->Count(), 0);
  EXPECT_EQ(prot->RemoteCtrlCmdList()->Count(), 0);
  EXPECT_GT(grid.fills, fillsBefore);
  EXPECT_EQ(grid.lastCount, 0);
  EXPECT_EQ(grid.lastCode, 0);
  // A fixed rate chosen meanwhile does not move a half-duplex line off 19200.
  prot->SetFixBaudrate(mb38400);
  prot->SetAutoBaudDetection(true);
  prot->SetAutoBaudDetection(false);
  EXPECT_EQ(prot->BaudRate(), mb19200);
  // Back to full duplex without detection: the fixed rate again.
  prot->SetTransferMode(tmFullDuplex);
  EXPECT_EQ(prot->BaudRate(), mb38400);
}

TEST_F(Connection, SwitchingDetectionOffWhileConnectedClosesThePort) {
  StartModule({.Rate = 19200});
  prot->SetAutoBaudDetection(true);
  Identify();
  ASSERT_TRUE(prot->PortOpen());
  prot->SetAutoBaudDetection(false);
  EXPECT_FALSE(prot->PortOpen());
  EXPECT_EQ(prot->CommandList()->Count(), 0);
  EXPECT_EQ(prot->BaudRate(), prot->FixBaudrate());
}

}  // namespace
}  // namespace prottest

namespace prottest {
namespace {

TEST(RateRequest, ConfirmationIsOneKnownFactorAlsoWhenTheEchoCarriesIt) {
  ScriptedPeer peer;
  TKVXModCommProt prot;
  prot.SetPortName(peer.Path());
  prot.SetAutoBaudDetection(false);
  prot.SetPortOpen(true);
  peer.Answer("BR 6\r\n>");  // the echoed command line holds the factor
  EXPECT_TRUE(prot.SetModuleBaudrate(mb57600));
  peer.Answer("BR 6\r\n6\r\n>");  // and the module repeats it
  EXPECT_TRUE(prot.SetModuleBaudrate(mb57600));
  peer.Answer("BR 6\r\n3\r\n>");  // two different numbers
  EXPECT_FALSE(prot.SetModuleBaudrate(mb57600));
  peer.Answer("BR 5\r\n>");  // no rate of the table
  EXPECT_FALSE(prot.SetModuleBaudrate(mb57600));
  peer.Answer("BR 6\r\ncommand error\r\n>");
  EXPECT_FALSE(prot.SetModuleBaudrate(mb57600));
}

}  // namespace
}  // namespace prottest

// Reading single parameters and writing them back, with the read-back and the follow-ups the
// group bits ask for.
#include <algorithm>

#include "ProtocolTestUtil.h"

namespace prottest {
namespace {

std::size_t CountOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<std::size_t>(std::count(v.begin(), v.end(), s));
}

// ---- Curve points against a scripted peer -------------------------------------------------------

TEST(CurveRead, StoresOnlyPointsAnsweredWithTheirOwnIndexXAndY) {
  ScriptedPeer peer;
  TKVXModCommProt prot;
  prot.SetPortName(peer.Path());
  prot.SetAutoBaudDetection(false);
  ASSERT_TRUE(prot.ParseCommandList("3\\6\\K\\\\curve\\1\\-10000\\10000\\4"));
  auto* k = dynamic_cast<TModCCParaCmd*>(prot.CommandList()->GetObject(0));
  ASSERT_NE(k, nullptr);
  int changes = 0;
  k->OnChange = [&](TObject*) { ++changes; };
  prot.SetPortOpen(true);
  for (int i = -10; i <= 10; ++i) {
    const std::string key = "K:" + std::to_string(i);
    if (i == 0)
      peer.Answer(key + "\r\ncommand error\r\n>");  // refused: skipped
    else if (i == 3)
      peer.Answer(key + "\r\n4 77 88\r\n>");  // another point's index: not taken
    else if (i == 5)
      peer.Answer(key + "\r\n5 77\r\n>");  // too few values
    else
      peer.Answer(key + "\r\n" + std::to_string(i) + " " + std::to_string(i * 100) + " " +
                  std::to_string(-i) + "\r\n>");
  }
  EXPECT_TRUE(prot.ReadParameter(k));
  for (int i = -10; i <= 10; ++i) {
    if (i == 0 || i == 3 || i == 5)
      EXPECT_EQ(k->GetPoint(i), (TModCCPoint{0, 0})) << i;
    else
      EXPECT_EQ(k->GetPoint(i), (TModCCPoint{i * 100, -i})) << i;
  }
  EXPECT_EQ(changes, 18);
}

// In half duplex the reply begins with the module's own echo, in its letter case: a curve listed
// as "Curve" is echoed "CURVE:-10" and its points are still taken.
class CurveReadCase : public ModuleFixture {};

TEST_F(CurveReadCase, PointsAreTakenWhateverCaseTheModuleEchoes) {
  for (bool half : {false, true}) {
    SCOPED_TRACE(half ? "half duplex" : "full duplex");
    StartModule({.HalfDuplex = half});
    ConnectFixed();
    std::string listing;
    for (std::string line : sim->Module().ListingLines()) {
      const auto at = line.find("\\CURVE\\");
      if (at != std::string::npos) line.replace(at, 7, "\\Curve\\");
      listing += line + "\r\n";
    }
    ASSERT_TRUE(prot->ParseCommandList(listing));
    auto* curve = Find<TModCCParaCmd>("Curve");
    ASSERT_NE(curve, nullptr);
    ASSERT_EQ(curve->Name, "Curve");
    EXPECT_TRUE(prot->ReadParameter(curve));
    for (int i = -10; i <= 10; ++i) {
      const auto p = sim->Module().CurvePoint("CURVE", i);
      ASSERT_TRUE(p.has_value());
      EXPECT_EQ(curve->GetPoint(i), (TModCCPoint{p->first, p->second})) << i;
    }
    TearDown();
  }
}

TEST(ReplyValues, AssignByKindWithoutChangeEvent) {
  TKVXModCommProt prot;
  TModAinParaCmd ain;
  int changes = 0;
  ain.OnChange = [&](TObject*) { ++changes; };
  TStringList v{"10", "20", "30", "i"};
  EXPECT_TRUE(prot.AssignReplyValues(&ain, &v));
  EXPECT_EQ(ain.A, 10);
  EXPECT_EQ(ain.B, 20);
  EXPECT_EQ(ain.C, 30);
  EXPECT_EQ(ain.Unit, auCurrent);
  EXPECT_EQ(changes, 0);

  TModNumParaCmd num;
  num.Value = 7;
  TStringList two{"1", "2"};
  EXPECT_TRUE(prot.AssignReplyValues(&num, &two));
  EXPECT_EQ(num.Value, 7);
  TStringList notNum{"1.5"};
  EXPECT_TRUE(prot.AssignReplyValues(&num, &notNum));
  EXPECT_EQ(num.Value, 7);

  TModCCParaCmd cc;
  TStringList outOfRange{"11", "5", "6"};
  EXPECT_TRUE(prot.AssignReplyValues(&cc, &outOfRange));
  TStringList point{"-10", "5", "6"};
  EXPECT_TRUE(prot.AssignReplyValues(&cc, &point));
  EXPECT_EQ(cc.GetPoint(-10), (TModCCPoint{5, 6}));

  TModTextParaCmd text;
  text.VList = {"Gain 1", "Off"};
  TStringList t{"Gain 1"};
  EXPECT_TRUE(prot.AssignReplyValues(&text, &t));
  EXPECT_EQ(text.Text, "Gain 1");
  TStringList bad{"Gain 3"};
  EXPECT_TRUE(prot.AssignReplyValues(&text, &bad));
  EXPECT_EQ(text.Text, "");

  EXPECT_FALSE(prot.AssignReplyValues(nullptr, &t));
  EXPECT_FALSE(prot.AssignReplyValues(&text, nullptr));
}

// ---- Against the simulated module ---------------------------------------------------------------

class ParameterAccess : public ModuleFixture {
 protected:
  void SetUp() override {
    StartModule();
    prot->SetParameterList(&grid);
    prot->OnBusyCursor = [this](TObject*, bool on) { busy.push_back(on); };
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    sim->Module().ClearRecords();
    fillsAfterIdentify = grid.fills;
  }

  FakeParamList grid;
  std::vector<bool> busy;
  int fillsAfterIdentify = 0;
};

TEST_F(ParameterAccess, ReadRefusesCopiesWriteOnlyAndActionCommands) {
  auto copy = CreateModCommandCopy(Find<TModNumParaCmd>("GAIN"));
  EXPECT_FALSE(prot->ReadParameter(static_cast<TModCtrlCommand*>(copy.get())));
  EXPECT_FALSE(prot->ReadParameter(Find<TModCtrlCommand>("CLRERR")));
  EXPECT_FALSE(prot->ReadParameter(nullptr));
  EXPECT_TRUE(sim->ReceivedCommands().empty());
  EXPECT_TRUE(prot->ReadParameter(Find<TModCtrlCommand>("SERNO")));
}

TEST_F(ParameterAccess, WriteSendsTheValueAndReadsItBack) {
  auto* gain = Find<TModNumParaCmd>("GAIN");
  int changes = 0;
  gain->OnChange = [&](TObject*) { ++changes; };
  gain->Value = 500;
  EXPECT_TRUE(prot->WriteParameter(gain));
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "500");
  EXPECT_EQ(sim->ReceivedCommands(), (std::vector<std::string>{"GAIN 500", "GAIN", "ACODE"}));
  EXPECT_EQ(gain->Value, 500);
  EXPECT_EQ(changes, 1);

  // Text with a blank inside, analog input with its unit.
  auto* mode = Find<TModTextParaCmd>("OPMODE");
  mode->SetText("Gain 2");
  EXPECT_TRUE(prot->WriteParameter(mode));
  EXPECT_EQ(sim->Module().ValueText("OPMODE"), "Gain 2");
  auto* ain = Find<TModAinParaCmd>("AIN1");
  ain->A = -20;
  ain->Unit = auCurrent;
  EXPECT_TRUE(prot->WriteParameter(ain));
  EXPECT_EQ(Find<TModAinParaCmd>("AIN1")->Unit, auCurrent);
  EXPECT_EQ(Find<TModAinParaCmd>("AIN1")->A, -20);
}

TEST_F(ParameterAccess, RefusedWriteFailsWithoutReadBack) {
  auto* gain = Find<TModNumParaCmd>("GAIN");
  gain->Value = 5000;  // above the module's maximum
  EXPECT_FALSE(prot->WriteParameter(gain));
  EXPECT_EQ(sim->ReceivedCommands(), (std::vector<std::string>{"GAIN 5000"}));
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
  sim->Module().ClearRecords();
}

TEST_F(ParameterAccess, ReadOnlyIsRefusedAndWriteOnlyIsNotReadBack) {
  EXPECT_FALSE(prot->WriteParameter(Find<TModCtrlCommand>("SERNO")));
  EXPECT_TRUE(sim->ReceivedCommands().empty());
  // An action: written, not read back, then the access code.
  EXPECT_TRUE(prot->WriteParameter(Find<TModCtrlCommand>("CLRERR")));
  const auto cmds = sim->ReceivedCommands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].rfind("CLRERR", 0), 0u);
  EXPECT_EQ(cmds[1], "ACODE");
}

TEST_F(ParameterAccess, NewDataReadsEveryParameterAgain) {
  auto* range = Find<TModNumParaCmd>("RANGE");
  range->Value = 7;
  EXPECT_TRUE(prot->WriteParameter(range));
  const auto cmds = sim->ReceivedCommands();
  EXPECT_EQ(CountOf(cmds, "GAIN"), 1u);
  EXPECT_EQ(CountOf(cmds, "RANGE"), 2u);  // read back, then in the full read
  EXPECT_EQ(grid.fills, fillsAfterIdentify);
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
}

TEST_F(ParameterAccess, NewTabRefillsTheGridAndReadsAgain) {
  auto* level = Find<TModTextParaCmd>("LEVEL");
  level->SetText("Expert");
  EXPECT_TRUE(prot->WriteParameter(level));
  EXPECT_EQ(grid.fills, fillsAfterIdentify + 1);
  EXPECT_EQ(grid.lastCode, sim->Module().AccessCode());
  EXPECT_EQ(CountOf(sim->ReceivedCommands(), "GAIN"), 1u);
}

TEST_F(ParameterAccess, NewTabWithoutAGridNeitherRefillsNorReads) {
  prot->SetParameterList(nullptr);
  auto* level = Find<TModTextParaCmd>("LEVEL");
  level->SetText("Expert");
  EXPECT_TRUE(prot->WriteParameter(level));
  EXPECT_EQ(CountOf(sim->ReceivedCommands(), "GAIN"), 0u);
  EXPECT_EQ(grid.fills, fillsAfterIdentify);
}

TEST_F(ParameterAccess, NewTabAndNewDataIdentifyTheModuleAgain) {
  auto* config = Find<TModTextParaCmd>("CONFIG");
  config->SetText("Extended");
  EXPECT_TRUE(prot->WriteParameter(config));  // config is freed by the new identification
  const auto cmds = sim->ReceivedCommands();
  EXPECT_EQ(CountOf(cmds, "ID"), 1u);
  EXPECT_EQ(CountOf(cmds, "Readout"), 1u);
  EXPECT_TRUE(prot->ModuleLoaded());
  EXPECT_EQ(Find<TModTextParaCmd>("CONFIG")->Text, "Extended");
  EXPECT_EQ(grid.fills, fillsAfterIdentify + 1);
}

TEST_F(ParameterAccess, CurveIsWrittenFromTheTopAndStopsAtTheFirstRefusedPoint) {
  auto* curve = Find<TModCCParaCmd>("CURVE");
  for (int i = -10; i <= 10; ++i) curve->SetPoint(i, TModCCPoint{i * 900, i * -500});
  EXPECT_TRUE(prot->WriteParameter(curve));
  auto cmds = sim->ReceivedCommands();
  ASSERT_GE(cmds.size(), 21u);
  EXPECT_EQ(cmds[0], "CURVE:10 9000 -5000 ");
  EXPECT_EQ(cmds[10], "CURVE:0 0 0 ");
  EXPECT_EQ(cmds[11], "CURVE:-10 -9000 5000 ");
  EXPECT_EQ(cmds[20], "CURVE:-1 -900 500 ");
  for (int i = -10; i <= 10; ++i) {
    EXPECT_EQ(sim->Module().CurvePoint("CURVE", i), (std::pair<int, int>{i * 900, i * -500}));
  }

  sim->Module().ClearRecords();
  sim->Module().SetCommandError("CURVE:4");
  curve = Find<TModCCParaCmd>("CURVE");
  curve->SetPoint(3, TModCCPoint{1, 2});
  EXPECT_FALSE(prot->WriteParameter(curve));
  cmds = sim->ReceivedCommands();
  ASSERT_EQ(cmds.size(), 7u);  // 10 down to 4, the last refused
  EXPECT_EQ(cmds.back().rfind("CURVE:4 ", 0), 0u);
  EXPECT_NE(sim->Module().CurvePoint("CURVE", 3), (std::pair<int, int>{1, 2}));
  sim->Module().ClearRecords();
}

TEST_F(ParameterAccess, WriteAllSendsEveryWrittenKindAndReportsFailures) {
  TStringList failed{"stale"};
  Find<TModNumParaCmd>("GAIN")->Value = 600;
  EXPECT_TRUE(prot->WriteAllParameters(&failed));
  EXPECT_TRUE(failed.empty());
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "600");
  const auto cmds = sim->ReceivedCommands();
  // Read-only parameters (the module refuses them), actions and inputs are not sent.
  EXPECT_EQ(CountOf(cmds, "SERNO 4711"), 0u);
  EXPECT_EQ(CountOf(cmds, "OPMODE Gain 1"), 1u);
  EXPECT_EQ(CountOf(cmds, "CURVE:0 0 0 "), 1u);
  EXPECT_EQ(std::count_if(cmds.begin(), cmds.end(),
                          [](const std::string& c) { return c.rfind("CLRERR", 0) == 0; }),
            0);
  sim->Module().ClearRecords();

  Find<TModNumParaCmd>("GAIN")->Value = 9999;  // refused
  sim->Module().SetCommandError("CURVE:0");
  EXPECT_FALSE(prot->WriteAllParameters(&failed));
  EXPECT_NE(std::find(failed.begin(), failed.end(), "GAIN"), failed.end());
  EXPECT_NE(std::find(failed.begin(), failed.end(), "CURVE"), failed.end());
  sim->Module().ClearRecords();
}

TEST_F(ParameterAccess, GridWriteRequestWritesOnlineAndOnlyNotifiesOffline) {
  ASSERT_TRUE(grid.sendRequest);
  auto* gain = Find<TModNumParaCmd>("GAIN");
  gain->Value = 321;
  grid.sendRequest(&grid, gain);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "321");

  prot->SetPortOpen(false);
  sim->Module().ClearRecords();
  int changes = 0;
  gain->OnChange = [&](TObject*) { ++changes; };
  gain->Value = 123;
  grid.sendRequest(&grid, gain);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(sim->ReceivedCommands().empty());
  grid.sendRequest(&grid, nullptr);
}

TEST_F(ParameterAccess, RefreshReadsTheAccessCodeAndEveryParameter) {
  EXPECT_TRUE(prot->RefreshParameterList());
  EXPECT_EQ(grid.fills, fillsAfterIdentify + 1);
  EXPECT_EQ(CountOf(sim->ReceivedCommands(), "ACODE"), 1u);
  prot->SetParameterList(nullptr);
  EXPECT_FALSE(prot->RefreshParameterList());
}

}  // namespace
}  // namespace prottest

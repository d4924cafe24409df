// Working without a module: a module description loaded from an XML file, the views it feeds,
// parameter files applied to the offline model, and a failed load that leaves nothing behind.
#include <random>

#include "ProtocolTestUtil.h"
#include "model/FileTestUtil.h"
#include "model/osDRUVKVXCmdDOMStruc.h"

namespace prottest {
namespace {

using filetest::ReadAll;
using filetest::TempDir;
using filetest::WriteAll;

class OfflineModule : public ModuleFixture {
 protected:
  // A file with two modules: the simulated module under its own ID and a small one before it.
  void MakeFile() {
    filetest::ModuleLists small;
    filetest::AddCmd<TModNumParaCmd>(small.Commands, "ONLY")->Value = 3;
    TosKVXCmdDOM dom;
    small.Bind(dom);
    ASSERT_TRUE(dom.WriteModulCmds(file, "SMALL 1.0 x 1"));

    StartModule();
    Identify();
    ASSERT_TRUE(prot->SaveParameterXml(file));
    prot.reset();
  }

  // An offline component with fake views.
  void MakeOffline() {
    offline = std::make_unique<TKVXModCommProt>();
    offline->SetParameterList(&grid);
    offline->SetMonitor(&monitor);
    offline->SetScope(&scope);
  }

  TModNumParaCmd* Num(const std::string& name) {
    const int i = offline->CommandList()->IndexOf(name);
    return i < 0 ? nullptr : dynamic_cast<TModNumParaCmd*>(offline->CommandList()->GetObject(i));
  }

  void TearDown() override {
    offline.reset();
    ModuleFixture::TearDown();
  }

  TempDir dir;
  const std::string file = dir.File("modules.kvx");
  FakeParamList grid;
  FakeMonitor monitor;
  FakeScope scope;
  std::unique_ptr<TKVXModCommProt> offline;
};

TEST_F(OfflineModule, LoadsTheChosenModuleAndFeedsTheViews) {
  MakeFile();
  MakeOffline();
  TStringList offered;
  offline->OnModIdSelRequest = [&](TObject*, TStringList& ids, int& sel) {
    offered = ids;
    sel = 1;
  };
  ASSERT_TRUE(offline->OpenModuleDescription(file));
  EXPECT_EQ(offered, (TStringList{"SMALL 1.0 x 1", "KVX-SIM 1.20 2026 4711"}));
  EXPECT_EQ(offline->ModuleId(), "KVX-SIM 1.20 2026 4711");
  EXPECT_TRUE(offline->ModuleLoaded());
  EXPECT_FALSE(offline->GetPortOpen());

  // Text, number, analog-input and curve parameters; no factory parameter, no action.
  EXPECT_NE(Num("GAIN"), nullptr);
  EXPECT_EQ(Num("GAIN")->Value, 250);
  EXPECT_EQ(offline->CommandList()->IndexOf("CAL"), -1);
  EXPECT_EQ(offline->CommandList()->IndexOf("CLRERR"), -1);
  EXPECT_NE(offline->CommandList()->IndexOf("CURVE"), -1);
  EXPECT_EQ(offline->ProcessData()->Count(), 4);
  EXPECT_EQ(offline->StatusInfoData()->Count(), 4);
  EXPECT_EQ(offline->RemoteCtrlCmdList()->Count(), 5);
  EXPECT_TRUE(offline->RemoteCtrlAvailable());
  EXPECT_FALSE(offline->RemoteCtrlOn());

  EXPECT_EQ(grid.lastCode, 0xFFFF);
  EXPECT_EQ(grid.lastCount, offline->CommandList()->Count());
  EXPECT_EQ(monitor.processCount, 4);
  EXPECT_EQ(monitor.statusCount, 4);
  EXPECT_EQ(scope.processCount, 4);
}

TEST_F(OfflineModule, OneModuleNeedsNoChoiceAndAnOpenPortRefuses) {
  filetest::ModuleLists small;
  filetest::AddCmd<TModNumParaCmd>(small.Commands, "ONLY")->Value = 3;
  TosKVXCmdDOM dom;
  small.Bind(dom);
  ASSERT_TRUE(dom.WriteModulCmds(file, "SMALL 1.0 x 1"));

  MakeOffline();
  int asked = 0;
  offline->OnModIdSelRequest = [&](TObject*, TStringList&, int&) { ++asked; };
  ASSERT_TRUE(offline->OpenModuleDescription(file));
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(Num("ONLY")->Value, 3);
  EXPECT_FALSE(offline->RemoteCtrlAvailable());

  StartModule();
  ConnectFixed();
  EXPECT_FALSE(prot->OpenModuleDescription(file));
  EXPECT_FALSE(prot->ModuleLoaded());
  EXPECT_EQ(prot->CommandList()->Count(), 0);
}

TEST_F(OfflineModule, FailedLoadLeavesNoModuleAndNoViewOnOldCommands) {
  MakeFile();
  MakeOffline();
  offline->OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 1; };
  ASSERT_TRUE(offline->OpenModuleDescription(file));

  // A choice outside the list changes nothing.
  offline->OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 7; };
  EXPECT_FALSE(offline->OpenModuleDescription(file));
  EXPECT_TRUE(offline->ModuleLoaded());
  EXPECT_NE(Num("GAIN"), nullptr);

  // The chosen module lacks its remote-control section: the load fails after the lists were
  // touched, so everything is emptied and the views refilled from the empty lists.
  std::string text = ReadAll(file);
  const std::size_t pos = text.rfind("<RemoteCtrl>");
  ASSERT_NE(pos, std::string::npos);
  text.replace(pos, std::string("<RemoteCtrl>").size(), "<Remote-Gone>");
  text.replace(text.find("</RemoteCtrl>", pos), std::string("</RemoteCtrl>").size(), "</Remote-Gone>");
  WriteAll(file, text);
  const int fills = grid.fills;
  offline->OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 1; };
  EXPECT_FALSE(offline->OpenModuleDescription(file));
  EXPECT_FALSE(offline->ModuleLoaded());
  EXPECT_EQ(offline->ModuleId(), "");
  EXPECT_EQ(offline->CommandList()->Count(), 0);
  EXPECT_EQ(offline->RemoteCtrlCmdList()->Count(), 0);
  EXPECT_FALSE(offline->RemoteCtrlAvailable());
  EXPECT_EQ(grid.fills, fills + 1);
  EXPECT_EQ(grid.lastCount, 0);
  EXPECT_EQ(monitor.processCount, 0);
  EXPECT_EQ(scope.processCount, 0);

  // Files are not loaded into no module.
  EXPECT_EQ(offline->DownloadParameterXml(file), 2);
  EXPECT_FALSE(offline->SaveParameterXml(dir.File("none.kvx")));
}

TEST_F(OfflineModule, ParameterFilesChangeTheOfflineModel) {
  MakeFile();
  MakeOffline();
  offline->OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 1; };
  ASSERT_TRUE(offline->OpenModuleDescription(file));
  int changes = 0;
  for (int i = 0; i < offline->CommandList()->Count(); ++i)
    if (auto* c = dynamic_cast<TModCtrlCommand*>(offline->CommandList()->GetObject(i)))
      c->OnChange = [&](TObject*) { ++changes; };

  const std::string par = dir.File("offline.par");
  WriteAll(par, "KVX-SIM 1.20 2026 4711\n##\nGAIN 77\nSERNO 5\nCURVE:-10 1 2\n##\n");
  EXPECT_EQ(offline->DownloadParameterText(par, false), 0);
  EXPECT_EQ(Num("GAIN")->Value, 77);
  EXPECT_EQ(Num("SERNO")->Value, 5);  // offline even read-only values are data
  EXPECT_EQ(changes, 3);

  // The offline model saved and loaded again as a file of each kind.
  ASSERT_TRUE(offline->SaveParameterText(par));
  EXPECT_NE(ReadAll(par).find("\nGAIN" + std::string(18, ' ') + "77 \n"), std::string::npos);
  Num("GAIN")->Value = 1;
  EXPECT_EQ(offline->DownloadParameterText(par, false), 0);
  EXPECT_EQ(Num("GAIN")->Value, 77);

  offline->OnInfoMsg = [](TObject*, TKVXCommProtMsgKind, TModalResult& r) { r = 1; };
  ASSERT_TRUE(offline->SaveParameterXml(file));
  Num("GAIN")->Value = 2;
  const int refreshes = grid.refreshes;
  EXPECT_EQ(offline->DownloadParameterXml(file), 0);
  EXPECT_EQ(Num("GAIN")->Value, 77);
  EXPECT_EQ(grid.refreshes, refreshes + 1);
}

// Every value of a module as text, in list order.
std::vector<std::string> ValuesOf(const TModCommandList& list) {
  std::vector<std::string> v;
  for (int i = 0; i < list.Count(); ++i) {
    const TModBaseCommand* c = list.GetCommand(i);
    if (auto* t = dynamic_cast<const TModTextParaCmd*>(c)) v.push_back(t->Text);
    if (auto* n = dynamic_cast<const TModNumParaCmd*>(c)) v.push_back(std::to_string(n->Value));
    if (auto* a = dynamic_cast<const TModAinParaCmd*>(c))
      v.push_back(std::to_string(a->A) + " " + std::to_string(a->B) + " " + std::to_string(a->C) + " " +
                  std::to_string(a->Unit));
    if (auto* k = dynamic_cast<const TModCCParaCmd*>(c))
      for (int p = TModCCParaCmd::MinIndex; p <= TModCCParaCmd::MaxIndex; ++p)
        v.push_back(std::to_string(k->GetPoint(p).X) + " " + std::to_string(k->GetPoint(p).Y));
  }
  return v;
}

// Random modules of every value kind over the whole 32-bit range, names up to 30 characters and
// texts with blanks, quotes and commas: a file of either kind saved from the offline model gives
// every value back after all of them were changed.
TEST_F(OfflineModule, RandomModulesSurviveBothFileKinds) {
  std::mt19937 rng(11);
  auto any = [&] { return static_cast<std::int32_t>(rng()); };
  auto text = [&] {
    static const std::string chars = "abcXYZ019 \",\xC4\xE9#:;-";
    std::string t(1 + rng() % 12, ' ');
    for (char& ch : t) ch = chars[rng() % chars.size()];
    return t + "z";  // a listing's value list keeps no blank at an item's end
  };
  const std::string par = dir.File("random.par");
  for (int round = 0; round < 25; ++round) {
    {
      filetest::ModuleLists m;
      for (int i = 0; i < 8; ++i) {
        const std::string name = std::string(rng() % 28, 'N') + "P" + std::to_string(i);
        switch (rng() % 4) {
          case 0: {
            auto* t = filetest::AddCmd<TModTextParaCmd>(m.Commands, name);
            t->VList = {"x" + text(), "y" + text()};
            t->SetText(t->VList[rng() % 2]);
            break;
          }
          case 1:
            filetest::AddCmd<TModNumParaCmd>(m.Commands, name)->Value = any();
            break;
          case 2: {
            auto* a = filetest::AddCmd<TModAinParaCmd>(m.Commands, name);
            a->A = any();
            a->B = any();
            a->C = any();
            a->Unit = rng() % 2 ? auCurrent : auVoltage;
            break;
          }
          default: {
            auto* c = filetest::AddCmd<TModCCParaCmd>(m.Commands, name);
            for (int k = TModCCParaCmd::MinIndex; k <= TModCCParaCmd::MaxIndex; ++k) c->SetPoint(k, {any(), any()});
          }
        }
      }
      std::filesystem::remove(file);
      TosKVXCmdDOM dom;
      m.Bind(dom);
      ASSERT_TRUE(dom.WriteModulCmds(file, "RANDOM 1.00 2026 " + std::to_string(round)));
    }
    MakeOffline();
    ASSERT_TRUE(offline->OpenModuleDescription(file));
    const std::vector<std::string> saved = ValuesOf(*offline->CommandList());
    ASSERT_TRUE(offline->SaveParameterText(par));
    ASSERT_TRUE(offline->SaveParameterXml(file));

    for (const char* kind : {"par", "kvx"}) {
      for (int i = 0; i < offline->CommandList()->Count(); ++i) {
        TModBaseCommand* c = offline->CommandList()->GetCommand(i);
        if (auto* t = dynamic_cast<TModTextParaCmd*>(c)) t->SetText(t->Text == t->VList[0] ? t->VList[1] : t->VList[0]);
        if (auto* n = dynamic_cast<TModNumParaCmd*>(c)) n->Value = ~n->Value;
        if (auto* a = dynamic_cast<TModAinParaCmd*>(c)) {
          a->A = a->B = a->C = 1;
          a->Unit = a->Unit == auCurrent ? auVoltage : auCurrent;
        }
        if (auto* k = dynamic_cast<TModCCParaCmd*>(c))
          for (int j = TModCCParaCmd::MinIndex; j <= TModCCParaCmd::MaxIndex; ++j) k->SetPoint(j, {1, 1});
      }
      const std::uint8_t result = std::string(kind) == "par" ? offline->DownloadParameterText(par, false)
                                                               : offline->DownloadParameterXml(file);
      EXPECT_EQ(result, 0) << kind;
      ASSERT_EQ(ValuesOf(*offline->CommandList()), saved) << kind << " round " << round << "\n" << ReadAll(par);
    }
  }
}

}  // namespace
}  // namespace prottest

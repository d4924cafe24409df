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
  EXPECT_EQ(offline->LastFileError().Kind, fekFailed);  // and says why
  EXPECT_EQ(offline->LastFileError().Text,
            file + ": the module \"KVX-SIM 1.20 2026 4711\" has no \"RemoteCtrl\" section");

  // Files are not loaded into no module.
  EXPECT_EQ(offline->DownloadParameterXml(file), 2);
  EXPECT_FALSE(offline->SaveParameterXml(dir.File("none.kvx")));

  // XML of another kind, and a parameter file without a module: refused with why, and the
  // module loaded before is gone whole.
  const std::string other = dir.File("other.xml");
  for (const std::string& xml : {std::string("<?xml version=\"1.0\"?>\n<html><body/></html>\n"),
                                 std::string("<DRUV-ModulCmdList version=\"1.0\"></DRUV-ModulCmdList>\n")}) {
    offline->OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 0; };
    ASSERT_TRUE(offline->OpenModuleDescription(file));
    WriteAll(other, xml);
    EXPECT_FALSE(offline->OpenModuleDescription(other));
    EXPECT_FALSE(offline->ModuleLoaded());
    EXPECT_EQ(offline->CommandList()->Count(), 0);
    EXPECT_EQ(grid.lastCount, 0);
    EXPECT_EQ(offline->LastFileError().Kind, fekFailed);
  }
  EXPECT_EQ(offline->LastFileError().Text, other + ": no module in the file");
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
  EXPECT_FALSE(offline->LastDownload().Online);
  EXPECT_EQ(offline->LastDownload().Written, 3);

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
  EXPECT_FALSE(offline->LastDownload().Online);
  EXPECT_GT(offline->LastDownload().Written, 3);
}

// The module's own file, loaded offline and downloaded again: what the program wrote itself
// (inputs, limit switches, analog states, factory parameters) is no invalid command.
TEST_F(OfflineModule, ItsOwnFileDownloadsWithoutAnyReport) {
  MakeFile();
  MakeOffline();
  offline->OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 1; };
  ASSERT_TRUE(offline->OpenModuleDescription(file));
  TStringList reported;
  offline->OnParaDownloadError = [&](TObject*, TStringList& names) { reported = names; };
  EXPECT_EQ(offline->DownloadParameterXml(file), 0);
  EXPECT_EQ(reported, TStringList{});
}

// A file holding an ID twice offers it once and loads its first entry.
TEST_F(OfflineModule, AnIdHeldTwiceIsOfferedOnceAndItsFirstEntryLoads) {
  MakeFile();
  std::string text = ReadAll(file);
  const std::size_t b = text.find("<Modul ID=\"KVX-SIM"), e = text.find("</Modul>", b) + 8;
  std::string copy = text.substr(b, e - b);
  copy.replace(copy.find("<Para Val=\"250\"/>"), 17, "<Para Val=\"1\"/>");
  text.insert(b, copy);
  WriteAll(file, text);
  MakeOffline();
  TStringList offered;
  offline->OnModIdSelRequest = [&](TObject*, TStringList& ids, int& sel) {
    offered = ids;
    sel = 1;
  };
  ASSERT_TRUE(offline->OpenModuleDescription(file));
  EXPECT_EQ(offered, (TStringList{"SMALL 1.0 x 1", "KVX-SIM 1.20 2026 4711"}));
  EXPECT_EQ(Num("GAIN")->Value, 1);
}

// Gives every value of List a random one, numbers over the whole 32-bit range.
void Randomize(TModCommandList& list, std::mt19937& rng) {
  auto any = [&] { return static_cast<std::int32_t>(rng()); };
  for (int i = 0; i < list.Count(); ++i) {
    TModBaseCommand* c = list.GetCommand(i);
    if (auto* t = dynamic_cast<TModTextParaCmd*>(c)) t->SetText(t->VList[rng() % 2]);
    if (auto* n = dynamic_cast<TModNumParaCmd*>(c)) n->Value = any();
    if (auto* a = dynamic_cast<TModAinParaCmd*>(c)) {
      a->A = any();
      a->B = any();
      a->C = any();
      a->Unit = rng() % 2 ? auCurrent : auVoltage;
    }
    if (auto* k = dynamic_cast<TModCCParaCmd*>(c))
      for (int p = TModCCParaCmd::MinIndex; p <= TModCCParaCmd::MaxIndex; ++p) k->SetPoint(p, {any(), any()});
  }
}

// Random modules of every value kind, names up to 30 characters, texts with blanks, quotes and
// commas: a file of either kind saved from the offline model gives back every value after all of
// them were changed. (The text file's own lines show every value.)
TEST_F(OfflineModule, RandomModulesSurviveBothFileKinds) {
  std::mt19937 rng(11);
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
        const int kind = static_cast<int>(rng() % 4);
        if (kind == 0) filetest::AddCmd<TModTextParaCmd>(m.Commands, name)->VList = {"x" + text(), "y" + text()};
        if (kind == 1) filetest::AddCmd<TModNumParaCmd>(m.Commands, name);
        if (kind == 2) filetest::AddCmd<TModAinParaCmd>(m.Commands, name);
        if (kind == 3) filetest::AddCmd<TModCCParaCmd>(m.Commands, name);
      }
      Randomize(m.Commands, rng);
      std::filesystem::remove(file);
      TosKVXCmdDOM dom;
      m.Bind(dom);
      ASSERT_TRUE(dom.WriteModulCmds(file, "RANDOM 1.00 2026 " + std::to_string(round)));
    }
    MakeOffline();
    ASSERT_TRUE(offline->OpenModuleDescription(file));
    ASSERT_TRUE(offline->SaveParameterText(par));
    ASSERT_TRUE(offline->SaveParameterXml(file));
    const std::string saved = ReadAll(par);
    for (const char* kind : {"par", "kvx"}) {
      Randomize(*offline->CommandList(), rng);
      EXPECT_EQ(kind[0] == 'p' ? offline->DownloadParameterText(par, false) : offline->DownloadParameterXml(file), 0);
      ASSERT_TRUE(offline->SaveParameterText(par));
      ASSERT_EQ(ReadAll(par), saved) << kind << " round " << round;
    }
  }
}

}  // namespace
}  // namespace prottest

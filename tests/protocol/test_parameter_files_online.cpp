// Parameter files against the simulated module: saved from it, changed in it, loaded back into
// it, in full and in half duplex; the ID check, the "#" download block, every failure code, and
// saves into a location that fails.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "ProtocolTestUtil.h"
#include "model/FileTestUtil.h"
#include "model/osDRUVKVXCmdDOMStruc.h"
#include "model/osFileUtils.h"

namespace prottest {
namespace {

using filetest::ReadAll;
using filetest::TempDir;
using filetest::WriteAll;

const char* const kSimId = "KVX-SIM 1.20 2026 4711";

class ParameterFiles : public ModuleFixture, public ::testing::WithParamInterface<bool> {
 protected:
  // The module identified, in full or half duplex.
  void Start(bool halfDuplex = false) {
    modsim::ModuleOptions o;
    o.HalfDuplex = halfDuplex;
    StartModule(o);
    prot->SetParameterList(&grid);
    ASSERT_EQ(Identify(), kSimId);
    prot->OnParaDownloadError = [this](TObject*, TStringList& names) {
      ++errorEvents;
      errorNames = names;
    };
  }

  // Values the module holds after the test changed them behind the tool's back.
  void ChangeModuleValues() {
    auto& m = sim->Module();
    ASSERT_TRUE(m.SetValueText("GAIN", "999"));
    ASSERT_TRUE(m.SetValueText("OPMODE", "Off"));
    ASSERT_TRUE(m.SetValueText("AIN2", "1 2 3 V"));
    ASSERT_TRUE(m.SetValueText("OFFSET", "-42"));
  }

  void ExpectOriginalModuleValues() {
    auto& m = sim->Module();
    EXPECT_EQ(m.ValueText("GAIN"), "250");
    EXPECT_EQ(m.ValueText("OPMODE"), "Gain 1");
    EXPECT_EQ(m.ValueText("OFFSET"), "150");
    EXPECT_EQ(m.ValueText("AIN2"), "500 -100 20000 C");
  }

  std::size_t Commands() const { return sim->ReceivedCommands().size(); }

  FakeParamList grid;
  TempDir dir;
  int errorEvents = 0;
  TStringList errorNames;
};

// ---- ".par" -------------------------------------------------------------------------------------

TEST_P(ParameterFiles, TextFileRoundTripRestoresTheModule) {
  Start(GetParam());
  const std::string file = dir.File("module.par");
  ASSERT_TRUE(prot->SaveParameterText(file));
  const std::string text = ReadAll(file);
  EXPECT_EQ(text.rfind(std::string(kSimId) + "\n##\n", 0), 0u);
  EXPECT_NE(text.find("\nGAIN" + std::string(17, ' ') + "250 \n"), std::string::npos);
  EXPECT_NE(text.find("\nOPMODE" + std::string(10, ' ') + "\"Gain 1\" \n"), std::string::npos);
  EXPECT_NE(text.find("\nAIN2" + std::string(14, ' ') + "   500   -100  20000 C\n"), std::string::npos);
  EXPECT_NE(text.find("\nCURVE:-10" + std::string(9, ' ') + "-10000  -8000\n"), std::string::npos);
  EXPECT_EQ(text.find("CAL"), std::string::npos);  // factory parameter
  EXPECT_EQ(text.substr(text.size() - 4), "\n##\n");

  ChangeModuleValues();
  ASSERT_TRUE(sim->Module().SetValueText("CURVE:4", "4000 1"));
  sim->Module().ClearRecords();
  EXPECT_EQ(prot->DownloadParameterText(file, false), 0);
  EXPECT_EQ(errorEvents, 0);
  ExpectOriginalModuleValues();
  ASSERT_TRUE(sim->Module().CurvePoint("CURVE", 4).has_value());
  EXPECT_EQ(sim->Module().CurvePoint("CURVE", 4)->second, 3200);
  EXPECT_EQ(Find<TModNumParaCmd>("GAIN")->Value, 250);

  // The read-only serial number is not written; the curve is written once, whole.
  int curveLines = 0;
  for (const auto& w : sim->Writes()) {
    EXPECT_NE(w.Name, "SERNO");
    if (w.Name.rfind("CURVE:", 0) == 0) ++curveLines;
  }
  EXPECT_EQ(curveLines, 21);
}

TEST_P(ParameterFiles, DownloadBlockIsSentAndConfirmed) {
  Start(GetParam());
  const std::string file = dir.File("block.par");
  WriteAll(file, std::string(kSimId) + "\n#\nGAIN 300;\nOFFSET 10\n#\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 0);
  const auto downloads = sim->Module().Downloads();
  ASSERT_EQ(downloads.size(), 1u);
  EXPECT_EQ(downloads[0], "GAIN 300;OFFSET 10");
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "300");
  EXPECT_EQ(Find<TModNumParaCmd>("GAIN")->Value, 300);  // parameters read again
}

TEST_P(ParameterFiles, RefusedOrIncompleteDownloadBlockFails) {
  Start(GetParam());
  const std::string file = dir.File("block.par");
  // The module refuses the block's content.
  WriteAll(file, std::string(kSimId) + "\n#\nGAIN 99999\n#\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");

  // The module does not take "DOWNLOAD" at all.
  sim->Module().SetCommandError("DOWNLOAD");
  WriteAll(file, std::string(kSimId) + "\n#\nGAIN 300\n#\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
  sim->Module().SetCommandError("DOWNLOAD", false);

  // No closing "#": nothing at all is sent.
  const std::size_t before = Commands();
  WriteAll(file, std::string(kSimId) + "\n#\nGAIN 300\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);
  EXPECT_EQ(Commands(), before);
}

TEST_P(ParameterFiles, XmlFileRoundTripRestoresTheModule) {
  Start(GetParam());
  const std::string file = dir.File("module.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(file));
  EXPECT_TRUE(filetest::XmllintAccepts(file));
  ChangeModuleValues();
  sim->Module().ClearRecords();
  EXPECT_EQ(prot->DownloadParameterXml(file), 0);
  EXPECT_EQ(errorEvents, 0);
  ExpectOriginalModuleValues();
  for (const auto& w : sim->Writes()) {
    EXPECT_NE(w.Name, "SERNO");  // read-only
    EXPECT_NE(w.Name, "CAL");    // factory parameter
  }
}

INSTANTIATE_TEST_SUITE_P(Duplex, ParameterFiles, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "HalfDuplex" : "FullDuplex"; });

// ---- ".par" checks and failures -----------------------------------------------------------------

class ParameterTextFailures : public ParameterFiles {};

TEST_F(ParameterTextFailures, FileOfAnotherModuleIsRefusedUnlessTheCheckIsSkipped) {
  Start();
  const std::string file = dir.File("other.par");
  WriteAll(file, "OTHER-MOD 2.00 2025 17\n##\nGAIN" + std::string(19, ' ') + "7 \nXYZ 1\nCURVE:3 3000 5\nNOPE:1 1 1\n##\n");
  const std::size_t before = Commands();
  EXPECT_EQ(prot->DownloadParameterText(file, false), 3);
  EXPECT_EQ(Commands(), before);
  EXPECT_EQ(errorEvents, 0);

  EXPECT_EQ(prot->DownloadParameterText(file, true), 0);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "7");
  EXPECT_EQ(sim->Module().CurvePoint("CURVE", 3)->second, 5);
  EXPECT_EQ(errorEvents, 1);
  EXPECT_EQ(errorNames, (TStringList{"XYZ", "NOPE:1"}));
}

TEST_F(ParameterTextFailures, IdLinesCapturedFromATerminalAndNamesContainingId) {
  Start();
  const std::string file = dir.File("term.par");
  WriteAll(file, "ID KVX-SIM 1.31 2027 12CMD>\n##\nGAIN 11\n##\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 0);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "11");
  // A file whose first line does not split into four items belongs to no module.
  WriteAll(file, "KVX-SIM 1.20\n##\nGAIN 12\n##\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 3);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "11");
}

TEST_F(ParameterTextFailures, ModuleNamedWithIdMatchesItsOwnFile) {
  modsim::ModuleOptions o;
  o.IdText = "SLIDE1 1.00 2026 5";
  StartModule(o);
  Identify();
  const std::string file = dir.File("slide.par");
  ASSERT_TRUE(prot->SaveParameterText(file));
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "1"));
  EXPECT_EQ(prot->DownloadParameterText(file, false), 0);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
}

TEST_F(ParameterTextFailures, UnusableFilesAndNoModule) {
  const std::string file = dir.File("x.par");
  WriteAll(file, std::string(kSimId) + "\n##\nGAIN 1\n##\n");
  {
    TKVXModCommProt offline;
    EXPECT_EQ(offline.DownloadParameterText(file, false), 2);
    EXPECT_EQ(offline.DownloadParameterXml(file), 2);
    EXPECT_FALSE(offline.SaveParameterText(dir.File("y.par")));
    EXPECT_FALSE(offline.SaveParameterXml(dir.File("y.kvx")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("y.par")));
  }
  Start();
  const std::size_t before = Commands();
  WriteAll(file, std::string(kSimId) + "\n##\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);  // two lines
  EXPECT_EQ(prot->DownloadParameterText(dir.File("missing.par"), false), 4);
  EXPECT_EQ(prot->DownloadParameterText(dir.Path(), false), 4);  // a folder
  WriteAll(file, std::string(kSimId) + "\nGAIN 1\nOFFSET 2\n");  // no section
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);
  WriteAll(file, std::string("\x01\xFF\x80 garbage\0\n\n\n", 15));
  EXPECT_EQ(prot->DownloadParameterText(file, false), 3);
  EXPECT_EQ(prot->DownloadParameterText(file, true), 4);
  EXPECT_EQ(Commands(), before);
}

TEST_F(ParameterTextFailures, RefusedWritesAreReportedByName) {
  Start();
  const std::string file = dir.File("w.par");
  WriteAll(file, std::string(kSimId) + "\n##\nGAIN 5\nCURVE:2 2000 1\nCURVE:3 3000 1\nOFFSET 3\n##\n");
  sim->Module().SetCommandError("GAIN");
  sim->Module().SetCommandError("CURVE:3");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);
  EXPECT_EQ(errorEvents, 1);
  EXPECT_EQ(errorNames, (TStringList{"GAIN", "CURVE"}));
  EXPECT_EQ(sim->Module().ValueText("OFFSET"), "3");  // the rest still goes in
}

// What a download did: the writes the module got (a curve once, whole, wherever its lines stand;
// a name given twice once, with its last value), each name not written with why (a text line
// without a value too, but as no fault), progress to the end; offline, what was loaded. An analog
// input takes A, B, C and the unit and ignores further values.
TEST_F(ParameterTextFailures, TheReportCountsWritesAndNamesWhatWasNotWrittenWithWhy) {
  Start();
  std::pair<int, int> last{-1, -1};
  prot->OnProgress = [&](TObject*, TProgressStep step, int pos, int max, bool&) {
    if (step == pgsWriteParameters) last = {pos, max};
  };
  const std::string file = dir.File("r.par");
  WriteAll(file, std::string(kSimId) + "\n##\nSERNO 1\nCURVE:2 2000 11\nGAIN 5\nOFFSET 99999999999\n"
                 "NOSUCH 1\nAIN1 1 2 3 C 5\nCURVE:3 3000 12\nOPMODE                   \ngain 6\nnosuch 2\n##\n");
  sim->Module().ClearRecords();
  EXPECT_EQ(prot->DownloadParameterText(file, false), 0);
  const TDownloadReport& r = prot->LastDownload();
  EXPECT_TRUE(r.Online);
  EXPECT_EQ(r.Total, 7);
  EXPECT_EQ(r.Written, 3);
  std::string notWritten;
  for (const auto& n : r.NotWritten) notWritten += n.Name + " (" + n.Reason + ") ";
  EXPECT_EQ(notWritten, "SERNO (read-only) OFFSET (beyond 32 bits) NOSUCH (unknown name) OPMODE (no value) ");
  EXPECT_EQ(errorNames, (TStringList{"OFFSET", "NOSUCH"}));
  EXPECT_EQ(sim->Writes().size(), 2u + 21u);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "6");
  EXPECT_EQ(sim->Module().ValueText("OPMODE"), "Gain 1");
  EXPECT_EQ(sim->Module().ValueText("AIN1"), "1 2 3 C");
  EXPECT_EQ(sim->Module().CurvePoint("CURVE", 2)->second, 11);
  EXPECT_EQ(sim->Module().CurvePoint("CURVE", 3)->second, 12);
  EXPECT_EQ(last, std::make_pair(7, 7));

  prot->SetPortOpen(false);
  EXPECT_EQ(prot->DownloadParameterText(file, false), 0);
  EXPECT_FALSE(r.Online);
  EXPECT_EQ(r.Written, 4);
  EXPECT_EQ(r.NotWritten.size(), 3u);
}

TEST_F(ParameterTextFailures, RefusedValuesAreNotShownAsTheModules) {
  Start();
  const auto point3 = sim->Module().CurvePoint("CURVE", 3);
  ASSERT_TRUE(point3.has_value());
  const std::string file = dir.File("range.par");
  // Out of the module's range: a gain and one curve point.
  WriteAll(file, std::string(kSimId) + "\n##\nGAIN 99999\nCURVE:3 3000 999999\nOFFSET 3\n##\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);
  EXPECT_EQ(errorNames, (TStringList{"GAIN", "CURVE"}));
  // The tool shows what the module holds, not the values it refused.
  EXPECT_EQ(Find<TModNumParaCmd>("GAIN")->Value, 250);
  EXPECT_EQ(Find<TModCCParaCmd>("CURVE")->GetPoint(3).Y, point3->second);
  EXPECT_EQ(Find<TModNumParaCmd>("OFFSET")->Value, 3);

  // A refused curve on its own fails the download too.
  errorNames.clear();
  WriteAll(file, std::string(kSimId) + "\n##\nCURVE:3 3000 999999\nOFFSET 4\n##\n");
  EXPECT_EQ(prot->DownloadParameterText(file, false), 4);
  EXPECT_EQ(errorNames, TStringList{"CURVE"});
  EXPECT_EQ(sim->Module().ValueText("OFFSET"), "4");
}

// Values beyond 32 bits, a text the module does not offer, a curve point beyond 32 bits: named in
// the error list, and nothing is sent for them (a curve with such a point is not sent at all),
// so the module keeps its own values. What fits still goes in.
TEST_F(ParameterTextFailures, ValuesThatDoNotFitAreReportedAndNotWritten) {
  Start();
  const std::string file = dir.File("fit.par");
  WriteAll(file, std::string(kSimId) + "\n##\nGAIN 99999999999\nOFFSET -2147483649\nRANGE 2147483648\n"
                 "OPMODE Nope\nCURVE:3 3000 99999999999\nCURVE:4 4000 1\nPRESSMAX 1234\n##\n");
  const std::size_t before = Commands();
  EXPECT_EQ(prot->DownloadParameterText(file, false), 0);
  EXPECT_EQ(errorEvents, 1);
  EXPECT_EQ(errorNames, (TStringList{"GAIN", "OFFSET", "RANGE", "OPMODE", "CURVE:3"}));
  // A write is the name and a value; the curve is only read again.
  const auto received = sim->ReceivedCommands();
  for (std::size_t i = before; i < received.size(); ++i)
    for (const char* name : {"GAIN", "OFFSET", "RANGE", "OPMODE", "CURVE:"})
      EXPECT_FALSE(received[i].rfind(name, 0) == 0 && received[i].find(' ') != std::string::npos) << received[i];
  EXPECT_EQ(sim->Module().ValueText("PRESSMAX"), "1234");
  ExpectOriginalModuleValues();
  EXPECT_EQ(sim->Module().ValueText("RANGE"), "5");
  // The tool shows the module's curve, not the point the file gave.
  EXPECT_EQ(Find<TModCCParaCmd>("CURVE")->GetPoint(4).Y, sim->Module().CurvePoint("CURVE", 4)->second);
  EXPECT_EQ(Find<TModNumParaCmd>("GAIN")->Value, 250);
}

// ---- ".kvx" checks and failures -----------------------------------------------------------------

class XmlFileFailures : public ParameterFiles {};

TEST_F(XmlFileFailures, AnotherModulesEntryOnlyAfterTheUserChoseIt) {
  Start();
  const std::string file = dir.File("two.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(file));
  // Rename the entry so that the file holds no entry of this module.
  std::string text = ReadAll(file);
  text.replace(text.find(kSimId), std::string(kSimId).size(), "OTHER 1.0 x 2");
  WriteAll(file, text);
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "999"));

  EXPECT_EQ(prot->DownloadParameterXml(file), 3);  // no one to ask
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "999");

  int asked = 0;
  TModalResult answer = 2;
  prot->OnInfoMsg = [&](TObject*, TKVXCommProtMsgKind kind, TModalResult& r) {
    EXPECT_EQ(kind, cpmkImpFktNoValidModulId);
    EXPECT_EQ(r, 0);
    ++asked;
    r = answer;
  };
  prot->OnModIdSelRequest = [&](TObject*, TStringList& ids, int& sel) {
    EXPECT_EQ(ids, TStringList{"OTHER 1.0 x 2"});
    sel = 0;
  };
  EXPECT_EQ(prot->DownloadParameterXml(file), 3);  // the user said no
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(prot->LastFileError().Kind, fekDeclined);
  answer = 1;
  EXPECT_EQ(prot->DownloadParameterXml(file), 0);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
}

TEST_F(XmlFileFailures, UnknownNamesAreReportedAndRefusedWritesFail) {
  Start();
  const std::string file = dir.File("m.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(file));
  std::string text = ReadAll(file);
  text.replace(text.find("Name=\"PRESSMAX\""), 15, "Name=\"GONE\"");
  WriteAll(file, text);
  EXPECT_EQ(prot->DownloadParameterXml(file), 0);
  EXPECT_EQ(errorNames, TStringList{"GONE"});

  // One value out of the module's range: its write is refused, reading it back works.
  const std::string good = text;
  const std::string gain = "<Para Val=\"250\"/>";
  text.replace(text.find(gain), gain.size(), "<Para Val=\"99999\"/>");
  WriteAll(file, text);
  errorNames.clear();
  EXPECT_EQ(prot->DownloadParameterXml(file), 4);
  EXPECT_EQ(errorNames, (TStringList{"GONE", "GAIN"}));
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");

  WriteAll(file, good);
  sim->Module().SetCommandError("GAIN");
  sim->Module().SetCommandError("CURVE:0");
  errorNames.clear();
  EXPECT_EQ(prot->DownloadParameterXml(file), 4);
  EXPECT_EQ(errorNames, (TStringList{"GONE", "GAIN", "CURVE"}));
}

// A value the file gives that the command cannot hold is reported and not written; the entry
// of an ID held twice is its first.
TEST_F(XmlFileFailures, ValuesThatDoNotFitAreNotWrittenAndTheFirstEntryCounts) {
  Start();
  const std::string file = dir.File("m.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(file));
  std::string text = ReadAll(file);
  const std::size_t b = text.find("<Modul "), e = text.find("</Modul>") + 8;
  std::string second = text.substr(b, e - b);
  second.replace(second.find("<Para Val=\"250\"/>"), 17, "<Para Val=\"1\"/>");
  text.insert(e, second);  // a second entry of the same ID, which is not taken
  text.replace(text.find("<Para Val=\"2500\"/>"), 18, "<Para Val=\"99999999999\"/>");  // PRESSMAX
  WriteAll(file, text);
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "999"));
  sim->Module().ClearRecords();
  EXPECT_EQ(prot->DownloadParameterXml(file), 0);
  EXPECT_EQ(errorNames, TStringList{"PRESSMAX"});
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
  for (const auto& w : sim->Writes()) EXPECT_NE(w.Name, "PRESSMAX");
  EXPECT_EQ(sim->Module().ValueText("PRESSMAX"), "2500");
}

// As for a text file: what is not written on purpose is named with why, as no fault (read-only,
// a factory parameter, a text without a value, which keeps the module's); a name given twice
// counts once and takes its last value, online and offline.
TEST_F(XmlFileFailures, WhatIsNotWrittenIsNamedAndANameGivenTwiceCountsOnce) {
  Start();
  const std::string file = dir.File("m.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(file));
  std::string text = ReadAll(file);
  text.replace(text.find("Txt=\"Gain 1\""), 12, "Txt=\"\"");
  const std::size_t gain = text.find("<CCmd Name=\"GAIN\"");
  std::string again = text.substr(gain, text.find("</CCmd>", gain) + 7 - gain);
  again.replace(again.find("Val=\"250\""), 9, "Val=\"7\"");
  text.insert(text.find("</Commands>"), again);
  WriteAll(file, text);
  ASSERT_TRUE(sim->Module().SetValueText("OPMODE", "Off"));
  EXPECT_EQ(prot->DownloadParameterXml(file), 0);
  EXPECT_EQ(errorEvents, 0);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "7");
  EXPECT_EQ(sim->Module().ValueText("OPMODE"), "Off");
  const TDownloadReport& r = prot->LastDownload();
  std::string notWritten;
  for (const auto& n : r.NotWritten) notWritten += n.Name + " (" + n.Reason + ") ";
  EXPECT_EQ(notWritten, "OPMODE (no value) SERNO (read-only) CAL (factory parameter) ");

  prot->SetPortOpen(false);
  EXPECT_EQ(prot->DownloadParameterXml(file), 0);
  EXPECT_EQ(r.Written, 13);  // the 14 value parameters of the file but OPMODE, GAIN once
  EXPECT_EQ(r.NotWritten.size(), 1u);
}

TEST_F(XmlFileFailures, TheModulesEntryIsFoundWhateverItsCase) {
  Start();
  const std::string file = dir.File("m.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(file));
  std::string text = ReadAll(file);
  text.replace(text.find(kSimId), std::string(kSimId).size(), "kvx-sim 1.20 2026 4711");
  WriteAll(file, text);
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "999"));
  prot->OnInfoMsg = [](TObject*, TKVXCommProtMsgKind, TModalResult& r) { r = 2; };
  prot->OnModIdSelRequest = [](TObject*, TStringList&, int&) {};
  EXPECT_EQ(prot->DownloadParameterXml(file), 0);  // not asked, not refused
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
}

TEST_F(XmlFileFailures, BrokenOrForeignFilesWriteNothing) {
  Start();
  const std::size_t before = Commands();
  const std::string file = dir.File("bad.kvx");
  WriteAll(file, "<DRUV-ModulCmdList version=\"1.0\"><Modul ID=\"x\">");
  EXPECT_EQ(prot->DownloadParameterXml(file), 4);
  WriteAll(file, "<DRUV-ModulCmdList version=\"1.0\"/>");
  EXPECT_EQ(prot->DownloadParameterXml(file), 4);
  WriteAll(file, "<DRUV-ModulCmdList version=\"1.0\"><Modul ID=\"" + std::string(kSimId) +
                     "\"/><Modul ID=\"" + std::string(kSimId) + "\"/></DRUV-ModulCmdList>");
  EXPECT_EQ(prot->DownloadParameterXml(file), 3);  // the first entry has no commands: said so
  EXPECT_EQ(prot->LastFileError().Kind, fekFailed);
  EXPECT_NE(prot->LastFileError().Text.find("has no \"Commands\" section"), std::string::npos);
  EXPECT_EQ(prot->DownloadParameterXml(dir.File("missing.kvx")), 4);
  EXPECT_EQ(Commands(), before);
}

TEST_F(XmlFileFailures, OverwritingAnEntryIsAskedFirst) {
  Start();
  const std::string file = dir.File("m.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(file));
  const std::string first = ReadAll(file);
  int asked = 0;
  TModalResult answer = 2;
  prot->OnInfoMsg = [&](TObject*, TKVXCommProtMsgKind kind, TModalResult& r) {
    EXPECT_EQ(kind, cpmkImpFktOverWriteQuestion);
    ++asked;
    r = answer;
  };
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "1"));
  ASSERT_TRUE(prot->ReadAllParameters());
  EXPECT_FALSE(prot->SaveParameterXml(file));
  EXPECT_EQ(ReadAll(file), first);
  answer = 1;
  EXPECT_TRUE(prot->SaveParameterXml(file));
  EXPECT_EQ(asked, 2);
  EXPECT_NE(ReadAll(file), first);
  EXPECT_NE(ReadAll(file).find("<Para Val=\"1\"/>"), std::string::npos);
}

// ---- Saves that fail ----------------------------------------------------------------------------

class FailingSaves : public ParameterFiles {
 protected:
  void TearDown() override {
    SetFileWriteHookForTests(nullptr);
    ParameterFiles::TearDown();
  }

  // The last file operation failed on File for the system's reason Err.
  void ExpectFailed(const std::string& file, int err) {
    EXPECT_EQ(prot->LastFileError().Kind, fekFailed);
    EXPECT_EQ(prot->LastFileError().Text, file + ": " + std::strerror(err));
  }
};

TEST_F(FailingSaves, FullDiskKeepsTheOldFilesOfBothFormats) {
  Start();
  const std::string par = dir.File("m.par"), kvx = dir.File("m.kvx");
  WriteAll(par, "old par\n");
  ASSERT_TRUE(prot->SaveParameterXml(kvx));
  const std::string oldKvx = ReadAll(kvx);
  ASSERT_TRUE(sim->Module().SetValueText("GAIN", "1"));
  ASSERT_TRUE(prot->ReadAllParameters());

  SetFileWriteHookForTests([](const std::string&) { return ENOSPC; });
  EXPECT_FALSE(prot->SaveParameterText(par));
  ExpectFailed(par, ENOSPC);
  EXPECT_FALSE(prot->SaveParameterXml(kvx));
  ExpectFailed(kvx, ENOSPC);
  SetFileWriteHookForTests(nullptr);
  EXPECT_EQ(ReadAll(par), "old par\n");
  EXPECT_EQ(ReadAll(kvx), oldKvx);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"m.kvx", "m.par"}));

  EXPECT_FALSE(prot->SaveParameterText(dir.File("no/folder/m.par")));
  EXPECT_FALSE(prot->SaveParameterXml(dir.File("no/folder/m.kvx")));
}

TEST_F(FailingSaves, ExistingFileOfAnotherKindIsNotReplaced) {
  Start();
  const std::string kvx = dir.File("notes.kvx");
  WriteAll(kvx, "my notes, not XML");
  EXPECT_FALSE(prot->SaveParameterXml(kvx));
  EXPECT_EQ(ReadAll(kvx), "my notes, not XML");
  EXPECT_EQ(prot->LastFileError().Kind, fekFailed);
  EXPECT_EQ(prot->LastFileError().Text.rfind(kvx + ": not well-formed", 0), 0u) << prot->LastFileError().Text;
}

// The window must tell the user why a file was not used: the reason of a failure, or that the
// user declined; a success clears the last one.
TEST_F(FailingSaves, FailuresKeepTheirReasonAndDeclinedIsNoFailure) {
  Start();
  const std::string par = dir.File("m.par"), kvx = dir.File("m.kvx");
  ASSERT_TRUE(prot->SaveParameterXml(kvx));
  prot->OnInfoMsg = [](TObject*, TKVXCommProtMsgKind, TModalResult& r) { r = 2; };
  EXPECT_FALSE(prot->SaveParameterXml(kvx));
  EXPECT_EQ(prot->LastFileError().Kind, fekDeclined);
  EXPECT_EQ(prot->LastFileError().Text, "");

  WriteAll(par, "protected");
  ASSERT_EQ(chmod(par.c_str(), 0444), 0);
  EXPECT_FALSE(prot->SaveParameterText(par));
  ExpectFailed(par, EACCES);
  EXPECT_EQ(prot->DownloadParameterText(dir.File("gone.par"), false), 4);
  ExpectFailed(dir.File("gone.par"), ENOENT);
  EXPECT_EQ(prot->DownloadParameterText(dir.Path(), false), 4);
  ExpectFailed(dir.Path(), EISDIR);
  EXPECT_EQ(prot->DownloadParameterXml(dir.File("gone.kvx")), 4);
  ExpectFailed(dir.File("gone.kvx"), ENOENT);

  EXPECT_EQ(prot->DownloadParameterXml(kvx), 0);
  EXPECT_EQ(prot->LastFileError().Kind, fekNone);
  // A file read whole whose content is of no use: the result code says all there is.
  EXPECT_EQ(prot->DownloadParameterText(par, false), 4);
  EXPECT_EQ(prot->LastFileError().Kind, fekNone);
}

}  // namespace
}  // namespace prottest

// Reading the XML command file: the root and version check, finding modules, the per-attribute
// reading rules, parameter values into an existing command list, and hostile or broken files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "FileTestUtil.h"
#include "model/osDRUVKVXCmdDOMStruc.h"

using namespace filetest;

namespace {

std::string Doc(const std::string& body, const std::string& root = "<DRUV-ModulCmdList version=\"1.0\">") {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + root + body + "</DRUV-ModulCmdList>\n";
}

struct Bound {
  ModuleLists m;
  TosKVXCmdDOM dom;
  Bound() {
    m.Bind(dom);
  }
};

// What the process writes to its standard error while Fn runs.
template <class F>
std::string StderrOf(F Fn) {
  std::fflush(stderr);
  FILE* capture = std::tmpfile();
  const int saved = dup(2);
  dup2(fileno(capture), 2);
  Fn();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string text;
  std::rewind(capture);
  for (int c; (c = std::fgetc(capture)) != EOF;) text += static_cast<char>(c);
  std::fclose(capture);
  return text;
}

int ListTotal(const ModuleLists& m) {
  return m.Commands.Count() + m.Process.Count() + m.Status.Count() + m.Remote.Count();
}

}  // namespace

TEST(KvxFileRootCheck, WrongVersionMissingVersionOrForeignRootFail) {
  TempDir dir;
  const std::string file = dir.File("v.kvx");
  const std::string body = "<Modul ID=\"M1\"><RemoteCtrl/></Modul>";
  TStringList ids;

  WriteAll(file, Doc(body, "<DRUV-ModulCmdList version=\"1.1\">"));
  TosKVXCmdDOM dom;
  EXPECT_FALSE(dom.LoadFromFile(file));
  EXPECT_FALSE(dom.GetModulIDs(file, &ids));

  WriteAll(file, Doc(body, "<DRUV-ModulCmdList>"));
  EXPECT_FALSE(dom.GetModulIDs(file, &ids));

  WriteAll(file, "<Other version=\"1.0\">" + body + "</Other>");
  EXPECT_FALSE(dom.GetModulIDs(file, &ids));
  EXPECT_EQ(dom.LastErrorCode(), 0);  // well-formed, just not ours

  WriteAll(file, Doc(body));
  EXPECT_TRUE(dom.GetModulIDs(file, &ids));
  EXPECT_EQ(ids, TStringList{"M1"});
  EXPECT_FALSE(dom.LoadFromFile(dir.File("missing.kvx")));
}

TEST(KvxFileRootCheck, BrokenXmlCallsTheInvalidDocumentHandlerWithTheNumber) {
  TempDir dir;
  const std::string file = dir.File("broken.kvx");
  WriteAll(file, "<DRUV-ModulCmdList version=\"1.0\"><Modul ID=\"M1\"></DRUV-ModulCmdList>");
  int seen = -1, calls = 0;
  TosXMLBaseDOM::SetInvalidDocumentHandler([&](int code) {
    seen = code;
    ++calls;
  });
  TosKVXCmdDOM dom;
  TStringList ids;
  EXPECT_FALSE(dom.GetModulIDs(file, &ids));
  TosXMLBaseDOM::SetInvalidDocumentHandler(nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_GT(seen, 0);
  EXPECT_EQ(dom.LastErrorCode(), seen);
  EXPECT_TRUE(ids.empty());
  // The text names the line and gives the library's own words, not just the number.
  EXPECT_EQ(dom.LastErrorLine(), 1);
  const std::string head = file + ": not well-formed XML (error " + std::to_string(seen) + ", line 1: ";
  EXPECT_EQ(dom.LastErrorText().rfind(head, 0), 0u) << dom.LastErrorText();
  EXPECT_NE(dom.LastErrorText().find("Premature end of data"), std::string::npos) << dom.LastErrorText();
  WriteAll(file, "<DRUV-ModulCmdList version=\"1.0\">\n<Modul ID=\"M1\">\n<Commands x=1/>\n</Modul>\n</DRUV-ModulCmdList>");
  EXPECT_FALSE(dom.LoadFromFile(file));
  EXPECT_EQ(dom.LastErrorLine(), 3);
  EXPECT_NE(dom.LastErrorText().find(", line 3: "), std::string::npos) << dom.LastErrorText();

  // A missing file is no invalid document.
  calls = 0;
  TosXMLBaseDOM::SetInvalidDocumentHandler([&](int) { ++calls; });
  EXPECT_FALSE(dom.GetModulIDs(dir.File("nope.kvx"), &ids));
  TosXMLBaseDOM::SetInvalidDocumentHandler(nullptr);
  EXPECT_EQ(calls, 0);
}

TEST(KvxFileModules, IdsOfTopLevelModulesOnlyAndAppended) {
  TempDir dir;
  const std::string file = dir.File("ids.kvx");
  WriteAll(file, Doc("<Modul ID=\"M1\"/><Modul/><Group><Modul ID=\"DEEP\"><Commands/><RemoteCtrl/></Modul></Group>"
                     "<Modul ID=\"M2\"/>"));
  TosKVXCmdDOM dom;
  TStringList ids{"before"};
  EXPECT_TRUE(dom.GetModulIDs(file, &ids));
  EXPECT_EQ(ids, (TStringList{"before", "M1", "M2"}));
  EXPECT_FALSE(dom.GetModulIDs(file, nullptr));

  // The nested module is not listed, but found by ID.
  Bound b;
  EXPECT_TRUE(b.dom.ReadModulCmds(file, "DEEP"));

  // A file without any module ID reports failure.
  WriteAll(file, Doc("<Modul/>"));
  TStringList none;
  EXPECT_FALSE(dom.GetModulIDs(file, &none));
  EXPECT_TRUE(none.empty());
}

TEST(KvxFileModules, HasModulIdIgnoresCaseButReadingDoesNot) {
  TempDir dir;
  const std::string file = dir.File("case.kvx");
  WriteAll(file, Doc("<Modul ID=\"M1\"><Commands/><RemoteCtrl/></Modul>"));
  TosKVXCmdDOM dom;
  EXPECT_TRUE(dom.HasModulID(file, "m1"));
  EXPECT_FALSE(dom.HasModulID(file, "M2"));
  Bound b;
  EXPECT_FALSE(b.dom.ReadModulCmds(file, "m1"));
  EXPECT_TRUE(b.dom.ReadModulCmds(file, "M1"));
}

// An ID twice: offered once, and read from its first module, the one a save replaces. A module
// that is not there leaves the lists empty and is named as the reason.
TEST(KvxFileModules, DuplicateIdReadsTheFirstModuleAndAMissingOneNamesIt) {
  TempDir dir;
  const std::string file = dir.File("dup.kvx");
  WriteAll(file, Doc("<Modul ID=\"M1\"><Commands><CCmd Name=\"P\" Type=\"2\"><Para Val=\"1\"/></CCmd></Commands>"
                     "<RemoteCtrl/></Modul><Modul ID=\"M2\"/><Modul ID=\"M1\"><Commands><CCmd Name=\"P\" Type=\"2\">"
                     "<Para Val=\"2\"/></CCmd><CCmd Name=\"Q\" Type=\"2\"/></Commands><RemoteCtrl/></Modul>"));
  Bound b;
  TStringList ids;
  EXPECT_TRUE(b.dom.GetModulIDs(file, &ids));
  EXPECT_EQ(ids, (TStringList{"M1", "M2"}));
  FillEveryKind(b.m);
  EXPECT_TRUE(b.dom.ReadModulCmds(file, "M1"));
  ASSERT_EQ(ListTotal(b.m), 1);
  EXPECT_EQ(b.m.Find<TModNumParaCmd>("P")->Value, 1);
  TStringList missing;
  b.m.Find<TModNumParaCmd>("P")->Value = 5;
  EXPECT_TRUE(b.dom.ReadModulParaValues(file, "M1", &missing));
  EXPECT_EQ(b.m.Find<TModNumParaCmd>("P")->Value, 1);
  EXPECT_TRUE(missing.empty());

  FillEveryKind(b.m);
  EXPECT_FALSE(b.dom.ReadModulCmds(file, "M9"));
  EXPECT_EQ(ListTotal(b.m), 0);
  EXPECT_EQ(b.dom.LastErrorText(), file + ": no module \"M9\" in the file");
  EXPECT_FALSE(b.dom.ReadModulCmds(file, "M2"));
  EXPECT_EQ(b.dom.LastErrorText(), file + ": the module \"M2\" has no \"RemoteCtrl\" section");
  EXPECT_FALSE(b.dom.ReadModulParaValues(file, "M2", &missing));
  EXPECT_EQ(b.dom.LastErrorText(), file + ": the module \"M2\" has no \"Commands\" section");

  // A file that does not load leaves the lists alone.
  FillEveryKind(b.m);
  const int before = ListTotal(b.m);
  EXPECT_FALSE(b.dom.ReadModulCmds(dir.File("missing.kvx"), "M1"));
  EXPECT_EQ(ListTotal(b.m), before);
}

TEST(KvxFileModules, ResultNeedsTheRemoteCtrlSectionButSectionsAreReadAnyway) {
  TempDir dir;
  const std::string file = dir.File("noremote.kvx");
  WriteAll(file, Doc("<Modul ID=\"M\"><ProzessData><PCmd Name=\"PV\" Type=\"0\"/></ProzessData>"
                     "<Commands><CCmd Name=\"P\" Type=\"2\"><Para Val=\"3\"/></CCmd></Commands></Modul>"));
  Bound b;
  EXPECT_FALSE(b.dom.ReadModulCmds(file, "M"));
  EXPECT_EQ(b.m.Commands.Count(), 1);
  EXPECT_EQ(b.m.Process.Count(), 1);
}

TEST(KvxFileReading, KindsGroupsAndSectionTypeFilters) {
  TempDir dir;
  const std::string file = dir.File("kinds.kvx");
  WriteAll(file, Doc("<Modul ID=\"M\"><Commands>"
                     "<CCmd Name=\"IN\" Type=\"4\"><Para/></CCmd>"
                     "<CCmd Name=\"HIDDEN\" Type=\"2\" GCode=\"64\"><Para Val=\"9\"/></CCmd>"
                     "<CCmd Name=\"NOTYPE\"><Para Val=\"9\"/></CCmd>"
                     "<CCmd Name=\"BADTYPE\" Type=\"two\"><Para Val=\"9\"/></CCmd>"
                     "<CCmd Name=\"WRAPPED\" Type=\"258\"><Para Val=\"9\"/></CCmd>"
                     "<CCmd/>"
                     "</Commands>"
                     "<ProzessData><PCmd Name=\"P0\" Type=\"0\"/><PCmd Name=\"P1\" Type=\"1\"/><PCmd Name=\"PX\"/></ProzessData>"
                     "<StatusInfo><SCmd Name=\"S\" Type=\"10\"/><SCmd Name=\"S2\" Type=\"11\"/></StatusInfo>"
                     "<RemoteCtrl><RCmd Name=\"RC:6\" Type=\"11\"/><RCmd Name=\"R2\" Type=\"10\"/></RemoteCtrl>"
                     "</Modul>"));
  Bound b;
  EXPECT_TRUE(b.dom.ReadModulCmds(file, "M"));
  // Type 258 reads as its low byte: 2.
  ASSERT_EQ(b.m.Commands.Count(), 1);
  EXPECT_EQ(b.m.Commands.GetName(0), "WRAPPED");
  EXPECT_EQ(b.m.Find<TModNumParaCmd>("WRAPPED")->Value, 9);
  ASSERT_EQ(b.m.Process.Count(), 1);
  EXPECT_EQ(b.m.Process.GetName(0), "P0");
  ASSERT_EQ(b.m.Status.Count(), 1);
  ASSERT_EQ(b.m.Remote.Count(), 1);
}

TEST(KvxFileReading, NumbersBytesWordsAndBooleans) {
  TempDir dir;
  const std::string file = dir.File("num.kvx");
  WriteAll(file, Doc("<Modul ID=\"M\"><Commands>"
                     "<CCmd Name=\"P\" Type=\"2\" AType=\"259\" VType=\"x\" GCode=\"$1FFBF\" Min=\"-5\" Max=\"0x10\" "
                     "Help=\"h\"><Para Val=\" 42\"/></CCmd>"
                     "<CCmd Name=\"Q\" Type=\"2\"><Para Val=\"42abc\"/></CCmd>"
                     "</Commands><StatusInfo>"
                     "<SCmd Name=\"A\" Type=\"10\" BActive=\"2\" BInvers=\"true\" BIndex=\"260\" BColor=\"-1\"/>"
                     "<SCmd Name=\"B\" Type=\"10\" BActive=\"FALSE\" BInvers=\"yes\"/>"
                     "</StatusInfo><ProzessData><PCmd Name=\"V\" Type=\"0\" CompFactor=\"none\"/></ProzessData>"
                     "<RemoteCtrl/></Modul>"));
  Bound b;
  ASSERT_TRUE(b.dom.ReadModulCmds(file, "M"));
  auto* p = b.m.Find<TModNumParaCmd>("P");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->AType, 3);        // low byte of 259
  EXPECT_EQ(p->VType, 1);        // not a number: constructor value
  EXPECT_EQ(p->GCode, 0xFFBF);   // low word
  EXPECT_EQ(p->Min, -5);
  EXPECT_EQ(p->Max, 16);
  EXPECT_EQ(p->Value, 42);
  EXPECT_EQ(b.m.Find<TModNumParaCmd>("Q")->Value, 0);

  auto* a = b.m.Status.GetStatusBit(0);
  EXPECT_TRUE(a->BActive);
  EXPECT_TRUE(a->BInvers);
  EXPECT_EQ(a->BIndex, 4);
  EXPECT_EQ(a->BColor, 255);
  auto* s = b.m.Status.GetStatusBit(1);
  EXPECT_FALSE(s->BActive);
  EXPECT_FALSE(s->BInvers);  // "yes" is no Boolean: unchanged
  EXPECT_EQ(b.m.Process.GetProcCommand(0)->CompFactor, 1);
}

TEST(KvxFileReading, CurvePointsRepeatTheCoordinateBeforeAMissingOne) {
  TempDir dir;
  const std::string file = dir.File("curve.kvx");
  std::string para;
  for (int k = 0; k <= 20; ++k) {
    if (k != 5) para += " Y" + std::to_string(k) + "=\"" + std::to_string(k * 10) + "\"";
    if (k != 0 && k != 7) para += " X" + std::to_string(k) + "=\"" + std::to_string(k * 100) + "\"";
  }
  WriteAll(file, Doc("<Modul ID=\"M\"><Commands><CCmd Name=\"K\" Type=\"6\"><Para" + para +
                     "/></CCmd></Commands><RemoteCtrl/></Modul>"));
  Bound b;
  ASSERT_TRUE(b.dom.ReadModulCmds(file, "M"));
  auto* c = b.m.Find<TModCCParaCmd>("K");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetPoint(-10), (TModCCPoint{0, 0}));      // X0 missing: 0
  EXPECT_EQ(c->GetPoint(-5), (TModCCPoint{500, 40}));    // Y5 missing: Y of point -6
  EXPECT_EQ(c->GetPoint(-3), (TModCCPoint{600, 70}));    // X7 missing: X of point -4
  EXPECT_EQ(c->GetPoint(10), (TModCCPoint{2000, 200}));
}

TEST(KvxFileParaValues, ValuesByTheListsKindAndMissingNames) {
  TempDir dir;
  const std::string file = dir.File("values.kvx");
  WriteAll(file, Doc("<Modul ID=\"M\"><Commands>"
                     "<CCmd Name=\"p\" Type=\"1\"><Para Val=\"77\" Txt=\"ignored\"/></CCmd>"
                     "<CCmd Name=\"MODE\" Type=\"2\"><Para Txt=\"Gain 2\"/></CCmd>"
                     "<CCmd Name=\"AIN1\" Type=\"7\"><Para A=\"1\" B=\"2\" C=\"3\" X=\"0\"/></CCmd>"
                     "<CCmd Name=\"XYZ\" Type=\"2\"><Para Val=\"1\"/></CCmd>"
                     "<CCmd Name=\"CURVE\" Type=\"6\"/>"
                     "<CCmd/>"
                     "</Commands></Modul>"));
  ModuleLists m;
  FillEveryKind(m);
  int changes = 0;
  for (int i = 0; i < m.Commands.Count(); ++i)
    if (auto* c = dynamic_cast<TModCtrlCommand*>(m.Commands.GetObject(i))) c->OnChange = [&](TObject*) { ++changes; };
  TosKVXCmdDOM dom;
  dom.CommandList = &m.Commands;
  TStringList missing{"stale"};
  ASSERT_TRUE(dom.ReadModulParaValues(file, "M", &missing));
  EXPECT_EQ(missing, TStringList{"XYZ"});
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(m.Find<TModNumParaCmd>("P")->Value, 77);
  EXPECT_EQ(m.Find<TModTextParaCmd>("MODE")->Text, "Gain 2");
  auto* a = m.Find<TModAinParaCmd>("AIN1");
  EXPECT_EQ(a->A, 1);
  EXPECT_EQ(a->C, 3);
  EXPECT_EQ(a->Unit, auVoltage);
  EXPECT_EQ(m.Find<TModCCParaCmd>("CURVE")->GetPoint(10), (TModCCPoint{10000, -2497}));  // no Para: kept

  EXPECT_TRUE(dom.ReadModulParaValues(file, "M", nullptr));
  EXPECT_FALSE(dom.ReadModulParaValues(file, "NOPE", &missing));
  EXPECT_TRUE(missing.empty());
  WriteAll(file, Doc("<Modul ID=\"M\"/>"));
  EXPECT_FALSE(dom.ReadModulParaValues(file, "M", &missing));  // no Commands section
  TosKVXCmdDOM unbound;
  EXPECT_FALSE(unbound.ReadModulParaValues(file, "M", &missing));
}

// A value the command cannot hold is listed and leaves the command as it was, so that the
// download does not send the module its own old value as the file's.
TEST(KvxFileParaValues, ValuesThatDoNotFitAreListedAndNotTaken) {
  TempDir dir;
  const std::string file = dir.File("bad.kvx");
  std::string curve;
  for (int k = 0; k <= 20; ++k) curve += " X" + std::to_string(k) + "=\"" + (k == 3 ? "1.5" : "7") + "\"";
  WriteAll(file, Doc("<Modul ID=\"M\"><Commands>"
                     "<CCmd Name=\"P\" Type=\"2\"><Para Val=\"99999999999\"/></CCmd>"
                     "<CCmd Name=\"MODE\" Type=\"1\"><Para Txt=\"Gain 3\"/></CCmd>"
                     "<CCmd Name=\"AIN1\" Type=\"7\"><Para A=\"1\" B=\"-2147483649\" C=\"3\" X=\"0\"/></CCmd>"
                     "<CCmd Name=\"CURVE\" Type=\"6\"><Para" + curve + "/></CCmd>"
                     "</Commands></Modul>"));
  ModuleLists m;
  FillEveryKind(m);
  TosKVXCmdDOM dom;
  dom.CommandList = &m.Commands;
  TStringList missing;
  ASSERT_TRUE(dom.ReadModulParaValues(file, "M", &missing));
  EXPECT_EQ(missing, (TStringList{"P", "MODE", "AIN1", "CURVE"}));
  EXPECT_EQ(m.Find<TModNumParaCmd>("P")->Value, -1500);
  EXPECT_EQ(m.Find<TModTextParaCmd>("MODE")->Text, kAUmlaut + "nderung");
  EXPECT_EQ(m.Find<TModAinParaCmd>("AIN1")->A, 100);
  EXPECT_EQ(m.Find<TModCCParaCmd>("CURVE")->GetPoint(-10).X, -10000);

  // The reader of a whole module takes what reads, as before.
  Bound b;
  ASSERT_TRUE(b.dom.LoadFromFile(file));
  WriteAll(file, Doc("<Modul ID=\"M\"><Commands><CCmd Name=\"K\" Type=\"6\"><Para" + curve +
                     "/></CCmd></Commands><RemoteCtrl/></Modul>"));
  ASSERT_TRUE(b.dom.ReadModulCmds(file, "M"));
  EXPECT_EQ(b.m.Find<TModCCParaCmd>("K")->GetPoint(-7).X, 7);
}

TEST(KvxFileHostile, NoEntityIsExpandedAndNoExternalFileIsRead) {
  TempDir dir;
  WriteAll(dir.File("secret.txt"), "TOPSECRET");
  const std::string file = dir.File("xxe.kvx");
  WriteAll(file,
           "<?xml version=\"1.0\"?>\n"
           "<!DOCTYPE DRUV-ModulCmdList [\n"
           "  <!ENTITY ext SYSTEM \"secret.txt\">\n"
           "  <!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n"
           "  <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
           "  <!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
           "]>\n"
           "<DRUV-ModulCmdList version=\"1.0\"><Modul ID=\"M\"><Commands>"
           "<CCmd Name=\"P\" Type=\"2\" Help=\"&c;\"><Para Val=\"1\"/></CCmd></Commands>&ext;<RemoteCtrl/></Modul>"
           "</DRUV-ModulCmdList>\n");
  Bound b;
  ASSERT_TRUE(b.dom.ReadModulCmds(file, "M"));
  auto* p = b.m.Find<TModNumParaCmd>("P");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Help, "");  // the entity is not expanded
  EXPECT_EQ(p->Value, 1);

  ModuleLists other;
  AddCmd<TModNumParaCmd>(other.Commands, "Z");
  TosKVXCmdDOM w;
  other.Bind(w);
  ASSERT_TRUE(w.WriteModulCmds(file, "N"));
  EXPECT_EQ(ReadAll(file).find("TOPSECRET"), std::string::npos);
}

TEST(KvxFileHostile, ExistingFileThatIsNoCommandListIsNotReplaced) {
  TempDir dir;
  ModuleLists m;
  FillEveryKind(m);
  TosKVXCmdDOM dom;
  m.Bind(dom);
  for (const std::string& content :
       {std::string("not xml at all"), std::string("<Other version=\"1.0\"/>"),
        Doc("", "<DRUV-ModulCmdList version=\"2.0\">"), std::string()}) {
    const std::string file = dir.File("keep.kvx");
    WriteAll(file, content);
    EXPECT_FALSE(dom.WriteModulCmds(file, "M")) << content;
    EXPECT_EQ(ReadAll(file), content);
  }
  // A folder in the way is no file either.
  std::filesystem::create_directory(dir.File("folder.kvx"));
  EXPECT_FALSE(dom.WriteModulCmds(dir.File("folder.kvx"), "M"));
}

TEST(KvxFileHostile, DeeplyNestedDocumentDoesNotCrash) {
  TempDir dir;
  const std::string file = dir.File("deep.kvx");
  std::string open, close;
  for (int i = 0; i < 200; ++i) {
    open += "<g>";
    close += "</g>";
  }
  WriteAll(file, Doc(open + "<Modul ID=\"D\"><RemoteCtrl/></Modul>" + close + "<Modul ID=\"T\"/>"));
  Bound b;
  EXPECT_TRUE(b.dom.ReadModulCmds(file, "D"));
  TStringList ids;
  EXPECT_TRUE(b.dom.GetModulIDs(file, &ids));
  EXPECT_EQ(ids, TStringList{"T"});
}

TEST(KvxFileHostile, BytesTheEncodingLacksFailQuietly) {
  TempDir dir;
  const std::string file = dir.File("bytes.kvx");
  // 0x81 has no character in Windows-1252.
  WriteAll(file, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
                 "<DRUV-ModulCmdList version=\"1.0\"><Modul ID=\"\x81\"/></DRUV-ModulCmdList>\n");
  auto attempt = [&] {
    TosKVXCmdDOM dom;
    TStringList ids;
    EXPECT_FALSE(dom.GetModulIDs(file, &ids));
    EXPECT_GT(dom.LastErrorCode(), 0);
    EXPECT_FALSE(dom.LoadFromFile(file));
  };
  // The library keeps its error output per thread: a thread of its own must stay quiet too.
  EXPECT_EQ(StderrOf(attempt), "");
  EXPECT_EQ(StderrOf([&] { std::thread(attempt).join(); }), "");
}

// The XML command and parameter file written and read back: every command kind, the element and
// attribute order, the file's encoding and its Latin-1 texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "FileTestUtil.h"
#include "model/osDRUVKVXCmdDOMStruc.h"

using namespace filetest;

namespace {

bool WriteModule(ModuleLists& m, const std::string& file, const std::string& id) {
  TosKVXCmdDOM dom;
  m.Bind(dom);
  return dom.WriteModulCmds(file, id);
}

bool ReadModule(ModuleLists& m, const std::string& file, const std::string& id) {
  TosKVXCmdDOM dom;
  m.Bind(dom);
  return dom.ReadModulCmds(file, id);
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

}  // namespace

TEST(KvxFileRoundTrip, EveryKindComesBackWithItsValues) {
  TempDir dir;
  const std::string file = dir.File("module.kvx");
  ModuleLists out;
  FillEveryKind(out);
  ASSERT_TRUE(WriteModule(out, file, "KVX-SIM 1.20 2026 4711"));

  ModuleLists in;
  ASSERT_TRUE(ReadModule(in, file, "KVX-SIM 1.20 2026 4711"));

  // Only the four value kinds are read back; NoPara and InPara are not.
  ASSERT_EQ(in.Commands.Count(), 4);
  EXPECT_EQ(in.Commands.GetName(0), "MODE");
  EXPECT_EQ(in.Commands.GetName(3), "CURVE");

  auto* t = in.Find<TModTextParaCmd>("MODE");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Text, kAUmlaut + "nderung");
  EXPECT_EQ(t->VList, (TStringList{"Gain 1", "Gain 2", kAUmlaut + "nderung"}));
  EXPECT_EQ(t->Help, "Betriebsart " + kAUmlaut);
  EXPECT_EQ(t->GCode, 0x0024);
  EXPECT_EQ(t->VType, 3);
  EXPECT_EQ(t->AType, 3);

  auto* n = in.Find<TModNumParaCmd>("P");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Value, -1500);
  EXPECT_EQ(n->Min, -32768);
  EXPECT_EQ(n->Max, 32767);
  EXPECT_EQ(n->VType, 21);
  EXPECT_EQ(n->GCode, 0xFFBC);
  EXPECT_EQ(n->Help, kDegreeHelp);

  auto* a = in.Find<TModAinParaCmd>("AIN1");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->A, 100);
  EXPECT_EQ(a->B, -50);
  EXPECT_EQ(a->C, 7);
  EXPECT_EQ(a->Unit, auCurrent);

  auto* c = in.Find<TModCCParaCmd>("CURVE");
  ASSERT_NE(c, nullptr);
  for (int i = -10; i <= 10; ++i) EXPECT_EQ(c->GetPoint(i), (TModCCPoint{i * 1000, -i * 250 + 3})) << i;
  EXPECT_EQ(c->Min, -10000);

  ASSERT_EQ(in.Process.Count(), 1);
  auto* p = in.Process.GetProcCommand(0);
  EXPECT_EQ(p->Name, "PV1");
  EXPECT_EQ(p->PhysUnit, "\xB0" "C");
  EXPECT_EQ(p->CompFactor, 100);
  EXPECT_EQ(p->VType, 21);
  EXPECT_EQ(p->GCode, 4);
  EXPECT_EQ(p->Help, kDegreeHelp);

  ASSERT_EQ(in.Status.Count(), 1);
  auto* s = in.Status.GetStatusBit(0);
  EXPECT_EQ(s->Name, "ST:Ready");
  EXPECT_TRUE(s->BActive);
  EXPECT_TRUE(s->BInvers);
  EXPECT_EQ(s->BIndex, 3);
  EXPECT_EQ(s->BColor, 2);
  EXPECT_EQ(s->BHelp, "Bereit " + kAUmlaut);

  ASSERT_EQ(in.Remote.Count(), 1);
  auto* r = in.Remote.GetRemoteCtrlCmd(0);
  EXPECT_EQ(r->Name, "RC:6");
  EXPECT_EQ(r->AType, 3);
  EXPECT_EQ(r->VType, 2);
  EXPECT_EQ(r->GCode, 12);
  EXPECT_EQ(r->Help, "digital input");
}

TEST(KvxFileRoundTrip, NewFileIsLatin1WithElementsAndAttributesInOrder) {
  TempDir dir;
  const std::string file = dir.File("order.kvx");
  ModuleLists m;
  FillEveryKind(m);
  ASSERT_TRUE(WriteModule(m, file, "M1"));
  const std::string text = ReadAll(file);

  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<DRUV-ModulCmdList version=\"1.0\">", 0), 0u)
      << text.substr(0, 120);
  // Latin-1 bytes, not UTF-8.
  EXPECT_NE(text.find("Druck in \xB0" "C"), std::string::npos);
  EXPECT_EQ(text.find("\xC2\xB0"), std::string::npos);

  EXPECT_NE(text.find("<Modul ID=\"M1\">"), std::string::npos);
  const std::size_t commands = text.find("<Commands>"), process = text.find("<ProzessData>"),
                    status = text.find("<StatusInfo>"), remote = text.find("<RemoteCtrl>");
  ASSERT_NE(commands, std::string::npos);
  EXPECT_LT(commands, process);
  EXPECT_LT(process, status);
  EXPECT_LT(status, remote);

  EXPECT_NE(text.find("<CCmd Name=\"P\" Type=\"2\" AType=\"3\" VList=\"\" VType=\"21\" GCode=\"65468\" "
                      "Min=\"-32768\" Max=\"32767\" Help=\"Druck in \xB0" "C\">"),
            std::string::npos);
  EXPECT_NE(text.find("<Para Val=\"-1500\"/>"), std::string::npos);
  EXPECT_NE(text.find("VList=\"Gain 1|Gain 2|\xC4nderung\""), std::string::npos);
  EXPECT_NE(text.find("<Para Txt=\"\xC4nderung\"/>"), std::string::npos);
  EXPECT_NE(text.find("<Para A=\"100\" B=\"-50\" C=\"7\" X=\"1\"/>"), std::string::npos);
  EXPECT_NE(text.find("<Para X0=\"-10000\" Y0=\"2503\" X1=\"-9000\" Y1=\"2253\""), std::string::npos);
  EXPECT_NE(text.find("X20=\"10000\" Y20=\"-2497\"/>"), std::string::npos);
  // InPara: a "Para" without attributes; NoPara: an empty "CCmd".
  EXPECT_NE(text.find("<CCmd Name=\"IN1\" Type=\"4\""), std::string::npos);
  EXPECT_NE(text.find("<Para/>"), std::string::npos);
  EXPECT_EQ(text.find("RESET"), std::string::npos);
  EXPECT_NE(text.find("<CCmd/>"), std::string::npos);
  EXPECT_NE(text.find("<PCmd Name=\"PV1\" Type=\"0\" AType=\"2\" PhysUnit=\"\xB0" "C\" VType=\"21\" GCode=\"4\" "
                      "CompFactor=\"100\" Help="),
            std::string::npos);
  EXPECT_NE(text.find("<SCmd Name=\"ST:Ready\" Type=\"10\" AType=\"2\" GCode=\"4\" BIndex=\"3\" BActive=\"True\" "
                      "BInvers=\"True\" BColor=\"2\" Help=\"Bereit \xC4\"/>"),
            std::string::npos);
  EXPECT_NE(text.find("<RCmd Name=\"RC:6\" Type=\"11\" AType=\"3\" VType=\"2\" GCode=\"12\" Help=\"digital input\"/>"),
            std::string::npos);

  bool ran = false;
  EXPECT_TRUE(XmllintAccepts(file, &ran));
}

TEST(KvxFileRoundTrip, EmptyListsGiveFourEmptySections) {
  TempDir dir;
  const std::string file = dir.File("empty.kvx");
  ModuleLists m;
  ASSERT_TRUE(WriteModule(m, file, "E"));
  const std::string text = ReadAll(file);
  EXPECT_NE(text.find("<Modul ID=\"E\">"), std::string::npos);
  EXPECT_NE(text.find("<Commands/>"), std::string::npos);
  EXPECT_NE(text.find("<ProzessData/>"), std::string::npos);
  EXPECT_NE(text.find("<StatusInfo/>"), std::string::npos);
  EXPECT_NE(text.find("<RemoteCtrl/>"), std::string::npos);
  ModuleLists in;
  EXPECT_TRUE(ReadModule(in, file, "E"));
  EXPECT_EQ(in.Commands.Count() + in.Process.Count() + in.Status.Count() + in.Remote.Count(), 0);
}

TEST(KvxFileRoundTrip, LoadedFileIsWrittenBackInItsOwnEncoding) {
  TempDir dir;
  const std::string file = dir.File("utf8.kvx");
  WriteAll(file,
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<DRUV-ModulCmdList version=\"1.0\">\n"
           "  <Modul ID=\"OLD\"><Commands><CCmd Name=\"T\" Type=\"2\" Help=\"\xC3\x84 \xE2\x82\xAC\"><Para Val=\"5\"/>"
           "</CCmd></Commands><RemoteCtrl/></Modul>\n"
           "</DRUV-ModulCmdList>\n");
  ModuleLists m;
  AddCmd<TModNumParaCmd>(m.Commands, "Q")->Help = kDegreeHelp;
  ASSERT_TRUE(WriteModule(m, file, "NEW"));
  const std::string text = ReadAll(file);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
  EXPECT_NE(text.find("Druck in \xC2\xB0" "C"), std::string::npos);  // UTF-8 now
  EXPECT_NE(text.find("Help=\"\xC3\x84 \xE2\x82\xAC\""), std::string::npos);  // the old module untouched

  ModuleLists old;
  ReadModule(old, file, "OLD");
  auto* t = old.Find<TModNumParaCmd>("T");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Help, "\xC4 \x80");  // Windows-1252: A umlaut, euro sign
  EXPECT_EQ(t->Value, 5);
}

TEST(KvxFileRoundTrip, CharactersOutsideLatin1AndControlsStayReadable) {
  TempDir dir;
  const std::string file = dir.File("chars.kvx");
  ModuleLists m;
  auto* n = AddCmd<TModNumParaCmd>(m.Commands, "P");
  n->Help = "5 \x80 <&> \"q\" 'a'\ttab\x01\x1F end";  // euro sign has no Latin-1 byte
  ASSERT_TRUE(WriteModule(m, file, "M"));
  EXPECT_TRUE(XmllintAccepts(file));
  ModuleLists in;
  ASSERT_TRUE(ReadModule(in, file, "M"));
  auto* back = in.Find<TModNumParaCmd>("P");
  ASSERT_NE(back, nullptr);
  // Controls XML cannot carry are left out; everything else comes back.
  EXPECT_EQ(back->Help, "5 \x80 <&> \"q\" 'a'\ttab end");
}

TEST(KvxFileRoundTrip, RewritingAModuleReplacesItAndKeepsTheOthers) {
  TempDir dir;
  const std::string file = dir.File("multi.kvx");
  ModuleLists a;
  AddCmd<TModNumParaCmd>(a.Commands, "A1")->Value = 1;
  ModuleLists b;
  AddCmd<TModNumParaCmd>(b.Commands, "B1")->Value = 2;
  ASSERT_TRUE(WriteModule(a, file, "M1"));
  ASSERT_TRUE(WriteModule(b, file, "M2"));
  a.Find<TModNumParaCmd>("A1")->Value = 11;
  AddCmd<TModNumParaCmd>(a.Commands, "A2")->Value = 12;
  ASSERT_TRUE(WriteModule(a, file, "M1"));

  const std::string text = ReadAll(file);
  EXPECT_EQ(Count(text, "<Modul "), 2u);
  EXPECT_LT(text.find("ID=\"M1\""), text.find("ID=\"M2\""));  // kept in place
  EXPECT_TRUE(XmllintAccepts(file));

  ModuleLists in;
  ASSERT_TRUE(ReadModule(in, file, "M1"));
  ASSERT_EQ(in.Commands.Count(), 2);
  EXPECT_EQ(in.Find<TModNumParaCmd>("A1")->Value, 11);
  EXPECT_EQ(in.Find<TModNumParaCmd>("A2")->Value, 12);
  ASSERT_TRUE(ReadModule(in, file, "M2"));
  ASSERT_EQ(in.Commands.Count(), 1);
  EXPECT_EQ(in.Find<TModNumParaCmd>("B1")->Value, 2);
}

TEST(KvxFileRoundTrip, WithoutAllListsNothingIsWritten) {
  TempDir dir;
  const std::string file = dir.File("none.kvx");
  ModuleLists m;
  TosKVXCmdDOM dom;
  dom.CommandList = &m.Commands;
  EXPECT_FALSE(dom.WriteModulCmds(file, "M"));
  EXPECT_FALSE(std::filesystem::exists(file));
}

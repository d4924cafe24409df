// A module saved into a file with other modules replaces only its own bytes, and a module is read
// from its own bytes: the file must still read and write as if it had been rewritten whole, also
// where it holds markup that looks like a module, or is of a kind that needs the whole document.
#include <gtest/gtest.h>

#include <string>

#include "FileTestUtil.h"
#include "model/osDRUVKVXCmdDOMStruc.h"

using namespace filetest;

namespace {

bool Write(ModuleLists& m, const std::string& file, const std::string& id) {
  TosKVXCmdDOM dom;
  m.Bind(dom);
  return dom.WriteModulCmds(file, id);
}

// The value and help text of the number "NUM" of module ID; -1 when it cannot be read.
int ValueOf(const std::string& file, const std::string& id, std::string* help = nullptr) {
  ModuleLists m;
  TosKVXCmdDOM dom;
  m.Bind(dom);
  if (!dom.ReadModulCmds(file, id)) return -1;
  auto* p = m.Find<TModNumParaCmd>("NUM");
  if (!p) return -1;
  if (help) *help = p->Help;
  return p->Value;
}

// A module whose number "NUM" has Value; with every other kind of command too when asked.
void Module(ModuleLists& m, int value, bool everyKind = false) {
  m.Clear();
  if (everyKind) FillEveryKind(m);
  auto* p = AddCmd<TModNumParaCmd>(m.Commands, "NUM");
  p->Value = value;
  p->Help = kDegreeHelp + " > 0/>";
}

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) (out += c) += '\0';
  return out;
}

}  // namespace

TEST(KvxFileInPlace, OtherModulesKeepTheirBytesAndTheFileIsAsTheLibraryWritesIt) {
  TempDir dir;
  const std::string file = dir.File("three.kvx");
  ModuleLists m;
  for (int i = 1; i <= 3; ++i) {
    Module(m, i, true);
    ASSERT_TRUE(Write(m, file, "M" + std::to_string(i)));
  }
  const std::string before = ReadAll(file);
  Module(m, 22, true);
  ASSERT_TRUE(Write(m, file, "M2"));
  const std::string after = ReadAll(file);

  const std::size_t m2 = before.find("<Modul ID=\"M2\">"), m3 = before.find("  <Modul ID=\"M3\">");
  ASSERT_NE(m3, std::string::npos);
  EXPECT_EQ(after.substr(0, m2), before.substr(0, m2));
  EXPECT_EQ(after.substr(after.size() - (before.size() - m3)), before.substr(m3));

  // Loaded and saved whole by the library, the file does not change.
  TosXMLBaseDOM whole;
  ASSERT_TRUE(whole.LoadFromFile(file));
  ASSERT_TRUE(whole.SaveToFile(dir.File("whole.kvx")));
  EXPECT_EQ(ReadAll(dir.File("whole.kvx")), after);

  EXPECT_EQ(ValueOf(file, "M1"), 1);
  EXPECT_EQ(ValueOf(file, "M2"), 22);
  EXPECT_EQ(ValueOf(file, "M3"), 3);
}

TEST(KvxFileInPlace, UnusualFilesReadAndWriteLikePlainOnes) {
  const std::string m1 = "<Modul ID=\"M1\"><Commands><CCmd Name=\"NUM\" Type=\"2\" Help='a > b/>'><Para Val=\"5\"/>"
                         "</CCmd></Commands><RemoteCtrl/></Modul>";
  const std::string m2 = "<Modul ID=\"M2\"><Commands><CCmd Name=\"NUM\" Type=\"2\"><Para Val=\"6\"/></CCmd></Commands>"
                         "<RemoteCtrl/></Modul>";
  const std::string decl = "<?xml version=\"1.0\"?>\n";
  const std::string root = "<DRUV-ModulCmdList version=\"1.0\">";
  const std::string end = "</DRUV-ModulCmdList>\n";
  const std::string outside = "<!-- <Modul ID=\"M1\"> --><?pi <Modul ID=\"M1\"/>?>";
  const std::string decoys = outside + "<![CDATA[<Modul ID=\"M2\"/>]]>";
  const std::vector<std::string> files = {
      decl + root + "\n  " + m1 + "\n  " + m2 + "\n" + end,
      decl + outside + "\n" + root + decoys + m1 + decoys + m2 + decoys + end + "<!-- </DRUV-ModulCmdList> -->",
      decl + "<!DOCTYPE DRUV-ModulCmdList [<!ENTITY e \"x\">]>" + root + m1 + m2 + end,
      Utf16(decl + root + m1 + m2 + end),
      decl + "<DRUV-ModulCmdList version=\"1.0\" xmlns:x=\"urn:x\">" + m1 + m2 + end,
      decl + root + "\r\n<Modul Extra=\"kept\"" + m1.substr(6) + "\r\n" + m2 + "\r\n" + end,
      decl + root + m1 + m2 + "text" + end,
  };
  TempDir dir;
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string file = dir.File("u" + std::to_string(i) + ".kvx");
    WriteAll(file, files[i]);
    TosKVXCmdDOM dom;
    TStringList ids;
    ASSERT_TRUE(dom.GetModulIDs(file, &ids));
    EXPECT_EQ(ids, (TStringList{"M1", "M2"}));
    std::string help;
    EXPECT_EQ(ValueOf(file, "M1", &help), 5);
    EXPECT_EQ(help, "a > b/>");

    ModuleLists m;
    Module(m, 9);
    ASSERT_TRUE(Write(m, file, "M1"));
    Module(m, 10);
    ASSERT_TRUE(Write(m, file, "M3"));
    EXPECT_TRUE(XmllintAccepts(file));
    ids.clear();
    ASSERT_TRUE(dom.GetModulIDs(file, &ids));
    EXPECT_EQ(ids, (TStringList{"M1", "M2", "M3"}));
    EXPECT_EQ(ValueOf(file, "M1", &help), 9);
    EXPECT_EQ(help, kDegreeHelp + " > 0/>");
    EXPECT_EQ(ValueOf(file, "M2"), 6);
    EXPECT_EQ(ValueOf(file, "M3"), 10);
    if (i == 5) {
      EXPECT_NE(ReadAll(file).find("Extra=\"kept\""), std::string::npos);
    }
  }

  // A root without content gets its first module.
  const std::string file = dir.File("empty.kvx");
  WriteAll(file, decl + "<DRUV-ModulCmdList version=\"1.0\"/>");
  ModuleLists m;
  Module(m, 4);
  ASSERT_TRUE(Write(m, file, "M1"));
  EXPECT_EQ(ValueOf(file, "M1"), 4);
}

TEST(KvxFileInPlace, FileChangedBetweenTwoCallsIsReadAgain) {
  TempDir dir;
  const std::string file = dir.File("changing.kvx");
  const std::string text = "<DRUV-ModulCmdList version=\"1.0\"><Modul ID=\"M1\"><Commands><CCmd Name=\"P\" Type=\"2\">"
                           "<Para Val=\"5\"/></CCmd></Commands><RemoteCtrl/></Modul></DRUV-ModulCmdList>";
  WriteAll(file, text);
  ModuleLists m;
  TosKVXCmdDOM dom;
  m.Bind(dom);
  TStringList ids;
  ASSERT_TRUE(dom.GetModulIDs(file, &ids));
  std::string changed = text;
  changed[changed.find("\"5\"") + 1] = '7';
  WriteAll(file, changed);
  ASSERT_TRUE(dom.ReadModulCmds(file, "M1"));
  EXPECT_EQ(m.Find<TModNumParaCmd>("P")->Value, 7);

  WriteAll(file, text.substr(0, text.size() - 1));
  EXPECT_FALSE(dom.ReadModulCmds(file, "M1"));
  EXPECT_FALSE(dom.WriteModulCmds(file, "M1"));
  EXPECT_EQ(ReadAll(file), text.substr(0, text.size() - 1));
}

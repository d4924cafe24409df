// The settings file: where it lives, how values are read back, and what a refused write says.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ServicesTestUtil.h"
#include "services/osApplIni.h"

using svctest::Profile;
using svctest::ReadFile;
using svctest::WriteFile;

TEST(SettingsFile, FolderIsMadeWithParentsAndFileComesWithTheFirstWrite) {
  Profile p;
  const std::string deep = p.Root() + "/a/b";
  ::setenv("APPDATA", deep.c_str(), 1);
  TosApplIni ini;
  EXPECT_EQ(ini.IniPath(), deep + "/DRUV/kvx7.ini");
  struct stat st {};
  EXPECT_EQ(::stat((deep + "/DRUV").c_str(), &st), 0);
  EXPECT_NE(::access(ini.IniPath().c_str(), F_OK), 0);
  ini.WriteString("Interface", "Port", "");
  EXPECT_EQ(ReadFile(ini.IniPath()), "[Interface]\nPort=\n");
}

TEST(SettingsFile, EmptyAppDataCountsAsUnset) {
  Profile p;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string oldXdg = xdg ? xdg : "";
  ::setenv("APPDATA", "", 1);
  ::setenv("XDG_CONFIG_HOME", (p.Root() + "/xdg").c_str(), 1);
  TosApplIni ini;
  if (xdg) ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ini.IniPath(), p.Root() + "/xdg/DRUV/kvx7.ini");
}

TEST(SettingsFile, FileNameIsTheFilePartAndCannotBeChanged) {
  Profile p;
  TosApplIni ini;
  ini.SetFileName("other.ini");
  EXPECT_EQ(ini.FileName(), "kvx7.ini");
  EXPECT_EQ(ini.IniPath(), p.IniPath());
}

TEST(SettingsFile, ValuesReadBackAsTheirTypes) {
  Profile p;
  TosApplIni ini;
  ini.WriteBool("S", "B", true);
  EXPECT_TRUE(ini.ReadBool("S", "B", false));
  ini.WriteInteger("S", "N", -16777201);
  EXPECT_EQ(ini.ReadInteger("S", "N", 0), -16777201);
  ini.WriteString("S", "Two", "2");
  ini.WriteString("S", "Word", "abc");
  EXPECT_TRUE(ini.ReadBool("S", "Two", false));
  EXPECT_FALSE(ini.ReadBool("S", "Word", false));
  EXPECT_EQ(ini.ReadInteger("S", "Word", 7), 7);
  EXPECT_EQ(ini.ReadString("S", "Missing", "dflt"), "dflt");
  // No length limit on a value.
  const std::string longText(5000, 'x');
  ini.WriteString("S", "Long", longText);
  EXPECT_EQ(ini.ReadString("S", "Long", ""), longText);
  // Every write is on disk at once: a second object sees it.
  TosApplIni other;
  EXPECT_EQ(other.ReadInteger("S", "N", 0), -16777201);
}

TEST(SettingsFile, RefusedWriteNamesTheFileAndTheSystemsReason) {
  Profile p;
  // A file where the settings folder should be: no one, not even root, can write below it.
  WriteFile(p.Root() + "/DRUV", "not a folder");
  TosApplIni ini;
  try {
    ini.WriteString("S", "K", "new");
    ADD_FAILURE() << "no exception";
  } catch (const EApplIniError& e) {
    EXPECT_EQ(std::string(e.what()),
              "In " + ini.IniPath() + " kann nicht geschrieben werden: Not a directory");
  }
  EXPECT_EQ(ReadFile(p.Root() + "/DRUV"), "not a folder");
}

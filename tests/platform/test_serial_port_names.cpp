// The list of serial ports and how a port name becomes a device path, over a fake /sys and /dev
// tree and a private settings folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Paths.h"
#include "platform/SerialPorts.h"

using namespace platform;

namespace {

struct Tree {
  std::string root;
  Tree() {
    char tmpl[] = "/tmp/kvx-ports-XXXXXX";
    root = ::mkdtemp(tmpl);
  }
  ~Tree() {
    const std::string cmd = "rm -rf '" + root + "'";
    [[maybe_unused]] int r = std::system(cmd.c_str());
  }
  void Dir(const std::string& rel) const { ForceDirectories(root + "/" + rel); }
  void File(const std::string& rel, const std::string& text) const { std::ofstream(root + "/" + rel) << text; }
  void Link(const std::string& target, const std::string& rel) const {
    ASSERT_EQ(::symlink(target.c_str(), (root + "/" + rel).c_str()), 0);
  }
  TSerialPortRoots Roots() const { return {root + "/sys", root + "/dev", root + "/ports"}; }
};

class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v, had_ = true;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~EnvVar() {
    if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
    else ::unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace

TEST(SerialPortList, AdaptersUartsAndLinksInNaturalOrder) {
  Tree t;
  t.Dir("sys/ttyUSB10");
  t.Dir("sys/ttyUSB2");
  t.Dir("sys/ttyACM0");
  t.Dir("sys/tty0");
  t.Dir("sys/ttyS0/device");  // a UART
  t.File("sys/ttyS0/type", "4\n");
  t.Dir("sys/ttyS1/device");  // a placeholder without hardware
  t.File("sys/ttyS1/type", "0\n");
  t.Dir("sys/ttyS2");  // no device at all
  t.Dir("sys/ttySAC0/device");
  t.Dir("dev");
  t.File("dev/pts-7", "");
  t.Dir("ports");
  t.Link(t.root + "/dev/pts-7", "ports/modsim");
  t.Link(t.root + "/dev/gone", "ports/old");  // dangling: left out
  t.File("ports/notalink", "");
  const std::vector<std::string> expected = {"modsim", "ttyACM0", "ttyS0", "ttyUSB2", "ttyUSB10"};
  EXPECT_EQ(ListSerialPorts(t.Roots()), expected);
}

TEST(SerialPortList, NaturalOrderComparesNumbersByValue) {
  EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
  EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
  EXPECT_TRUE(NaturalLess("ttyS9", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("a", "a1"));
  EXPECT_TRUE(NaturalLess("x01", "x1") != NaturalLess("x1", "x01"));
  EXPECT_FALSE(NaturalLess("same3", "same3"));
}

TEST(SerialPortNames, PathsComAliasesLinksAndDeviceNames) {
  Tree t;
  t.Dir("ports");
  t.Link("/dev/null", "ports/bench");
  const TSerialPortRoots r = t.Roots();
  EXPECT_EQ(ResolvePortName("/dev/ttyUSB0", r), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePortName("./local/pty", r), "./local/pty");
  EXPECT_EQ(ResolvePortName("COM1", r), r.dev + "/ttyS0");
  EXPECT_EQ(ResolvePortName("COM12", r), r.dev + "/ttyS11");
  EXPECT_EQ(ResolvePortName("COM0", r), r.dev + "/COM0");
  EXPECT_EQ(ResolvePortName("bench", r), r.ports + "/bench");
  EXPECT_EQ(ResolvePortName("ttyUSB0", r), r.dev + "/ttyUSB0");
}

TEST(SettingsFolder, AppDataThenXdgThenHome) {
  {
    EnvVar a("APPDATA", "/tmp/appdata");
    EnvVar x("XDG_CONFIG_HOME", "/tmp/xdg");
    EXPECT_EQ(SettingsFolder(), "/tmp/appdata/DRUV/");
  }
  {
    EnvVar a("APPDATA", nullptr);
    EnvVar x("XDG_CONFIG_HOME", "/tmp/xdg/");
    EXPECT_EQ(SettingsFolder(), "/tmp/xdg/DRUV/");
  }
  {
    EnvVar a("APPDATA", nullptr);
    EnvVar x("XDG_CONFIG_HOME", nullptr);
    EnvVar h("HOME", "/home/user");
    EXPECT_EQ(SettingsFolder(), "/home/user/.config/DRUV/");
  }
}

TEST(SettingsFolder, PortLinksBesideTheSettingsFileAreFoundByDefault) {
  Tree t;
  EnvVar a("APPDATA", t.root.c_str());
  ASSERT_TRUE(ForceDirectories(t.root + "/DRUV/ports"));
  ASSERT_EQ(::symlink("/dev/null", (t.root + "/DRUV/ports/sim").c_str()), 0);
  EXPECT_EQ(ResolvePortName("sim"), t.root + "/DRUV/ports/sim");
  TSerialPortRoots r;
  r.sysClassTty = t.root + "/nosys";
  EXPECT_EQ(ListSerialPorts(r), std::vector<std::string>{"sim"});
}

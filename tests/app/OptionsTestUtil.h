// A private profile (APPDATA), a fake system for the port list, and the settings file as sets of
// keys and values, for the tests of the settings dialog.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <QDialog>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "TestTempDir.h"
#include "services/osApplInfo.h"
#include "services/osDialogHooks.h"

namespace apptest {

class Profile {
 public:
  Profile() {
    if (const char* v = std::getenv("APPDATA")) old_ = v, had_ = true;
    ::setenv("APPDATA", dir_.Path().c_str(), 1);
  }
  ~Profile() {
    if (had_) ::setenv("APPDATA", old_.c_str(), 1);
    else ::unsetenv("APPDATA");
  }
  std::string IniPath() const { return dir_.Path() + "/DRUV/kvx7.ini"; }
  std::string File(const std::string& name) const { return dir_.File(name); }

 private:
  testutil::TempDir dir_;
  std::string old_;
  bool had_ = false;
};

inline std::string ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

using IniSets = std::map<std::string, std::map<std::string, std::string>>;

// Every section with its keys and values; line order does not matter.
inline IniSets ParseIni(const std::string& name) {
  IniSets out;
  std::istringstream in(ReadFile(name));
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      out[section];
    } else if (const std::size_t eq = line.find('='); eq != std::string::npos) {
      out[section][line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return out;
}

// A system without serial ports of its own: only the links in the ports folder are listed.
inline TSysInfoSources FakeSystem(const Profile& p) {
  TSysInfoSources s;
  s.OsRelease = p.File("os-release");
  s.CpuInfo = p.File("cpuinfo");
  s.MemInfo = p.File("meminfo");
  s.Ports.sysClassTty = p.File("sys");
  s.Ports.dev = p.File("dev");
  s.Ports.ports = p.File("ports");
  ::mkdir(s.Ports.ports.c_str(), 0755);
  return s;
}

inline void AddPortLink(const Profile& p, const std::string& name) {
  [[maybe_unused]] const int r = ::symlink("/dev/null", p.File("ports/" + name).c_str());
}

// Answers every modal dialog while it lives.
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<int(QDialog*)> answer) { SetModalHook(std::move(answer)); }
  ~ModalAnswer() { SetModalHook({}); }
};

}  // namespace apptest

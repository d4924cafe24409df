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

#include "TestProfile.h"
#include "services/osApplInfo.h"
#include "services/osDialogHooks.h"

namespace apptest {

using Profile = testutil::AppDataProfile;
using testutil::ReadFile;
using testutil::WriteFile;
using ModalAnswer = testutil::ModalHookAnswer;

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


}  // namespace apptest

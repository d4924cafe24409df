#include "platform/SerialPorts.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "platform/Paths.h"

namespace platform {

namespace {

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

std::vector<std::string> DirEntries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (const dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  ::closedir(d);
  return names;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string PortsFolder(const TSerialPortRoots& roots) {
  if (!roots.ports.empty()) return roots.ports;
  return SettingsFolder() + "ports";
}

// A ttyS device counts when hardware is behind it: the kernel creates placeholders of port
// type 0 (unknown) for every possible legacy UART.
bool HasUart(const std::string& sysDir) {
  if (!Exists(sysDir + "/device")) return false;
  std::ifstream f(sysDir + "/type");
  int type = -1;
  if (f >> type) return type != 0;
  return true;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      // Compare by value: strip leading zeros, then longer is larger, then digit by digit.
      std::size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return (ei - si) < (ej - sj);
      const int c = a.compare(si, ei - si, b, sj, ej - sj);
      if (c != 0) return c < 0;
      if (ei - i != ej - j) return (ei - i) < (ej - j);  // fewer leading zeros first
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return (a.size() - i) < (b.size() - j);
}

std::vector<std::string> ListSerialPorts(const TSerialPortRoots& roots) {
  std::vector<std::string> ports;
  for (const std::string& n : DirEntries(roots.sysClassTty)) {
    if (StartsWith(n, "ttyUSB") || StartsWith(n, "ttyACM")) {
      ports.push_back(n);
    } else if (StartsWith(n, "ttyS") && AllDigits(n.substr(4))) {
      if (HasUart(roots.sysClassTty + "/" + n)) ports.push_back(n);
    }
  }
  const std::string folder = PortsFolder(roots);
  for (const std::string& n : DirEntries(folder)) {
    const std::string p = folder + "/" + n;
    if (IsLink(p) && Exists(p)) ports.push_back(n);
  }
  std::sort(ports.begin(), ports.end(), NaturalLess);
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

std::string ResolvePortName(const std::string& name, const TSerialPortRoots& roots) {
  if (name.find('/') != std::string::npos) return name;
  if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
      (name[2] == 'M' || name[2] == 'm') && AllDigits(name.substr(3)) && name.size() < 10) {
    const long n = std::stol(name.substr(3));
    if (n >= 1) return roots.dev + "/ttyS" + std::to_string(n - 1);
  }
  if (!name.empty()) {
    const std::string link = PortsFolder(roots) + "/" + name;
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) return link;
  }
  return roots.dev + "/" + name;
}

}  // namespace platform

#include "platform/Registry.h"

#include "platform/Paths.h"

namespace platform {

namespace {

const char kStringTag[] = "sz:";
const char kDwordTag[] = "dword:";

bool StartsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

}  // namespace

TRegistry::TRegistry(std::string fileName)
    : ini_(fileName.empty() ? SettingsFolder() + "registry.ini" : std::move(fileName)) {}

std::string TRegistry::Normalise(const std::string& key) const {
  std::string path;
  if (!key.empty() && key[0] != '\\' && open_) path = currentPath_;
  std::string part;
  auto flush = [&] {
    if (part.empty()) return;
    if (!path.empty()) path += '\\';
    path += part;
    part.clear();
  };
  for (char c : key) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      part += c;
    }
  }
  flush();
  return path;
}

bool TRegistry::KeyExists(const std::string& key) const { return ini_.SectionExists(Normalise(key)); }

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  const std::string path = Normalise(key);
  if (path.find(']') != std::string::npos) return false;
  if (!ini_.SectionExists(path)) {
    if (!canCreate) return false;
    try {
      ini_.WriteSection(path);
    } catch (const EIniFileError&) {
      return false;
    }
  }
  currentPath_ = path;
  open_ = true;
  return true;
}

void TRegistry::CloseKey() {
  currentPath_.clear();
  open_ = false;
}

void TRegistry::CheckOpen() const {
  if (!open_) throw ERegistryException("No registry key is open");
}

// The default value of a key has the empty name.
std::string TRegistry::ValueKey(const std::string& name) const { return name.empty() ? "@" : name; }

bool TRegistry::ValueExists(const std::string& name) const {
  return open_ && ini_.ValueExists(currentPath_, ValueKey(name));
}

std::string TRegistry::ReadString(const std::string& name) const {
  if (!open_) return std::string();
  const std::string raw = ini_.ReadString(currentPath_, ValueKey(name), std::string());
  if (raw.empty() && !ini_.ValueExists(currentPath_, ValueKey(name))) return std::string();
  if (StartsWith(raw, kStringTag)) return raw.substr(sizeof(kStringTag) - 1);
  throw ERegistryException("Invalid data type for '" + name + "'");
}

int TRegistry::ReadInteger(const std::string& name) const {
  CheckOpen();
  const std::string raw = ini_.ReadString(currentPath_, ValueKey(name), std::string());
  if (StartsWith(raw, kDwordTag)) {
    const std::string digits = raw.substr(sizeof(kDwordTag) - 1);
    try {
      std::size_t used = 0;
      const long long v = std::stoll(digits, &used, 10);
      if (used == digits.size() && v >= -2147483648LL && v <= 4294967295LL)
        return static_cast<int>(static_cast<std::uint32_t>(v));
    } catch (const std::exception&) {
    }
  }
  throw ERegistryException("Invalid data type for '" + name + "'");
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  CheckOpen();
  try {
    ini_.WriteString(currentPath_, ValueKey(name), std::string(kStringTag) + value);
  } catch (const EIniFileError& e) {
    throw ERegistryException(std::string("Failed to set data for '") + name + "': " + e.what());
  }
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  CheckOpen();
  try {
    ini_.WriteString(currentPath_, ValueKey(name), kDwordTag + std::to_string(value));
  } catch (const EIniFileError& e) {
    throw ERegistryException(std::string("Failed to set data for '") + name + "': " + e.what());
  }
}

}  // namespace platform

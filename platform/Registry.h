// A small file-backed stand-in for the registry's key store: keys are paths
// ("Software\\Maker\\Tool"), each holding named text and integer values. Everything lives in one
// file ("registry.ini" in the settings folder unless told otherwise), one section per key.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/IniFile.h"

namespace platform {

class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TRegistry {
 public:
  // fileName empty: SettingsFolder() + "registry.ini".
  explicit TRegistry(std::string fileName = std::string());

  // Opens a key; a path that does not start with "\" is relative to the open key. Without
  // canCreate a missing key is not opened. True when the key is open afterwards.
  bool OpenKey(const std::string& key, bool canCreate);
  void CloseKey();
  bool KeyExists(const std::string& key) const;
  const std::string& CurrentPath() const { return currentPath_; }

  bool ValueExists(const std::string& name) const;
  // A missing value reads as empty text; an integer value raises ERegistryException.
  std::string ReadString(const std::string& name) const;
  // A missing or non-integer value raises ERegistryException.
  int ReadInteger(const std::string& name) const;
  // Raise ERegistryException when no key is open or the value cannot be stored.
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int value);

  const std::string& FileName() const { return ini_.FileName(); }

 private:
  std::string Normalise(const std::string& key) const;
  std::string ValueKey(const std::string& name) const;
  void CheckOpen() const;

  TIniFile ini_;
  std::string currentPath_;
  bool open_ = false;
};

}  // namespace platform

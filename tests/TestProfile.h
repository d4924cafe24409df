// A user profile of the test's own: APPDATA points at a fresh folder while it lives, so the
// settings file (DRUV/kvx7.ini) and the ports folder are the test's alone. Also small file and
// modal-dialog helpers the window tests share.
#pragma once

#include <QDialog>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "TestTempDir.h"
#include "services/osDialogHooks.h"

namespace testutil {

class AppDataProfile {
 public:
  AppDataProfile() {
    if (const char* v = std::getenv("APPDATA")) old_ = v, had_ = true;
    ::setenv("APPDATA", dir_.Path().c_str(), 1);
  }
  ~AppDataProfile() {
    if (had_)
      ::setenv("APPDATA", old_.c_str(), 1);
    else
      ::unsetenv("APPDATA");
  }
  AppDataProfile(const AppDataProfile&) = delete;
  AppDataProfile& operator=(const AppDataProfile&) = delete;

  const std::string& Root() const { return dir_.Path(); }
  std::string Folder() const { return dir_.Path() + "/DRUV/"; }
  std::string IniPath() const { return Folder() + "kvx7.ini"; }
  std::string File(const std::string& name) const { return dir_.File(name); }
  const TempDir& Dir() const { return dir_; }

 private:
  TempDir dir_;
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

// Answers every modal dialog with Answer (which returns the dialog's result) while it lives.
class ModalHookAnswer {
 public:
  explicit ModalHookAnswer(std::function<int(QDialog*)> answer) { SetModalHook(std::move(answer)); }
  ~ModalHookAnswer() { SetModalHook({}); }
};

}  // namespace testutil

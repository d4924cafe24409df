// Helpers of the services tests: a private settings folder and answering modal dialogs.
#pragma once

#include <QDialog>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "TestTempDir.h"
#include "services/osDialogHooks.h"

namespace svctest {

// Points APPDATA at a temporary folder for the test's lifetime.
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
  const std::string& Root() const { return dir_.Path(); }
  std::string IniPath() const { return dir_.Path() + "/DRUV/kvx7.ini"; }

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

// Answers every modal dialog with `answer` while it lives.
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<int(QDialog*)> answer) { SetModalHook(std::move(answer)); }
  ~ModalAnswer() { SetModalHook({}); }
};

}  // namespace svctest

#include "services/osApplIni.h"

#include <cstring>

#include "platform/Paths.h"

namespace {
constexpr const char* kIniName = "kvx7.ini";
}

TosApplIni::TosApplIni(platform::TComponent* AOwner) : platform::TComponent(AOwner) {
  const std::string folder = platform::SettingsFolder();
  IniPath_ = folder + kIniName;
  // A folder that cannot be made shows up as a write error on the first write.
  platform::ForceDirectories(folder);
  IniFile_ = std::make_unique<platform::TIniFile>(IniPath_);
}

TosApplIni::~TosApplIni() {
  if (IniFile_ && WriteFormPara_) WriteFormParameters();
}

std::string TosApplIni::FileName() const {
  const std::size_t slash = IniPath_.rfind('/');
  return slash == std::string::npos ? IniPath_ : IniPath_.substr(slash + 1);
}

std::string TosApplIni::ReadString(const std::string& Section, const std::string& Ident,
                                   const std::string& Default) const {
  return IniFile_->ReadString(Section, Ident, Default);
}

int TosApplIni::ReadInteger(const std::string& Section, const std::string& Ident, int Default) const {
  return IniFile_->ReadInteger(Section, Ident, Default);
}

bool TosApplIni::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const {
  return IniFile_->ReadBool(Section, Ident, Default);
}

template <class Write>
void TosApplIni::Guarded(Write&& write) {
  try {
    write();
  } catch (const platform::EIniFileError& e) {
    // The system's reason when there is one, else what the INI layer found wrong.
    const std::string reason = e.Code() != 0 ? std::strerror(e.Code()) : e.what();
    throw EApplIniError("In " + IniPath_ + " kann nicht geschrieben werden: " + reason, e.Code());
  }
}

void TosApplIni::WriteString(const std::string& Section, const std::string& Ident,
                             const std::string& Value) {
  Guarded([&] { IniFile_->WriteString(Section, Ident, Value); });
}

void TosApplIni::WriteInteger(const std::string& Section, const std::string& Ident, int Value) {
  Guarded([&] { IniFile_->WriteInteger(Section, Ident, Value); });
}

void TosApplIni::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  Guarded([&] { IniFile_->WriteBool(Section, Ident, Value); });
}

void TosApplIni::BeginUpdate() { IniFile_->BeginUpdate(); }

void TosApplIni::EndUpdate(bool Write) {
  Guarded([&] { IniFile_->EndUpdate(Write); });
}

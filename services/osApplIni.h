// The user's settings file: kvx7.ini in the per-user settings folder. Every read consults the
// file and every write is on disk when the call returns, so there is nothing to save.
#pragma once

#include <memory>
#include <string>

#include "platform/Component.h"
#include "platform/IniFile.h"

// A write the file system refused: "In <path> kann nicht geschrieben werden: <reason>".
class EApplIniError : public platform::EIniFileError {
 public:
  using platform::EIniFileError::EIniFileError;
};

class TosApplIni : public platform::TComponent {
 public:
  // Creates the settings folder with its missing parents; the file itself comes with the first
  // write.
  explicit TosApplIni(platform::TComponent* AOwner = nullptr);
  ~TosApplIni() override;

  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  int ReadInteger(const std::string& Section, const std::string& Ident, int Default) const;
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;

  // Raise EApplIniError when the file cannot be written; it is then unchanged.
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Ident, int Value);
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);

  // The file-name part of IniPath. The name is fixed: setting it is accepted and ignored.
  std::string FileName() const;
  void SetFileName(const std::string&) {}
  // The whole path of the file.
  const std::string& IniPath() const { return IniPath_; }

  bool WriteFormPara() const { return WriteFormPara_; }
  void SetWriteFormPara(bool Value) { WriteFormPara_ = Value; }

 private:
  // Window positions are not kept: the writer is a place holder for WriteFormPara.
  void WriteFormParameters() {}
  template <class Write>
  void Guarded(Write&& write);

  std::unique_ptr<platform::TIniFile> IniFile_;
  std::string IniPath_;
  bool WriteFormPara_ = false;
};

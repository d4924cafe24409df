// The user's settings file: kvx7.ini in the per-user settings folder. The file is read once and
// read again only when someone else changed it; every write is on disk when the call returns
// (or, inside an update, when the update ends), so there is nothing to save. A value the file
// refused is still what reads give for the rest of the run, and goes to disk with the next
// write that succeeds.
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

  // The writes between the two reach the file together when the outermost update ends: one
  // rewrite and at most one EApplIniError for all of them. EndUpdate(false) writes nothing (the
  // values wait for the next write). See TosApplIniUpdate.
  void BeginUpdate();
  void EndUpdate(bool Write = true);

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

// One occasion's writes (a dialog's OK, the start-up) as one update of the settings file: Commit
// writes them and raises EApplIniError once when the file refuses; leaving the scope without
// Commit (an exception on its way) ends the update without writing. A null file does nothing.
class TosApplIniUpdate {
 public:
  explicit TosApplIniUpdate(TosApplIni* Ini) : Ini_(Ini) {
    if (Ini_) Ini_->BeginUpdate();
  }
  ~TosApplIniUpdate() {
    if (Ini_) Ini_->EndUpdate(false);
  }
  TosApplIniUpdate(const TosApplIniUpdate&) = delete;
  TosApplIniUpdate& operator=(const TosApplIniUpdate&) = delete;

  void Commit() {
    TosApplIni* ini = Ini_;
    Ini_ = nullptr;
    if (ini) ini->EndUpdate(true);
  }

 private:
  TosApplIni* Ini_;
};

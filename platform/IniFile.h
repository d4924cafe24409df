// A small INI file with the profile semantics of the settings files the program reads: every
// read consults the file, every write rewrites just that key (other lines and comments stay) and
// replaces the file atomically (a temporary file, then a rename).
//
// Sections and keys compare without regard to case; values are trimmed, and a value enclosed in
// double quotes loses them. Texts are bytes as they stand (Windows-1252 in this program).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

class EIniFileError : public std::runtime_error {
 public:
  // code: the system's error number behind the failure (errno), 0 when there is none.
  explicit EIniFileError(const std::string& what, int code = 0)
      : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_ = 0;
};

class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  virtual ~TIniFile() = default;
  TIniFile(const TIniFile&) = default;
  TIniFile& operator=(const TIniFile&) = default;

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal, or hexadecimal with "$" or "0x"; anything else gives the default.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  // A number other than 0 is True.
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  // Raise EIniFileError when the file cannot be read or written, or the text cannot be stored
  // (a line break in it, a "]" in a section name, a "=" in a key); the file is then unchanged.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  // Booleans are stored as "1" and "0".
  void WriteBool(const std::string& section, const std::string& key, bool value);

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Adds an empty section when there is none of that name.
  void WriteSection(const std::string& section);

 protected:
  // Reads the whole file: 0, or the errno of the failure (ENOENT: there is no file). Anything
  // but a regular file (a folder, a pipe) cannot be read as one.
  virtual int ReadFileData(std::string& data) const;

 private:
  // False when the file cannot be read; err (when given) says why.
  bool Load(std::vector<std::string>& lines, std::string& eol, int* err = nullptr) const;
  // Load for a rewrite: raises EIniFileError when the file is there but cannot be read.
  void LoadForWrite(std::vector<std::string>& lines, std::string& eol) const;
  void Save(const std::vector<std::string>& lines, const std::string& eol) const;
  bool Find(const std::string& section, const std::string& key, std::string& value) const;

  std::string fileName_;
};

}  // namespace platform

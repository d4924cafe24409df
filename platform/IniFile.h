// A small INI file with the profile semantics of the settings files the program reads: every
// write rewrites just that key (other lines, comments and each line's own line ending stay) and
// replaces the file atomically (a temporary file, then a rename) keeping its mode; a value the
// file holds already is not written again. A file we may not write, or one without any write
// permission (made read-only by its user, which root could otherwise replace), is not replaced:
// the write is refused.
//
// The file is read once and kept: later reads look at the kept lines as long as the file on disk
// is the one that was read (same inode, size and change times); a file changed by someone else is
// read again. Every write of ours changes the kept lines first, so reads see it at once, even
// when the file refused it; such a value stays pending and goes to disk with the next write that
// succeeds.
//
// Sections and keys compare without regard to case; values are trimmed, and a value enclosed in
// double quotes loses them. Texts are bytes as they stand (Windows-1252 in this program).
// One thread at a time.
#pragma once

#include <sys/types.h>

#include <functional>
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

// Seam for tests: while set, every INI file asks it before it reads or writes its file, with the
// file's name and whether it writes. An errno it returns makes that access fail with it (root
// ignores file permissions, so a test could not refuse a file otherwise); 0 lets it go ahead.
using TIniFileAccessHook = std::function<int(const std::string& FileName, bool Write)>;
void SetIniFileAccessHook(TIniFileAccessHook Hook);

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

  // Raise EIniFileError when the text cannot be stored (a line break in it, a "]" in a section
  // name, a "=" in a key): nothing changes then. Also when the file cannot be read or written:
  // the file is then unchanged, and the value is kept as a pending one (see above).
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  // Booleans are stored as "1" and "0".
  void WriteBool(const std::string& section, const std::string& key, bool value);

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Adds an empty section when there is none of that name.
  void WriteSection(const std::string& section);

  // The writes between the two go to disk together, with the EndUpdate that closes the outermost
  // pair: one rewrite of the file, and at most one failure (EIniFileError) for all of them.
  // Reads see each write at once. EndUpdate(false) closes the pair without writing: the writes
  // stay pending.
  void BeginUpdate() { ++updateDepth_; }
  void EndUpdate(bool write = true);
  // Written values that are not on disk yet.
  bool HasPendingWrites() const { return !pending_.empty(); }

 protected:
  // Reads the whole file: 0, or the errno of the failure (ENOENT: there is no file). Anything
  // but a regular file (a folder, a pipe) cannot be read as one.
  virtual int ReadFileData(std::string& data) const;

 private:
  enum class LineKind { Other, Section, Entry };
  struct Line {
    std::string Text;
    std::string Eol;  // the line's own ending: "\n", "\r\n", or empty for a last line without one
    LineKind Kind = LineKind::Other;
    std::string Name;   // the section's name or the entry's key
    std::string Value;  // the entry's value, trimmed and unquoted
  };
  struct Pending {
    std::string Section;
    std::string Key;  // empty: just the section
    std::string Stored;
  };
  // What identifies the file on disk as the one that was read.
  struct Stamp {
    bool Exists = false;
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = 0;
    long long MTimeNs = 0;
    long long CTimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };

  static Line MakeLine(std::string text, std::string eol);
  Stamp StampNow() const;
  // Reads the file again when it is not the one read before; pending writes stay on top.
  void Refresh() const;
  void Parse(const std::string& data) const;
  // Index of the first section of that name, or -1.
  int FindSection(const std::string& section) const;
  const Line* Find(const std::string& section, const std::string& key) const;
  std::string DefaultEol() const;
  // Inserts a line before index at; a last line without an ending gets one.
  void InsertLine(std::size_t at, std::string text) const;
  void Apply(const Pending& p) const;
  void SetEntry(const std::string& section, const std::string& key, const std::string& stored) const;
  void AddSection(const std::string& section) const;
  void Remember(Pending p);
  // Writes the kept lines when no update is open: raises EIniFileError when the file is there
  // but could not be read (it is never replaced by just our lines) or cannot be written.
  void Flush();
  void Save() const;

  std::string fileName_;
  // The kept file: refreshed from const reads, so mutable.
  mutable std::vector<Line> lines_;
  mutable bool loaded_ = false;
  mutable Stamp stamp_;
  mutable int readError_ = 0;
  std::vector<Pending> pending_;
  int updateDepth_ = 0;
};

}  // namespace platform

#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Paths.h"

namespace platform {

namespace {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// "[name]" → name
bool IsSection(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsComment(const std::string& line) {
  const std::string t = Trim(line);
  return !t.empty() && (t[0] == ';' || t[0] == '#');
}

// "key=value" → key, value (value trimmed, enclosing quotes removed)
bool IsEntry(const std::string& line, std::string& key, std::string& value) {
  if (IsComment(line)) return false;
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  if (key.empty()) return false;
  value = Trim(line.substr(eq + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return true;
}

bool ParseInt(const std::string& text, int& out) {
  const std::string s = Trim(text);
  if (s.empty()) return false;
  std::size_t i = 0;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') {
    neg = s[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (base == 16 && !neg) {
    out = static_cast<int>(static_cast<unsigned>(v));  // $FFFFFFFF is -1, as a 32-bit number
    return true;
  }
  if (neg) v = -v;
  if (v < -2147483648LL || v > 2147483647LL) return false;
  out = static_cast<int>(v);
  return true;
}

bool IsBlank(const std::string& s) {
  for (const char c : s)
    if (c != ' ' && c != '\t') return false;
  return true;
}

void CheckStorable(const std::string& section, const std::string& key, const std::string& value) {
  auto hasBreak = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
  if (hasBreak(section) || section.find(']') != std::string::npos)
    throw EIniFileError("Invalid section name: " + section);
  if (hasBreak(key) || key.find('=') != std::string::npos || Trim(key).empty() || Trim(key) != key)
    throw EIniFileError("Invalid key name: " + key);
  if (hasBreak(value)) throw EIniFileError("A value cannot hold a line break: " + key);
}

// Surrounding blanks or quotes would be lost on reading: such a value is quoted.
std::string Quoted(const std::string& value) {
  if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                         value.back() == '\t' || (value.size() >= 2 && value.front() == '"' && value.back() == '"')))
    return "\"" + value + "\"";
  return value;
}

TIniFileAccessHook& AccessHook() {
  static TIniFileAccessHook hook;
  return hook;
}

int AskHook(const std::string& fileName, bool write) {
  const TIniFileAccessHook& hook = AccessHook();
  return hook ? hook(fileName, write) : 0;
}

}  // namespace

void SetIniFileAccessHook(TIniFileAccessHook Hook) { AccessHook() = std::move(Hook); }

int TIniFile::ReadFileData(std::string& data) const {
  data.clear();
  if (const int refused = AskHook(fileName_, false)) return refused;
  // Not blocking: a pipe in place of the file must not hang the program.
  const int fd = ::open(fileName_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0)
    err = errno;
  else if (S_ISDIR(st.st_mode))
    err = EISDIR;
  else if (!S_ISREG(st.st_mode))
    err = EINVAL;
  if (err == 0 && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  while (err == 0) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      data.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      err = errno;
    }
  }
  ::close(fd);
  if (err != 0) data.clear();
  return err;
}

TIniFile::Stamp TIniFile::StampNow() const {
  Stamp s;
  struct stat st {};
  if (::stat(fileName_.c_str(), &st) != 0) return s;
  s.Exists = true;
  s.Dev = st.st_dev;
  s.Ino = st.st_ino;
  s.Size = st.st_size;
  s.MTimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  s.CTimeNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
  return s;
}

TIniFile::Line TIniFile::MakeLine(std::string text, std::string eol) {
  Line l;
  l.Text = std::move(text);
  l.Eol = std::move(eol);
  if (IsSection(l.Text, l.Name))
    l.Kind = LineKind::Section;
  else if (IsEntry(l.Text, l.Name, l.Value))
    l.Kind = LineKind::Entry;
  else
    l.Name.clear();
  return l;
}

void TIniFile::Parse(const std::string& data) const {
  std::size_t start = 0;
  while (start < data.size()) {
    const std::size_t nl = data.find('\n', start);
    std::size_t end = nl == std::string::npos ? data.size() : nl;
    std::size_t textEnd = end;
    if (textEnd > start && data[textEnd - 1] == '\r') --textEnd;
    const std::size_t eolEnd = nl == std::string::npos ? data.size() : nl + 1;
    lines_.push_back(MakeLine(data.substr(start, textEnd - start), data.substr(textEnd, eolEnd - textEnd)));
    start = eolEnd;
  }
}

void TIniFile::Refresh() const {
  const Stamp now = StampNow();
  if (loaded_ && now == stamp_) return;
  std::string data;
  lines_.clear();
  readError_ = ReadFileData(data);
  if (readError_ == 0) Parse(data);
  // Taken before the read: a change while reading shows as a new stamp next time.
  stamp_ = now;
  loaded_ = true;
  for (const Pending& p : pending_) Apply(p);
}

int TIniFile::FindSection(const std::string& section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].Kind == LineKind::Section && SameText(lines_[i].Name, section)) return static_cast<int>(i);
  return -1;
}

const TIniFile::Line* TIniFile::Find(const std::string& section, const std::string& key) const {
  Refresh();
  const int s = FindSection(section);
  if (s < 0) return nullptr;
  // Only the first section of that name counts.
  for (std::size_t i = static_cast<std::size_t>(s) + 1; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.Kind == LineKind::Section) break;
    if (l.Kind == LineKind::Entry && SameText(l.Name, key)) return &l;
  }
  return nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  const Line* l = Find(section, key);
  return l ? l->Value : defaultValue;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const {
  const Line* l = Find(section, key);
  int r;
  return l && ParseInt(l->Value, r) ? r : defaultValue;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& section) const {
  Refresh();
  return FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Find(section, key) != nullptr;
}

// New lines take the file's first line ending; a file without one gets "\n".
std::string TIniFile::DefaultEol() const {
  for (const Line& l : lines_)
    if (!l.Eol.empty() && l.Eol.back() == '\n') return l.Eol;
  return "\n";
}

void TIniFile::InsertLine(std::size_t at, std::string text) const {
  const std::string eol = DefaultEol();
  // A last line without an ending gets one when a line follows it.
  if (at > 0 && lines_[at - 1].Eol.empty()) lines_[at - 1].Eol = eol;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), MakeLine(std::move(text), eol));
}

void TIniFile::AddSection(const std::string& section) const {
  if (!lines_.empty() && !IsBlank(lines_.back().Text)) InsertLine(lines_.size(), std::string());
  InsertLine(lines_.size(), "[" + section + "]");
}

void TIniFile::SetEntry(const std::string& section, const std::string& key, const std::string& stored) const {
  int s = FindSection(section);
  if (s < 0) {
    AddSection(section);
    InsertLine(lines_.size(), key + "=" + stored);
    return;
  }
  std::size_t last = static_cast<std::size_t>(s);
  for (std::size_t i = last + 1; i < lines_.size(); ++i) {
    Line& l = lines_[i];
    if (l.Kind == LineKind::Section) break;
    if (l.Kind == LineKind::Entry && SameText(l.Name, key)) {
      l = MakeLine(l.Name + "=" + stored, std::move(l.Eol));  // the key keeps its spelling
      return;
    }
    if (!IsBlank(l.Text)) last = i;
  }
  InsertLine(last + 1, key + "=" + stored);
}

void TIniFile::Apply(const Pending& p) const {
  if (p.Key.empty()) {
    if (FindSection(p.Section) < 0) AddSection(p.Section);
  } else {
    SetEntry(p.Section, p.Key, p.Stored);
  }
}

void TIniFile::Remember(Pending p) {
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (!SameText(it->Section, p.Section) || !SameText(it->Key, p.Key)) continue;
    if (p.Key.empty()) return;
    pending_.erase(it);
    break;
  }
  pending_.push_back(std::move(p));
}

void TIniFile::Flush() {
  if (updateDepth_ > 0 || pending_.empty()) return;
  // Only a file that is not there starts empty: one that cannot be read is never replaced by a
  // file holding just our lines.
  if (readError_ != 0 && readError_ != ENOENT)
    throw EIniFileError("Unable to read " + fileName_ + ": " + std::strerror(readError_), readError_);
  Save();
  pending_.clear();
  stamp_ = StampNow();
}

void TIniFile::EndUpdate(bool write) {
  if (updateDepth_ > 0) --updateDepth_;
  if (updateDepth_ > 0 || !write) return;
  Refresh();
  Flush();
}

void TIniFile::Save() const {
  auto fail = [this](int e) {
    throw EIniFileError("Unable to write to " + fileName_ + ": " + std::strerror(e), e);
  };
  if (const int refused = AskHook(fileName_, true)) fail(refused);
  std::string data;
  std::size_t size = 0;
  for (const Line& l : lines_) size += l.Text.size() + l.Eol.size();
  data.reserve(size);
  for (const Line& l : lines_) data.append(l.Text).append(l.Eol);
  const std::size_t slash = fileName_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : fileName_.substr(0, slash);
  if (slash != std::string::npos && !dir.empty()) ForceDirectories(dir);
  // The file keeps its permissions; a new one gets the usual ones.
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(fileName_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    // The rename would replace a file the user may not, or chose not to, write: one with no
    // write permission at all is refused also for root, who may write anything.
    if (::access(fileName_.c_str(), W_OK) != 0) fail(errno);
    if ((mode & 0222) == 0) fail(EACCES);
  }
  std::string tmp = fileName_ + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) fail(errno);
  (void)::fchmod(fd, mode);
  std::size_t off = 0;
  int err = 0;
  while (off < data.size()) {
    const ssize_t n = ::write(fd, data.data() + off, data.size() - off);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    off += static_cast<std::size_t>(n);
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(tmp.c_str(), fileName_.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    fail(err);
  }
}

void TIniFile::WriteSection(const std::string& section) {
  CheckStorable(section, "x", "");
  Refresh();
  if (FindSection(section) >= 0) return;
  Pending p{section, std::string(), std::string()};
  Apply(p);
  Remember(std::move(p));
  Flush();
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  CheckStorable(section, key, value);
  // A value the file holds already costs no rewrite (the settings dialog's OK writes them all).
  if (const Line* l = Find(section, key); l && l->Value == value) return;
  Pending p{section, key, Quoted(value)};
  Apply(p);
  Remember(std::move(p));
  Flush();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace platform

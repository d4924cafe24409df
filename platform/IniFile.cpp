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

}  // namespace

int TIniFile::ReadFileData(std::string& data) const {
  data.clear();
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
  char buf[8192];
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

bool TIniFile::Load(std::vector<std::string>& lines, std::string& eol, int* err) const {
  lines.clear();
  eol = "\n";
  std::string data;
  const int e = ReadFileData(data);
  if (err) *err = e;
  if (e != 0) return false;
  if (data.find("\r\n") != std::string::npos) eol = "\r\n";
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t nl = data.find('\n', start);
    std::string line = data.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return true;
}

void TIniFile::LoadForWrite(std::vector<std::string>& lines, std::string& eol) const {
  int err = 0;
  if (Load(lines, eol, &err)) return;
  // Only a file that is not there starts empty: one that cannot be read is never replaced by
  // a file holding just the new entry.
  if (err != ENOENT)
    throw EIniFileError("Unable to read " + fileName_ + ": " + std::strerror(err), err);
}

void TIniFile::Save(const std::vector<std::string>& lines, const std::string& eol) const {
  std::string data;
  for (const std::string& l : lines) data += l + eol;
  const std::size_t slash = fileName_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : fileName_.substr(0, slash);
  if (slash != std::string::npos && !dir.empty()) ForceDirectories(dir);
  std::string tmp = fileName_ + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) {
    const int e = errno;
    throw EIniFileError("Unable to write to " + fileName_ + ": " + std::strerror(e), e);
  }
  // The file keeps its permissions; a new one gets the usual ones.
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(fileName_.c_str(), &st) == 0) mode = st.st_mode & 07777;
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
    throw EIniFileError("Unable to write to " + fileName_ + ": " + std::strerror(err), err);
  }
}

bool TIniFile::Find(const std::string& section, const std::string& key, std::string& value) const {
  std::vector<std::string> lines;
  std::string eol;
  if (!Load(lines, eol)) return false;
  bool inSection = false;
  for (const std::string& l : lines) {
    std::string name, k, v;
    if (IsSection(l, name)) {
      if (inSection) return false;  // only the first section of that name counts
      inSection = SameText(name, section);
      continue;
    }
    if (inSection && IsEntry(l, k, v) && SameText(k, key)) {
      value = v;
      return true;
    }
  }
  return false;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  std::string v;
  return Find(section, key, v) ? v : defaultValue;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const {
  std::string v;
  int r;
  if (Find(section, key, v) && ParseInt(v, r)) return r;
  return defaultValue;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& section) const {
  std::vector<std::string> lines;
  std::string eol;
  if (!Load(lines, eol)) return false;
  for (const std::string& l : lines) {
    std::string name;
    if (IsSection(l, name) && SameText(name, section)) return true;
  }
  return false;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  std::string v;
  return Find(section, key, v);
}

namespace {

void CheckStorable(const std::string& section, const std::string& key, const std::string& value) {
  auto hasBreak = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
  if (hasBreak(section) || section.find(']') != std::string::npos)
    throw EIniFileError("Invalid section name: " + section);
  if (hasBreak(key) || key.find('=') != std::string::npos || Trim(key).empty() || Trim(key) != key)
    throw EIniFileError("Invalid key name: " + key);
  if (hasBreak(value)) throw EIniFileError("A value cannot hold a line break: " + key);
}

}  // namespace

void TIniFile::WriteSection(const std::string& section) {
  CheckStorable(section, "x", "");
  std::vector<std::string> lines;
  std::string eol;
  LoadForWrite(lines, eol);
  for (const std::string& l : lines) {
    std::string name;
    if (IsSection(l, name) && SameText(name, section)) return;
  }
  if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
  lines.push_back("[" + section + "]");
  Save(lines, eol);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  CheckStorable(section, key, value);
  // Surrounding blanks or quotes would be lost on reading: such a value is quoted.
  std::string stored = value;
  if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                         value.back() == '\t' || (value.size() >= 2 && value.front() == '"' && value.back() == '"')))
    stored = "\"" + value + "\"";
  const std::string entry = key + "=" + stored;
  std::vector<std::string> lines;
  std::string eol;
  LoadForWrite(lines, eol);
  int sectionLine = -1;
  int lastEntry = -1;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    if (IsSection(lines[i], name)) {
      if (sectionLine >= 0) break;
      if (SameText(name, section)) {
        sectionLine = static_cast<int>(i);
        lastEntry = sectionLine;
      }
      continue;
    }
    if (sectionLine < 0) continue;
    if (IsEntry(lines[i], k, v) && SameText(k, key)) {
      lines[i] = k + "=" + stored;  // the key keeps its spelling
      Save(lines, eol);
      return;
    }
    if (!Trim(lines[i]).empty()) lastEntry = static_cast<int>(i);
  }
  if (sectionLine < 0) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  } else {
    lines.insert(lines.begin() + lastEntry + 1, entry);
  }
  Save(lines, eol);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace platform

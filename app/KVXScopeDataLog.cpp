#include "app/KVXScopeDataLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "model/osDRUVModProtBase.h"

namespace {

const std::string kRule(63, '=');

std::string Field(const std::string& Text) {
  char buf[16];
  if (Text.size() >= 10) return Text;
  std::snprintf(buf, sizeof buf, "%10s", Text.c_str());
  return buf;
}

// Opens for writing without blocking on a pipe or device and keeps only a regular file.
int OpenRegular(const std::string& Name, int Flags) {
  const int fd = ::open(Name.c_str(), Flags | O_WRONLY | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

EScopeDataFile::EScopeDataFile(const std::string& FileName)
    : std::runtime_error("Datei " + FileName + " konnte nicht erstellt werden."),
      FileName_(FileName) {}

void TScopeDataLog::SetFileName(const std::string& Name) {
  std::lock_guard<std::mutex> lock(Lock_);
  FileName_ = Name;
}

std::string TScopeDataLog::FileName() const {
  std::lock_guard<std::mutex> lock(Lock_);
  return FileName_;
}

void TScopeDataLog::CreateScopeDataFile() {
  const std::string name = FileName();
  if (name.empty()) return;
  // O_CREAT without O_TRUNC: an existing file keeps what it holds.
  const int fd = OpenRegular(name, O_CREAT);
  if (fd < 0) throw EScopeDataFile(name);
  ::close(fd);
}

void TScopeDataLog::WriteScopeDataHeader(const std::array<std::string, 4>& ChannelNames) {
  // One write for the block, so a sample line of another thread comes before it or after it.
  const std::array<std::string, 4> lines =
      ScopeDataHeaderLines(FormatScopeDataTimeStamp(std::chrono::system_clock::now()), ChannelNames);
  std::string block = lines[0];
  for (std::size_t i = 1; i < lines.size(); ++i) block += "\r\n" + lines[i];
  AppendScopeDataLine(block);
}

void TScopeDataLog::AppendScopeData(const TASCIIProcDataObj* Ch1, const TASCIIProcDataObj* Ch2,
                                    const TASCIIProcDataObj* Ch3, const TASCIIProcDataObj* Ch4) {
  if (FileName().empty()) return;
  std::string line = FormatScopeDataTimeStamp(std::chrono::system_clock::now());
  for (const TASCIIProcDataObj* ch : {Ch1, Ch2, Ch3, Ch4}) line += FormatScopeChannelValue(ch);
  AppendScopeDataLine(line);
}

void TScopeDataLog::AppendScopeDataLine(const std::string& Line) {
  // The name is held while the line is written: once a new name is set, no line written under
  // the old one can still arrive in the old file.
  std::lock_guard<std::mutex> lock(Lock_);
  const std::string& name = FileName_;
  if (name.empty()) return;
  const int fd = OpenRegular(name, O_APPEND);
  if (fd < 0) return;
  // One write per line, so lines of two threads never mix.
  const std::string bytes = Line + "\r\n";
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

std::string FormatScopeChannelValue(const TASCIIProcDataObj* Sample) {
  if (!Sample) return Field("---");
  char buf[16];
  std::snprintf(buf, sizeof buf, "%10d", static_cast<int>(Sample->Value));
  return buf;
}

std::string FormatScopeDataTimeStamp(std::chrono::system_clock::time_point Time) {
  const auto whole = std::chrono::floor<std::chrono::seconds>(Time);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Time - whole).count();
  const std::time_t secs = std::chrono::system_clock::to_time_t(whole);
  std::tm tm{};
  localtime_r(&secs, &tm);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d:%03d", tm.tm_mday, tm.tm_mon + 1,
                tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buf;
}

std::array<std::string, 4> ScopeDataHeaderLines(const std::string& TimeStamp,
                                                const std::array<std::string, 4>& ChannelNames) {
  std::string names = TimeStamp;
  for (const std::string& n : ChannelNames) names += Field(n);
  return {std::string(), kRule, names, kRule};
}

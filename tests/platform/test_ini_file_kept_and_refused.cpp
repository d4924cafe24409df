// The INI file kept in memory: read once and again only when changed on disk, every line keeping
// its own ending on a rewrite, a refused write kept for the run and written later, and the writes
// of one update going to disk together; a file that is read-only, or a write that fails on its way,
// is reported and leaves the file as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TestTempDir.h"
#include "platform/IniFile.h"

using platform::EIniFileError;
using platform::TIniFile;

namespace {

std::string ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

// Counts the file's reads and writes; RefuseWrites makes every write fail as a full disk does.
struct Accesses {
  int Reads = 0;
  int Writes = 0;
  int RefuseWrites = 0;
  Accesses() {
    platform::SetIniFileAccessHook([this](const std::string&, bool write) {
      ++(write ? Writes : Reads);
      return write ? RefuseWrites : 0;
    });
  }
  ~Accesses() { platform::SetIniFileAccessHook({}); }
};

TEST(IniFileKept, EveryLineKeepsItsOwnEndingAndNewLinesTakeTheFirstOne) {
  testutil::TempDir dir;
  const std::string path = dir.File("mixed.ini");
  WriteFile(path, "; note\r\n[S]\nA=1\r\nB=2\n\n[T]\r\nX=1");
  TIniFile ini(path);
  ini.WriteString("S", "A", "9");
  EXPECT_EQ(ReadFile(path), "; note\r\n[S]\nA=9\r\nB=2\n\n[T]\r\nX=1");
  ini.WriteString("S", "C", "3");
  ini.WriteString("T", "Y", "4");
  EXPECT_EQ(ReadFile(path), "; note\r\n[S]\nA=9\r\nB=2\nC=3\r\n\n[T]\r\nX=1\r\nY=4\r\n");
}

TEST(IniFileKept, TheFileIsReadOnceAndAgainOnlyWhenSomeoneChangedIt) {
  testutil::TempDir dir;
  const std::string path = dir.File("big.ini");
  const std::string big(10 << 20, 'x');
  WriteFile(path, "[S]\nBig=" + big + "\nN=1\n");
  Accesses io;
  TIniFile ini(path);
  for (int i = 0; i < 29; ++i) EXPECT_EQ(ini.ReadInteger("S", "N", 0), 1);
  EXPECT_EQ(ini.ReadString("S", "Big", "").size(), big.size());
  ini.WriteInteger("S", "N", 2);  // our own write needs no read
  ini.WriteInteger("S", "N", 2);  // and the same value no second rewrite
  EXPECT_EQ(ini.ReadInteger("S", "N", 0), 2);
  EXPECT_EQ(io.Reads, 1);
  EXPECT_EQ(io.Writes, 1);
  EXPECT_EQ(ReadFile(path), "[S]\nBig=" + big + "\nN=2\n");

  // Replaced by another program with a file of the same size: a new file, read again.
  const std::string other = dir.File("other.ini");
  WriteFile(other, "[S]\nBig=" + big + "\nN=7\n");
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  EXPECT_EQ(ini.ReadInteger("S", "N", 0), 7);
  EXPECT_EQ(io.Reads, 2);
}

TEST(IniFileKept, ARefusedWriteHoldsForTheRunAndReachesTheFileWithTheNextWrite) {
  testutil::TempDir dir;
  const std::string path = dir.File("settings.ini");
  WriteFile(path, "[S]\nA=1\n");
  Accesses io;
  io.RefuseWrites = ENOSPC;
  TIniFile ini(path);
  try {
    ini.WriteString("S", "A", "2");
    ADD_FAILURE() << "no exception";
  } catch (const EIniFileError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
  }
  EXPECT_EQ(ReadFile(path), "[S]\nA=1\n");
  EXPECT_EQ(ini.ReadInteger("S", "A", 0), 2);

  // Someone else changes the file meanwhile: their line is kept, and so is our value.
  WriteFile(path, "[S]\nA=1\nTheirs=x\n");
  EXPECT_EQ(ini.ReadString("S", "Theirs", ""), "x");
  EXPECT_EQ(ini.ReadInteger("S", "A", 0), 2);
  io.RefuseWrites = 0;
  ini.WriteString("S", "B", "3");
  EXPECT_EQ(ReadFile(path), "[S]\nA=2\nTheirs=x\nB=3\n");
  EXPECT_FALSE(ini.HasPendingWrites());
}

TEST(IniFileKept, TheWritesOfAnUpdateGoToDiskOnceAndFailOnce) {
  testutil::TempDir dir;
  const std::string path = dir.File("settings.ini");
  Accesses io;
  TIniFile ini(path);
  ini.BeginUpdate();
  for (int i = 0; i < 10; ++i) ini.WriteInteger("S", "K" + std::to_string(i), i);
  EXPECT_EQ(ini.ReadInteger("S", "K9", 0), 9);
  EXPECT_EQ(::access(path.c_str(), F_OK), -1);
  ini.EndUpdate();
  EXPECT_EQ(io.Writes, 1);
  EXPECT_EQ(ini.ReadInteger("S", "K5", 0), 5);

  io.RefuseWrites = EACCES;
  ini.BeginUpdate();
  for (int i = 0; i < 10; ++i) ini.WriteInteger("S", "K" + std::to_string(i), i + 10);
  EXPECT_THROW(ini.EndUpdate(), EIniFileError);
  EXPECT_EQ(io.Writes, 2);
  // Closing without writing leaves the values waiting, also when nothing refuses.
  io.RefuseWrites = 0;
  ini.BeginUpdate();
  ini.WriteString("S", "Late", "1");
  ini.EndUpdate(false);
  EXPECT_EQ(io.Writes, 2);
  EXPECT_TRUE(ini.HasPendingWrites());
  EXPECT_EQ(ini.ReadInteger("S", "K0", 0), 10);
}

int ErrorOfWrite(TIniFile& ini, const std::string& key, const std::string& value) {
  try {
    ini.WriteString("S", key, value);
  } catch (const EIniFileError& e) {
    return e.Code();
  }
  return 0;
}

TEST(IniFileKept, AFileMadeReadOnlyIsNotReplacedAndAWritableOneKeepsItsMode) {
  testutil::TempDir dir;
  const std::string path = dir.File("settings.ini");
  WriteFile(path, "[S]\nA=1\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  TIniFile ini(path);
  ini.WriteString("S", "A", "2");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // Refused also for root, who could replace it.
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(ErrorOfWrite(ini, "A", "3"), EACCES);
  EXPECT_EQ(ReadFile(path), "[S]\nA=2\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});
}

TEST(IniFileKept, AWriteThatFailsAtTheDataOrTheRenameIsReportedAndLeavesTheFile) {
  testutil::TempDir dir;
  const std::string path = dir.File("settings.ini");
  WriteFile(path, "[S]\nA=1\n");
  TIniFile ini(path);
  {
    // A file size limit fails the write of the data itself, as a full disk does.
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int error = ErrorOfWrite(ini, "Long", std::string(200, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(ReadFile(path), "[S]\nA=1\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});
  }
  // A folder put in the file's place just before the write fails the rename.
  struct HookReset {
    ~HookReset() { platform::SetIniFileAccessHook({}); }
  } reset;
  platform::SetIniFileAccessHook([&](const std::string&, bool write) {
    if (write) {
      std::filesystem::remove(path);
      std::filesystem::create_directories(path + "/inside");
    }
    return 0;
  });
  EXPECT_EQ(ErrorOfWrite(ini, "A", "4"), EISDIR);
  EXPECT_TRUE(std::filesystem::is_directory(path + "/inside"));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});
}

TEST(IniFileKept, ReadingAChangedFileAgainAndWritingItLeaveNoDescriptorOpen) {
  testutil::TempDir dir;
  const std::string path = dir.File("settings.ini");
  auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  TIniFile ini(path);
  const auto before = openDescriptors();
  for (int i = 0; i < 20; ++i) {
    WriteFile(path, "[S]\nN=" + std::to_string(i) + "\n" + std::string(i, ';') + "\n");
    ASSERT_EQ(ini.ReadInteger("S", "N", -1), i);
    ini.WriteInteger("S", "M", i);
  }
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace

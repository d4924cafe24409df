// Saving replaces a file only as a whole: a failed save leaves the old file exactly as it was and
// no temporary file behind; a successful one keeps the file's permissions and symbolic links.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "FileTestUtil.h"
#include "model/osDRUVKVXCmdDOMStruc.h"
#include "model/osFileUtils.h"

using namespace filetest;

namespace {

// Resets the hook even when an assertion leaves the test early.
struct WriteFault {
  explicit WriteFault(int err) {
    SetFileWriteHookForTests([err](const std::string&) { return err; });
  }
  ~WriteFault() { SetFileWriteHookForTests(nullptr); }
};

// A folder nobody may write into while this lives: permission bits for an ordinary user; for
// the superuser, who ignores them, the file system's immutable flag.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& path) : path_(path) {
    if (geteuid() != 0) {
      active_ = chmod(path.c_str(), 0500) == 0;
      return;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      immutable_ = active_ = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
  }
  ~ReadOnlyFolder() { Release(); }
  bool Active() const { return active_; }
  void Release() {
    if (!active_) return;
    active_ = false;
    if (!immutable_) {
      chmod(path_.c_str(), 0700);
      return;
    }
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
  }

 private:
  std::string path_;
  bool active_ = false;
  bool immutable_ = false;
};

}  // namespace

TEST(FileReplacingSave, FullDiskLeavesOldFileIntact) {
  TempDir dir;
  const std::string file = dir.File("data.txt");
  WriteAll(file, "old contents\n");
  {
    WriteFault fault(ENOSPC);
    std::string error;
    EXPECT_FALSE(SaveFileReplacing(file, "new contents\n", &error));
    // The user's file is named, not the temporary one that failed.
    EXPECT_EQ(error, file + ": " + std::strerror(ENOSPC));
  }
  EXPECT_EQ(ReadAll(file), "old contents\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"data.txt"});

  EXPECT_TRUE(SaveFileReplacing(file, "new contents\n"));
  EXPECT_EQ(ReadAll(file), "new contents\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"data.txt"});
}

TEST(FileReplacingSave, KvxSaveFailureKeepsTheOldModules) {
  TempDir dir;
  const std::string file = dir.File("m.kvx");
  ModuleLists m;
  FillEveryKind(m);
  TosKVXCmdDOM dom;
  m.Bind(dom);
  ASSERT_TRUE(dom.WriteModulCmds(file, "M1"));
  const std::string before = ReadAll(file);
  {
    WriteFault fault(EIO);
    EXPECT_FALSE(dom.WriteModulCmds(file, "M2"));
  }
  EXPECT_EQ(ReadAll(file), before);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"m.kvx"});
}

TEST(FileReplacingSave, MissingFolderFailsCleanly) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(SaveFileReplacing(dir.File("no/such/folder/x.txt"), "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(SaveFileReplacing("", "x"));
}

TEST(FileReplacingSave, ReadOnlyFolderFailsWithoutTouchingTheFile) {
  TempDir dir;
  const std::string sub = dir.File("ro");
  std::filesystem::create_directory(sub);
  const std::string file = sub + "/data.txt";
  WriteAll(file, "keep");
  ReadOnlyFolder ro(sub);
  if (!ro.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
  std::string error;
  EXPECT_FALSE(SaveFileReplacing(file, "new", &error));
  EXPECT_FALSE(error.empty());
  ro.Release();
  EXPECT_EQ(ReadAll(file), "keep");
  EXPECT_EQ(std::filesystem::directory_iterator(sub)->path().filename(), "data.txt");
}

TEST(FileReplacingSave, WriteProtectedFileIsNotReplaced) {
  TempDir dir;
  const std::string file = dir.File("master.kvx");
  WriteAll(file, "protected");
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  std::string error;
  EXPECT_FALSE(SaveFileReplacing(file, "new", &error));
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  // Also through a link to it.
  std::filesystem::create_symlink("master.kvx", dir.File("link.kvx"));
  EXPECT_FALSE(SaveFileReplacing(dir.File("link.kvx"), "new"));
  EXPECT_EQ(ReadAll(file), "protected");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link.kvx", "master.kvx"}));
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST(FileReplacingSave, KeepsPermissionsAndFollowsLinks) {
  TempDir dir;
  const std::string file = dir.File("target.txt");
  WriteAll(file, "one");
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  std::filesystem::create_symlink("target.txt", dir.File("link.txt"));
  ASSERT_TRUE(SaveFileReplacing(dir.File("link.txt"), "two"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.txt")));
  EXPECT_EQ(ReadAll(file), "two");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(FileReplacingSave, LoadRefusesFoldersAndReportsMissingFiles) {
  TempDir dir;
  std::string data = "x", error;
  EXPECT_EQ(LoadFileBytes(dir.File("none"), data, &error), flrNotFound);
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(error, dir.File("none") + ": " + std::strerror(ENOENT));
  EXPECT_EQ(LoadFileBytes(dir.Path(), data, &error), flrNotRegular);
  EXPECT_EQ(error, dir.Path() + ": " + std::strerror(EISDIR));
  WriteAll(dir.File("f"), std::string("a\0b", 3));
  EXPECT_EQ(LoadFileBytes(dir.File("f"), data), flrOk);
  EXPECT_EQ(data, std::string("a\0b", 3));
}

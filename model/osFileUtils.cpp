#include "model/osFileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>

namespace {

std::mutex& HookLock() {
  static std::mutex m;
  return m;
}

TFileWriteHook& Hook() {
  static TFileWriteHook h;
  return h;
}

int InjectedWriteError(const std::string& fileName) {
  std::lock_guard<std::mutex> lock(HookLock());
  return Hook() ? Hook()(fileName) : 0;
}

void SetError(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
}

// The process umask without changing it (umask(2) can only be read by setting it, which would
// race with other threads creating files).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

// The file a save to Name really replaces: the final target of a symbolic link (so the link is
// kept), else Name itself.
std::string ResolveTarget(const std::string& name) {
  struct stat st {};
  if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(name.c_str(), nullptr)) {
      std::string r(real);
      std::free(real);
      return r;
    }
  }
  return name;
}

bool WriteAll(int fd, const char* data, std::size_t len) {
  while (len > 0) {
    const ssize_t n = write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void SetFileWriteHookForTests(TFileWriteHook hook) {
  std::lock_guard<std::mutex> lock(HookLock());
  Hook() = std::move(hook);
}

bool FileExists(const std::string& FileName) {
  struct stat st {};
  return !FileName.empty() && lstat(FileName.c_str(), &st) == 0;
}

TFileLoadResult LoadFileBytes(const std::string& FileName, std::string& Data, std::string* Error) {
  Data.clear();
  if (Error) Error->clear();
  auto failed = [&](TFileLoadResult result, int err) {
    SetError(Error, FileName, err);
    return result;
  };
  if (FileName.empty()) {
    if (Error) *Error = "no file name";
    return flrNotFound;
  }
  // O_NONBLOCK so that a pipe given as a file name cannot block the open; only regular files
  // are read.
  const int fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    return failed((err == ENOENT || err == ENOTDIR) ? flrNotFound : flrReadError, err);
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int err = errno;
    close(fd);
    return failed(flrReadError, err);
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    if (S_ISDIR(st.st_mode)) return failed(flrNotRegular, EISDIR);
    if (Error) *Error = FileName + ": not a regular file";
    return flrNotRegular;
  }
  if (static_cast<unsigned long long>(st.st_size) > MaxLoadFileSize) {
    close(fd);
    return failed(flrTooLarge, EFBIG);
  }
  std::string buf;
  buf.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      close(fd);
      return failed(flrReadError, err);
    }
    if (n == 0) break;
    buf.append(chunk, static_cast<std::size_t>(n));
    if (buf.size() > MaxLoadFileSize) {
      close(fd);
      return failed(flrTooLarge, EFBIG);
    }
  }
  close(fd);
  Data = std::move(buf);
  return flrOk;
}

bool SaveFileReplacing(const std::string& FileName, const std::string& Data, std::string* Error) {
  if (FileName.empty()) {
    if (Error) *Error = "no file name";
    return false;
  }
  const std::string target = ResolveTarget(FileName);
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty()) {
    if (Error) *Error = "no file name";
    return false;
  }

  struct stat old {};
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    if (Error) *Error = target + ": not a regular file";
    return false;
  }
  // A write-protected file stays as it is: the rename below would go around the protection
  // (it needs only a writable folder), and a parameter file is often protected on purpose.
  // No write bit for anyone counts as protected also for the superuser.
  if (exists && (old.st_mode & 0222) == 0) {
    SetError(Error, target, EACCES);
    return false;
  }
  if (exists && access(target.c_str(), W_OK) != 0) {
    SetError(Error, target, errno);
    return false;
  }

  std::string tmp = dir + "/." + base + ".XXXXXX";
  const int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    SetError(Error, target, errno);
    return false;
  }
  // Errors name the file the user saves to: the temporary file is ours, never theirs to see.
  auto fail = [&](int err, bool closeFd) {
    if (closeFd) close(fd);
    unlink(tmp.c_str());
    SetError(Error, target, err);
    return false;
  };

  // The new file gets the old one's permissions, or what a newly created file would get.
  const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (fchmod(fd, mode) != 0) return fail(errno, true);
  if (exists && (old.st_uid != geteuid() || old.st_gid != getegid())) {
    // Best effort: keep the owner when allowed to.
    if (fchown(fd, old.st_uid, old.st_gid) != 0) { /* not fatal */ }
  }

  if (const int injected = InjectedWriteError(target)) return fail(injected, true);
  if (!WriteAll(fd, Data.data(), Data.size())) return fail(errno, true);
  if (fsync(fd) != 0) return fail(errno, true);
  if (close(fd) != 0) return fail(errno, false);
  if (rename(tmp.c_str(), target.c_str()) != 0) return fail(errno, false);

  // Make the rename itself durable; a failure here no longer endangers either file.
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}

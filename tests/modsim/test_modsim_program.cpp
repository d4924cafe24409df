// The modsim program as a person (or a benchmark) starts it: its rate options and its port link.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestTempDir.h"

namespace {

// The program started with Args and APPDATA in a folder of its own; its standard output read.
class ModsimProgram {
 public:
  explicit ModsimProgram(std::vector<std::string> Args, const std::string& AppData) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);  // its complaints
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addclose(&fa, out[1]);
    Args.insert(Args.begin(), KVX_MODSIM_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : Args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string env = "APPDATA=" + AppData;
    char* envp[] = {env.data(), nullptr};
    if (posix_spawn(&pid_, KVX_MODSIM_PROGRAM, &fa, nullptr, argv.data(), envp) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    out_ = out[0];
  }
  ~ModsimProgram() {
    if (pid_ > 0) Stop();
    if (out_ >= 0) close(out_);
  }

  // Its output up to the first line that starts with Head (empty when it never comes).
  std::string ReadUntil(const std::string& Head) {
    std::string text;
    char buf[256];
    for (;;) {
      const auto at = text.find("\n" + Head);
      if (at != std::string::npos || text.rfind(Head, 0) == 0) {
        const auto start = text.rfind(Head, 0) == 0 ? 0 : at + 1;
        const auto end = text.find('\n', start);
        if (end != std::string::npos) return text.substr(start, end - start);
      }
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) return {};
      const ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) return {};
      text.append(buf, static_cast<std::size_t>(n));
    }
  }
  // Stops it with SIGTERM; its exit status.
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    return Wait();
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

TEST(ModsimProgram, RunsAtEveryRateOfTheToolAndRefusesOthers) {
  for (const std::string rate : {"9600", "19200", "38400", "57600", "115200"}) {
    testutil::TempDir dir;
    ModsimProgram p({"--rate", rate, "--paced", "--name", "sim"}, dir.Path());
    EXPECT_EQ(p.ReadUntil("rate: "), "rate: " + rate + " bit/s, full duplex, paced");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() + "/DRUV/ports/sim")) << rate;
    EXPECT_EQ(p.Stop(), 0) << rate;
  }
  for (const std::string rate : {"4800", "230400", "fast"}) {
    testutil::TempDir dir;
    ModsimProgram p({"--rate", rate}, dir.Path());
    EXPECT_EQ(p.Wait(), 2) << rate;
  }
}

}  // namespace

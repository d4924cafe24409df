// The simulated module as a program of its own (tools/modsim), for the benchmarks that measure
// the window's processor time: the module's own time then never counts. Its port is published
// through the profile's APPDATA, which the environment carries.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace windowbench {

class ModsimProgram {
 public:
  // Program: the modsim program file; Args: its arguments. With Console, its commands can be given
  // through Command; without, its input is empty.
  ModsimProgram(const std::string& Program, std::vector<std::string> Args, bool Console) {
    int in[2] = {-1, -1}, out[2];
    if (pipe(out) != 0) return;
    if (Console && pipe(in) != 0) {
      close(out[0]);
      close(out[1]);
      return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (Console)
      posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    else
      posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    for (int fd : {in[0], in[1], out[0], out[1]})
      if (fd >= 0) posix_spawn_file_actions_addclose(&fa, fd);
    Args.insert(Args.begin(), Program);
    std::vector<char*> argv;
    for (auto& a : Args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int e = posix_spawn(&pid_, Program.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    out_ = fdopen(out[0], "r");
    if (Console) {
      close(in[0]);
      in_ = fdopen(in[1], "w");
    }
    if (e != 0) {
      pid_ = -1;
      return;
    }
    // Its first lines name the pseudo-terminal (the link is there by then); with a console, the
    // last of them names the commands.
    for (std::string line; ReadLine(line);) {
      if (line.rfind("pty: ", 0) == 0) {
        path_ = line.substr(5);
        if (!Console) break;
      }
      if (line == "Ctrl+C stops.") break;
    }
  }
  ~ModsimProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (in_) std::fclose(in_);
    if (out_) std::fclose(out_);
  }
  ModsimProgram(const ModsimProgram&) = delete;
  ModsimProgram& operator=(const ModsimProgram&) = delete;

  // The pseudo-terminal; empty when the program did not start.
  const std::string& Path() const { return path_; }

  // One console command and its answer.
  std::string Command(const std::string& command) {
    std::string answer;
    if (!in_ || std::fprintf(in_, "%s\n", command.c_str()) < 0 || std::fflush(in_) != 0) return answer;
    ReadLine(answer);
    return answer;
  }

 private:
  bool ReadLine(std::string& line) {
    char buf[512];
    if (!out_ || !std::fgets(buf, sizeof buf, out_)) return false;
    line = buf;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return true;
  }

  pid_t pid_ = -1;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
  std::string path_;
};

}  // namespace windowbench

// modsim: a simulated module on a pseudo-terminal, reachable by the tool as a port name.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "tools/modsim/Console.h"
#include "tools/modsim/PtyModule.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: modsim [--name NAME] [--rate BITS] [--hdx] [--paced]\n"
               "              [--params N --curves M] [--cmd-prompt]\n");
}

bool MakeDirs(const std::string& path) {
  std::string part;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      part = path.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

// The tool lists every link in "ports/" beside its settings file as a port.
std::string PortsFolder() {
  std::string base;
  if (const char* a = std::getenv("APPDATA"); a && *a) {
    base = a;
  } else if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    base = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::string(h) + "/.config";
  } else {
    return {};
  }
  return base + "/DRUV/ports";
}

// Points the link at the device in one step: created under a private name, then renamed over
// a stale one.
bool PublishLink(const std::string& link, const std::string& device) {
  const std::string temp = link + ".tmp" + std::to_string(getpid());
  unlink(temp.c_str());
  if (symlink(device.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link.c_str()) != 0) {
    std::fprintf(stderr, "modsim: cannot create %s: %s\n", link.c_str(), std::strerror(errno));
    unlink(temp.c_str());
    return false;
  }
  return true;
}

// Reads command lines from standard input until it ends or Stop is signalled. A closed or
// absent standard input only ends the commands, never the module.
class ConsoleReader {
 public:
  ConsoleReader(modsim::PtyModule& sim, std::mutex& lock, std::string& link)
      : sim_(sim), lock_(lock), link_(link), stop_(eventfd(0, EFD_CLOEXEC)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~ConsoleReader() {
    const std::uint64_t one = 1;
    if (stop_ >= 0) [[maybe_unused]] auto n = write(stop_, &one, sizeof one);
    thread_.join();
    if (stop_ >= 0) close(stop_);
  }

 private:
  void Run() {
    std::string pending;
    char buf[512];
    for (;;) {
      pollfd p[2] = {{0, POLLIN, 0}, {stop_, POLLIN, 0}};
      if (poll(p, stop_ >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (p[1].revents) return;
      if (!(p[0].revents & (POLLIN | POLLHUP))) {
        if (p[0].revents) return;  // not readable (closed, invalid): no commands
        continue;
      }
      const ssize_t n = read(0, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      pending.append(buf, static_cast<std::size_t>(n));
      for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, eol);
        pending.erase(0, eol + 1);
        Execute(line);
      }
      if (pending.size() > 4096) pending.clear();  // no line end in sight: not a command
    }
  }

  void Execute(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    const modsim::ConsoleResult r = modsim::RunConsoleCommand(sim_, line);
    if (r.NewLine && !link_.empty()) PublishLink(link_, sim_.PortPath());
    if (r.Text.empty()) return;
    std::fprintf(r.Ok ? stdout : stderr, "%s%s\n", r.Ok ? "" : "modsim: ", r.Text.c_str());
    std::fflush(r.Ok ? stdout : stderr);
  }

  modsim::PtyModule& sim_;
  std::mutex& lock_;
  std::string& link_;
  int stop_;
  std::thread thread_;
};

// A whole number from 0 to Max.
bool ParseNumber(const char* s, int& out, long Max = 100000) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 10);
  if (errno != 0 || end == s || *end != '\0' || v < 0 || v > Max) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  modsim::ModuleOptions options;
  std::string name = "modsim";
  bool paced = false;
  bool cmdPrompt = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--name" && hasValue) {
      name = argv[++i];
    } else if (arg == "--rate" && hasValue && ParseNumber(argv[i + 1], options.Rate, 115200)) {
      ++i;
    } else if (arg == "--params" && hasValue && ParseNumber(argv[i + 1], options.GeneratedParams)) {
      ++i;
    } else if (arg == "--curves" && hasValue && ParseNumber(argv[i + 1], options.GeneratedCurves)) {
      ++i;
    } else if (arg == "--hdx") {
      options.HalfDuplex = true;
    } else if (arg == "--paced") {
      paced = true;
    } else if (arg == "--cmd-prompt") {
      cmdPrompt = true;
    } else {
      Usage();
      return 2;
    }
  }
  if (options.Rate != 9600 && options.Rate != 19200 && options.Rate != 38400 &&
      options.Rate != 57600 && options.Rate != 115200) {
    std::fprintf(stderr, "modsim: the rate must be 9600, 19200, 38400, 57600 or 115200\n");
    return 2;
  }
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    std::fprintf(stderr, "modsim: the name must be a plain file name\n");
    return 2;
  }

  // Block the stop signals before the server thread starts, so only sigwait sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  modsim::PtyModule sim(options);
  sim.SetPacing(paced);
  sim.SetCmdPrompt(cmdPrompt);
  if (!sim.Start()) {
    std::fprintf(stderr, "modsim: %s\n", sim.LastError().c_str());
    return 1;
  }

  const std::string folder = PortsFolder();
  std::string link;
  if (!folder.empty() && MakeDirs(folder)) {
    link = folder + "/" + name;
    if (!PublishLink(link, sim.PortPath())) link.clear();
  } else {
    std::fprintf(stderr, "modsim: no settings folder for the port link\n");
  }

  std::printf("port name: %s\npty: %s\nrate: %d bit/s, %s duplex%s\n",
              link.empty() ? "(none)" : name.c_str(), sim.PortPath().c_str(), sim.Rate(),
              options.HalfDuplex ? "half" : "full", paced ? ", paced" : "");
  if (!link.empty()) std::printf("link: %s\n", link.c_str());
  std::printf("Commands: silent on|off, id TEXT, listing on|off, status N, inputs N,\n"
              "stream SECONDS [lines|plain], hangup.\n"
              "Ctrl+C stops.\n");
  std::fflush(stdout);

  std::mutex simLock;
  {
    ConsoleReader console(sim, simLock, link);
    int sig = 0;
    while (sigwait(&stopSignals, &sig) != 0) {
    }
  }
  sim.Stop();
  // Remove the link only while it still points at our pty (another instance may have taken it).
  if (!link.empty()) {
    char target[256] = {};
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && sim.PortPath() == std::string(target, static_cast<std::size_t>(n))) {
      unlink(link.c_str());
    }
  }
  std::printf("stopped\n");
  return 0;
}

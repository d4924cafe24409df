// Feeds arbitrary bytes to the XML command-file reader as a file's contents and checks what the
// callers rely on: no crash, no leak, no hang; a module that is not found leaves the lists empty;
// the values reader never adds or removes commands.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/osDRUVKVXCmdDOMStruc.h"
#include "model/osDRUVModProtBase.h"

namespace {

// The input lives in an anonymous in-memory file, reached by its /proc name like any file.
const std::string& InputFile(int& fd) {
  static int memfd = memfd_create("kvx-fuzz", MFD_CLOEXEC);
  static const std::string name = "/proc/self/fd/" + std::to_string(memfd);
  fd = memfd;
  return name;
}

struct Lists {
  TModCommandList Commands;
  TModProcessData Process;
  TModStatusInfoData Status;
  TModRemoteCtrlCommandList Remote;
  ~Lists() { Remote.FreeCommands(); }
  int Total() const { return Commands.Count() + Process.Count() + Status.Count() + Remote.Count(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = -1;
  const std::string& file = InputFile(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0) std::abort();
  if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();

  Lists lists;
  TosKVXCmdDOM dom;
  dom.CommandList = &lists.Commands;
  dom.ProcessData = &lists.Process;
  dom.StatusInfo = &lists.Status;
  dom.RemoteCtrlList = &lists.Remote;

  TStringList ids;
  const bool any = dom.GetModulIDs(file, &ids);
  if (any != !ids.empty()) std::abort();
  (void)dom.HasModulID(file, "x");

  for (const auto& id : ids) {
    (void)dom.ReadModulCmds(file, id);
    for (int i = 0; i < lists.Commands.Count(); ++i) {
      auto* cmd = lists.Commands.GetCommand(i);
      if (!cmd || cmd->GetGroups().Contains(TModCmdGroup::DRUVTEC)) std::abort();
      (void)cmd->GetValueStr();
    }
    const int before = lists.Commands.Count();
    TStringList missing;
    (void)dom.ReadModulParaValues(file, id, &missing);
    if (lists.Commands.Count() != before) std::abort();
  }

  // No XML attribute can hold a control character, so no module has this ID: the read fails and,
  // when the file itself is a command-list file, leaves every list empty.
  const std::string absent = "absent\x01";
  if (dom.ReadModulCmds(file, absent)) std::abort();
  if (dom.LoadFromFile(file) && lists.Total() != 0) std::abort();
  return 0;
}

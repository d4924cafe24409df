// Feeds arbitrary bytes to the XML command-file reader as a file's contents and checks what the
// callers rely on: no crash, no leak, no hang; a module that is not found leaves the lists empty;
// the values reader never adds or removes commands. The quick paths (the module index, a module
// read from its own bytes, a module saved by replacing its bytes) must agree with the whole
// document.
#include <libxml/tree.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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

// The library's own rendering of a subtree.
std::string Dump(xmlDocPtr doc, xmlNodePtr node) {
  xmlBufferPtr buf = xmlBufferCreate();
  xmlNodeDump(buf, doc, node, 0, 0);
  std::string s(reinterpret_cast<const char*>(xmlBufferContent(buf)), static_cast<std::size_t>(xmlBufferLength(buf)));
  xmlBufferFree(buf);
  return s;
}

class CheckedDom : public TosKVXCmdDOM {
 public:
  struct Module {
    bool HasId;
    std::string Id;
    std::string Text;
    std::size_t Inner;  // modules inside it
  };

  // Every "Modul" below Top in the document held, in document order.
  std::vector<Module> Modules(xmlNodePtr Top) const {
    std::vector<Module> out;
    for (xmlNodePtr n = Top ? Top->children : nullptr; n;) {
      if (IsElement(n, "Modul")) {
        Module m{false, {}, Dump(Doc(), n), Modules(n).size()};
        m.HasId = GetAttr(n, "ID", m.Id);
        out.push_back(m);
      }
      if (n->type == XML_ELEMENT_NODE && n->children) {
        n = n->children;
        continue;
      }
      while (n != Top && !n->next) n = n->parent;
      n = n == Top ? nullptr : n->next;
    }
    return out;
  }

  void Check(const std::string& file) {
    TStringList ids;
    const bool indexed = GetModulIDs(file, &ids);
    if (!LoadFromFile(file)) {
      if (indexed) std::abort();
      return;
    }
    // Each ID of a module right below the root, once.
    TStringList top;
    for (xmlNodePtr n = Root()->children; n; n = n->next) {
      std::string id;
      if (IsElement(n, "Modul") && GetAttr(n, "ID", id) && std::find(top.begin(), top.end(), id) == top.end())
        top.push_back(id);
    }
    if (top != ids) std::abort();
    const std::vector<Module> before = Modules(Root());
    std::vector<std::string> all{"new"};
    for (const auto& m : before)
      if (m.HasId) all.push_back(m.Id);
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());

    for (const auto& id : all) {
      // A module read from its own bytes is the module of the whole document.
      if (!LoadFromFile(file)) std::abort();
      xmlNodePtr whole = FindFirstModule(id);
      const std::string want = whole ? Dump(Doc(), whole) : std::string();
      if (!LoadIndex(file)) std::abort();
      xmlNodePtr quick = LoadModule(file, id);
      if ((quick == nullptr) != (whole == nullptr) || (quick && Dump(Doc(), quick) != want)) std::abort();

      // A module saved in place changes that module only, or adds one at the end.
      std::string text;
      if (!LoadIndex(file) || !SpliceModule(id, text)) continue;
      if (!LoadFromBytes(text, file)) std::abort();
      const std::vector<Module> after = Modules(Root());
      std::size_t k = 0;
      while (k < before.size() && !(before[k].HasId && before[k].Id == id)) ++k;
      // The modules inside the one replaced go with it.
      const std::size_t gone = k < before.size() ? before[k].Inner + 1 : 0;
      if (after.size() != before.size() - gone + 1) std::abort();
      if (!after[k].HasId || after[k].Id != id) std::abort();
      for (std::size_t j = 0; j < after.size(); ++j)
        if (j != k && after[j].Text != before[j < k ? j : j - 1 + gone].Text) std::abort();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = -1;
  const std::string& file = InputFile(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0) std::abort();
  if (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();

  Lists lists;
  CheckedDom dom;
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

  // Saved in place: the module last read, whatever the file made of it.
  dom.Check(file);

  // No XML attribute can hold a control character, so no module has this ID: the read fails and,
  // when the file itself is a command-list file, leaves every list empty.
  const std::string absent = "absent\x01";
  if (dom.ReadModulCmds(file, absent)) std::abort();
  if (dom.LoadFromFile(file) && lists.Total() != 0) std::abort();
  return 0;
}

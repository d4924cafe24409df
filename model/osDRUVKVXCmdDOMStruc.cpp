#include "model/osDRUVKVXCmdDOMStruc.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/Cp1252.h"
#include "model/osDRUVModProtBase.h"
#include "model/osFileUtils.h"

namespace {

const char* const KvxRootName = "DRUV-ModulCmdList";
const char* const KvxVersion = "1.0";

std::string JoinValueList(const TStringList& list) {
  std::string s;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) s += '|';
    s += list[i];
  }
  return s;
}

std::string IntText(std::int64_t v) { return std::to_string(v); }

bool IsValueKind(TModCmdKind Kind) {
  return Kind == TextPara || Kind == NumPara || Kind == CCPara || Kind == AinPara;
}

}  // namespace

TosKVXCmdDOM::TosKVXCmdDOM() { SetRootName(KvxRootName); }

bool TosKVXCmdDOM::AllListsSet() const { return CommandList && RemoteCtrlList && ProcessData && StatusInfo; }

bool TosKVXCmdDOM::LoadFromFile(const std::string& FileName) {
  if (!TosXMLBaseDOM::LoadFromFile(FileName)) return false;
  xmlNodePtr root = Root();
  std::string version;
  if (!root || !IsElement(root, RootName().c_str()) || !GetAttr(root, "version", version) ||
      version != KvxVersion) {
    ClearDocument();
    return false;
  }
  return true;
}

// ---- Attribute readers ------------------------------------------------------------------------

bool TosKVXCmdDOM::ReadInt(xmlNodePtr Node, const char* Name, std::int32_t& Value) {
  std::string s;
  return GetAttr(Node, Name, s) && TryStrToInt(s, Value);
}

void TosKVXCmdDOM::ReadByte(xmlNodePtr Node, const char* Name, std::uint8_t& Value) {
  std::int32_t v = 0;
  if (ReadInt(Node, Name, v)) Value = static_cast<std::uint8_t>(v & 0xFF);
}

void TosKVXCmdDOM::ReadWord(xmlNodePtr Node, const char* Name, std::uint16_t& Value) {
  std::int32_t v = 0;
  if (ReadInt(Node, Name, v)) Value = static_cast<std::uint16_t>(v & 0xFFFF);
}

void TosKVXCmdDOM::ReadText(xmlNodePtr Node, const char* Name, std::string& Value) {
  std::string s;
  if (GetAttr(Node, Name, s)) Value = s;
}

void TosKVXCmdDOM::ReadBool(xmlNodePtr Node, const char* Name, bool& Value) {
  std::string s;
  if (GetAttr(Node, Name, s)) TryStrToBool(s, Value);
}

bool TosKVXCmdDOM::ReadParaValue(xmlNodePtr Para, TObject* Cmd, bool Strict) {
  // A missing attribute leaves its field; one that is there must read.
  bool ok = true;
  auto readInt = [&](const std::string& Name, std::int32_t& Value) {
    std::string s;
    if (GetAttr(Para, Name.c_str(), s) && !TryStrToInt(s, Value)) ok = false;
  };
  if (auto* t = dynamic_cast<TModTextParaCmd*>(Cmd)) {
    std::string s;
    if (!GetAttr(Para, "Txt", s)) return true;
    // An empty text is what the writer writes for a parameter without one.
    if (Strict && !s.empty() && std::none_of(t->VList.begin(), t->VList.end(),
                                             [&s](const std::string& v) { return SameText(v, s); }))
      return false;
    t->SetText(s);
  } else if (auto* n = dynamic_cast<TModNumParaCmd*>(Cmd)) {
    std::int32_t v = n->Value;
    readInt("Val", v);
    if (Strict && !ok) return false;
    n->Value = v;
  } else if (auto* a = dynamic_cast<TModAinParaCmd*>(Cmd)) {
    std::int32_t va = a->A, vb = a->B, vc = a->C, u = a->Unit;
    readInt("A", va);
    readInt("B", vb);
    readInt("C", vc);
    readInt("X", u);
    if (Strict && !ok) return false;
    a->A = va;
    a->B = vb;
    a->C = vc;
    a->Unit = static_cast<TModAinUnit>(u & 0xFF);
  } else if (auto* c = dynamic_cast<TModCCParaCmd*>(Cmd)) {
    // A coordinate the file lacks repeats the one of the point before.
    TModCCPoint points[TModCCParaCmd::MaxIndex - TModCCParaCmd::MinIndex + 1];
    TModCCPoint prev;
    for (int i = TModCCParaCmd::MinIndex; i <= TModCCParaCmd::MaxIndex; ++i) {
      const std::string k = IntText(i + 10);
      TModCCPoint p = prev;
      readInt("X" + k, p.X);
      readInt("Y" + k, p.Y);
      points[i - TModCCParaCmd::MinIndex] = p;
      prev = p;
    }
    if (Strict && !ok) return false;
    for (int i = TModCCParaCmd::MinIndex; i <= TModCCParaCmd::MaxIndex; ++i)
      c->SetPoint(i, points[i - TModCCParaCmd::MinIndex]);
  }
  return ok;
}

// ---- Module lookup ----------------------------------------------------------------------------

std::vector<xmlNodePtr> TosKVXCmdDOM::FindModules(const std::string& ID) const {
  std::vector<xmlNodePtr> found;
  xmlNodePtr root = Root();
  if (!root) return found;
  // Pre-order walk of every element below the root; the ID is compared as a value, never put
  // into a query.
  xmlNodePtr n = root->children;
  while (n) {
    std::string id;
    if (IsElement(n, "Modul") && GetAttr(n, "ID", id) && id == ID) found.push_back(n);
    if (n->type == XML_ELEMENT_NODE && n->children) {
      n = n->children;
      continue;
    }
    while (n != root && !n->next) n = n->parent;
    if (n == root) break;
    n = n->next;
  }
  return found;
}

xmlNodePtr TosKVXCmdDOM::FindFirstModule(const std::string& ID) const {
  const auto found = FindModules(ID);
  return found.empty() ? nullptr : found.front();
}

void TosKVXCmdDOM::NoModule(const std::string& FileName, const std::string& ID) {
  SetLastErrorText(FileName + ": no module \"" + cp1252::ToUtf8(ID) + "\" in the file");
}

void TosKVXCmdDOM::NoSection(const std::string& FileName, const std::string& ID, const char* Section) {
  SetLastErrorText(FileName + ": the module \"" + cp1252::ToUtf8(ID) + "\" has no \"" + Section + "\" section");
}

// ---- The index of a file ----------------------------------------------------------------------

bool TosKVXCmdDOM::LoadIndex(const std::string& FileName) {
  std::string data;
  if (!ReadWholeFile(FileName, data)) {
    FIndexValid = false;
    return false;
  }
  if (FIndexValid && data == FIndex.Data) return true;
  FIndexValid = false;
  FIndex = TKvxFileIndex();
  FIndex.Data = std::move(data);
  TKvxIndexScan scan(FIndex, RootName(), KvxVersion);
  const bool scanned = ScanBytes(FIndex.Data, FileName, TKvxIndexScan::Handlers(), &scan);
  // Well-formed, but another root or version: a file of another kind.
  if (scanned && !FIndex.RootOk) SetLastErrorText(FileName + ": not a parameter file of this program");
  if (!scanned || !FIndex.RootOk) {
    // As after a failed load: no usable document.
    FIndex = TKvxFileIndex();
    ClearDocument();
    return false;
  }
  LocateModules(FIndex);
  FIndexValid = true;
  return true;
}

xmlNodePtr TosKVXCmdDOM::LoadModule(const std::string& FileName, const std::string& ID) {
  const TKvxModuleEntry* hit = nullptr;
  for (const TKvxModuleEntry& m : FIndex.Modules) {
    if (m.HasId && m.Id == ID) {
      hit = &m;
      break;
    }
  }
  if (!hit) {
    NoModule(FileName, ID);
    return nullptr;
  }
  if (FIndex.Spans && hit->HasSpan && !hit->InheritsNamespace) {
    // The module's bytes behind the file's own declaration are a document of their own.
    const std::string text = FIndex.Data.substr(0, FIndex.PrologEnd) + "\n" +
                             FIndex.Data.substr(hit->Begin, hit->End - hit->Begin);
    if (LoadFromBytes(text, FileName) && IsElement(Root(), "Modul")) return Root();
  }
  if (!LoadFromBytes(FIndex.Data, FileName)) return nullptr;
  xmlNodePtr module = FindFirstModule(ID);
  if (!module) NoModule(FileName, ID);
  return module;
}

bool TosKVXCmdDOM::SpliceModule(const std::string& ID, std::string& Text) {
  if (!FIndex.Spans) return false;
  const std::string& d = FIndex.Data;
  const TKvxModuleEntry* first = nullptr;
  for (const TKvxModuleEntry& m : FIndex.Modules) {
    if (m.HasId && m.Id == ID) {
      first = &m;
      break;
    }
  }
  std::size_t from = 0, to = 0;
  std::string before, after;
  if (first) {
    // Rewriting keeps the element itself; its bytes are replaced only when they hold nothing
    // but the ID, right below the root.
    if (!first->HasSpan || !first->TopLevel || !first->PlainStartTag || first->InheritsNamespace) return false;
    from = first->Begin;
    to = first->End;
  } else {
    // A new module goes after the root's last child, on a line of its own; not into text.
    if (FIndex.RootEndTag == TKvxFileIndex::npos) return false;
    std::size_t p = FIndex.RootEndTag;
    while (p > 0 && (d[p - 1] == ' ' || d[p - 1] == '\t' || d[p - 1] == '\r' || d[p - 1] == '\n')) --p;
    if (p == 0 || d[p - 1] != '>') return false;
    from = to = FIndex.RootEndTag;
    before = d[from - 1] == '\n' ? "  " : "\n  ";
    after = "\n";
  }

  // The module as the library writes it, indented as a child of the root, in the file's
  // encoding: the whole file then reads as if the library had written it.
  NewDocument();
  xmlDocPtr doc = Doc();
  if (doc->encoding) xmlFree(const_cast<xmlChar*>(doc->encoding));
  doc->encoding = FIndex.Encoding.empty() ? nullptr : xmlStrdup(reinterpret_cast<const xmlChar*>(FIndex.Encoding.c_str()));
  xmlNodePtr module = AppendElement(Root(), "Modul");
  SetAttr(module, "ID", ID);
  WriteModule(module);
  xmlChar* mem = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(doc, &mem, &size, FIndex.Encoding.empty() ? nullptr : FIndex.Encoding.c_str(), 1);
  if (!mem) return false;
  const std::string all(reinterpret_cast<const char*>(mem), size > 0 ? static_cast<std::size_t>(size) : 0);
  xmlFree(mem);
  const std::size_t b = all.find("<Modul");
  const std::size_t e = all.rfind("</" + RootName() + ">");
  if (b == std::string::npos || e == std::string::npos || e <= b + 1 || all[e - 1] != '\n') return false;

  Text.clear();
  Text.reserve(d.size() + (e - b) + 8);
  Text.append(d, 0, from);
  Text += before;
  Text.append(all, b, e - 1 - b);
  Text += after;
  Text.append(d, to, std::string::npos);
  return true;
}

// ---- Operations -------------------------------------------------------------------------------

bool TosKVXCmdDOM::GetModulIDs(const std::string& FileName, TStringList* IDs) {
  if (!IDs) return false;
  try {
    if (!LoadIndex(FileName)) return false;
    const std::size_t before = IDs->size();
    // A file holding an ID twice offers it once: the readers take its first module.
    std::unordered_set<std::string> listed;
    for (const TKvxModuleEntry& m : FIndex.Modules)
      if (m.TopLevel && m.HasId && listed.insert(m.Id).second) IDs->push_back(m.Id);
    return IDs->size() > before;
  } catch (const std::exception&) {
    return false;
  }
}

bool TosKVXCmdDOM::HasModulID(const std::string& FileName, const std::string& ID) {
  TStringList ids;
  if (!GetModulIDs(FileName, &ids)) return false;
  for (const auto& id : ids)
    if (SameText(id, ID)) return true;
  return false;
}

bool TosKVXCmdDOM::CarriesValue(xmlNodePtr CCmd) {
  std::int32_t type = 0;
  if (ReadInt(CCmd, "Type", type) && !IsValueKind(static_cast<TModCmdKind>(type & 0xFF))) return false;
  std::uint16_t groups = 0;
  ReadWord(CCmd, "GCode", groups);
  return !GCodeToGroupSet(groups).Contains(TModCmdGroup::DRUVTEC);
}

void TosKVXCmdDOM::ReadCommands(xmlNodePtr Module) {
  xmlNodePtr commands = FindFirstBelow(Module, "Commands");
  if (!commands) return;
  for (xmlNodePtr c = commands->children; c; c = c->next) {
    if (!IsElement(c, "CCmd")) continue;
    std::int32_t type = 0;
    if (!ReadInt(c, "Type", type)) continue;
    const auto kind = static_cast<TModCmdKind>(type & 0xFF);
    if (!IsValueKind(kind)) continue;
    std::unique_ptr<TModBaseCommand> base = CreateModCommand(kind);
    auto* cmd = dynamic_cast<TModCtrlCommand*>(base.get());
    if (!cmd) continue;
    ReadText(c, "Name", cmd->Name);
    ReadByte(c, "AType", cmd->AType);
    std::string vlist;
    if (GetAttr(c, "VList", vlist)) cmd->VList = SplitString(vlist, '|');
    ReadByte(c, "VType", cmd->VType);
    ReadWord(c, "GCode", cmd->GCode);
    ReadInt(c, "Min", cmd->Min);
    ReadInt(c, "Max", cmd->Max);
    ReadText(c, "Help", cmd->Help);
    if (xmlNodePtr para = FindFirstBelow(c, "Para")) ReadParaValue(para, cmd);
    if (cmd->GetGroups().Contains(TModCmdGroup::DRUVTEC)) continue;  // never taken from a file
    CommandList->Add(base.release());
  }
}

void TosKVXCmdDOM::ReadProcessData(xmlNodePtr Module) {
  xmlNodePtr section = FindFirstBelow(Module, "ProzessData");
  if (!section) return;
  for (xmlNodePtr c = section->children; c; c = c->next) {
    std::int32_t type = -1;
    if (!IsElement(c, "PCmd") || !ReadInt(c, "Type", type) || type != ProzessPara) continue;
    auto cmd = std::make_unique<TModProcCommand>();
    ReadText(c, "Name", cmd->Name);
    ReadByte(c, "AType", cmd->AType);
    ReadByte(c, "VType", cmd->VType);
    ReadWord(c, "GCode", cmd->GCode);
    ReadText(c, "PhysUnit", cmd->PhysUnit);
    ReadInt(c, "CompFactor", cmd->CompFactor);
    ReadText(c, "Help", cmd->Help);
    ProcessData->Add(cmd.release());
  }
}

void TosKVXCmdDOM::ReadStatusInfo(xmlNodePtr Module) {
  xmlNodePtr section = FindFirstBelow(Module, "StatusInfo");
  if (!section) return;
  for (xmlNodePtr c = section->children; c; c = c->next) {
    std::int32_t type = -1;
    if (!IsElement(c, "SCmd") || !ReadInt(c, "Type", type) || type != InfoPara) continue;
    auto cmd = std::make_unique<TModStatusBitCommand>();
    ReadText(c, "Name", cmd->Name);
    ReadByte(c, "AType", cmd->AType);
    ReadByte(c, "BIndex", cmd->BIndex);
    ReadWord(c, "GCode", cmd->GCode);
    ReadBool(c, "BActive", cmd->BActive);
    ReadBool(c, "BInvers", cmd->BInvers);
    ReadByte(c, "BColor", cmd->BColor);
    ReadText(c, "Help", cmd->BHelp);
    StatusInfo->Add(cmd.release());
  }
}

void TosKVXCmdDOM::ReadRemoteCtrl(xmlNodePtr Module) {
  xmlNodePtr section = FindFirstBelow(Module, "RemoteCtrl");
  if (!section) return;
  for (xmlNodePtr c = section->children; c; c = c->next) {
    std::int32_t type = -1;
    if (!IsElement(c, "RCmd") || !ReadInt(c, "Type", type) || type != RemoteCtrlPara) continue;
    auto cmd = std::make_unique<TModRemoteCtrlCmd>();
    ReadText(c, "Name", cmd->Name);
    ReadByte(c, "AType", cmd->AType);
    ReadByte(c, "VType", cmd->VType);
    ReadWord(c, "GCode", cmd->GCode);
    ReadText(c, "Help", cmd->Help);
    RemoteCtrlList->Add(cmd.release());
  }
}

bool TosKVXCmdDOM::ReadModulCmds(const std::string& FileName, const std::string& ID) {
  if (!AllListsSet()) return false;
  try {
    if (!LoadIndex(FileName)) return false;
    CommandList->Clear();
    ProcessData->Clear();
    StatusInfo->Clear();
    // The remote-control list does not own its commands; free them for its owner.
    RemoteCtrlList->FreeCommands();
    xmlNodePtr module = LoadModule(FileName, ID);
    if (!module) return false;
    ReadCommands(module);
    ReadProcessData(module);
    ReadStatusInfo(module);
    ReadRemoteCtrl(module);
    if (FindFirstBelow(module, "RemoteCtrl")) return true;
    NoSection(FileName, ID, "RemoteCtrl");
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

bool TosKVXCmdDOM::ReadModulParaValues(const std::string& FileName, const std::string& ID,
                                       TStringList* Missing, TParaValuesRead* Read) {
  if (Missing) Missing->clear();
  if (Read) *Read = TParaValuesRead();
  if (!CommandList) return false;
  try {
    if (!LoadIndex(FileName)) return false;
    xmlNodePtr module = LoadModule(FileName, ID);
    if (!module) return false;
    xmlNodePtr commands = FindFirstBelow(module, "Commands");
    if (!commands) {
      NoSection(FileName, ID, "Commands");
      return false;
    }
    // The last entry of each name (names compare as the list's do, without regard to case).
    std::unordered_map<std::string, xmlNodePtr> last;
    for (xmlNodePtr c = commands->children; c; c = c->next) {
      std::string name;
      if (IsElement(c, "CCmd") && GetAttr(c, "Name", name)) last[UpperCaseAnsi(name)] = c;
    }
    for (xmlNodePtr c = commands->children; c; c = c->next) {
      std::string name;
      if (!IsElement(c, "CCmd") || !GetAttr(c, "Name", name) || last[UpperCaseAnsi(name)] != c) continue;
      const int idx = CommandList->IndexOf(name);
      auto* cmd = idx >= 0 ? dynamic_cast<TModCtrlCommand*>(CommandList->GetObject(idx)) : nullptr;
      if (!cmd) {
        if (Missing && CarriesValue(c)) Missing->push_back(name);
        continue;
      }
      xmlNodePtr para = FindFirstBelow(c, "Para");
      if (!para) continue;
      // What the writer writes for a text parameter without a text: nothing to take.
      std::string text;
      if (cmd->Kind == TextPara && (!GetAttr(para, "Txt", text) || text.empty())) {
        if (Read) Read->NoValue.push_back(cmd->Name);
      } else if (!ReadParaValue(para, cmd, true)) {
        if (Missing) Missing->push_back(name);
      } else if (Read && IsValueKind(cmd->Kind)) {
        Read->Taken.push_back(cmd->Name);
      }
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TosKVXCmdDOM::WriteModule(xmlNodePtr Module) {
  xmlNodePtr commands = AppendElement(Module, "Commands");
  for (int i = 0; i < CommandList->Count(); ++i) {
    xmlNodePtr cc = AppendElement(commands, "CCmd");
    auto* cmd = dynamic_cast<TModCtrlCommand*>(CommandList->GetObject(i));
    if (!cmd || cmd->Kind == NoPara) continue;
    SetAttr(cc, "Name", cmd->Name);
    SetAttr(cc, "Type", IntText(cmd->Kind));
    SetAttr(cc, "AType", IntText(cmd->AType));
    SetAttr(cc, "VList", JoinValueList(cmd->VList));
    SetAttr(cc, "VType", IntText(cmd->VType));
    SetAttr(cc, "GCode", IntText(cmd->GCode));
    SetAttr(cc, "Min", IntText(cmd->Min));
    SetAttr(cc, "Max", IntText(cmd->Max));
    SetAttr(cc, "Help", cmd->Help);
    xmlNodePtr para = AppendElement(cc, "Para");
    if (auto* t = dynamic_cast<TModTextParaCmd*>(cmd)) {
      SetAttr(para, "Txt", t->Text);
    } else if (auto* n = dynamic_cast<TModNumParaCmd*>(cmd)) {
      SetAttr(para, "Val", IntText(n->Value));
    } else if (auto* c = dynamic_cast<TModCCParaCmd*>(cmd)) {
      for (int k = TModCCParaCmd::MinIndex; k <= TModCCParaCmd::MaxIndex; ++k) {
        const TModCCPoint p = c->GetPoint(k);
        SetAttr(para, ("X" + IntText(k + 10)).c_str(), IntText(p.X));
        SetAttr(para, ("Y" + IntText(k + 10)).c_str(), IntText(p.Y));
      }
    } else if (auto* a = dynamic_cast<TModAinParaCmd*>(cmd)) {
      SetAttr(para, "A", IntText(a->A));
      SetAttr(para, "B", IntText(a->B));
      SetAttr(para, "C", IntText(a->C));
      SetAttr(para, "X", IntText(a->Unit));
    }
  }

  xmlNodePtr process = AppendElement(Module, "ProzessData");
  for (int i = 0; i < ProcessData->Count(); ++i) {
    xmlNodePtr pc = AppendElement(process, "PCmd");
    auto* cmd = dynamic_cast<TModProcCommand*>(ProcessData->GetObject(i));
    if (!cmd) continue;
    SetAttr(pc, "Name", cmd->Name);
    SetAttr(pc, "Type", IntText(ProzessPara));
    SetAttr(pc, "AType", IntText(cmd->AType));
    SetAttr(pc, "PhysUnit", cmd->PhysUnit);
    SetAttr(pc, "VType", IntText(cmd->VType));
    SetAttr(pc, "GCode", IntText(cmd->GCode));
    SetAttr(pc, "CompFactor", IntText(cmd->CompFactor));
    SetAttr(pc, "Help", cmd->Help);
  }

  xmlNodePtr status = AppendElement(Module, "StatusInfo");
  for (int i = 0; i < StatusInfo->Count(); ++i) {
    xmlNodePtr sc = AppendElement(status, "SCmd");
    auto* cmd = dynamic_cast<TModStatusBitCommand*>(StatusInfo->GetObject(i));
    if (!cmd) continue;
    SetAttr(sc, "Name", cmd->Name);
    SetAttr(sc, "Type", IntText(InfoPara));
    SetAttr(sc, "AType", IntText(cmd->AType));
    SetAttr(sc, "GCode", IntText(cmd->GCode));
    SetAttr(sc, "BIndex", IntText(cmd->BIndex));
    SetAttr(sc, "BActive", cmd->BActive ? "True" : "False");
    SetAttr(sc, "BInvers", cmd->BInvers ? "True" : "False");
    SetAttr(sc, "BColor", IntText(cmd->BColor));
    SetAttr(sc, "Help", cmd->BHelp);
  }

  xmlNodePtr remote = AppendElement(Module, "RemoteCtrl");
  for (int i = 0; i < RemoteCtrlList->Count(); ++i) {
    xmlNodePtr rc = AppendElement(remote, "RCmd");
    auto* cmd = dynamic_cast<TModRemoteCtrlCmd*>(RemoteCtrlList->GetObject(i));
    if (!cmd) continue;
    SetAttr(rc, "Name", cmd->Name);
    SetAttr(rc, "Type", IntText(RemoteCtrlPara));
    SetAttr(rc, "AType", IntText(cmd->AType));
    SetAttr(rc, "VType", IntText(cmd->VType));
    SetAttr(rc, "GCode", IntText(cmd->GCode));
    SetAttr(rc, "Help", cmd->Help);
  }
}

bool TosKVXCmdDOM::WriteModulCmds(const std::string& FileName, const std::string& ID) {
  // Without the lists there is nothing to write; a module with empty sections would be a lie.
  if (!AllListsSet()) return false;
  try {
    if (LoadIndex(FileName)) {
      std::string text;
      if (SpliceModule(ID, text)) {
        FIndex = TKvxFileIndex();
        FIndexValid = false;
        return SaveText(FileName, text);
      }
      if (!LoadFromBytes(FIndex.Data, FileName)) return false;
    } else {
      // Something else in the way (another kind of file, a broken one, an unreadable one) is
      // kept as it is; only a missing file starts a new document.
      if (FileExists(FileName)) return false;
      NewDocument();
    }
    const auto found = FindModules(ID);
    xmlNodePtr module = nullptr;
    if (!found.empty()) {
      module = found.front();
      RemoveChildren(module);
    } else {
      module = AppendElement(Root(), "Modul");
    }
    SetAttr(module, "ID", ID);
    WriteModule(module);
    return SaveToFile(FileName);
  } catch (const std::exception&) {
    return false;
  }
}

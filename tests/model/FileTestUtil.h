// Helpers of the file tests: a private temporary folder per test, whole-file reads and writes,
// and a module's four command lists with one command of every kind.
#pragma once

#include <gtest/gtest.h>
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/osDRUVKVXCmdDOMStruc.h"
#include "model/osDRUVModProtBase.h"
#include "TestTempDir.h"

namespace filetest {

using testutil::TempDir;

inline std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const std::string& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

// The four lists of one module, freed like the protocol component frees them.
struct ModuleLists {
  TModCommandList Commands;
  TModProcessData Process;
  TModStatusInfoData Status;
  TModRemoteCtrlCommandList Remote;

  ModuleLists() = default;
  ModuleLists(const ModuleLists&) = delete;
  ModuleLists& operator=(const ModuleLists&) = delete;
  ~ModuleLists() { Clear(); }

  void Clear() {
    Commands.Clear();
    Process.Clear();
    Status.Clear();
    Remote.FreeCommands();
  }

  // Points a file object at these four lists.
  void Bind(TosKVXCmdDOM& dom) {
    dom.CommandList = &Commands;
    dom.ProcessData = &Process;
    dom.StatusInfo = &Status;
    dom.RemoteCtrlList = &Remote;
  }

  template <class T>
  T* Find(const std::string& name) const {
    const int i = Commands.IndexOf(name);
    return i < 0 ? nullptr : dynamic_cast<T*>(Commands.GetObject(i));
  }
};

template <class T>
T* AddCmd(TModCommandList& list, const std::string& name) {
  auto* c = new T();
  c->Name = name;
  c->AType = 3;
  list.Add(c);
  return c;
}

// Windows-1252 bytes: "Druck in °C", "Ä".
inline const std::string kDegreeHelp = "Druck in \xB0" "C";
inline const std::string kAUmlaut = "\xC4";

// One command of every kind, values set, Latin-1 texts included.
inline void FillEveryKind(ModuleLists& m) {
  auto* t = AddCmd<TModTextParaCmd>(m.Commands, "MODE");
  t->VList = {"Gain 1", "Gain 2", kAUmlaut + "nderung"};
  t->SetText(kAUmlaut + "nderung");
  t->Help = "Betriebsart " + kAUmlaut;
  t->GCode = 0x0024;
  t->VType = 3;

  auto* n = AddCmd<TModNumParaCmd>(m.Commands, "P");
  n->Value = -1500;
  n->Min = -32768;
  n->Max = 32767;
  n->VType = 21;
  n->GCode = 0xFFBC;
  n->Help = kDegreeHelp;

  auto* a = AddCmd<TModAinParaCmd>(m.Commands, "AIN1");
  a->A = 100;
  a->B = -50;
  a->C = 7;
  a->Unit = auCurrent;
  a->Help = "Analog input";

  auto* c = AddCmd<TModCCParaCmd>(m.Commands, "CURVE");
  for (int i = -10; i <= 10; ++i) c->SetPoint(i, {i * 1000, -i * 250 + 3});
  c->Min = -10000;
  c->Max = 10000;

  auto* np = new TModCtrlCommand(NoPara);
  np->Name = "RESET";
  np->AType = 1;
  m.Commands.Add(np);

  auto* in = new TModCtrlCommand(InPara);
  in->Name = "IN1";
  m.Commands.Add(in);

  auto* p1 = new TModProcCommand();
  p1->Name = "PV1";
  p1->PhysUnit = "\xB0" "C";
  p1->CompFactor = 100;
  p1->VType = 21;
  p1->GCode = 4;
  p1->Help = kDegreeHelp;
  m.Process.Add(p1);

  auto* s1 = new TModStatusBitCommand();
  s1->Name = "ST:Ready";
  s1->BActive = true;
  s1->BInvers = true;
  s1->BIndex = 3;
  s1->BColor = 2;
  s1->GCode = 4;
  s1->BHelp = "Bereit " + kAUmlaut;
  m.Status.Add(s1);

  auto* r1 = new TModRemoteCtrlCmd();
  r1->Name = "RC:6";
  r1->AType = 3;
  r1->VType = 2;
  r1->GCode = 12;
  r1->Help = "digital input";
  m.Remote.Add(r1);
}

// Runs xmllint --noout on the file; true when it accepts it or when xmllint is not installed.
inline bool XmllintAccepts(const std::string& file, bool* ran = nullptr) {
  if (ran) *ran = false;
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) return true;
  if (ran) *ran = true;
  const std::string cmd = "xmllint --noout --nonet '" + file + "' 2>/dev/null";
  return std::system(cmd.c_str()) == 0;
}

}  // namespace filetest

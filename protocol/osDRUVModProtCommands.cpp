// Single-purpose module commands: save, defaults and load-back, the check of the module behind
// the line, and the remote-control group (remote control on and off, the digital input state,
// the values of the remote-control pins).
#include <string>

#include "protocol/osDRUVModProt.h"
#include "protocol/osDRUVModProtUtil.h"

namespace {

constexpr int kRemoteTimeoutMs = 200;

// The one value of a reply, when the reply holds exactly one item after the command's name.
bool SingleValue(const std::string& Reply, std::string& Value) {
  std::string cmd;
  TStringList values;
  if (!CheckModAnswer(Reply, cmd, values) || values.size() != 1) return false;
  Value = values[0];
  return true;
}

bool SingleInt(const std::string& Reply, std::int32_t& Value) {
  std::string text;
  return SingleValue(Reply, text) && TryStrToInt(text, Value);
}

}  // namespace

// ---- Save, defaults, load-back ----------------------------------------------------------------

namespace {

// How a module command is carried out: as the module's own listed command, refused because the
// listed command cannot be written, or as the fixed line.
enum class TListedCmd { Absent, Writable, NotWritable };

TListedCmd LookUpListed(TModCommandList* List, const std::string& Name, TModCtrlCommand*& Cmd) {
  Cmd = nullptr;
  const int i = List->IndexOf(Name);
  if (i < 0) return TListedCmd::Absent;
  Cmd = dynamic_cast<TModCtrlCommand*>(List->GetObject(i));
  if (!Cmd || (Cmd->AType != 1 && Cmd->AType != 3)) return TListedCmd::NotWritable;
  return TListedCmd::Writable;
}

}  // namespace

// Save, defaults and load-back share one rule: a module that lists its own command of that name
// gets it written like any parameter (with read-back and group follow-up, and no re-read here);
// otherwise the fixed line is sent and, where asked, every parameter is read again.
bool TKVXModCommProt::RunModuleAction(const std::string& ListedName, const std::string& Line,
                                      const std::string& Echo, int TimeoutMs, bool ReadAll) {
  auto lock = LockComm();
  if (!lock) return false;
  TModCtrlCommand* cmd = nullptr;
  switch (LookUpListed(CommandList_.get(), ListedName, cmd)) {
    case TListedCmd::Writable:
      return WriteParameter(cmd);
    case TListedCmd::NotWritable:
      return false;
    case TListedCmd::Absent:
      break;
  }
  std::string reply;
  if (!SendCheckedCommand(Line, Echo, ">", reply, TimeoutMs)) return false;
  return !ReadAll || ReadAllParameters();
}

bool TKVXModCommProt::SaveInModule() { return RunModuleAction("SAVE", "SAVE\r", "SAVE", 2000, false); }

bool TKVXModCommProt::LoadDefaults() {
  return RunModuleAction("DEFAULT", "DEFAULT\r", "DEFAULT", 200, true);
}

bool TKVXModCommProt::Loadback() {
  // Sent in mixed case; the module echoes upper case.
  return RunModuleAction("LOADBACK", "Loadback\r", "LOADBACK", 300, true);
}

// ---- The module behind the line ---------------------------------------------------------------

TModuleIdCheck TKVXModCommProt::CompareModuleId() {
  auto lock = LockComm();
  if (!lock) return micNoAnswer;
  std::string reply;
  if (!SendCommand("ID\r", "ID", ">", reply, 400)) return micNoAnswer;
  return CutReply(reply, 2) == ModuleId_ ? micSameModule : micOtherModule;
}

// ---- Remote control -----------------------------------------------------------------------------

bool TKVXModCommProt::GetRemoteCtrlEnabled() {
  auto lock = LockComm();
  if (!lock) return false;
  std::string reply;
  if (!SendCommand("RC:M\r", "RC:M", ">", reply, kRemoteTimeoutMs)) return false;
  std::string text;
  bool on = false;
  return SingleValue(reply, text) && TryStrToBool(text, on) && on;
}

void TKVXModCommProt::SetRemoteCtrlEnabled(bool Value) {
  auto lock = LockComm();
  if (!lock) return;
  RemoteCtrlOn_ = false;
  if (!RemoteCtrlAvailable_.load()) return;
  std::string reply;
  if (Value)
    RemoteCtrlOn_ = SendCheckedCommand("RC:M 1\r", "RC:M", ">", reply, kRemoteTimeoutMs);
  else
    SendCheckedCommand("RC:M 0\r", "RC:M", ">", reply, kRemoteTimeoutMs);
}

bool TKVXModCommProt::ReadRemoteState(std::uint8_t& State) {
  auto lock = LockComm();
  if (!lock) return false;
  State = 0;
  if (!RemoteCtrlAvailable_.load()) return false;
  std::string reply;
  if (!SendCommand("RC:S\r", "RC:S", ">", reply, kRemoteTimeoutMs)) return false;
  std::int32_t v = 0;
  if (!SingleInt(reply, v)) return false;
  State = static_cast<std::uint8_t>(v & 0xFF);
  return true;
}

bool TKVXModCommProt::WriteRemoteState(std::uint8_t& State) {
  auto lock = LockComm();
  if (!lock) return false;
  // The module takes input states only while its remote control is on.
  if (!GetRemoteCtrlEnabled()) return false;
  std::string reply;
  if (!SendCheckedCommand("RC:S " + std::to_string(State) + "\r", "RC:S", ">", reply,
                          kRemoteTimeoutMs))
    return false;
  State = 0;
  if (!SendCommand("RC:S\r", "RC:S", ">", reply, kRemoteTimeoutMs)) return false;
  std::int32_t v = 0;
  if (!SingleInt(reply, v)) return false;
  State = static_cast<std::uint8_t>(v & 0xFF);
  return true;
}

bool TKVXModCommProt::ReadRemoteCtrlValue(std::uint8_t Pin, std::int32_t& Value) {
  auto lock = LockComm();
  if (!lock) return false;
  TModRemoteCtrlCmd* cmd = RemoteCtrlCmdList_->FindByPin(Pin);
  if (!cmd) return false;
  std::string reply;
  if (!SendCommand(cmd->Name + "\r", cmd->Name, ">", reply, kRemoteTimeoutMs)) return false;
  std::int32_t v = 0;
  if (!SingleInt(reply, v)) return false;
  Value = v;
  cmd->Value = v;
  return true;
}

bool TKVXModCommProt::WriteRemoteCtrlValue(std::uint8_t Pin, std::int32_t& Value) {
  auto lock = LockComm();
  if (!lock) return false;
  TModRemoteCtrlCmd* cmd = RemoteCtrlCmdList_->FindByPin(Pin);
  if (!cmd || !RemoteCtrlOn_.load()) return false;
  std::string reply;
  if (!SendCheckedCommand(cmd->Name + " " + std::to_string(Value) + "\r", cmd->Name, ">", reply,
                          kRemoteTimeoutMs))
    return false;
  Value = 0;
  if (!SendCommand(cmd->Name + "\r", cmd->Name, ">", reply, kRemoteTimeoutMs)) return false;
  std::int32_t v = 0;
  if (!SingleInt(reply, v)) return false;
  Value = v;
  cmd->Value = v;
  return true;
}

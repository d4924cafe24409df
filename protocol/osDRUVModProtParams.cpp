// Reading parameters from the module and writing them back.
#include <string>

#include "protocol/osDRUVModProt.h"
#include "protocol/osDRUVModProtUtil.h"

namespace {

constexpr int kParamTimeoutMs = 2000;

bool IsInt(const std::string& S, std::int32_t& V) { return TryStrToInt(S, V); }

// The value texts of one reply given to a command by its kind. Values that do not fit the kind's
// rule leave the command as it was.
void AssignValues(TModCtrlCommand* Cmd, const TStringList& V) {
  std::int32_t n = 0;
  switch (Cmd->Kind) {
    case TextPara:
      if (auto* t = dynamic_cast<TModTextParaCmd*>(Cmd); t && V.size() == 1) t->SetText(V[0]);
      break;
    case NumPara:
      if (auto* p = dynamic_cast<TModNumParaCmd*>(Cmd); p && V.size() == 1 && IsInt(V[0], n))
        p->Value = n;
      break;
    case RemoteCtrlPara:
      if (auto* r = dynamic_cast<TModRemoteCtrlCmd*>(Cmd); r && V.size() == 1 && IsInt(V[0], n))
        r->Value = n;
      break;
    case CCPara: {
      auto* c = dynamic_cast<TModCCParaCmd*>(Cmd);
      std::int32_t i = 0, x = 0, y = 0;
      if (c && V.size() == 3 && IsInt(V[0], i) && IsInt(V[1], x) && IsInt(V[2], y) &&
          i >= TModCCParaCmd::MinIndex && i <= TModCCParaCmd::MaxIndex)
        c->SetPoint(i, TModCCPoint{x, y});
      break;
    }
    case AinPara: {
      auto* a = dynamic_cast<TModAinParaCmd*>(Cmd);
      if (!a) break;
      if (V.size() > 0 && IsInt(V[0], n)) a->A = n;
      if (V.size() > 1 && IsInt(V[1], n)) a->B = n;
      if (V.size() > 2 && IsInt(V[2], n)) a->C = n;
      if (V.size() > 3) a->Unit = IsCurrentLetter(V[3]) ? auCurrent : auVoltage;
      break;
    }
    default:
      break;
  }
}

// Calls the busy-cursor event around a block, also when the block is left early.
class BusyScope {
 public:
  explicit BusyScope(const std::function<void(bool)>& Set) : Set_(Set) { Set_(true); }
  ~BusyScope() { Set_(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  std::function<void(bool)> Set_;
};

}  // namespace

// ---- Read ---------------------------------------------------------------------------------------

bool TKVXModCommProt::ReadParameter(TModCtrlCommand* Cmd) {
  auto lock = LockComm();
  if (!lock) return false;
  if (!Cmd || CommandList_->IndexOfObject(Cmd) < 0) return false;
  if (Cmd->AType != 2 && Cmd->AType != 3) return false;
  if (Cmd->Kind == NoPara) return false;
  const std::string name = Cmd->Name;
  std::string reply;

  if (Cmd->Kind == CCPara) {
    for (int i = TModCCParaCmd::MinIndex; i <= TModCCParaCmd::MaxIndex; ++i) {
      const std::string key = name + ":" + std::to_string(i);
      if (!SendCommand(key + "\r", name, ">", reply, kParamTimeoutMs)) return false;
      std::string k = key;
      TStringList values;
      if (!CheckModAnswer(reply, k, values)) continue;  // refused point: skipped
      // The echoed key leaves an empty first item; the point itself is index, X and Y, and the
      // index must be the one asked for, or the point is not taken. In half duplex the key is
      // the module's own echo, which may differ from the listed name in letter case.
      if (!values.empty() && (values.front().empty() || SameText(values.front(), key)))
        values.erase(values.begin());
      std::int32_t idx = 0, x = 0, y = 0;
      if (values.size() != 3 || !TryStrToInt(values[0], idx) || idx != i ||
          !TryStrToInt(values[1], x) || !TryStrToInt(values[2], y))
        continue;
      UpdateInfo_->Values = values;
      UpdateInfo_->CmdName = name;
      ApplyUpdateInfo();
    }
    return true;
  }

  if (!SendCommand(name + "\r", name, ">", reply, kParamTimeoutMs)) return false;
  std::string k;
  TStringList values;
  if (!CheckModAnswer(reply, k, values)) return false;
  UpdateInfo_->Values = values;
  UpdateInfo_->CmdName = k;
  ApplyUpdateInfo();
  return true;
}

bool TKVXModCommProt::ReadAllParameters() {
  auto lock = LockComm();
  if (!lock) return false;
  if (CommandList_->Count() == 0) return false;
  auto readable = [this](int i) {
    auto* cmd = dynamic_cast<TModCtrlCommand*>(CommandList_->GetObject(i));
    return cmd && (cmd->AType == 2 || cmd->AType == 3) && cmd->Kind != NoPara ? cmd : nullptr;
  };
  int total = 0;
  for (int i = 0; i < CommandList_->Count(); ++i)
    if (readable(i)) ++total;
  int done = 0;
  for (int i = 0; i < CommandList_->Count(); ++i) {
    TModCtrlCommand* cmd = readable(i);
    if (!cmd) continue;
    // A stop between two reads: the values read so far are the module's, the rest unread.
    if (!Progress(pgsReadParameters, done, total)) return false;
    if (!ReadParameter(cmd)) return false;
    ++done;
  }
  Progress(pgsReadParameters, done, total);
  return true;
}

bool TKVXModCommProt::AssignReplyValues(TModCtrlCommand* Cmd, const TStringList* Values) {
  if (!Cmd || !Values) return false;
  AssignValues(Cmd, *Values);
  return true;
}

void TKVXModCommProt::ApplyUpdateInfo() {
  const int idx = CommandList_->IndexOf(UpdateInfo_->CmdName);
  if (idx < 0) return;
  auto* cmd = dynamic_cast<TModCtrlCommand*>(CommandList_->GetObject(idx));
  if (!cmd) return;
  AssignValues(cmd, UpdateInfo_->Values);
  cmd->DoChange();
}

// ---- Write --------------------------------------------------------------------------------------

bool TKVXModCommProt::WriteValueLine(TModCtrlCommand* Cmd) {
  std::string reply;
  return SendCheckedCommand(Cmd->Name + " " + Cmd->GetValueStr() + "\r", Cmd->Name, ">", reply,
                            kParamTimeoutMs);
}

bool TKVXModCommProt::WriteParameterValue(TModCtrlCommand* Cmd, bool& Handled) {
  Handled = true;
  switch (Cmd->Kind) {
    case TextPara:
    case NumPara:
    case AinPara:
      return WriteValueLine(Cmd);
    case CCPara:
      return WriteCurveLines(dynamic_cast<TModCCParaCmd*>(Cmd));
    default:
      Handled = false;
      return false;
  }
}

bool TKVXModCommProt::WriteCurveLines(TModCCParaCmd* Cmd) {
  if (!Cmd) return false;
  auto line = [Cmd](int i) {
    const TModCCPoint p = Cmd->GetPoint(i);
    return Cmd->Name + ":" + std::to_string(i) + " " + std::to_string(p.X) + " " +
           std::to_string(p.Y) + " \r";
  };
  std::string reply;
  // 10 down to 0, then -10 up to -1: the order the module expects its points in.
  for (int i = TModCCParaCmd::MaxIndex; i >= 0; --i)
    if (!SendCheckedCommand(line(i), Cmd->Name, ">", reply, kParamTimeoutMs)) return false;
  for (int i = TModCCParaCmd::MinIndex; i < 0; ++i)
    if (!SendCheckedCommand(line(i), Cmd->Name, ">", reply, kParamTimeoutMs)) return false;
  return true;
}

bool TKVXModCommProt::WriteParameter(TModCtrlCommand* Cmd) {
  auto lock = LockComm();
  if (!lock) return false;
  if (!Cmd || CommandList_->IndexOfObject(Cmd) < 0) return false;
  if (Cmd->AType != 1 && Cmd->AType != 3) return false;

  bool result = Cmd->Kind == CCPara ? WriteCurveLines(dynamic_cast<TModCCParaCmd*>(Cmd))
                                    : WriteValueLine(Cmd);
  if (!result) return false;
  // A write-only parameter cannot be read back; its accepted write is the result.
  if (Cmd->Kind != NoPara && Cmd->AType != 1) result = ReadParameter(Cmd);

  // The follow-up may identify the module again, which frees Cmd: take what is needed now.
  const TModCmdGroups groups = Cmd->GetGroups();
  std::uint16_t code = 0;
  if (!ReadAccessCode(code) || !result) return result;

  BusyScope busy([this](bool on) { BusyCursor(on); });
  const bool newTab = groups.Contains(TModCmdGroup::NewTab);
  const bool newData = groups.Contains(TModCmdGroup::NewData);
  if (newTab && newData) {
    std::string id;
    IdentifyModule(id);
  } else {
    if (newData) ReadAllParameters();
    if (newTab && ParameterList_) {
      ParameterList_->Fill(CommandList_.get(), code);
      ReadAllParameters();
    }
  }
  return result;
}

bool TKVXModCommProt::WriteAllParameters(TStringList* FailList) {
  auto lock = LockComm();
  if (!lock) return false;
  if (FailList) FailList->clear();
  bool failed = false;
  for (int i = 0; i < CommandList_->Count(); ++i) {
    auto* cmd = dynamic_cast<TModCtrlCommand*>(CommandList_->GetObject(i));
    // A read-only parameter is refused by the module ("command error"), which now counts as a
    // failed write: it is not sent at all.
    if (!cmd || cmd->AType == 2) continue;
    bool handled = false;
    const bool ok = WriteParameterValue(cmd, handled);
    if (!handled) continue;
    if (!ok) {
      // A curve that did not arrive whole is as much a failure as any other parameter.
      failed = true;
      if (FailList) FailList->push_back(cmd->Name);
    }
  }
  if (CommandList_->Count() == 0 || failed) return false;
  return ReadAllParameters();
}

bool TKVXModCommProt::RefreshParameterList() {
  auto lock = LockComm();
  if (!lock) return false;
  if (!ParameterList_) return false;
  std::uint16_t code = 0;
  if (ReadAccessCode(code)) {
    if (!ReadAllParameters()) return false;
    return ParameterList_ && ParameterList_->Fill(CommandList_.get(), code);
  }
  return ReadAllParameters();
}

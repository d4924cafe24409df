// Parameter files: the text file ".par" and the XML file ".kvx" saved from and loaded into the
// module (or the offline command model), and the offline load of a whole module description.
//
// Nothing here throws to the caller: file-system and port failures become the operation's
// failed result, and LastFileError keeps the reason for the window to show. The user's questions
// are asked before the module is touched, without the exchange lock held, so a dialog never keeps
// the scope poll waiting.
#include <algorithm>
#include <exception>
#include <string>
#include <unordered_set>

#include "model/osDRUVKVXCmdDOMStruc.h"
#include "model/osFileUtils.h"
#include "protocol/osDRUVModProt.h"
#include "protocol/osDRUVModProtUtil.h"
#include "protocol/osDRUVParamText.h"

namespace {

constexpr std::uint8_t kFileDone = 0;
constexpr std::uint8_t kNoModule = 2;
constexpr std::uint8_t kWrongModule = 3;
constexpr std::uint8_t kFileUnusable = 4;

constexpr TModalResult kMrOk = 1;
constexpr std::uint16_t kAllGroups = 0xFFFF;
constexpr int kDownloadTimeoutMs = 2000;

void AddName(TStringList& list, const std::string& name) {
  if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
}

// A save stopped by an exception from below (memory): it failed, without a reason of the system.
std::string NotSaved(const std::string& FileName) { return FileName + ": not saved"; }

bool IsWritable(const TModCtrlCommand* Cmd) { return Cmd->AType == 1 || Cmd->AType == 3; }

// Factory parameters are never carried from a file into a module.
bool IsFactoryParameter(const TModCtrlCommand* Cmd) {
  return Cmd->GetGroups().Contains(TModCmdGroup::DRUVTEC);
}

// The kinds a full write sends (text, number, analog input, curve).
bool WritesValue(const TModCtrlCommand* Cmd) {
  return Cmd->Kind == TextPara || Cmd->Kind == NumPara || Cmd->Kind == AinPara || Cmd->Kind == CCPara;
}

// A line lost after the last write (under a write's follow-up or while the module is read
// again) ends the download as much as one lost under a write: the lost line is the one thing to
// say, and what failed with it is not the file's fault.
void NoteLineLost(const TKVXModCommProt& Prot, TDownloadReport& Report, std::uint8_t& Result) {
  if (Report.LineLost || !Prot.LineHungUp()) return;
  Report.LineLost = true;
  Result = kFileUnusable;
}

}  // namespace

void TKVXModCommProt::SetFileError(TFileErrorKind Kind, const std::string& Text) {
  LastFileError_.Kind = Kind;
  LastFileError_.Text = Kind == fekFailed ? Text : std::string();
}

// ---- ".par" -------------------------------------------------------------------------------------

bool TKVXModCommProt::SaveParameterText(const std::string& FileName) {
  SetFileError(fekNone);
  try {
    if (!CommandList_ || !ModuleLoaded_) return false;
    std::string error;
    if (SaveFileReplacing(FileName, BuildParameterText(ModuleId_, *CommandList_), &error)) return true;
    SetFileError(fekFailed, error);
    return false;
  } catch (...) {
    SetFileError(fekFailed, NotSaved(FileName));
    return false;
  }
}

std::uint8_t TKVXModCommProt::DownloadParameterText(const std::string& FileName, bool SkipIdCheck) {
  SetFileError(fekNone);
  LastDownload_ = TDownloadReport();
  TDownloadReport& report = LastDownload_;
  TStoppable stoppable(this);
  TStringList errors;
  std::unordered_set<std::string> listed;
  // A name not written, once, with why; all but a read-only one are failures to report.
  auto notWritten = [&](const std::string& Name, const std::string& Reason, bool Failure) {
    if (!listed.insert(Name).second) return;
    report.NotWritten.push_back({Name, Reason});
    if (Failure) errors.push_back(Name);
  };
  std::uint8_t result = kFileDone;
  try {
    if (!CommandList_ || !ModuleLoaded_) return kNoModule;
    std::string data, error;
    if (LoadFileBytes(FileName, data, &error) != flrOk) {
      SetFileError(fekFailed, error);
      return kFileUnusable;
    }
    const TParFileContent file = ParseParameterText(data);
    if (!file.Usable) return kFileUnusable;

    if (!SkipIdCheck) {
      int number = 0;
      double version = 0;
      std::string name, own;
      if (!SplitModuleId(file.IdText, number, name, version)) return kWrongModule;
      GetModuleIdName(own);
      if (name != own) return kWrongModule;
    }

    switch (file.Section) {
      case psNone:
      case psBlockOpen:
        // Nothing a module could take: not a success.
        return kFileUnusable;

      case psBlock: {
        auto lock = LockComm();
        if (!lock) return kNoModule;
        std::string reply;
        if (!SendCheckedCommand("DOWNLOAD\r", "DOWNLOAD", "!", reply, kDownloadTimeoutMs))
          return kFileUnusable;
        // Full duplex: the module's echo of the block is passed over up to its confirmation.
        // Half duplex: the reply begins with the echoed block, so the confirmation is looked for
        // anywhere in it.
        const bool fdx = TransferMode() == tmFullDuplex;
        if (!SendCommand(file.Block + "\r", fdx ? "completed!" : "", ">", reply, kDownloadTimeoutMs) ||
            reply.find("completed!") == std::string::npos || kvxprot::HasCommandError(reply))
          return kFileUnusable;
        RefreshParameterList();
        return kFileDone;
      }

      case psParameters:
        break;
    }

    auto lock = LockComm();
    if (!lock) return kNoModule;
    const bool online = GetPortOpen();
    report.Values = true;
    report.Online = online;
    // Every line of one parameter (the points of a curve, a name given again) makes one
    // parameter, written once after all of its lines are loaded: the module gets a curve with a
    // twenty-first of the traffic, and the report counts each parameter once.
    const std::vector<TParEntry> entries = GroupParLines(*CommandList_, file.Lines);
    report.Total = static_cast<int>(entries.size());

    // One parameter of the file; false when the line hung up under its write.
    auto take = [&](const TParEntry& Entry) {
      // Resolved now: an earlier write may have identified the module again and renewed every
      // command.
      std::vector<TStringList> values(Entry.Lines.size());
      TModCtrlCommand* cmd = nullptr;
      for (std::size_t i = 0; i < Entry.Lines.size(); ++i) {
        const TParLine& line = file.Lines[Entry.Lines[i]];
        cmd = ResolveParLine(*CommandList_, line, values[i]);
        if (!cmd) {
          notWritten(line.Name, "unknown name", true);
          return true;
        }
      }
      const std::string name = cmd->Kind == CCPara ? cmd->Name : file.Lines[Entry.Lines.front()].Name;
      // A read-only parameter keeps the module's own value.
      if (online && !IsWritable(cmd)) {
        notWritten(name, "read-only", false);
        return true;
      }
      // A value the command cannot hold is reported, and nothing is loaded or written for it
      // (for a curve: for none of its points). A line without a value (an upload writes one for
      // a text parameter without a text) loads nothing either: it is named, but it is no fault.
      bool bad = false, any = false;
      std::vector<TParValueCheck> checks(values.size());
      for (std::size_t i = 0; i < values.size(); ++i) {
        checks[i] = CheckParValues(*cmd, values[i]);
        if (IsBadParValue(checks[i])) {
          notWritten(file.Lines[Entry.Lines[i]].Name, ParValueCheckText(checks[i]), true);
          bad = true;
        }
        any = any || checks[i] == pvFits;
      }
      if (!bad && !any) notWritten(name, ParValueCheckText(pvNoValue), false);
      if (bad || !any) return true;
      // In file order: a name given again overrides the value before it.
      for (std::size_t i = 0; i < values.size(); ++i)
        if (checks[i] == pvFits) AssignReplyValues(cmd, &values[i]);
      if (!online) {
        cmd->DoChange();
        ++report.Written;
        return true;
      }
      if (WriteParameter(cmd)) {
        ++report.Written;
        return true;
      }
      // Nothing can be sent any more; the window reports the lost line.
      if (LineHungUp()) return false;
      result = kFileUnusable;
      notWritten(name, "not taken by the module", true);
      return true;
    };

    for (const TParEntry& entry : entries) {
      // A stop between two parameters.
      if (!Progress(pgsWriteParameters, report.Done, report.Total)) break;
      if (!take(entry)) {
        report.LineLost = true;
        result = kFileUnusable;
        break;
      }
      ++report.Done;
    }
    if (!Stopped_ && !report.LineLost) Progress(pgsWriteParameters, report.Done, report.Total);
    // A refused or unanswered write leaves the file's value in the command: show what the module
    // holds instead, as after an XML download. (A stopped download is read again by whoever
    // stopped it.)
    if (online && result != kFileDone && !Stopped_ && !report.LineLost) ReadAllParameters();
    if (online) NoteLineLost(*this, report, result);
  } catch (...) {
    result = kFileUnusable;
  }
  // A lost line is the one thing to say: what failed with it is not the file's fault.
  if (!errors.empty() && OnParaDownloadError && !report.LineLost) OnParaDownloadError(this, errors);
  return result;
}

// ---- ".kvx" -------------------------------------------------------------------------------------

bool TKVXModCommProt::SaveParameterXml(const std::string& FileName) {
  SetFileError(fekNone);
  try {
    // Without an identified module there is nothing true to save.
    if (!ModuleLoaded_) return false;
    TosKVXCmdDOM dom;
    dom.CommandList = CommandList_.get();
    dom.ProcessData = ProcessData_.get();
    dom.StatusInfo = StatusInfoData_.get();
    dom.RemoteCtrlList = RemoteCtrlCmdList_.get();
    if (OnInfoMsg && dom.HasModulID(FileName, ModuleId_)) {
      TModalResult answer = 0;
      OnInfoMsg(this, cpmkImpFktOverWriteQuestion, answer);
      if (answer != kMrOk) {
        SetFileError(fekDeclined);
        return false;
      }
    }
    if (dom.WriteModulCmds(FileName, ModuleId_)) return true;
    // A file that reads as XML but is no parameter file leaves the reader no text of its own.
    const std::string& reason = dom.LastErrorText();
    SetFileError(fekFailed, !reason.empty() ? reason : FileName + ": not a parameter file of this program");
    return false;
  } catch (...) {
    SetFileError(fekFailed, NotSaved(FileName));
    return false;
  }
}

std::uint8_t TKVXModCommProt::DownloadParameterXml(const std::string& FileName) {
  SetFileError(fekNone);
  LastDownload_ = TDownloadReport();
  TDownloadReport& report = LastDownload_;
  TStoppable stoppable(this);
  TStringList errors;
  std::uint8_t result = kFileDone;
  try {
    if (!ModuleLoaded_) return kNoModule;
    TosKVXCmdDOM dom;
    dom.CommandList = CommandList_.get();
    TStringList ids;
    if (!dom.GetModulIDs(FileName, &ids)) {
      if (!dom.LastErrorText().empty()) SetFileError(fekFailed, dom.LastErrorText());
      return kFileUnusable;
    }

    int sel = -1;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      if (SameText(ids[i], ModuleId_)) {
        sel = static_cast<int>(i);
        break;
      }
    }
    bool asked = false;
    if (sel < 0 && OnModIdSelRequest && OnInfoMsg) {
      TModalResult answer = 0;
      OnInfoMsg(this, cpmkImpFktNoValidModulId, answer);
      if (answer == kMrOk) OnModIdSelRequest(this, ids, sel);
      asked = true;
    }
    if (sel < 0 || sel >= static_cast<int>(ids.size())) {
      if (asked) SetFileError(fekDeclined);
      return kWrongModule;
    }

    auto lock = LockComm();
    if (!lock) return kNoModule;
    TosKVXCmdDOM::TParaValuesRead read;
    if (!dom.ReadModulParaValues(FileName, ids[static_cast<std::size_t>(sel)], &errors, &read)) {
      errors.clear();
      if (!dom.LastErrorText().empty()) SetFileError(fekFailed, dom.LastErrorText());
      return kWrongModule;
    }
    report.Values = true;
    report.Online = GetPortOpen();
    // The names the file gave no value for: the module lacks them, or the value does not fit.
    for (const std::string& name : errors) {
      const int idx = CommandList_->IndexOf(name);
      const auto* cmd = idx >= 0 ? dynamic_cast<TModCtrlCommand*>(CommandList_->GetObject(idx)) : nullptr;
      report.NotWritten.push_back({name, !cmd                      ? "unknown name"
                                         : cmd->Kind == TextPara ? ParValueCheckText(pvTextNotListed)
                                                                 : "not a whole number of 32 bits"});
    }
    // Named, but no fault: the program's own upload writes an empty text.
    for (const std::string& name : read.NoValue) report.NotWritten.push_back({name, ParValueCheckText(pvNoValue)});

    if (report.Online) {
      // A command whose value the file could not give keeps the module's own: it is not
      // written back as if it came from the file.
      std::unordered_set<std::string> notTaken;
      for (const std::string& name : errors) notTaken.insert(UpperCaseAnsi(name));
      for (const std::string& name : read.NoValue) notTaken.insert(UpperCaseAnsi(name));
      // The file's values that are not written on purpose, as in a text file: said, not failed.
      for (const std::string& name : read.Taken) {
        const auto* cmd = dynamic_cast<TModCtrlCommand*>(CommandList_->GetObject(CommandList_->IndexOf(name)));
        if (cmd && !IsWritable(cmd))
          report.NotWritten.push_back({name, "read-only"});
        else if (cmd && IsFactoryParameter(cmd))
          report.NotWritten.push_back({name, "factory parameter"});
      }
      // Every value parameter the module lets us set; a refused or unanswered write is a
      // failure, reported by name.
      auto writable = [this, &notTaken](int i) {
        auto* cmd = dynamic_cast<TModCtrlCommand*>(CommandList_->GetObject(i));
        return cmd && IsWritable(cmd) && !IsFactoryParameter(cmd) && WritesValue(cmd) &&
                       !notTaken.count(UpperCaseAnsi(cmd->Name))
                   ? cmd
                   : nullptr;
      };
      for (int i = 0; i < CommandList_->Count(); ++i)
        if (writable(i)) ++report.Total;
      for (int i = 0; i < CommandList_->Count(); ++i) {
        TModCtrlCommand* cmd = writable(i);
        if (!cmd) continue;
        // A stop between two parameters; the rest keep the module's values.
        if (!Progress(pgsWriteParameters, report.Done, report.Total)) break;
        bool handled = false;
        const bool ok = WriteParameterValue(cmd, handled);
        if (!ok && handled && LineHungUp()) {
          report.LineLost = true;
          result = kFileUnusable;
          break;
        }
        ++report.Done;
        if (!handled) continue;
        if (ok) {
          ++report.Written;
        } else {
          result = kFileUnusable;
          AddName(errors, cmd->Name);
          report.NotWritten.push_back({cmd->Name, "not taken by the module"});
        }
      }
      // What the module now holds, also for the parameters it did not take or may not be set.
      if (!Stopped_ && !report.LineLost) {
        Progress(pgsWriteParameters, report.Done, report.Total);
        if (!ReadAllParameters() && CommandList_->Count() > 0) result = kFileUnusable;
      }
      NoteLineLost(*this, report, result);
    } else {
      report.Total = report.Done = report.Written = static_cast<int>(read.Taken.size());
      if (ParameterList_) ParameterList_->RefreshValues();
    }
  } catch (...) {
    result = kFileUnusable;
  }
  if (!errors.empty() && OnParaDownloadError && !report.LineLost) OnParaDownloadError(this, errors);
  return result;
}

// ---- Offline module description -------------------------------------------------------------------

bool TKVXModCommProt::OpenModuleDescription(const std::string& FileName) {
  SetFileError(fekNone);
  try {
    if (GetPortOpen()) return false;
    // The file is read away from the window (it may be large) into lists of its own, which
    // replace the module's only once they are complete.
    auto commands = std::make_unique<TModCommandList>();
    auto processData = std::make_unique<TModProcessData>();
    auto statusInfo = std::make_unique<TModStatusInfoData>();
    auto remoteCtrl = std::make_unique<TModRemoteCtrlCommandList>();
    TosKVXCmdDOM dom;
    dom.CommandList = commands.get();
    dom.ProcessData = processData.get();
    dom.StatusInfo = statusInfo.get();
    dom.RemoteCtrlList = remoteCtrl.get();
    TStringList ids;
    bool listed = false;
    RunAside([&] { listed = dom.GetModulIDs(FileName, &ids); });
    if (!listed) {
      // A file that cannot be loaded leaves no module, not the old one without its name.
      SetFileError(fekFailed, !dom.LastErrorText().empty() ? dom.LastErrorText() : FileName + ": no module in the file");
      auto lock = LockComm();
      DropModuleLocked();
      return false;
    }
    int sel = 0;
    if (ids.size() > 1 && OnModIdSelRequest) OnModIdSelRequest(this, ids, sel);
    if (sel < 0 || sel >= static_cast<int>(ids.size())) {
      // The user chose none: the module loaded before stays, whole.
      SetFileError(fekDeclined);
      return false;
    }
    const std::string id = ids[static_cast<std::size_t>(sel)];
    bool read = false;
    RunAside([&] { read = dom.ReadModulCmds(FileName, id); });
    // The remote-control list does not own its commands.
    struct TFreeRemote {
      std::unique_ptr<TModRemoteCtrlCommandList>& List;
      ~TFreeRemote() {
        if (List) List->FreeCommands();
      }
    } freeRemote{remoteCtrl};

    auto lock = LockComm();
    if (!lock) return false;
    if (!read) {
      SetFileError(fekFailed, !dom.LastErrorText().empty() ? dom.LastErrorText() : FileName + ": not loaded");
      // No module: no view may keep pointers to commands of the one before.
      DropModuleLocked();
      return false;
    }
    // The old lists go (with freeRemote and the unique pointers) once the views have the new.
    ClearListsLocked();
    std::swap(CommandList_, commands);
    std::swap(ProcessData_, processData);
    std::swap(StatusInfoData_, statusInfo);
    std::swap(RemoteCtrlCmdList_, remoteCtrl);
    ModuleId_ = id;
    ModuleLoaded_ = true;
    FillParameterList(kAllGroups);
    if (Monitor_) {
      Monitor_->SetProcessDataStructure(ProcessData_.get());
      Monitor_->FireStatusInfoStrucInit(StatusInfoData_.get());
    }
    if (IScopeView* scope = Scope_.load()) scope->SetProcessDataStructure(ProcessData_.get());
    RemoteCtrlAvailable_ = RemoteCtrlCmdList_->Count() > 0;
    RemoteCtrlOn_ = false;
    return true;
  } catch (...) {
    return false;
  }
}

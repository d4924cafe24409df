// Module data commands (Default, Save, Loadback) and parameter files: upload and download of
// ".par" and ".kvx" files, the offline data and the ".kvx" viewer, and the File menu's enabling.
//
// Nothing is overwritten without a question and nothing fails silently: a ".par" upload over an
// existing file asks first (the ".kvx" writer asks itself per module), and a file that cannot be
// read or written is reported with the system's reason. A question the user declined shows
// nothing more.
#include <QAction>
#include <QStackedWidget>
#include <algorithm>
#include <climits>
#include <vector>

#include "app/KVX7MainForm.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "model/osFileUtils.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplIni.h"
#include "services/osBusyMode.h"
#include "services/osDialogHooks.h"

namespace {

const char* const kParaFilter = "Modulparameter *.par (old) (*.par);;Modulparameter *.kvx (new) (*.kvx)";
const char* const kOfflineFilter = "Offline Modulparameter (*.kvx)";
const char* const kViewFilter = "KVX Modulparameter (*.kvx)";

// Download results of the protocol.
constexpr std::uint8_t kNoModule = 2;
constexpr std::uint8_t kWrongModule = 3;
constexpr std::uint8_t kFileUnusable = 4;

const char* const kNotCorrectText = "The selected file is not correct or empty!";

void ShowSaved(const std::string& FileName) {
  AdvMessageDlg("Data saved in \"" + FileNameShown(FileName) + "\"", mtInformation, {mbOK}, 0);
}

// The reason the protocol gave for a file it could not read or write; empty for any other end.
std::string FailureReason(const TKVXModCommProt& Prot) {
  const TFileError& e = Prot.LastFileError();
  return e.Kind == fekFailed ? FileErrorShown(e.Text) : std::string();
}

void ShowSaveFailure(const TKVXModCommProt& Prot) {
  const std::string reason = FailureReason(Prot);
  if (!reason.empty()) AdvMessageDlg("The file could not be saved:\n" + reason, mtError, {mbOK}, 0);
}

// "The selected file is not correct or empty!", with the system's reason when the file could not
// be read at all.
void ShowNotCorrect(const TKVXModCommProt& Prot) {
  const std::string reason = FailureReason(Prot);
  AdvMessageDlg(reason.empty() ? kNotCorrectText : std::string(kNotCorrectText) + "\n" + reason,
                mtError, {mbOK}, 0);
}

QString Parameters(int N) { return QString("%1 parameter%2").arg(N).arg(N == 1 ? "" : "s"); }

// The names a download did not write, by reason, the reasons in the order they first came up; at
// most ten names of each, the rest counted.
QString NotWrittenText(const TDownloadReport& Report) {
  constexpr int kNamesShown = 10;
  struct TGroup {
    std::string Reason;
    QStringList Names;
    int Count = 0;
  };
  std::vector<TGroup> groups;
  for (const TDownloadReport::TNotWritten& n : Report.NotWritten) {
    auto g = std::find_if(groups.begin(), groups.end(), [&n](const TGroup& G) { return G.Reason == n.Reason; });
    if (g == groups.end()) g = groups.insert(groups.end(), TGroup{n.Reason, {}, 0});
    if (g->Count++ < kNamesShown) g->Names << ParamNameShown(n.Name);
  }
  QStringList parts;
  for (const TGroup& g : groups) {
    QString names = g.Names.join(", ");
    if (g.Count > kNamesShown) names += QString(" and %1 more").arg(g.Count - kNamesShown);
    parts << names + " (" + FromAnsi(g.Reason) + ")";
  }
  return parts.join("; ");
}

// What a download that took the file's values did: how far it got when it did not end, what the
// module (or the offline data) got, and every name it did not get with why.
QString DownloadResultText(const TDownloadReport& Report, bool Stopped) {
  const QString what =
      Parameters(Report.Written) + (Report.Online ? " written to the module" : " loaded into the offline data");
  QString text = "Download: " + what;
  if (Stopped || Report.LineLost)
    text = QString("Download stopped after %1 of %2").arg(Report.Done).arg(Parameters(Report.Total)) +
           (Report.LineLost ? " (the line was lost): " : ": ") + what;
  if (!Report.NotWritten.empty())
    text += (Report.Online ? "; not written: " : "; not loaded: ") + NotWrittenText(Report);
  return text;
}

// The folder of a file chosen through one of the parameter file commands. A settings file that
// cannot be written is reported, and the command goes on.
void RememberParaFolder(TosApplIni& Ini, const std::string& FileName) {
  try {
    Ini.WriteString(ApplSection, ParaFilePathKey, ExtractFilePath(FileName));
  } catch (const std::exception& e) {
    AdvMessageDlg(e.what(), mtError, {mbOK}, 0);
  }
}

}  // namespace

QString ParamNameShown(const std::string& Name) {
  constexpr std::size_t kLongest = 40;
  if (Name.size() <= kLongest) return FromAnsi(Name);
  return FromAnsi(Name.substr(0, 32)) + QString("... (%1 characters)").arg(Name.size());
}

std::string TKVXMainForm::RememberedFolder(const char* Key) const {
  return StartFolder(ApplIni->ReadString(ApplSection, Key, ""));
}

void TKVXMainForm::RememberFolder(const char* Key, const std::string& FileName) {
  try {
    ApplIni->WriteString(ApplSection, Key, ExtractFilePath(FileName));
  } catch (const std::exception& e) {
    AdvMessageDlg(e.what(), mtError, {mbOK}, 0);
  }
}

std::string TKVXMainForm::ParaFileFolder() const { return RememberedFolder(ParaFilePathKey); }

// ---- Module data commands ----------------------------------------------------------------------

void TKVXMainForm::BtnDefaultClick() {
  bool ok = false;
  {
    TBusyJob job(BusyPanel, "Setting the module's data to default");
    ok = KVXModProt->LoadDefaults();
  }
  if (!ok && EndIfLineLost()) return;
  if (!ok) {
    AdvMessageDlg("Couldn`t set to default!!!", mtError, {mbOK}, 0);
    return;
  }
  IdentifyAct->trigger();
  // A line lost while the module was identified again has closed the port: that is the one
  // thing said.
  if (!KVXModProt->PortOpen()) return;
  AdvMessageDlg("Data set to default!", mtInformation, {mbOK}, 0);
}

void TKVXMainForm::BtnLoadBackClick() {
  bool ok = false;
  {
    TBusyJob job(BusyPanel, "Loading the module's saved data back");
    ok = KVXModProt->Loadback();
  }
  if (!ok && EndIfLineLost()) return;
  if (!ok) {
    AdvMessageDlg("Couldn`t loadback data!!!", mtError, {mbOK}, 0);
    return;
  }
  IdentifyAct->trigger();
  if (!KVXModProt->PortOpen()) return;  // as after Default
  AdvMessageDlg("Data loadback ok!", mtInformation, {mbOK}, 0);
}

void TKVXMainForm::BtnSaveClick() {
  bool ok = false;
  {
    TBusyJob job(BusyPanel, "Saving the module's data in the module");
    ok = KVXModProt->SaveInModule();
  }
  if (!ok && EndIfLineLost()) return;
  if (ok)
    AdvMessageDlg("Data saved!", mtInformation, {mbOK}, 0);
  else
    AdvMessageDlg("Couldn`t save!!!", mtError, {mbOK}, 0);
}

// ---- Parameter files ---------------------------------------------------------------------------

void TKVXMainForm::BBtnUploadClick() {
  TFileDialogOptions o;
  o.Kind = fdkSave;
  o.InitialDir = ParaFileFolder();
  o.Filter = kParaFilter;
  o.FilterIndex = 2;
  o.DefaultSuffix = "kvx";
  o.MustExist = false;
  o.OverwritePrompt = false;
  o.Parent = this;
  std::string name;
  if (!ExecFileDialog(o, name)) return;

  // Compared as it stands: "X.PAR" is no parameter file name.
  const std::string ext = ExtractFileExt(name);
  bool ok = false;
  if (ext == ".par") {
    // The text file has no entries of its own to ask about: the whole file is replaced.
    if (FileExists(name) &&
        AdvMessageDlg("The file \"" + FileNameShown(name) + "\" already exists. Do you want to overwrite it?",
                      mtConfirmation, {mbYes, mbNo}, 0) != mrYes)
      return;
    TBusyJob job(BusyPanel, "Saving the parameters in \"" + FileNameShownText(name) + "\"");
    ok = KVXModProt->SaveParameterText(name);
  } else if (ext == ".kvx") {
    TBusyJob job(BusyPanel, "Saving the parameters in \"" + FileNameShownText(name) + "\"");
    ok = KVXModProt->SaveParameterXml(name);
  } else {
    return;
  }
  if (!ok) {
    ShowSaveFailure(*KVXModProt);
    return;
  }
  RememberParaFolder(*ApplIni, name);
  ShowSaved(name);
}

void TKVXMainForm::BBtnDownloadClick() {
  TFileDialogOptions o;
  o.Kind = fdkOpen;
  o.InitialDir = ParaFileFolder();
  o.Filter = kParaFilter;
  o.FilterIndex = 2;
  o.DefaultSuffix = "kvx";
  o.MustExist = true;
  o.Parent = this;
  std::string name;
  // What the download did, said in the status bar once the module has been read again.
  QString result;
  if (ExecFileDialog(o, name)) {
    const QString shown = FileNameShownText(name);
    const std::string ext = ExtractFileExt(name);
    // One stoppable job per attempt; the question between two attempts is asked outside them.
    auto download = [&](bool Xml, bool SkipIdCheck) {
      TBusyJob job(BusyPanel, "Loading \"" + shown + "\" into the module", true);
      return Xml ? KVXModProt->DownloadParameterXml(name) : KVXModProt->DownloadParameterText(name, SkipIdCheck);
    };
    // What the module (or the offline data) got from the file.
    auto done = [&](std::uint8_t Result) {
      const TDownloadReport& report = KVXModProt->LastDownload();
      if (report.Values)
        result = DownloadResultText(report, KVXModProt->LastStopped());
      else if (Result == 0)
        result = QString("Download: \"%1\" loaded into the module").arg(shown);
    };
    // A lost line is the one thing said: the file is not to blame.
    auto lost = [&] {
      RememberParaFolder(*ApplIni, name);
      if (!result.isEmpty()) ShowJobResult(result);
    };
    if (ext == ".par") {
      std::uint8_t code = download(false, false);
      if (code == kWrongModule && !KVXModProt->LastStopped() &&
          AdvMessageDlg("The selected file is not 100 % compatible to the identified module (please "
                        "check it after loading! Do you want to load it?",
                        mtConfirmation, {mbYes, mbNo}, 0) == mrYes)
        code = download(false, true);
      done(code);
      if (EndIfLineLost()) return lost();
      // The forced load reports like the first attempt: the user must know when it failed.
      if (!KVXModProt->LastStopped()) {
        if (code == kNoModule)
          AdvMessageDlg("It was no modul identified!", mtError, {mbOK}, 0);
        else if (code == kFileUnusable)
          ShowNotCorrect(*KVXModProt);
      }
    } else if (ext == ".kvx") {
      const std::uint8_t code = download(true, false);
      done(code);
      if (EndIfLineLost()) return lost();
      // A file that could not be read names its reason; a user who declined the question about
      // another module's data chose to load nothing and is not told so.
      switch (KVXModProt->LastFileError().Kind) {
        case fekFailed:
          ShowNotCorrect(*KVXModProt);
          break;
        case fekDeclined:
          break;
        case fekNone:
          if (KVXModProt->LastStopped())
            break;
          if (code == kNoModule)
            AdvMessageDlg("It was no module identified!", mtError, {mbOK}, 0);
          else if (code == kWrongModule)
            AdvMessageDlg("The selected file is not 100 % compatible to the identified module "
                          "(please check it after loading!",
                          mtWarning, {mbOK}, 0);
          else if (code == kFileUnusable)
            ShowNotCorrect(*KVXModProt);
          break;
      }
    }
    RememberParaFolder(*ApplIni, name);
  }
  const bool identify = IdentifyAct->isEnabled();
  IdentifyAct->trigger();
  // A stopped identification has said so itself.
  if (!result.isEmpty() && !(identify && KVXModProt->LastStopped())) ShowJobResult(result);
}

// ---- Offline data and the viewer ---------------------------------------------------------------

void TKVXMainForm::MMILoadOfflineCmdListClick() {
  TFileDialogOptions o;
  o.Kind = fdkOpen;
  o.InitialDir = ParaFileFolder();
  o.Filter = kOfflineFilter;
  o.DefaultSuffix = "kvx";
  o.MustExist = true;
  o.Parent = this;
  std::string name;
  if (!ExecFileDialog(o, name)) return;
  // The reader's own limit: what it cannot take is refused before anything is read.
  if (!FileWithinLimit(name, static_cast<std::uint64_t>(INT_MAX))) return;
  bool ok = false;
  {
    TBusyJob job(BusyPanel, "Loading offline data from \"" + FileNameShownText(name) + "\"");
    ok = KVXModProt->OpenModuleDescription(name);
  }
  UpdateModuleCommands();
  if (ok) {
    SetPanel(4, FromAnsi(KVXModProt->ModuleId()));
    ShowMonitorAct->setEnabled(true);
    ShowScopeAct->setEnabled(true);
    PrintAct->setEnabled(true);
  } else if (!KVXModProt->ModuleLoaded()) {
    // The module before is gone with the failed load: nothing of it may stay usable.
    ShowNoModule();
  }
  // (A module choice the user cancelled leaves the module before as it was.)
  RememberParaFolder(*ApplIni, name);
  if (!ok) {
    const std::string reason = FailureReason(*KVXModProt);
    if (!reason.empty()) AdvMessageDlg("The file could not be loaded:\n" + reason, mtError, {mbOK}, 0);
  }
}

void TKVXMainForm::MMISaveCmdListClick() {
  TFileDialogOptions o;
  o.Kind = fdkSave;
  o.InitialDir = ParaFileFolder();
  o.Filter = kOfflineFilter;
  o.DefaultSuffix = "kvx";
  o.MustExist = true;
  o.OverwritePrompt = false;
  o.Parent = this;
  std::string name;
  if (!ExecFileDialog(o, name)) return;
  bool ok = false;
  {
    TBusyJob job(BusyPanel, "Saving the offline data in \"" + FileNameShownText(name) + "\"");
    ok = KVXModProt->SaveParameterXml(name);
  }
  if (!ok) {
    ShowSaveFailure(*KVXModProt);
    return;
  }
  RememberParaFolder(*ApplIni, name);
  ShowSaved(name);
}

void TKVXMainForm::MMIViewKVXFileClick() {
  TFileDialogOptions o;
  o.Kind = fdkOpen;
  o.InitialDir = ParaFileFolder();
  o.Filter = kViewFilter;
  o.DefaultSuffix = "kvx";
  o.MustExist = true;
  o.Parent = this;
  std::string name;
  if (!ExecFileDialog(o, name)) return;
  WebBrowserDlg->ShowFile(name);
  RememberParaFolder(*ApplIni, name);
}

void TKVXMainForm::MMFileClick() {
  const bool loaded = KVXModProt->ModuleLoaded();
  const int page = PageIndex();
  MMISaveCmdList->setEnabled(loaded);
  MMIPrint->setEnabled((page == 0 && loaded) || page == 2 || page == 3);
}

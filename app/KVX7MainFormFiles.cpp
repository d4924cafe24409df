// Module data commands (Default, Save, Loadback) and parameter files: upload and download of
// ".par" and ".kvx" files, the offline data and the ".kvx" viewer, and the File menu's enabling.
//
// Nothing is overwritten without a question and nothing fails silently: a ".par" upload over an
// existing file asks first (the ".kvx" writer asks itself per module), and a file that cannot be
// read or written is reported with the system's reason. A question the user declined shows
// nothing more.
#include <QAction>
#include <QStackedWidget>
#include <climits>

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
  if (!ok) {
    AdvMessageDlg("Couldn`t set to default!!!", mtError, {mbOK}, 0);
    return;
  }
  IdentifyAct->trigger();
  AdvMessageDlg("Data set to default!", mtInformation, {mbOK}, 0);
}

void TKVXMainForm::BtnLoadBackClick() {
  bool ok = false;
  {
    TBusyJob job(BusyPanel, "Loading the module's saved data back");
    ok = KVXModProt->Loadback();
  }
  if (!ok) {
    AdvMessageDlg("Couldn`t loadback data!!!", mtError, {mbOK}, 0);
    return;
  }
  IdentifyAct->trigger();
  AdvMessageDlg("Data loadback ok!", mtInformation, {mbOK}, 0);
}

void TKVXMainForm::BtnSaveClick() {
  bool ok = false;
  {
    TBusyJob job(BusyPanel, "Saving the module's data in the module");
    ok = KVXModProt->SaveInModule();
  }
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
      LastPosition_ = -1;
      LastDownloadErrors_.clear();
      return Xml ? KVXModProt->DownloadParameterXml(name) : KVXModProt->DownloadParameterText(name, SkipIdCheck);
    };
    // A finished download: how many parameters went into the module; a stopped one: how far it
    // got (the module holds exactly those).
    auto done = [&](std::uint8_t Result) {
      const QString count = ProgressCount(pgsWriteParameters);
      if (KVXModProt->LastStopped()) {
        result = count.isEmpty() ? QString("Download stopped") : "Download stopped after " + count + " parameters";
        return;
      }
      const bool wrote = Result == 0 || (Result == kFileUnusable && LastPosition_ >= 0 &&
                                         KVXModProt->LastFileError().Kind == fekNone);
      if (!wrote) return;
      result = LastPosition_ >= 0 ? QString("Download: %1 parameters sent to the module").arg(LastPosition_)
                                  : QString("Download: \"%1\" loaded into the module").arg(shown);
      if (!LastDownloadErrors_.empty()) {
        QStringList names;
        for (const std::string& n : LastDownloadErrors_) names << FromAnsi(n);
        if (names.size() > 4) names = names.mid(0, 4) << "...";
        result += QString("; failed or not valid: %1").arg(names.join(", "));
      }
    };
    if (ext == ".par") {
      std::uint8_t result = download(false, false);
      if (result == kWrongModule && !KVXModProt->LastStopped() &&
          AdvMessageDlg("The selected file is not 100 % compatible to the identified module (please "
                        "check it after loading! Do you want to load it?",
                        mtConfirmation, {mbYes, mbNo}, 0) == mrYes)
        result = download(false, true);
      done(result);
      // The forced load reports like the first attempt: the user must know when it failed.
      if (!KVXModProt->LastStopped()) {
        if (result == kNoModule)
          AdvMessageDlg("It was no modul identified!", mtError, {mbOK}, 0);
        else if (result == kFileUnusable)
          ShowNotCorrect(*KVXModProt);
      }
    } else if (ext == ".kvx") {
      const std::uint8_t result = download(true, false);
      done(result);
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
          if (result == kNoModule)
            AdvMessageDlg("It was no module identified!", mtError, {mbOK}, 0);
          else if (result == kWrongModule)
            AdvMessageDlg("The selected file is not 100 % compatible to the identified module "
                          "(please check it after loading!",
                          mtWarning, {mbOK}, 0);
          else if (result == kFileUnusable)
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
  if (ok) {
    SetPanel(4, FromAnsi(KVXModProt->ModuleId()));
    ShowMonitorAct->setEnabled(true);
    ShowScopeAct->setEnabled(true);
    PrintAct->setEnabled(true);
  } else {
    SetPanel(4, QString());
  }
  UpdateUploadButtons();
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

// Module data commands (Default, Save, Loadback) and parameter files: upload and download of
// ".par" and ".kvx" files, the offline data and the ".kvx" viewer, and the File menu's enabling.
//
// Nothing is overwritten without a question and nothing fails silently: a ".par" upload over an
// existing file asks first (the ".kvx" writer asks itself per module), and a file that cannot be
// read or written is reported with the system's reason. A question the user declined shows
// nothing more.
#include <QAction>
#include <QStackedWidget>

#include "app/KVX7MainForm.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "model/osFileUtils.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplIni.h"
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
  return e.Kind == fekFailed ? FileNameShown(e.Text) : std::string();
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
    TBusyCursor busy;
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
    TBusyCursor busy;
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
    TBusyCursor busy;
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
    TBusyCursor busy;
    ok = KVXModProt->SaveParameterText(name);
  } else if (ext == ".kvx") {
    TBusyCursor busy;
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
  if (ExecFileDialog(o, name)) {
    const std::string ext = ExtractFileExt(name);
    if (ext == ".par") {
      std::uint8_t result = 0;
      {
        TBusyCursor busy;
        result = KVXModProt->DownloadParameterText(name, false);
      }
      if (result == kWrongModule &&
          AdvMessageDlg("The selected file is not 100 % compatible to the identified module (please "
                        "check it after loading! Do you want to load it?",
                        mtConfirmation, {mbYes, mbNo}, 0) == mrYes) {
        TBusyCursor busy;
        result = KVXModProt->DownloadParameterText(name, true);
      }
      // The forced load reports like the first attempt: the user must know when it failed.
      if (result == kNoModule)
        AdvMessageDlg("It was no modul identified!", mtError, {mbOK}, 0);
      else if (result == kFileUnusable)
        ShowNotCorrect(*KVXModProt);
    } else if (ext == ".kvx") {
      std::uint8_t result = 0;
      {
        TBusyCursor busy;
        result = KVXModProt->DownloadParameterXml(name);
      }
      // A file that could not be read names its reason; a user who declined the question about
      // another module's data chose to load nothing and is not told so.
      switch (KVXModProt->LastFileError().Kind) {
        case fekFailed:
          ShowNotCorrect(*KVXModProt);
          break;
        case fekDeclined:
          break;
        case fekNone:
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
  IdentifyAct->trigger();
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
  bool ok = false;
  {
    TBusyCursor busy;
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
    TBusyCursor busy;
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

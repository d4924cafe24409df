// Mode buttons, the protocol's questions and error reports, the status lamps, the password and
// the About box.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QPushButton>
#include <unordered_map>

#include "app/KVX7MainForm.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "app/dialogs/KVXModIdSelDlgForm.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplInfo.h"
#include "services/osBusyMode.h"
#include "services/osDialogHooks.h"
#include "services/osLED.h"
#include "services/osPasswordDialogs.h"

namespace {

// A module's name used as a file name must stay a plain name inside the program folder.
bool IsPlainFileName(const std::string& Name) {
  if (Name.empty() || Name == "." || Name == "..") return false;
  for (char c : Name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 32 || u == 127) return false;
  }
  return true;
}

// The file of that name in Folder: the exact name first, else the first name that differs only
// in case. Empty when there is none.
QString FindFileNoCase(const QString& Folder, const QString& Name) {
  const QDir dir(Folder);
  if (QFile::exists(dir.filePath(Name))) return dir.filePath(Name);
  for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden)) {
    if (entry.compare(Name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
  }
  return {};
}

// The lines of a file as they stand (bytes), split at CR, LF or CR LF. False when it cannot be
// read.
bool ReadLines(const QString& Path, TStringList& Lines) {
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;
  std::string line;
  for (qsizetype i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '\r' || c == '\n') {
      Lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) Lines.push_back(line);
  return true;
}

// The word of a mode button's caption: up to its blank.
std::string CaptionWord(const QString& Caption) {
  std::string word = ToAnsi(Caption);
  const std::size_t blank = word.find(' ');
  if (blank != std::string::npos) word.erase(blank);
  return word;
}

}  // namespace

// ---- Mode buttons -------------------------------------------------------------------------------

void TKVXMainForm::ModeButtonClick(int Index) {
  if (Index < 0 || Index >= static_cast<int>(ModeButtons.size())) return;
  QPushButton* button = ModeButtons[Index];
  const QString caption = button->text();
  std::string reply;
  {
    TBusyJob job(BusyPanel, "Switching the parameter view to " + caption.trimmed());
    // The line keeps the caption as the module gave it (with its blank); the echo is its word.
    KVXModProt->SendCommand("MODE " + ToAnsi(caption) + "\r", "MODE " + CaptionWord(caption), ">",
                            reply, 200);
    KVXModProt->RefreshParameterList();
  }
  for (QPushButton* b : ModeButtons) {
    QFont f = b->font();
    f.setBold(b == button);
    b->setFont(f);
  }
  QFont f = MODE_ALL->font();
  f.setBold(false);
  MODE_ALL->setFont(f);
}

void TKVXMainForm::MODE_ALLClick() {
  std::string reply;
  {
    TBusyJob job(BusyPanel, "Switching the parameter view to ALL");
    KVXModProt->SendCommand("MODE ALL\r", "MODE ALL", ">", reply, 200);
    KVXModProt->RefreshParameterList();
  }
  for (QPushButton* b : ModeButtons) {
    QFont f = b->font();
    f.setBold(false);
    b->setFont(f);
  }
  QFont f = MODE_ALL->font();
  f.setBold(true);
  MODE_ALL->setFont(f);
}

// ---- The protocol's questions and reports -----------------------------------------------------

void TKVXMainForm::KVXModProtInfoMsg(TObject*, TKVXCommProtMsgKind MsgKind, TModalResult& Result) {
  switch (MsgKind) {
    case cpmkImpFktNoValidModulId:
      Result = AdvMessageDlg(
          "The selected file do not include 100% compatible module data (please check it after "
          "loading)! Do you want try to load other data?",
          mtError, {mbOK, mbCancel}, 0);
      break;
    case cpmkImpFktOverWriteQuestion:
      Result = AdvMessageDlg("Do you want to overwrite the existing data for the module: " +
                                 KVXModProt->ModuleId() + " ?",
                             mtWarning, {mbOK, mbCancel}, 0);
      break;
  }
}

void TKVXMainForm::KVXModProtModIdSelRequest(TObject*, TStringList& IdList, int& SelIdx) {
  SelIdx = ModulIdSelDlg->Execute(IdList);
}

void TKVXMainForm::KVXModProtParaDownloadError(TObject*, TStringList& CmdErrList) {
  // Each name says why it was not taken.
  std::unordered_map<std::string, std::string> why;
  for (const TDownloadReport::TNotWritten& n : KVXModProt->LastDownload().NotWritten) why.emplace(n.Name, n.Reason);
  std::vector<std::string> items;
  items.reserve(CmdErrList.size());
  for (const std::string& name : CmdErrList) {
    const auto w = why.find(name);
    items.push_back(ToAnsi(ParamNameShown(name)) + (w != why.end() ? " (" + w->second + ")" : std::string()));
  }
  // A file of another module may name hundreds of commands: they go into a list that scrolls.
  AdvMessageDlgList("The commands ", items, " are not valid!", mtError, {mbOK}, 0);
}

void TKVXMainForm::KVXModProtReadoutError(TObject*, const std::string& ModID, TStringList& ExtCmdList) {
  int number = 0;
  std::string name;
  double version = 0;
  if (!SplitModuleId(ModID, number, name, version)) return;
  // The name comes from the module: only a plain name may become a file name, anything else
  // counts as a missing file.
  const QString fileName = FromAnsi(name) + ".rdd";
  const QString folder = FileNameFromBytes(ProgramFolder());
  const QString path = IsPlainFileName(name) ? FindFileNoCase(folder, fileName) : QString();
  TStringList lines;
  if (!path.isEmpty() && ReadLines(path, lines)) {
    ExtCmdList = std::move(lines);
    return;
  }
  AdvMessageDlg("The file: " + ToAnsi(fileName) +
                    " could not found in the KVX7 working directory! Please make sure that the "
                    "file is located in the \"" +
                    ToAnsi(folder) + "\" directory!",
                mtError, {mbOK}, 0);
}

// ---- Status lamps -----------------------------------------------------------------------------

void TKVXMainForm::KVXMonitorStatusInfoStrucInit(TObject*, TModStatusInfoData* StatusStruc) {
  if (!StatusStruc || StatusLeds.size() != 16) return;
  for (TosNamedLed* led : StatusLeds) {
    led->setVisible(false);
    led->setToolTip(QString());
    led->SetColor(TosLedColor::lcRed);
  }
  // The panel has 16 places: bits past them are not shown.
  const int count = std::min(StatusStruc->Count(), 16);
  for (int i = 0; i < count; ++i) {
    const TModStatusBitCommand* bit = StatusStruc->GetStatusBit(i);
    if (!bit) continue;
    TosNamedLed* led = StatusLeds[i];
    led->setVisible(true);
    led->SetLedText(bit->GetBitName());
    led->setToolTip(FromAnsi(bit->BHelp));
    switch (bit->BColor) {
      case 2: led->SetColor(TosLedColor::lcGreen); break;
      case 3: led->SetColor(TosLedColor::lcYellow); break;
      default: led->SetColor(TosLedColor::lcRed); break;
    }
  }
}

void TKVXMainForm::KVXMonitorNewStatusInfo(TObject*, std::uint16_t Status) {
  if (StatusLeds.size() != 16) return;
  for (int i = 0; i < 16; ++i) {
    const TosLedState state = (Status >> i) & 1u ? TosLedState::lsOn : TosLedState::lsOff;
    if (StatusLeds[i]->State() != state) StatusLeds[i]->SetState(state);
  }
}

// ---- Password -----------------------------------------------------------------------------------

void TKVXMainForm::PasswordActExecute() {
  std::string password;
  PasswordDlg->Execute(password);
}

void TKVXMainForm::PasswordDlgPasswordCheckReq(TObject*, const std::string& InputPassw, bool& CheckOk) {
  CheckOk = KVXModProt->SendPassword(InputPassw);
  // The module may show other groups now, also after a refused password.
  if (KVXModProt->OperatingMode() == 0) {
    TBusyJob job(BusyPanel, "Reading the module's parameters");
    KVXModProt->RefreshParameterList();
  }
}

// ---- About ------------------------------------------------------------------------------------

void TKVXMainForm::MMIInfoClick() {
  // The hidden input of the box may open the hidden options; a changed "DRUV" shows or hides
  // the maker's tab of the settings (ApplOptOptionStateChanged).
  ApplInfo->ShowAbout();
}

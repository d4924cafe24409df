// Terminal files, the edit menu, the manuals, the firmware menu and the About box.
//
// A terminal file is the terminal's text as a small RTF document of Windows-1252 bytes, so every
// byte the module sent comes back as the same byte. Opening reads and parses the whole file
// before the terminal's text is replaced; saving replaces the file by renaming, so a failed save
// leaves the old file as it was.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <memory>

#include "app/KVX7MainForm.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "model/osFileUtils.h"
#include "model/osRtfText.h"
#include "protocol/osS19File.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplIni.h"
#include "services/osBusyMode.h"
#include "services/osDialogHooks.h"
#include "views/osDRUVTerminal.h"

namespace {

const char* const kTerminalFilter = "Terminalfenster (*.rtf)";
const char* const kFirmwareFilter = "Firmware - Files (*.s19);;All (*)";

// The editor's text as the module's bytes. The raw text keeps what the plain text would change
// (a no-break space, byte 160, stays one); paragraph and line separators are line breaks.
std::string TerminalBytes(const QTextEdit* Editor) {
  QString text = Editor->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  return ToAnsi(text);
}

// The port box shows a port, and it is the one the protocol talks to.
bool BoxShowsPortInUse(const QComboBox* Box, const std::string& PortName) {
  return Box->currentIndex() >= 0 && FileNameToBytes(Box->currentText()) == PortName;
}

// Keeps a text layout's own timer from running: between two of its ticks it takes ever larger
// pieces of the text (hundreds of milliseconds each in a long one).
class TLayoutTimerHold : public QObject {
 public:
  explicit TLayoutTimerHold(QObject* Layout) : Layout_(Layout) { Layout_->installEventFilter(this); }
  ~TLayoutTimerHold() override {
    if (Layout_) Layout_->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* Event) override { return Event->type() == QEvent::Timer; }

 private:
  QPointer<QObject> Layout_;
};

// Lays out the editor's document piece by piece, letting the windows paint between the pieces,
// so that placing the caret afterwards costs nothing.
void LayOutInPieces(QTextEdit* Editor) {
  constexpr int kPiece = 8 * 1024;
  QTextDocument* doc = Editor->document();
  QAbstractTextDocumentLayout* layout = doc->documentLayout();
  const TLayoutTimerHold hold(layout);
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    QTextBlock upTo = doc->findBlock(block.position() + kPiece);
    if (!upTo.isValid()) upTo = doc->lastBlock();
    layout->blockBoundingRect(upTo);
    TBusyMode::Instance().Pump();
    block = upTo;
  }
}

// The lines of a text ('\n' between them), and the length of its longest.
std::size_t LineCount(const std::string& Text, std::size_t& Longest) {
  std::size_t lines = 1, start = 0;
  Longest = 0;
  for (std::size_t end = Text.find('\n'); ; end = Text.find('\n', start)) {
    Longest = std::max(Longest, (end == std::string::npos ? Text.size() : end) - start);
    if (end == std::string::npos) return lines;
    ++lines;
    start = end + 1;
  }
}

}  // namespace

// ---- Terminal files ----------------------------------------------------------------------------

void TKVXMainForm::ClearTerminalActExecute() {
  TerminalFileName.clear();
  KVXPTerminal->DiscardPending();
  KVXTermEditor->clear();
}

void TKVXMainForm::OpenTerminalActExecute() {
  TFileDialogOptions o;
  o.Kind = fdkOpen;
  o.InitialDir = RememberedFolder(TerminalPathKey);
  o.Filter = kTerminalFilter;
  o.DefaultSuffix = "rtf";
  o.MustExist = true;
  o.Parent = this;
  std::string name;
  if (!ExecFileDialog(o, name)) return;
  RememberFolder(TerminalPathKey, name);

  if (!FileWithinLimit(name, TextFileLimit)) return;
  TBusyJob job(BusyPanel, "Opening the terminal file \"" + FileNameShownText(name) + "\"");
  // The file is read, parsed and made a document away from the window; the terminal's text is
  // replaced only by a whole document.
  std::string error;
  bool read = false, readable = false;
  std::size_t lines = 0, longest = 0;
  std::unique_ptr<QTextDocument> doc;
  const QFont font = KVXTermEditor->document()->defaultFont();
  const int maxLines = KVXPTerminal->MaxLines();
  QThread* windowThread = thread();
  TBusyMode::Instance().RunAside([&] {
    std::string data, text;
    read = LoadFileBytes(name, data, &error) == flrOk;
    readable = read && rtf::ReadRtfText(data, text);
    if (!readable) return;
    lines = LineCount(text, longest);
    if (lines > static_cast<std::size_t>(maxLines) || longest > TKVXPTerminal::MaxLineLength) return;
    doc = std::make_unique<QTextDocument>();
    doc->setUndoRedoEnabled(false);
    doc->setDefaultFont(font);
    doc->setMaximumBlockCount(maxLines);
    doc->setPlainText(FromAnsi(text));
    doc->moveToThread(windowThread);
  });
  if (!read) {
    AdvMessageDlg("The terminal file could not be read: " + FileErrorShown(error), mtError, {mbOK}, 0);
    return;
  }
  if (!readable) {
    AdvMessageDlg("The file \"" + FileNameShown(name) + "\" is not a readable terminal file (RTF)!",
                  mtError, {mbOK}, 0);
    return;
  }
  // Opened whole or not at all: a file cut to what the terminal holds could be saved over itself.
  if (!doc && lines > static_cast<std::size_t>(maxLines)) {
    AdvMessageDlg("The file \"" + FileNameShown(name) + "\" has " + std::to_string(lines) +
                      " lines: the terminal holds at most " + std::to_string(maxLines) + ".",
                  mtError, {mbOK}, 0);
    return;
  }
  if (!doc) {
    AdvMessageDlg("The file \"" + FileNameShown(name) + "\" has a line of " + std::to_string(longest) +
                      " characters: the terminal holds lines of at most " +
                      std::to_string(TKVXPTerminal::MaxLineLength) + ".",
                  mtError, {mbOK}, 0);
    return;
  }
  // The editor deletes only the document it made itself; one opened before is ours to delete.
  const QPointer<QTextDocument> old = KVXTermEditor->document();
  KVXPTerminal->DiscardPending();
  doc->setParent(KVXTermEditor);
  KVXTermEditor->setDocument(doc.release());
  if (old && old->parent() == KVXTermEditor) delete old.data();
  job.Progress("Laying out the terminal text");
  LayOutInPieces(KVXTermEditor);
  // What the module sends next follows the loaded text.
  KVXTermEditor->moveCursor(QTextCursor::End);
  TerminalFileName = name;
}

void TKVXMainForm::SaveTerminalActExecute() {
  // Only a terminal file that was opened is written without asking.
  std::string name = TerminalFileName;
  if (name.empty()) {
    TFileDialogOptions o;
    o.Kind = fdkSave;
    o.InitialDir = RememberedFolder(TerminalPathKey);
    o.Filter = kTerminalFilter;
    o.DefaultSuffix = "rtf";
    o.MustExist = true;
    o.OverwritePrompt = true;
    o.Parent = this;
    if (!ExecFileDialog(o, name)) return;
    RememberFolder(TerminalPathKey, name);
  }
  std::string error;
  KVXPTerminal->Flush();
  if (!SaveFileReplacing(name, rtf::WriteRtfText(TerminalBytes(KVXTermEditor)), &error))
    AdvMessageDlg("The terminal window could not be saved: " + FileErrorShown(error), mtError, {mbOK}, 0);
}

// ---- Edit menu -----------------------------------------------------------------------------------

// The terminal shows only what came from the line: Cut copies the marked text and leaves it.
void TKVXMainForm::MMICutClick() { MMICopyClick(); }

void TKVXMainForm::MMICopyClick() {
  // Gathered bytes may still take back marked characters (BS).
  KVXPTerminal->Flush();
  KVXTermEditor->copy();
}

// A paste is typed: each character goes to the module, which echoes it into the terminal.
void TKVXMainForm::MMIPasteClick() { KVXPTerminal->TypeText(QGuiApplication::clipboard()->text()); }

void TKVXMainForm::MMICloseClick() { close(); }

// ---- Manuals -------------------------------------------------------------------------------------

void TKVXMainForm::ShowManual(const std::string& FileName) {
  const std::string folder = ProgramFolder();
  const std::string name = folder + FileName;
  if (RegularFileExists(name)) {
    WebBrowserDlg->ShowFileSized(name, 800, 1000);
    return;
  }
  AdvMessageDlg("The manual file \"" + FileNameShown(name) + "\" do not exists!",
                mtError, {mbOK}, 0);
}

// ---- Firmware ------------------------------------------------------------------------------------

void TKVXMainForm::MMIFirmwareUpdClick() {
  // The item has toggled itself already: checked now means the user switches the mode on.
  const bool on = MMIFirmwareUpd->isChecked();
  // Without a chosen port the protocol would talk to its default device, which may be anything;
  // the update goes to the protocol's port, so that is the one the box must show.
  if (on && !BoxShowsPortInUse(CBoxPortSel, KVXModProt->PortName())) {
    MMIFirmwareUpd->setChecked(false);
    AdvMessageDlg("No valid com-port selected!", mtError, {mbOK}, 0);
    return;
  }
  if (on && AdvMessageDlg("Attention! You will start firmware update!!!\nAre you really sure that "
                          "you want to continue?",
                          mtWarning, {mbYes, mbNo}, 0) != mrYes) {
    MMIFirmwareUpd->setChecked(false);
    return;
  }
  bool active = false;
  {
    TBusyJob job(BusyPanel, on ? "Starting the module's bootloader" : "Leaving the module's bootloader");
    KVXModProt->SetBootloaderMode(on);
    active = KVXModProt->GetBootloaderActive();
  }
  MMIFirmwareUpd->setChecked(active);
  if (active) AfterBootloader_ = true;
  SetFirmwareUpdateState(active, true, true);
  MMISendFirmware->setEnabled(active);
  if (on && !active)
    AdvMessageDlg("Firmware update could not start! The port \"" + FileNameShown(KVXModProt->PortName()) +
                      "\" could not be opened.",
                  mtError, {mbOK}, 0);
}

void TKVXMainForm::MMISendFirmwareClick() {
  TFileDialogOptions o;
  o.Kind = fdkOpen;
  o.InitialDir = RememberedFolder(FirmwarePathKey);
  o.Filter = kFirmwareFilter;
  o.DefaultSuffix = "s19";
  o.MustExist = true;
  o.Parent = this;
  std::string name;
  if (!ExecFileDialog(o, name)) return;

  // Read first, so a file that cannot be sent is named with its reason before a byte goes out.
  std::string data, error;
  bool sent = false;
  if (LoadFileBytes(name, data, &error) == flrOk) {
    // A file the bootloader would not take whole is refused with its reason: nothing goes out.
    int badLine = 0;
    const TS19Check check = CheckS19Text(data, &badLine);
    if (check != TS19Check::Ok) {
      AdvMessageDlg("The firmware file \"" + FileNameShown(name) + "\" is not valid (" +
                        S19CheckText(check, badLine) + "). Nothing was sent.",
                    mtError, {mbOK}, 0);
      RememberFolder(FirmwarePathKey, name);
      return;
    }
    // Once begun it cannot be stopped: a part image in the flash would be started as the
    // application when the bootloader is left.
    TBusyJob job(BusyPanel, "Sending the firmware file \"" + FileNameShownText(name) + "\"");
    SendTextWord_ = "firmware line";
    LastPosition_ = -1;
    sent = KVXModProt->SendTextFile(name);
    SendTextWord_ = "line";
    if (!sent) error = name + ": the line to the module failed";
  }
  if (!sent && EndIfLineLost()) {
    RememberFolder(FirmwarePathKey, name);
    return;
  }
  if (sent)
    ShowJobResult(QString("Firmware sent: %1 lines").arg(LastMax_));
  else
    AdvMessageDlg("The firmware file could not be sent: " + FileErrorShown(error), mtError, {mbOK}, 0);
  RememberFolder(FirmwarePathKey, name);
}

void TKVXMainForm::MMIFWUAssClick() {
  if (!BoxShowsPortInUse(CBoxPortSel, KVXModProt->PortName())) {
    AdvMessageDlg("No valid com-port selected!", mtError, {mbOK}, 0);
    return;
  }
  SetFirmwareUpdateState(true, false, false);
  try {
    const bool direct = KVX7OptionsDlg->GetSFWUpdate();
    const std::string last = ApplIni->ReadString(ApplSection, LastFirmwareKey, "");
    // Only a file the assistant used replaces the one remembered.
    if (FWUpdateDlg->Execute(KVXModProt.get(), last, direct) && !FWUpdateDlg->FileName().empty())
      ApplIni->WriteString(ApplSection, LastFirmwareKey, FWUpdateDlg->FileName());
  } catch (...) {
    SetFirmwareUpdateState(false, false, false);
    throw;
  }
  // Once the bootloader was asked for, the module's application is gone until identified again.
  if (FWUpdateDlg->StepState(TFWUpdateDlg::fsStart) != TFWUpdateDlg::fssWaiting) AfterBootloader_ = true;
  SetFirmwareUpdateState(false, false, false);
  if (!FWUpdateDlg->ProgrammedText().isEmpty())
    ShowJobResult("Firmware programmed: " + FWUpdateDlg->ProgrammedText());
}

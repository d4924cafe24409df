// The program's doors to the user that tests must be able to answer without a person: modal
// dialogs, file dialogs, the print dialog, and the program folder (where the ".rdd" files and the
// manuals live). Each has a replaceable hook, like the message dialog's handler; with no hook
// installed the real dialog runs. Window thread only.
#pragma once

#include <QString>
#include <functional>
#include <string>

class QDialog;
class QPrinter;
class QWidget;

// ---- Modal dialogs --------------------------------------------------------------------------

// Runs Dlg modally (exec) and returns its result (QDialog::Accepted / Rejected, or the value
// given to done()). With a hook installed the dialog is not shown: the hook gets it, may fill in
// its controls as a user would, and returns the result. The dialog's own accept()/done() logic
// is not run by the hook's return value alone; hooks call it when they want it.
int ExecModal(QDialog* Dlg);
using TModalHook = std::function<int(QDialog* Dlg)>;
// An empty function removes the hook.
void SetModalHook(TModalHook Hook);

// ---- File dialogs ---------------------------------------------------------------------------

enum TFileDialogKind { fdkOpen, fdkSave };

struct TFileDialogOptions {
  TFileDialogKind Kind = fdkOpen;
  QString Caption;
  // Bytes of the file system (QFile::encodeName); empty: the current folder.
  std::string InitialDir;
  // Qt filter list: "Text (*.par);;XML (*.kvx)".
  QString Filter;
  // 1-based index of the filter chosen at start (0: the first).
  int FilterIndex = 1;
  // Added to a typed name without an extension. With several filters the suffix of the filter
  // chosen in the dialog replaces it when that filter has one.
  QString DefaultSuffix;
  // Open: only existing files. Save: the folder must exist.
  bool MustExist = true;
  // Save: ask before an existing file is chosen.
  bool OverwritePrompt = false;
  QWidget* Parent = nullptr;
};

// Shows the dialog. True with FileName set (file-system bytes) when the user chose a file.
bool ExecFileDialog(const TFileDialogOptions& Options, std::string& FileName);
// The hook answers in place of the user: true and a name, or false for Cancel.
using TFileDialogHook = std::function<bool(const TFileDialogOptions& Options, std::string& FileName)>;
void SetFileDialogHook(TFileDialogHook Hook);

// ---- Print dialog -----------------------------------------------------------------------------

// The system's print dialog for Printer; true when the user chose to print. With a hook the hook
// sets up the printer (for tests: a PDF file) and answers.
bool ExecPrintDialog(QPrinter& Printer, QWidget* Parent);
using TPrintDialogHook = std::function<bool(QPrinter& Printer)>;
void SetPrintDialogHook(TPrintDialogHook Hook);

// ---- Program folder -----------------------------------------------------------------------------

// The folder of the program file, with a trailing "/", as file-system bytes; a test may put
// another folder in its place.
std::string ProgramFolder();
// An empty text restores the program file's folder.
void SetProgramFolder(const std::string& Folder);

// ---- Start folders of the file dialogs ------------------------------------------------------------

// The user's home folder, with a trailing "/", as file-system bytes.
std::string HomeFolder();
// Where a file dialog starts: the folder last used for that kind of file while it exists, else
// the user's home folder (never the program's folder or the process's current one).
std::string StartFolder(const std::string& LastUsed);

// ---- File names ----------------------------------------------------------------------------------

// File names keep their bytes: a name from a dialog is never run through the module texts'
// Windows-1252 table.
std::string FileNameToBytes(const QString& Name);
QString FileNameFromBytes(const std::string& Name);
// A file name as a message or the status bar shows it (as a module-text string, or as a text of
// the window). Every message and status text that names a file or a port goes through these. A
// name too long to read whole (and to lay out in a moment) is cut to its start and its end, with
// its length: "/home/user/aaaa ... aaaa.par (10485760 characters)".
std::string FileNameShown(const std::string& Name);
QString FileNameShownText(const std::string& Name);
// The longest name shown whole; of a longer one, this many characters show (half from its start,
// half from its end, each short enough to fit a message's width) and its length.
constexpr qsizetype MaxNameShown = 160;
// A reason that starts with a file name ("NAME: Permission denied", as the file functions give
// it), with the name shown as above.
std::string FileErrorShown(const std::string& Error);
// The folder part of a file name with its trailing "/" (empty when there is none).
std::string ExtractFilePath(const std::string& FileName);
// The extension with its dot ("" when there is none), as it stands.
std::string ExtractFileExt(const std::string& FileName);
bool DirectoryExists(const std::string& Folder);
// A regular file of that name (a link to one counts). Not FileExists of model/osFileUtils, which
// is true for anything of that name and has that name.
bool RegularFileExists(const std::string& FileName);

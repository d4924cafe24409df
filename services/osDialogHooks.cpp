#include "services/osDialogHooks.h"

#include "services/QtText.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <sys/stat.h>

#include <algorithm>

namespace {

TModalHook& ModalHook() {
  static TModalHook hook;
  return hook;
}
TFileDialogHook& FileHook() {
  static TFileDialogHook hook;
  return hook;
}
TPrintDialogHook& PrintHook() {
  static TPrintDialogHook hook;
  return hook;
}
std::string& FolderOverride() {
  static std::string folder;
  return folder;
}

// "Text (*.par)" gives "par"; a filter with a wildcard extension or several patterns gives "".
QString SuffixOfFilter(const QString& filter) {
  static const QRegularExpression re(R"(\(\*\.([A-Za-z0-9_]+)\))");
  const QRegularExpressionMatch m = re.match(filter);
  return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

int ExecModal(QDialog* Dlg) {
  if (!Dlg) return QDialog::Rejected;
  if (ModalHook()) return ModalHook()(Dlg);
  return Dlg->exec();
}

void SetModalHook(TModalHook Hook) { ModalHook() = std::move(Hook); }

bool ExecFileDialog(const TFileDialogOptions& Options, std::string& FileName) {
  if (FileHook()) return FileHook()(Options, FileName);
  QFileDialog dlg(Options.Parent, Options.Caption, FileNameFromBytes(Options.InitialDir),
                  Options.Filter);
  dlg.setAcceptMode(Options.Kind == fdkSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(Options.Kind == fdkOpen && Options.MustExist ? QFileDialog::ExistingFile
                                                               : QFileDialog::AnyFile);
  if (!Options.OverwritePrompt) dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  const QStringList filters = Options.Filter.split(";;", Qt::SkipEmptyParts);
  const int index = Options.FilterIndex >= 1 ? Options.FilterIndex - 1 : 0;
  QString suffix = Options.DefaultSuffix;
  if (index < filters.size()) {
    dlg.selectNameFilter(filters[index]);
    if (filters.size() > 1 && !SuffixOfFilter(filters[index]).isEmpty())
      suffix = SuffixOfFilter(filters[index]);
  }
  dlg.setDefaultSuffix(suffix);
  // The suffix follows the filter the user picks, so "name" typed under "*.par" becomes name.par.
  QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg, &Options](const QString& f) {
    const QString s = SuffixOfFilter(f);
    dlg.setDefaultSuffix(s.isEmpty() ? Options.DefaultSuffix : s);
  });
  if (dlg.exec() != QDialog::Accepted) return false;
  const QStringList files = dlg.selectedFiles();
  if (files.isEmpty()) return false;
  FileName = FileNameToBytes(files.first());
  return true;
}

void SetFileDialogHook(TFileDialogHook Hook) { FileHook() = std::move(Hook); }

bool ExecPrintDialog(QPrinter& Printer, QWidget* Parent) {
  if (PrintHook()) return PrintHook()(Printer);
  QPrintDialog dlg(&Printer, Parent);
  return dlg.exec() == QDialog::Accepted;
}

void SetPrintDialogHook(TPrintDialogHook Hook) { PrintHook() = std::move(Hook); }

std::string ProgramFolder() {
  if (!FolderOverride().empty()) return FolderOverride();
  std::string dir = FileNameToBytes(QCoreApplication::applicationDirPath());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

void SetProgramFolder(const std::string& Folder) {
  FolderOverride() = Folder;
  if (!Folder.empty() && Folder.back() != '/') FolderOverride() += '/';
}

std::string HomeFolder() {
  std::string dir = FileNameToBytes(QDir::homePath());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string StartFolder(const std::string& LastUsed) {
  return DirectoryExists(LastUsed) ? LastUsed : HomeFolder();
}

std::string FileNameToBytes(const QString& Name) {
  const QByteArray b = QFile::encodeName(Name);
  return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QString FileNameFromBytes(const std::string& Name) {
  return QFile::decodeName(QByteArray(Name.data(), static_cast<qsizetype>(Name.size())));
}

QString FileNameShownText(const std::string& Name) {
  const QString name = FileNameFromBytes(Name);
  if (name.size() <= MaxNameShown) return name;
  constexpr qsizetype kPart = MaxNameShown / 2;
  // Never half a surrogate pair at a cut.
  qsizetype headCut = kPart, tailCut = name.size() - kPart;
  if (name.at(headCut - 1).isHighSurrogate()) --headCut;
  if (name.at(tailCut).isLowSurrogate()) ++tailCut;
  const auto length = std::count_if(name.begin(), name.end(), [](QChar c) { return !c.isLowSurrogate(); });
  // Spaces around the cut: a message may wrap there, where the name itself may have no place to.
  return name.left(headCut) + QStringLiteral(" ... ") + name.mid(tailCut) +
         QStringLiteral(" (%1 characters)").arg(length);
}

std::string FileNameShown(const std::string& Name) { return ToAnsi(FileNameShownText(Name)); }

std::string FileErrorShown(const std::string& Error) {
  // The reasons the system gives hold no ": "; a name may. Whatever the split, no part of the
  // text shows longer than a name does.
  const std::size_t colon = Error.rfind(": ");
  if (colon == std::string::npos) return FileNameShown(Error);
  return FileNameShown(Error.substr(0, colon)) + ": " + FileNameShown(Error.substr(colon + 2));
}

std::string ExtractFilePath(const std::string& FileName) {
  const std::size_t slash = FileName.rfind('/');
  return slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
}

std::string ExtractFileExt(const std::string& FileName) {
  const std::size_t slash = FileName.rfind('/');
  const std::size_t dot = FileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return FileName.substr(dot);
}

bool DirectoryExists(const std::string& Folder) {
  struct stat st {};
  return !Folder.empty() && ::stat(Folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RegularFileExists(const std::string& FileName) {
  struct stat st {};
  return !FileName.empty() && ::stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

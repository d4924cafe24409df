// Printing: the parameter list as a fixed-pitch listing (parameter page), the scope picture with
// its time base, cursor values and channel ranges (scope page), and the terminal text (terminal
// page). Every print goes through the print dialog, which also offers a PDF file; a job that
// cannot start (a file that cannot be written, a printer that refuses) is reported.
//
// The printer is set to 600 dpi, so coordinates (device pixels) give the same layout on every
// printer and in a PDF file. A listing breaks to a new page every 57 lines, each page headed with
// its number, so no line falls off the paper however long the module's list is.
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QStringList>
#include <QTextEdit>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/KVX7MainForm.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplInfo.h"
#include "services/osDialogHooks.h"
#include "views/osDRUVScope.h"
#include "views/osDRUVTerminal.h"
#include "views/osGridCellDraw.h"

namespace {

constexpr int kPrintDpi = 600;
constexpr int kLinesPerPage = 57;
constexpr int kValueEndColumn = 24;

QString PrintTime() {
  return QLocale::system().toString(QDateTime::currentDateTime(), QStringLiteral("ddd, dd.MM.yyyy - hh:mm:ss"));
}

// The first header line: company, product and the page's own text joined by "   - "; a field
// the system leaves empty is left out with its separator.
QString HeaderTitle(const QString& Company, const QString& Product, const QString& Own) {
  QStringList parts;
  for (const QString& p : {Company, Product, Own})
    if (!p.trimmed().isEmpty()) parts << p;
  return parts.join(QStringLiteral("   - "));
}

// The height of a line in the painter's font on its device.
int LineHeight(QPainter& Canvas) {
  QSize size(0, 15);
  if (!GetTextSize(&Canvas, QStringLiteral("Dummy"), size) || size.height() <= 0) return 15;
  return size.height();
}

// Text with the top of its line at (X, Y), as the listing's coordinates mean it.
void TextOut(QPainter& Canvas, int X, int Y, const QString& Text) {
  Canvas.drawText(X, Y + Canvas.fontMetrics().ascent(), Text);
}

// The characters from Column (counted from 1) on become Text; a shorter line is filled with blanks
// up to it.
void WriteAt(std::string& Line, int Column, const std::string& Text) {
  const std::size_t start = static_cast<std::size_t>(std::max(Column, 1) - 1);
  Line.resize(std::max(Line.size(), start), ' ');
  Line = Line.substr(0, start) + Text;
}

// Why a PDF file cannot be written there, found without creating anything.
std::string PdfRefusal(const std::string& File) {
  struct stat st {};
  if (::stat(File.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return "it is not a file";
    if (::access(File.c_str(), W_OK) != 0) return std::strerror(errno);
  } else if (errno != ENOENT) {
    return std::strerror(errno);
  } else {
    const std::size_t slash = File.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : File.substr(0, slash);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  }
  return "it cannot be written";
}

// A print job that could not start, named by its file or printer.
std::string PrintFailureText(const QPrinter& Printer) {
  if (Printer.outputFormat() == QPrinter::PdfFormat) {
    const std::string file = FileNameToBytes(Printer.outputFileName());
    return "The printout could not start: the file \"" + FileNameShown(file) + "\" cannot be written (" +
           PdfRefusal(file) + ").";
  }
  return "The printout could not start: the printer \"" + ToAnsi(Printer.printerName()) +
         "\" did not accept the job.";
}

}  // namespace

// The listing's lines: text and number parameters with their value ending in column 24 (a longer
// value from column 1), analog inputs with their value from column 19, curves with 21 point
// lines. DRUVTEC parameters never, Password ones only with bit 7 of the access code.
std::vector<std::string> ParamListPrintLines(const TModCommandList& List, std::uint16_t AccessCode) {
  std::vector<std::string> lines;
  for (int i = 0; i < List.Count(); ++i) {
    const auto* cmd = dynamic_cast<const TModCtrlCommand*>(List.GetCommand(i));
    if (!cmd) continue;
    const TModCmdGroups groups = cmd->GetGroups();
    if (groups.Contains(TModCmdGroup::DRUVTEC)) continue;
    if (groups.Contains(TModCmdGroup::Password) && !(AccessCode & 0x80)) continue;
    std::string line(25, ' ');
    switch (cmd->Kind) {
      case TextPara:
      case NumPara: {
        const std::string value = cmd->GetValueStr();
        WriteAt(line, 1, cmd->Name);
        const int len = static_cast<int>(value.size());
        WriteAt(line, len > kValueEndColumn ? 1 : kValueEndColumn - len + 1, value);
        lines.push_back(line);
        break;
      }
      case AinPara:
        WriteAt(line, 1, cmd->Name);
        WriteAt(line, 19, cmd->GetValueStr());
        lines.push_back(line);
        break;
      case CCPara: {
        const auto* curve = dynamic_cast<const TModCCParaCmd*>(cmd);
        if (!curve) break;
        for (int k = TModCCParaCmd::MinIndex; k <= TModCCParaCmd::MaxIndex; ++k) {
          std::string point(25, ' ');
          WriteAt(point, 1, cmd->Name + ":" + std::to_string(k));
          WriteAt(point, 19, curve->GetPointStr(k));
          lines.push_back(point);
        }
        break;
      }
      default:
        break;
    }
  }
  return lines;
}

void TKVXMainForm::PrintActExecute() {
  const int page = PageIndex();
  if (page != 0 && page != 2 && page != 3) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setResolution(kPrintDpi);
  printer.setDocName(QStringLiteral("KVX7"));
  if (!ExecPrintDialog(printer, this)) return;
  printer.setResolution(kPrintDpi);
  switch (page) {
    case 0:
      PrintParamList(printer);
      break;
    case 2:
      PrintScopeDisplay(printer);
      break;
    case 3:
      KVXPTerminal->Flush();
      KVXTermEditor->print(&printer);
      break;
  }
  // A job that never started printed nothing: the user must know, and where it was to go.
  if (printer.printerState() == QPrinter::Error) AdvMessageDlg(PrintFailureText(printer), mtError, {mbOK}, 0);
}

bool TKVXMainForm::PrintParamList(QPrinter& Printer) {
  TModCommandList* list = KVXModProt->CommandList();
  if (!list || list->Count() == 0) return false;
  QPainter canvas;
  if (!canvas.begin(&Printer)) return true;
  try {
    std::uint16_t code = 0;
    if (!KVXModProt->ReadAccessCode(code)) code = 0xFFFF;
    const std::vector<std::string> lines = ParamListPrintLines(*list, code);
    const QFont sans(QStringLiteral("Liberation Sans"), 10);
    const QFont mono(QStringLiteral("Liberation Mono"), 10);
    const QString company = FromAnsi(ApplInfo->ExtCompanyName());
    const QString product = FromAnsi(ApplInfo->ExtProductName());
    std::size_t next = 0;
    int page = 1;
    do {
      if (page > 1) Printer.newPage();
      canvas.setFont(sans);
      int lh = LineHeight(canvas);
      int y = 100;
      TextOut(canvas, 200, y, HeaderTitle(company, product, QString("Page %1").arg(page)));
      y += 3 * lh / 2;
      TextOut(canvas, 200, y, "Parameter List at: " + PrintTime());
      y += 3 * lh / 2;
      TextOut(canvas, 200, y, "Module: " + FromAnsi(KVXModProt->ModuleId()));
      y += 3 * lh;
      canvas.setFont(mono);
      lh = LineHeight(canvas);
      for (int k = 0; k < kLinesPerPage && next < lines.size(); ++k, ++next)
        TextOut(canvas, 200, y + k * lh, FromAnsi(lines[next]));
      ++page;
    } while (next < lines.size());
  } catch (...) {
    // The printout ends here; the job is ended below all the same.
  }
  canvas.end();
  return true;
}

void TKVXMainForm::PrintScopeDisplay(QPrinter& Printer) {
  QImage picture;
  if (!KVXScope->CopyToBitmap(&picture)) return;
  QPainter canvas;
  if (!canvas.begin(&Printer)) return;
  try {
    canvas.setFont(QFont(QStringLiteral("Liberation Sans"), 10));
    const int lh = LineHeight(canvas);
    TextOut(canvas, 100, 100,
            HeaderTitle(FromAnsi(ApplInfo->ExtCompanyName()), FromAnsi(ApplInfo->ExtProductName()),
                        "Oszilloskop Display at: " + PrintTime()));
    TextOut(canvas, 100, 100 + 2 * lh, "Module: " + FromAnsi(KVXModProt->ModuleId()));
    // A square as wide as the page less 100 on each side, but never so high that the lines
    // below it (cursors, time base, four channels) leave the page: landscape paper works too.
    // It starts below the module line, which a font of 10 points at 600 dpi reaches down to 300.
    const int width = canvas.device()->width();
    const int height = canvas.device()->height();
    const int top = std::max(300, 100 + 3 * lh + lh / 2);
    const int below = 50 + 11 * lh;
    const int side = std::max(1, std::min(width - 200, height - top - below));
    const QRect rect(100, top, side, side);
    canvas.setRenderHint(QPainter::SmoothPixmapTransform);
    canvas.drawImage(rect, picture);
    int y = rect.top() + side;
    if (!KVXScope->CursorEnable().Empty()) {
      TCursorInfo info;
      KVXScope->GetCursorInfo(info);
      QString amplitude, time;
      CursorTexts(info, true, amplitude, time);
      y += 50;
      TextOut(canvas, 100, y, (amplitude + "   " + time).trimmed());
    }
    y += 2 * lh;
    TextOut(canvas, 100, y, QString("Time base: %1 ms / DIV").arg(KVXScope->TimeScalePerDiv()));
    for (int ch = 1; ch <= 4; ++ch) {
      const TKVXSCopeChaSettings* settings = KVXScope->Channel(ch);
      if (settings->SignalName().empty()) continue;
      y += 2 * lh;
      canvas.fillRect(QRect(100, y, 50, lh), ColorToQColor(settings->Color()));
      // The values of the grid's bottom and top lines, as the picture labels them: whichever
      // page set the channel's scale last, the printed range is the one drawn.
      const long long lower = -static_cast<long long>(settings->YZeroOffset());
      const long long upper = 10LL * settings->YScalePerDiv() + lower;
      TextOut(canvas, 175, y,
              QString("Cha.%1: ").arg(ch) + FromAnsi(settings->SignalName()) + "   Vertical range from: " +
                  QString::number(lower) + " to " + QString::number(upper));
    }
  } catch (...) {
    // The printout ends here; the job is ended below all the same.
  }
  canvas.end();
}

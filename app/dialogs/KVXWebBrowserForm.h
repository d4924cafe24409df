// The document viewer: one non-modal window, reused, that shows a local file. A PDF file is
// shown as its pages; any other file (a ".kvx" parameter file, a text) as its text, read-only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "services/osBusyMode.h"

class QPdfDocument;
class QPdfView;
class QPlainTextEdit;
class QStackedWidget;

class TWebBrowserDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TWebBrowserDlg(QWidget* parent = nullptr);

  // ShowFileSized at 348 high and 512 wide.
  bool ShowFile(const std::string& FileName);
  // Shows the file (file-system bytes) with the file name as caption in a window of the given
  // client size, kept inside the screen's available area, and brings the window up. False, and
  // nothing changes, when the file does not exist or is too large (a text over TextFileLimit, a
  // PDF over PdfFileLimit: a message names its size). A large text is read in the busy mode.
  bool ShowFileSized(const std::string& FileName, int Height, int Width);

  // PDF pages are read as they are shown, so a manual may be far larger than a text.
  static constexpr std::uint64_t PdfFileLimit = 256ull * 1024 * 1024;
  // Where the busy mode shows that a file is being read (the main window's strip); may be null.
  IBusyView* BusyView = nullptr;

  QStackedWidget* WBrowser = nullptr;
  QPdfView* PdfView = nullptr;
  QPlainTextEdit* TextView = nullptr;
  QPdfDocument* PdfDocument = nullptr;

 private:
  void ShowText(const QString& Text);
};

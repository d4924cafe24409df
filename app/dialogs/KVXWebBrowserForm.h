// The document viewer: one non-modal window, reused, that shows a local file. A PDF file is
// shown as its pages; any other file (a ".kvx" parameter file, a text) as its text, read-only.
#pragma once

#include <QDialog>
#include <string>

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
  // nothing changes, when the file does not exist.
  bool ShowFileSized(const std::string& FileName, int Height, int Width);

  QStackedWidget* WBrowser = nullptr;
  QPdfView* PdfView = nullptr;
  QPlainTextEdit* TextView = nullptr;
  QPdfDocument* PdfDocument = nullptr;

 private:
  void ShowText(const QString& Text);
};

#include "app/dialogs/KVXWebBrowserForm.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPdfDocument>
#include <QPdfView>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>
#include <QScreen>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QVBoxLayout>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "services/QtText.h"
#include "services/osDialogHooks.h"

namespace {

bool IsPdf(const QString& path) {
  if (path.endsWith(".pdf", Qt::CaseInsensitive)) return true;
  QFile f(path);
  return f.open(QIODevice::ReadOnly) && f.read(5) == "%PDF-";
}

// A text file in UTF-8 shows as such; anything else (the ".kvx" files are ISO-8859-1) through
// the program's Windows-1252 table.
QString DecodeText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return FromAnsi(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// A line longer than this is shown on several: the view lays out a line whole each time it
// shows any of it, which for a line of megabytes takes minutes.
constexpr qsizetype kLongestLineShown = 4096;

// Text with every line longer than kLongestLineShown continued on the next line.
QString WithLongLinesBroken(const QString& Text) {
  QString out;
  out.reserve(Text.size() + Text.size() / kLongestLineShown + 1);
  qsizetype column = 0;
  for (const QChar c : Text) {
    if (c == u'\n') {
      column = 0;
    } else if (column >= kLongestLineShown && !c.isLowSurrogate()) {
      out += u'\n';
      column = 0;
    }
    out += c;
    if (c != u'\n') ++column;
  }
  return out;
}

}  // namespace

TWebBrowserDlg::TWebBrowserDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("WebBrowserDlg");
  setWindowFlags((windowFlags() | Qt::WindowMinMaxButtonsHint) & ~Qt::WindowContextHelpButtonHint);
  setModal(false);
  QFont formFont(QStringLiteral("Arial"));
  formFont.setPixelSize(11);
  setFont(formFont);

  WBrowser = new QStackedWidget(this);
  WBrowser->setObjectName("WBrowser");
  PdfDocument = new QPdfDocument(this);
  {
#if defined(__SANITIZE_ADDRESS__)
    // Qt's PDF view never frees the renderer thread and the scroller it makes for itself. They
    // are Qt's own, so the leak check skips just what this constructor allocates (and what
    // hangs on it); a leak of ours anywhere else is still reported.
    __lsan::ScopedDisabler qtOwnLeaks;
#endif
    PdfView = new QPdfView(WBrowser);
  }
  PdfView->setObjectName("PdfView");
  PdfView->setDocument(PdfDocument);
  PdfView->setPageMode(QPdfView::PageMode::MultiPage);
  PdfView->setZoomMode(QPdfView::ZoomMode::FitToWidth);
  TextView = new QPlainTextEdit(WBrowser);
  TextView->setObjectName("TextView");
  TextView->setReadOnly(true);
  TextView->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont mono(QStringLiteral("Courier New"));
  mono.setStyleHint(QFont::Monospace);
  mono.setPixelSize(13);
  TextView->setFont(mono);
  WBrowser->addWidget(PdfView);
  WBrowser->addWidget(TextView);

  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);
  top->addWidget(WBrowser);
  resize(504, 350);
}

bool TWebBrowserDlg::ShowFile(const std::string& FileName) {
  return ShowFileSized(FileName, 348, 512);
}

bool TWebBrowserDlg::ShowFileSized(const std::string& FileName, int Height, int Width) {
  if (!RegularFileExists(FileName)) return false;
  const QString path = FileNameFromBytes(FileName);
  const QString shown = FileNameShownText(FileName);
  const bool pdf = IsPdf(path);
  if (!FileWithinLimit(FileName, pdf ? PdfFileLimit : TextFileLimit)) return false;
  TBusyJob job(BusyView, "Opening \"" + shown + "\"");
  if (pdf) {
    PdfDocument->close();
    const QPdfDocument::Error error = PdfDocument->load(path);
    if (error == QPdfDocument::Error::None) {
      WBrowser->setCurrentWidget(PdfView);
    } else {
      ShowText(QString("The file \"%1\" cannot be shown as a PDF document.").arg(shown));
    }
  } else {
    PdfDocument->close();
    // Read and decoded away from the window, shown piece by piece.
    QString text;
    TBusyMode::Instance().RunAside([&] {
      QFile f(path);
      if (f.open(QIODevice::ReadOnly))
        text = WithLongLinesBroken(DecodeText(f.readAll()));
      else
        text = QString("The file \"%1\" cannot be read: %2").arg(shown, f.errorString());
    });
    ShowText(text);
  }
  setWindowTitle(shown);

  // Never larger than the screen's free area.
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  int w = Width, h = Height;
  if (screen) {
    const QRect avail = screen->availableGeometry();
    const QMargins frame = frameGeometry().isValid() && isVisible()
                               ? QMargins(geometry().left() - frameGeometry().left(),
                                          geometry().top() - frameGeometry().top(),
                                          frameGeometry().right() - geometry().right(),
                                          frameGeometry().bottom() - geometry().bottom())
                               : QMargins();
    w = std::min(w, avail.width() - frame.left() - frame.right());
    h = std::min(h, avail.height() - frame.top() - frame.bottom());
  }
  resize(std::max(w, 100), std::max(h, 100));
  show();
  raise();
  activateWindow();
  return true;
}

void TWebBrowserDlg::ShowText(const QString& Text) {
  // A document of its own, filled before it is shown: the view lays out only what it shows.
  auto* doc = new QTextDocument(TextView);
  doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
  doc->setUndoRedoEnabled(false);
  doc->setDefaultFont(TextView->font());
  FillDocumentInPieces(doc, Text);
  // The view deletes only the document it made itself; the one shown before this is ours.
  const QPointer<QTextDocument> old = TextView->document();
  TextView->setDocument(doc);
  if (old && old->parent() == TextView) delete old.data();
  WBrowser->setCurrentWidget(TextView);
}

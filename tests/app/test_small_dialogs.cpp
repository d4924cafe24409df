// The main window's small dialogs: choosing a module's data set, the document viewer, the scope
// cursor settings and the scope data log's file name.
#include <QApplication>
#include <atomic>
#include <thread>
#include <QElapsedTimer>
#include <QTest>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QToolButton>

#include "DialogsTestUtil.h"
#include "TestTempDir.h"
#include "app/dialogs/KVXModIdSelDlgForm.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"
#include "app/dialogs/KVXScopeCursorSettingsForm.h"
#include "app/dialogs/KVXWebBrowserForm.h"

using namespace dlgtest;

namespace {

TEST(ModuleSelection, ReturnsTheChosenIndexOrMinusOne) {
  TModulIdSelDlg dlg;
  const TStringList ids = {"KVX-SIM 1.20 2026 4711", "OTHER 2.00 x 1", "Gr\xFC\xDF" "e 1.0 x 2"};
  int row = 1;
  bool ok = true;
  ModalAnswer answer([&](QDialog*) {
    ASSERT_EQ(dlg.LBoxIdList->count(), 3);
    EXPECT_EQ(dlg.LBoxIdList->item(2)->text(), QString::fromUtf8("Grüße 1.0 x 2"));
    EXPECT_TRUE(dlg.LBoxIdList->selectedItems().isEmpty());
    if (row >= 0) dlg.LBoxIdList->item(row)->setSelected(true);
    ok ? dlg.BBtnOK->click() : dlg.BBtnCancel->click();
  });
  EXPECT_EQ(dlg.Execute(ids), 1);
  row = 2;
  EXPECT_EQ(dlg.Execute(ids), 2);
  row = -1;  // OK with nothing chosen
  EXPECT_EQ(dlg.Execute(ids), -1);
  row = 0, ok = false;  // Cancel with an entry chosen
  EXPECT_EQ(dlg.Execute(ids), -1);
  EXPECT_EQ(answer.calls, 4);
  // No list or an empty one: nothing is shown.
  EXPECT_EQ(dlg.Execute(TStringList{}), -1);
  EXPECT_EQ(dlg.Execute(nullptr), -1);
  EXPECT_EQ(answer.calls, 4);
}

// Two identical lines cannot be told apart: an entry given twice is shown once, and choosing it
// gives its first place.
TEST(ModuleSelection, AnEntryGivenTwiceIsShownOnceAndChosenAtItsFirstPlace) {
  TModulIdSelDlg dlg;
  const TStringList ids = {"A 1.0 x 1", "B 1.0 x 2", "A 1.0 x 1", "C 1.0 x 3"};
  QStringList shown;
  int row = 2;
  ModalAnswer answer([&](QDialog*) {
    shown.clear();
    for (int i = 0; i < dlg.LBoxIdList->count(); ++i) shown << dlg.LBoxIdList->item(i)->text();
    dlg.LBoxIdList->item(row)->setSelected(true);
    dlg.BBtnOK->click();
  });
  EXPECT_EQ(dlg.Execute(ids), 3);
  EXPECT_EQ(shown, QStringList({"A 1.0 x 1", "B 1.0 x 2", "C 1.0 x 3"}));
  row = 0;
  EXPECT_EQ(dlg.Execute(ids), 0);
}

TEST(DocumentViewer, ShowsAPdfAndTextFilesAndIgnoresMissingOnes) {
  testutil::TempDir dir;
  const std::string pdf = dir.File("Manual_EN.pdf");
  {
    QPdfWriter writer(QString::fromStdString(pdf));
    writer.setResolution(300);
    QPainter p(&writer);
    p.setFont(QFont("Arial", 28, QFont::Bold));
    p.drawText(QRect(0, 0, 2400, 200), Qt::AlignLeft, "Quick Start-Up Guideline");
    p.setFont(QFont("Arial", 12));
    p.drawText(QRect(0, 260, 2400, 1200), Qt::TextWordWrap,
               "1. Connect the module to a serial port of the PC.\n"
               "2. Choose the port and press Connect.\n"
               "3. Identify the module: its parameters appear in the grid.");
  }
  TWebBrowserDlg viewer;
  ASSERT_TRUE(viewer.ShowFile(pdf));
  EXPECT_TRUE(viewer.isVisible());
  EXPECT_EQ(viewer.windowTitle().toStdString(), pdf);
  EXPECT_EQ(viewer.WBrowser->currentWidget(), viewer.PdfView);
  EXPECT_EQ(viewer.PdfDocument->status(), QPdfDocument::Status::Ready);
  EXPECT_EQ(viewer.PdfDocument->pageCount(), 1);
  EXPECT_EQ(viewer.size(), QSize(512, 348));
  // The pages are drawn on another thread: wait until the heading shows.
  const auto drawn = [&] {
    const QImage img = viewer.grab().toImage();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width() - 20; ++x)
        if (qGray(img.pixel(x, y)) < 60) return true;
    return false;
  };
  QElapsedTimer waited;
  waited.start();
  while (!drawn() && waited.elapsed() < 20000) QTest::qWait(20);
  EXPECT_TRUE(drawn());
  SavePicture(&viewer, "viewer-pdf.png");

  // A second file replaces content and caption; a ".kvx" shows as its XML text.
  const std::string kvx = dir.File("module.kvx");
  QFile f(QString::fromStdString(kvx));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<KVX><M Name=\"Druck \xB0" "C\"/></KVX>\n");
  f.close();
  ASSERT_TRUE(viewer.ShowFileSized(kvx, 5000, 5000));
  EXPECT_EQ(viewer.WBrowser->currentWidget(), viewer.TextView);
  EXPECT_TRUE(viewer.TextView->isReadOnly());
  EXPECT_TRUE(viewer.TextView->toPlainText().contains(QString::fromUtf8("Name=\"Druck °C\"")));
  EXPECT_EQ(viewer.windowTitle().toStdString(), kvx);
  // Never larger than the screen's free area.
  const QRect avail = viewer.screen()->availableGeometry();
  EXPECT_LE(viewer.width(), avail.width());
  EXPECT_LE(viewer.height(), avail.height());

  // A new text frees the one shown before; a line too long to lay out at once shows in pieces.
  const QPointer<QTextDocument> replaced = viewer.TextView->document();
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(9000, 'x') + "\nend");
  f.close();
  ASSERT_TRUE(viewer.ShowFile(kvx));
  EXPECT_TRUE(replaced.isNull());
  EXPECT_EQ(viewer.TextView->document()->blockCount(), 4);
  EXPECT_EQ(viewer.TextView->document()->firstBlock().length(), 4096 + 1);

  const QSize before = viewer.size();
  EXPECT_FALSE(viewer.ShowFile(dir.File("missing.pdf")));
  EXPECT_EQ(viewer.windowTitle().toStdString(), kvx);
  EXPECT_EQ(viewer.WBrowser->currentWidget(), viewer.TextView);
  EXPECT_EQ(viewer.size(), before);
  viewer.close();
}

TEST(ScopeCursorDialog, OkGivesBackWhatItShowsAndCancelChangesNothing) {
  TScopeCursorDlg dlg;
  bool change = false, ok = true;
  ModalAnswer answer([&](QDialog*) {
    EXPECT_TRUE(dlg.findChild<QRadioButton*>("RBtnChannel3")->isChecked());
    EXPECT_TRUE(dlg.CBTime->isChecked());
    EXPECT_FALSE(dlg.CBAmplitude->isChecked());
    if (change) {
      dlg.findChild<QRadioButton*>("RBtnChannel1")->click();
      dlg.CBAmplitude->click();
      dlg.CBTime->click();
    }
    ok ? dlg.BBtnOK->click() : dlg.BBtnCancel->click();
  });
  TCursorCha channel = 3;
  TCursors cursors{ckTime};
  EXPECT_TRUE(dlg.Execute(channel, cursors));
  EXPECT_EQ(channel, 3);
  EXPECT_EQ(cursors, TCursors{ckTime});
  change = true, ok = false;
  EXPECT_FALSE(dlg.Execute(channel, cursors));
  EXPECT_EQ(channel, 3);
  EXPECT_EQ(cursors, TCursors{ckTime});
  ok = true;
  channel = 3;
  EXPECT_TRUE(dlg.Execute(channel, cursors));
  EXPECT_EQ(channel, 1);
  EXPECT_EQ(cursors, TCursors{ckAmplitude});
}

TEST(ScopeDataDialog, ThePickedOrTypedNameStaysAlsoAfterAbbrechen) {
  testutil::TempDir dir;
  TSaveScopeDataDlg dlg;
  const std::string name = dir.File("new-log.txt");
  FileAnswer picker(name);
  ModalAnswer answer([&](QDialog*) {
    dlg.SBtnFilename->click();
    dlg.CancelBtn->click();
  });
  EXPECT_EQ(dlg.Execute(), QDialog::Rejected);
  EXPECT_EQ(picker.calls, 1);
  EXPECT_FALSE(picker.last.MustExist && picker.last.Kind == fdkOpen);  // a new file may be named
  EXPECT_EQ(dlg.EdtFilename->text().toStdString(), name);
  EXPECT_EQ(dlg.LogFileName(), name);
  // Closing by the close box takes the typed text over too.
  dlg.show();
  dlg.EdtFilename->setText("");
  dlg.close();
  EXPECT_EQ(dlg.LogFileName(), "");

  // The poll thread reads the name while the window thread opens and closes the dialog.
  std::atomic<bool> stop{false};
  std::thread poll([&] {
    while (!stop) {
      const std::string n = dlg.LogFileName();
      if (!n.empty() && n != name) ADD_FAILURE() << n;
    }
  });
  for (int i = 0; i < 200; ++i) {
    dlg.show();
    dlg.EdtFilename->setText(i % 2 ? FileNameFromBytes(name) : QString());
    dlg.close();
  }
  stop = true;
  poll.join();
}

}  // namespace

// The dialogs as a person sees them: nothing cut off, nothing on top of something else. With
// KVX_SCREENSHOT_DIR set, each is written there as a PNG (the pictures in docs/).
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include "DialogsTestUtil.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "app/dialogs/KVXModIdSelDlgForm.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"
#include "app/dialogs/KVXScopeCursorSettingsForm.h"

using namespace dlgtest;

namespace {

void ExpectTidy(QWidget* top, const char* what) {
  std::vector<QRect> rects;
  std::vector<QWidget*> leaves;
  for (QWidget* w : top->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(top)) continue;
    const bool leaf = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                      qobject_cast<QLineEdit*>(w) || qobject_cast<QListWidget*>(w);
    if (!leaf) continue;
    const QRect r(w->mapTo(top, QPoint(0, 0)), w->size());
    EXPECT_TRUE(top->rect().contains(r)) << what << ": " << w->objectName().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) {
      const std::string t = l->text().toStdString();
      if (l->wordWrap()) {
        EXPECT_GE(l->height(), l->heightForWidth(l->width())) << what << ": " << t;
      } else {
        EXPECT_GE(l->width(), l->sizeHint().width()) << what << ": " << t;
      }
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
      EXPECT_GE(b->width(), b->sizeHint().width()) << what << ": " << b->text().toStdString();
    }
    for (const QRect& o : rects) EXPECT_FALSE(o.intersects(r)) << what << ": " << w->objectName().toStdString();
    rects.push_back(r);
    leaves.push_back(w);
  }
}

void Picture(QDialog* d, const char* file) {
  d->show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  ExpectTidy(d, file);
  SavePicture(d, file);
}

TEST(DialogPictures, SmallDialogsAndTheAssistantsPages) {
  TModulIdSelDlg sel;
  ModalAnswer answer([&](QDialog* d) {
    sel.LBoxIdList->item(1)->setSelected(true);
    Picture(d, "module-selection.png");
    d->reject();
  });
  sel.Execute(TStringList{"KVX-SIM 1.20 2026 4711", "KVX-SIM 1.30 2027 4712", "PUMP 2.00 x 17"});

  TScopeCursorDlg cursor;
  Picture(&cursor, "scope-cursor-dialog.png");
  cursor.CBTime->setChecked(true);

  TSaveScopeDataDlg save;
  save.SetLogFileName("/home/user/measurements/scope-log.txt");
  Picture(&save, "scope-data-dialog.png");

  TFWUpdateDlg fw;
  fw.NB->setCurrentWidget(fw.PageKey);
  for (QPushButton* b : {fw.BtnStart, fw.BtnErase, fw.BtnProgram}) b->setEnabled(false);
  fw.ErrLabelStartUpdate->hide();
  fw.StatusInfoLabel->hide();
  fw.ProgressBar->hide();
  Picture(&fw, "fw-update-key.png");
  // The longest texts of the main page fit.
  fw.NB->setCurrentWidget(fw.PageMain);
  fw.ErrLabelStartUpdate->show();
  fw.StatusInfoLabel->setText(QString("%1 %2").arg(TFWUpdateDlg::kPrepareFailedText,
                                                   TFWUpdateDlg::kLeaveFailedText));
  fw.StatusInfoLabel->show();
  fw.ProgressBar->show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  ExpectTidy(&fw, "assistant main page");
  fw.hide();
}

}  // namespace

// The message dialog: titles, English captions, button order, default and Escape buttons, the
// close box, and the seam through which tests answer messages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "services/osAdvMsgDlg.h"

namespace {

// Runs AdvMessageDlg with the real form and lets `act` work on it once it is shown. A form the
// test forgot to close is ended with -1 after a generous bound, so no test can hang.
int RunDialog(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons,
              std::function<void(QDialog*)> act, QDialog** seen = nullptr) {
  SetAdvMessageDlgShowHook([&](QDialog* form) {
    if (seen) *seen = form;
    QTimer::singleShot(0, form, [form, act] { act(form); });
    QTimer::singleShot(20000, form, [form] { form->done(-1); });
  });
  const int result = AdvMessageDlg(msg, type, buttons, 0);
  SetAdvMessageDlgShowHook({});
  return result;
}

std::vector<QString> ButtonCaptions(QDialog* form) {
  std::vector<std::pair<int, QString>> found;
  for (QPushButton* b : form->findChildren<QPushButton*>()) found.emplace_back(b->x(), b->text());
  std::sort(found.begin(), found.end());
  std::vector<QString> out;
  for (auto& f : found) out.push_back(f.second);
  return out;
}

QPushButton* Button(QDialog* form, const char* name) {
  return form->findChild<QPushButton*>(QString::fromLatin1(name));
}

}  // namespace

TEST(MessageDialogForm, ErrorWithOkShowsTitleAndOneOkButton) {
  QString title;
  std::vector<QString> captions;
  QString text;
  const int r = RunDialog("Something failed.\nSecond line", mtError, {mbOK}, [&](QDialog* f) {
    title = f->windowTitle();
    captions = ButtonCaptions(f);
    text = f->findChild<QLabel*>("Message")->text();
    Button(f, "OK")->click();
  });
  EXPECT_EQ(r, mrOk);
  EXPECT_EQ(title, "Error");
  EXPECT_EQ(captions, std::vector<QString>{"Ok"});
  EXPECT_EQ(text, "Something failed.\nSecond line");
}

TEST(MessageDialogForm, AllButtonsStandInTheirOrderWithEnglishCaptions) {
  std::vector<QString> captions;
  RunDialog("x", mtWarning,
            {mbHelp, mbYesToAll, mbNoToAll, mbAll, mbIgnore, mbRetry, mbAbort, mbCancel, mbOK, mbNo,
             mbYes},
            [&](QDialog* f) {
              captions = ButtonCaptions(f);
              f->done(mrOk);
            });
  EXPECT_EQ(captions, (std::vector<QString>{"Yes", "No", "Ok", "Cancel", "Abort", "Retry",
                                            "Ignore", "All", "No to all", "Yes to all", "Help"}));
}

TEST(MessageDialogForm, EachButtonReturnsItsResult) {
  const std::pair<const char*, int> table[] = {
      {"YES", mrYes},       {"NO", mrNo},       {"OK", mrOk},   {"CANCEL", mrCancel},
      {"ABORT", mrAbort},   {"RETRY", mrRetry}, {"IGNORE", mrIgnore}, {"ALL", mrAll},
      {"NOTOALL", mrNoToAll}, {"YESTOALL", mrYesToAll}};
  const TMsgDlgButtons all{mbYes,    mbNo,  mbOK,      mbCancel,   mbAbort, mbRetry,
                           mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp};
  for (auto [name, result] : table) {
    EXPECT_EQ(RunDialog("x", mtConfirmation, all, [&](QDialog* f) { Button(f, name)->click(); }),
              result)
        << name;
  }
}

TEST(MessageDialogForm, HelpDoesNotClose) {
  bool stillOpen = false;
  const int r = RunDialog("x", mtInformation, {mbOK, mbHelp}, [&](QDialog* f) {
    Button(f, "HELP")->click();
    QApplication::processEvents();
    stillOpen = f->isVisible();
    Button(f, "OK")->click();
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(r, mrOk);
}

TEST(MessageDialogForm, EscapePressesTheCancelButton) {
  auto escape = [](QDialog* f) {
    QWidget* target = f->focusWidget() ? f->focusWidget() : f;
    QTest::keyClick(target, Qt::Key_Escape);
  };
  EXPECT_EQ(RunDialog("x", mtConfirmation, {mbOK, mbCancel}, escape), mrCancel);
  EXPECT_EQ(RunDialog("x", mtConfirmation, {mbYes, mbNo}, escape), mrNo);
  EXPECT_EQ(RunDialog("x", mtError, {mbOK}, escape), mrOk);
  // No cancel button at all: Escape does nothing; the form is still open afterwards.
  bool open = false;
  EXPECT_EQ(RunDialog("x", mtWarning, {mbAbort, mbRetry, mbIgnore},
                      [&](QDialog* f) {
                        QTest::keyClick(f, Qt::Key_Escape);
                        QApplication::processEvents();
                        open = f->isVisible();
                        Button(f, "IGNORE")->click();
                      }),
            mrIgnore);
  EXPECT_TRUE(open);
}

TEST(MessageDialogForm, CloseBoxGivesCancelWhateverTheButtons) {
  auto closeBox = [](QDialog* f) { f->close(); };
  EXPECT_EQ(RunDialog("x", mtConfirmation, {mbYes, mbNo}, closeBox), mrCancel);
  EXPECT_EQ(RunDialog("x", mtError, {mbOK}, closeBox), mrCancel);
}

TEST(MessageDialogForm, EnterPressesTheDefaultButton) {
  auto enter = [](QDialog* f) { QTest::keyClick(f, Qt::Key_Return); };
  EXPECT_EQ(RunDialog("x", mtWarning, {mbOK, mbCancel}, enter), mrOk);
  EXPECT_EQ(RunDialog("x", mtWarning, {mbYes, mbNo, mbOK}, enter), mrOk);
  EXPECT_EQ(RunDialog("x", mtWarning, {mbYes, mbNo}, enter), mrYes);
  EXPECT_EQ(RunDialog("x", mtWarning, {mbAbort, mbRetry, mbIgnore}, enter), mrRetry);
}

TEST(MessageDialogForm, DefaultButtonHasTheInitialFocus) {
  QString focused;
  RunDialog("x", mtWarning, {mbYes, mbNo}, [&](QDialog* f) {
    if (f->focusWidget()) focused = f->focusWidget()->objectName();
    f->done(mrNo);
  });
  EXPECT_EQ(focused, "YES");
}

TEST(MessageDialogForm, LongTextWrapsInsteadOfGrowingPastTheScreen) {
  int width = 0;
  RunDialog(std::string(2000, 'w') + " end", mtInformation, {mbOK}, [&](QDialog* f) {
    width = f->width();
    f->done(mrOk);
  });
  EXPECT_GT(width, 0);
  EXPECT_LE(width, QApplication::primaryScreen()->availableGeometry().width());
}

// Three hundred names once made a form 4,280 pixels high with its OK button off the screen: the
// names now scroll in a box of ten lines, and the form stays on the screen.
TEST(MessageDialogForm, ALongListScrollsInsideAFormThatFitsTheScreen) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back("PARAMETER_" + std::to_string(i));
  names.back() = "NAME \xC4";  // Windows-1252
  QRect form, ok;
  QString before, after, items;
  int scrollRange = 0;
  SetAdvMessageDlgShowHook([&](QDialog* f) {
    QTimer::singleShot(0, f, [&, f] {
      form = f->frameGeometry();
      ok = QRect(Button(f, "OK")->mapTo(f, QPoint(0, 0)), Button(f, "OK")->size());
      before = f->findChild<QLabel*>("Message")->text();
      after = f->findChild<QLabel*>("MessageEnd")->text();
      auto* list = f->findChild<QPlainTextEdit*>("Items");
      items = list->toPlainText();
      scrollRange = list->verticalScrollBar()->maximum();
      Button(f, "OK")->click();
    });
    QTimer::singleShot(20000, f, [f] { f->done(-1); });
  });
  EXPECT_EQ(AdvMessageDlgList("The commands ", names, " are not valid!", mtError, {mbOK}), mrOk);
  SetAdvMessageDlgShowHook({});
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(form.height(), screen.height() / 2);
  EXPECT_LE(form.width(), screen.width());
  EXPECT_TRUE(QRect(QPoint(0, 0), form.size()).contains(ok));
  EXPECT_EQ(before, "The commands");
  EXPECT_EQ(after, "are not valid!");
  EXPECT_EQ(items.split('\n').size(), 300);
  EXPECT_TRUE(items.startsWith("PARAMETER_0\nPARAMETER_1\n"));
  EXPECT_TRUE(items.endsWith(QString::fromUtf8("\nNAME Ä")));
  EXPECT_GT(scrollRange, 0);
}

TEST(MessageDialogSeam, HandlerAnswersAndNothingIsShown) {
  struct Seen {
    std::string msg;
    TMsgDlgType type;
    TMsgDlgButtons buttons;
  };
  std::vector<Seen> seen;
  bool shown = false;
  SetAdvMessageDlgShowHook([&](QDialog* f) {
    shown = true;
    f->done(mrNone);
  });
  SetAdvMessageDlgHandler([&](const std::string& m, TMsgDlgType t, TMsgDlgButtons b) {
    seen.push_back({m, t, b});
    return mrNo;
  });
  EXPECT_EQ(AdvMessageDlg("Overwrite?", mtWarning, {mbYes, mbNo}, 0), mrNo);
  SetAdvMessageDlgHandler({});
  SetAdvMessageDlgShowHook({});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].msg, "Overwrite?");
  EXPECT_EQ(seen[0].type, mtWarning);
  EXPECT_EQ(seen[0].buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_FALSE(shown);
}

// The password dialog: the owner's check on OK, the retry question, and what the entry accepts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "ServicesTestUtil.h"
#include "services/osAdvMsgDlg.h"
#include "services/osPasswordDialogs.h"
#include "services/osPasswordForm.h"

namespace {

struct PasswordDialog : ::testing::Test {
  TosPasswordDlg dlg;
  std::vector<std::string> checked;
  std::vector<std::string> messages;
  std::string accepted = "secret";
  int retryAnswer = mrOk;

  PasswordDialog() {
    SetAdvMessageDlgHandler([this](const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
      EXPECT_EQ(type, mtConfirmation);
      EXPECT_EQ(buttons, (TMsgDlgButtons{mbOK, mbCancel}));
      messages.push_back(msg);
      return retryAnswer;
    });
  }
  ~PasswordDialog() override { SetAdvMessageDlgHandler({}); }

  void WithCheck() {
    dlg.OnPasswordCheckReq = [this](TObject* sender, const std::string& pw, bool& ok) {
      EXPECT_EQ(sender, &dlg);
      checked.push_back(pw);
      ok = pw == accepted;
    };
  }
  QLineEdit* Edit() { return dlg.PasswForm()->LEditPassword; }
  // Types each text in turn and presses OK after it; then the form's result.
  bool Run(std::vector<QString> attempts, std::string& pw, bool cancelButton = false) {
    svctest::ModalAnswer answer([&](QDialog* d) {
      d->show();
      for (const QString& text : attempts) {
        QTest::keyClicks(Edit(), text);
        dlg.PasswForm()->BBtnOk->click();
        if (!d->isVisible()) break;
      }
      if (cancelButton) dlg.PasswForm()->BBtnCancel->click();
      d->hide();
      return d->result();
    });
    return dlg.Execute(pw);
  }
};

}  // namespace

TEST_F(PasswordDialog, EntryIsMaskedAndItsTextIsWhatTheOwnerChecks) {
  WithCheck();
  std::string pw;
  EXPECT_TRUE(Run({"secret"}, pw));
  EXPECT_EQ(Edit()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(checked, std::vector<std::string>{"secret"});
  EXPECT_EQ(pw, "secret");
  // Four characters and a Backspace pass the first three.
  checked.clear();
  accepted = "abc";
  svctest::ModalAnswer answer([&](QDialog* d) {
    QTest::keyClicks(Edit(), "abcd");
    QTest::keyClick(Edit(), Qt::Key_Backspace);
    dlg.PasswForm()->BBtnOk->click();
    return d->result();
  });
  EXPECT_TRUE(dlg.Execute(pw));
  EXPECT_EQ(checked, std::vector<std::string>{"abc"});
}

TEST_F(PasswordDialog, WithoutOwnerOkClosesAtOnceAndCancelGivesNothing) {
  std::string pw = "stale";
  EXPECT_TRUE(Run({"x y"}, pw));
  EXPECT_EQ(pw, "x y");
  WithCheck();
  EXPECT_FALSE(Run({}, pw, true));
  EXPECT_EQ(pw, "");
  EXPECT_TRUE(checked.empty());
}

TEST_F(PasswordDialog, RefusedPasswordAsksAgainAndRetryStartsAnEmptyEntry) {
  WithCheck();
  std::string pw;
  EXPECT_TRUE(Run({"wrong", "secret"}, pw));
  EXPECT_EQ(messages, std::vector<std::string>{"The password is incorrect! Retry?"});
  EXPECT_EQ(checked, (std::vector<std::string>{"wrong", "secret"}));
  EXPECT_EQ(pw, "secret");
}

TEST_F(PasswordDialog, RefusedPasswordAndCancelOnTheQuestionGiveFalseAndNoPassword) {
  WithCheck();
  retryAnswer = mrCancel;
  std::string pw;
  EXPECT_FALSE(Run({"wrong"}, pw));
  EXPECT_FALSE(dlg.PasswForm()->isVisible());
  EXPECT_EQ(pw, "");
}

TEST_F(PasswordDialog, OnlyPrintableCharactersGoIntoTheEntry) {
  dlg.PasswForm()->show();
  Edit()->setFocus();
  QTest::keyClicks(Edit(), "ab");
  // Ctrl+M is a carriage return on a terminal keyboard.
  QKeyEvent ctrlM(QEvent::KeyPress, Qt::Key_M, Qt::ControlModifier, QStringLiteral("\r"));
  QApplication::sendEvent(Edit(), &ctrlM);
  QKeyEvent ctrlJ(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier, QStringLiteral("\n"));
  QApplication::sendEvent(Edit(), &ctrlJ);
  Edit()->insert(QStringLiteral("x\ry"));
  Edit()->insert(QString::fromUtf8("\u00e4\u00a0~"));
  Edit()->insert(QString::fromUtf8("\u20ac"));
  EXPECT_EQ(Edit()->text(), QString::fromUtf8("ab\u00e4\u00a0~"));
  dlg.PasswForm()->hide();
}

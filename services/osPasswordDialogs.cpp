#include "services/osPasswordDialogs.h"

#include <QLineEdit>

#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osDialogHooks.h"
#include "services/osPasswordForm.h"

TBasePasswordDlg::TBasePasswordDlg(platform::TComponent* AOwner) : platform::TComponent(AOwner) {}

bool TBasePasswordDlg::Execute(std::string& Password) {
  Password_.clear();
  Password.clear();
  QDialog* form = Form();
  if (!form) return false;
  Clear();
  if (ExecModal(form) != QDialog::Accepted) return false;
  Password = Password_;
  return true;
}

TosPasswordDlg::TosPasswordDlg(platform::TComponent* AOwner)
    : TBasePasswordDlg(AOwner), Form_(std::make_unique<TSimplePasswForm>()) {
  Form_->OnCloseQuery = [this] { return CheckPasswordOnClose(); };
}

TosPasswordDlg::~TosPasswordDlg() = default;

QDialog* TosPasswordDlg::Form() const { return Form_.get(); }

std::string TosPasswordDlg::EnteredPassword() const { return ToAnsi(Form_->LEditPassword->text()); }

void TosPasswordDlg::Clear() { Form_->LEditPassword->clear(); }

int TosPasswordDlg::CheckPasswordOnClose() {
  Password_ = EnteredPassword();
  if (!OnPasswordCheckReq) return QDialog::Accepted;
  bool checkOk = false;
  OnPasswordCheckReq(this, Password_, checkOk);
  if (checkOk) return QDialog::Accepted;
  if (AdvMessageDlg("The password is incorrect! Retry?", mtConfirmation, {mbOK, mbCancel}) == mrOk) {
    Password_.clear();
    Clear();
    Form_->LEditPassword->setFocus();
    return TSimplePasswForm::KeepOpen;
  }
  // Given up: nothing was accepted, so nothing is handed back.
  Password_.clear();
  return QDialog::Rejected;
}

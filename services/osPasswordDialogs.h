// The password entry: a modal form whose OK asks the owner (OnPasswordCheckReq) whether the
// module took the password, and offers another try when it did not.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Component.h"

class QDialog;
class TSimplePasswForm;

using TPasswordCheckRequest =
    std::function<void(TObject* Sender, const std::string& InputPassw, bool& CheckOk)>;

class TBasePasswordDlg : public platform::TComponent {
 public:
  explicit TBasePasswordDlg(platform::TComponent* AOwner = nullptr);

  // Shows the form. True with the password when it closed with OK; else false and an empty
  // password.
  virtual bool Execute(std::string& Password);
  // Empties the entry.
  virtual void Clear() = 0;

  TPasswordCheckRequest OnPasswordCheckReq;

 protected:
  // The form; nullptr in the base class.
  virtual QDialog* Form() const { return nullptr; }
  // The password as the entry holds it now.
  virtual std::string EnteredPassword() const { return {}; }

  std::string Password_;
};

class TosPasswordDlg : public TBasePasswordDlg {
 public:
  explicit TosPasswordDlg(platform::TComponent* AOwner = nullptr);
  ~TosPasswordDlg() override;

  void Clear() override;
  TSimplePasswForm* PasswForm() const { return Form_.get(); }

 protected:
  QDialog* Form() const override;
  std::string EnteredPassword() const override;

 private:
  // OK pressed: ask the owner; a refused password asks whether to retry.
  int CheckPasswordOnClose();

  std::unique_ptr<TSimplePasswForm> Form_;
};

// Helpers of the dialog tests: answering modal dialogs and file pickers in place of a user, and
// writing pictures of the dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <string>

#include "LayoutTestUtil.h"
#include "services/osDialogHooks.h"

namespace dlgtest {

// While it lives, every modal dialog is handed to Act instead of running, and its answer is the
// dialog's result after Act (so Act ends it with accept(), reject() or a button click).
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<void(QDialog*)> act) {
    SetModalHook([this, act = std::move(act)](QDialog* d) {
      ++calls;
      d->setResult(QDialog::Rejected);
      act(d);
      return d->result();
    });
  }
  ~ModalAnswer() { SetModalHook({}); }
  int calls = 0;
};

// While it lives, every file picker answers with Name (false for an empty one).
class FileAnswer {
 public:
  explicit FileAnswer(std::string name) {
    SetFileDialogHook([this, name = std::move(name)](const TFileDialogOptions& o, std::string& f) {
      ++calls;
      last = o;
      if (name.empty()) return false;
      f = name;
      return true;
    });
  }
  ~FileAnswer() { SetFileDialogHook({}); }
  int calls = 0;
  TFileDialogOptions last;
};

// Writes the widget's picture to $KVX_SCREENSHOT_DIR/File when that is set (docs/ pictures).
inline void SavePicture(QWidget* w, const char* file) { layouttest::SavePicture(w, file); }

}  // namespace dlgtest

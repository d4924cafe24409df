// The one modal message box of the program: warnings, errors, results and questions, always with
// English titles and button texts whatever the system language.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class QAbstractButton;
class QPushButton;

enum TMsgDlgType { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3 };

// In the order the buttons stand on the form, left to right.
enum TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp
};

// A set of buttons.
class TMsgDlgButtons {
 public:
  constexpr TMsgDlgButtons() = default;
  constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (TMsgDlgBtn b : buttons) bits_ |= Bit(b);
  }
  constexpr bool Contains(TMsgDlgBtn b) const { return (bits_ & Bit(b)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TMsgDlgButtons& operator+=(TMsgDlgBtn b) {
    bits_ |= Bit(b);
    return *this;
  }
  constexpr bool operator==(const TMsgDlgButtons&) const = default;

 private:
  static constexpr std::uint16_t Bit(TMsgDlgBtn b) { return static_cast<std::uint16_t>(1u << b); }
  std::uint16_t bits_ = 0;
};

// Modal results of the buttons; the close box gives mrCancel.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrAbort = 3;
constexpr int mrRetry = 4;
constexpr int mrIgnore = 5;
constexpr int mrYes = 6;
constexpr int mrNo = 7;
constexpr int mrAll = 8;
constexpr int mrNoToAll = 9;
constexpr int mrYesToAll = 10;

// Shows Msg (line breaks kept) modally and returns the result of the button that closed it.
// HelpCtx is accepted for the callers' sake; no help is shown. Window thread only.
int AdvMessageDlg(const std::string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                  int helpCtx = 0);

// A message around a list that may be long (the names a download could not use, say): the form
// shows Before, then the items in a box of at most ten lines that scrolls, then After, so that
// the buttons stay on the screen however many items there are. To the handler below it is the
// one text Before + every item followed by a line break + After.
int AdvMessageDlgList(const std::string& before, const std::vector<std::string>& items,
                      const std::string& after, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                      int helpCtx = 0);

// While a handler is installed, AdvMessageDlg shows nothing and returns the handler's answer.
// Tests install one to answer and record every message. An empty function removes it.
using TAdvMessageDlgHandler =
    std::function<int(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons)>;
void SetAdvMessageDlgHandler(TAdvMessageDlgHandler handler);

// Called with every real message form just before it runs modally (after it is laid out), so a
// test can find its buttons by object name ("YES", "OK", "CANCEL", ...) and press them.
void SetAdvMessageDlgShowHook(std::function<void(QDialog* form)> hook);

// The message form itself. Escape presses the cancel button (Cancel, else No, else OK); Enter
// the default button (OK, else Yes, else Retry); the close box gives mrCancel.
class TAdvMessageForm : public QDialog {
  Q_OBJECT

 public:
  TAdvMessageForm(const std::string& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                  QWidget* parent = nullptr);
  // The form of AdvMessageDlgList: the label "Message" holds Before, the read-only text box
  // "Items" one item a line, the label "MessageEnd" After.
  TAdvMessageForm(const std::string& before, const std::vector<std::string>& items,
                  const std::string& after, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                  QWidget* parent = nullptr);

  static const char* Title(TMsgDlgType dlgType);
  static const char* Caption(TMsgDlgBtn button);
  static const char* ButtonName(TMsgDlgBtn button);
  static int Result(TMsgDlgBtn button);

  QPushButton* DefaultButton() const { return defaultButton_; }
  QPushButton* EscapeButton() const { return escapeButton_; }

 public slots:
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Lays out the icon and Text (with the list and the text after it, when given) above the
  // buttons.
  void Build(const std::string& text, const std::vector<std::string>* items, const std::string& after,
             TMsgDlgType dlgType, TMsgDlgButtons buttons);

  QPushButton* defaultButton_ = nullptr;
  QPushButton* escapeButton_ = nullptr;
};

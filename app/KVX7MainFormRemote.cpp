// Remote control of the module's analog and digital inputs from the monitor page: the enable box
// with its warning, five analog edits sharing one track bar, and eight digital input boxes.
//
// Only the user writes to the module: the boxes react to the user's changes (a click, a key, a
// screen reader's toggle), and a state reported by the monitor poll only updates them: the
// window's own changes are made with the box's signals blocked (ShowChecked). A failed read of the digital state writes nothing, so one click
// can never switch all inputs (the Enable pins included) off.
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "app/KVX7MainForm.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"

namespace {

// The track bar's range when the active pin has none in the command list.
constexpr int kDefaultMin = 0;
constexpr int kDefaultMax = 10000;

bool IsHidden(const TLabeledEdit* e) { return e->Box->isHidden(); }

// The window's own change of a box: what the module has, not a change to send.
void ShowChecked(QCheckBox* Box, bool Checked) {
  const QSignalBlocker block(Box);
  Box->setChecked(Checked);
}

bool ParseInt(const QString& text, std::int32_t& value) {
  return TryStrToInt(ToAnsi(text), value);
}

// The edit's pin takes negative values.
bool MinusAllowed(TKVXMainForm& F, const TLabeledEdit& Edit) {
  std::int32_t min = kDefaultMin, max = kDefaultMax;
  TModRemoteCtrlCommandList* list = F.KVXModProt->RemoteCtrlCmdList();
  return list && list->GetPinRange(static_cast<std::uint8_t>(Edit.Tag), min, max) && min < 0;
}

// Text made only of characters an analog edit takes: ASCII digits, and "-" when Minus.
bool AcceptsTyped(const QString& Text, bool Minus) {
  if (Text.isEmpty()) return false;
  for (QChar c : Text)
    if (!((c.isDigit() && c.unicode() < 128) || (Minus && c == QLatin1Char('-')))) return false;
  return true;
}

}  // namespace

void TKVXMainForm::SetupAnalogInputs() {
  if (AnalogInputEdits.size() != 5) return;
  for (TLabeledEdit* e : AnalogInputEdits) {
    e->Box->setVisible(false);
    e->EditLabel->setText("Pin");
    e->Tag = 0;
  }
  TModRemoteCtrlCommandList* list = KVXModProt->RemoteCtrlCmdList();
  if (!list || list->Count() >= 6) return;
  for (int i = 0; i < list->Count() && i < 5; ++i) {
    TModRemoteCtrlCmd* cmd = list->GetRemoteCtrlCmd(i);
    if (!cmd) continue;
    TLabeledEdit* e = AnalogInputEdits[static_cast<std::size_t>(i)];
    e->Box->setVisible(true);
    e->Tag = cmd->GetPinIndex();
    e->EditLabel->setText(FromAnsi(cmd->GetPinCaption()));
    ShowAnalogValue(e, cmd->Value);
  }
  NameControlsByCaption();
}

void TKVXMainForm::UpdateRemoteCtrlState() {
  if (!KVXModProt->CheckPrompt()) return;
  // A module without remote control is not asked for its state: it has no such command.
  const bool available = KVXModProt->RemoteCtrlAvailable();
  auto enabled = [&] { return available && KVXModProt->RemoteCtrlEnabled(); };
  ShowChecked(CBoxRemoteCtrlEnable, enabled());
  CBoxRemoteCtrlEnable->setEnabled(available);
  BtnRemoteControl->setEnabled(CBoxRemoteCtrlEnable->isChecked());
  TBarAnaInputs->setEnabled(false);
  if (available) {
    const bool on = KVXModProt->RemoteCtrlEnabled();
    for (TLabeledEdit* e : AnalogInputEdits) {
      if (IsHidden(e)) break;
      e->Edit->setEnabled(on);
      std::int32_t value = 0;
      if (KVXModProt->ReadRemoteCtrlValue(static_cast<std::uint8_t>(e->Tag), value))
        ShowAnalogValue(e, value);
    }
  }
  for (QCheckBox* box : DigitalInputBoxes) box->setEnabled(enabled());
  if (!CBoxRemoteCtrlEnable->isChecked()) SetRangeLabels(QString(), QString());
}

void TKVXMainForm::CBoxRemoteCtrlEnableClick() {
  // Runs for a user's change only: the box already shows the state asked for.
  const bool checked = CBoxRemoteCtrlEnable->isChecked();
  if (CBoxRemoteCtrlEnable->isEnabled()) {
    const std::string question = std::string("Attention! You will") +
                                 (checked ? " enable " : " disable ") + "remote control!!!\n" +
                                 "After that all analogue and digital input values will be changed!!!\n" +
                                 "Are you really sure that you want to continue?";
    if (AdvMessageDlg(question, mtWarning, {mbYes, mbNo}, 0) != mrYes) {
      // The old state is put back and sent again, without asking. The inputs stay as they are:
      // the user declined the change the warning announced.
      CBoxRemoteCtrlEnable->setEnabled(false);
      ShowChecked(CBoxRemoteCtrlEnable, !checked);
      ApplyRemoteCtrlEnable(false);
      CBoxRemoteCtrlEnable->setEnabled(true);
      BtnRemoteControl->setEnabled(CBoxRemoteCtrlEnable->isChecked());
      return;
    }
  }
  ApplyRemoteCtrlEnable();
}

void TKVXMainForm::ApplyRemoteCtrlEnable(bool ClearInputs) {
  KVXModProt->SetRemoteCtrlEnabled(CBoxRemoteCtrlEnable->isChecked());
  ShowChecked(CBoxRemoteCtrlEnable, KVXModProt->RemoteCtrlEnabled());
  if (CBoxRemoteCtrlEnable->isChecked() && ClearInputs) {
    std::uint8_t cleared = 0;
    KVXModProt->WriteRemoteState(cleared);
  }
  UpdateRemoteCtrlState();
  BtnRemoteControl->setEnabled(CBoxRemoteCtrlEnable->isChecked());
}

void TKVXMainForm::CBoxDigitalIOClick(QCheckBox* Sender) {
  if (!Sender) return;
  const auto it = std::find(CBDInp.begin(), CBDInp.end(), Sender);
  if (it == CBDInp.end()) return;
  const auto mask = static_cast<std::uint8_t>(1u << (it - CBDInp.begin()));
  std::uint8_t state = 0;
  // Without the module's present state nothing is written: the next poll shows the truth.
  if (!KVXModProt->ReadRemoteState(state)) return;
  if (Sender->isChecked())
    state = static_cast<std::uint8_t>(state | mask);
  else
    state = static_cast<std::uint8_t>(state & ~mask);
  if (KVXModProt->WriteRemoteState(state)) KVXModProtDigitalInputStateInfo(nullptr, state);
}

void TKVXMainForm::KVXModProtDigitalInputStateInfo(TObject*, std::uint8_t State) {
  if (DigitalInputBoxes.size() != 8) return;
  try {
    // Setting a box does not run its click handler: nothing goes back to the module.
    for (std::size_t i = 0; i < 8; ++i) ShowChecked(DigitalInputBoxes[i], (State >> i) & 1u);
  } catch (...) {
  }
}

void TKVXMainForm::HighlightAnalogEdit(TLabeledEdit* Edit, bool On) {
  if (!Edit) return;
  QFont f = Edit->Edit->font();
  f.setBold(On);
  Edit->Edit->setFont(f);
  if (On) {
    QPalette pal = Edit->Edit->palette();
    pal.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    pal.setColor(QPalette::Text, QColor(0xFF, 0, 0));
    Edit->Edit->setPalette(pal);
  } else {
    Edit->Edit->setPalette(QPalette());  // the window's colours again
  }
  Edit->Edit->update();
}

// Steps 1 and 2 of leaving the group: the active edit's text applied (clamped to the range set
// at its activation), the edit shows the track bar's position, the highlight goes. Without Send
// nothing goes to the module and the edit shows the track bar's position again.
static void ReleaseAnalogEdit(TKVXMainForm& F, bool Send = true) {
  TLabeledEdit* e = F.ActiveAnalogEdit;
  if (!e) return;
  std::int32_t value = 0;
  if (Send && ParseInt(e->Edit->text(), value)) {
    const int clamped = std::max(F.ActiveRangeMin, std::min<int>(value, F.ActiveRangeMax));
    if (clamped != F.TBarAnaInputs->value())
      F.TBarAnaInputs->setValue(clamped);  // sends it; the edit shows the read-back
    else
      F.ShowAnalogValue(e, F.TBarAnaInputs->value());
  } else {
    F.ShowAnalogValue(e, F.TBarAnaInputs->value());
  }
  F.HighlightAnalogEdit(e, false);
  F.ActiveAnalogEdit = nullptr;
}

void TKVXMainForm::LEditAnaInputsDlbClick(TLabeledEdit* Sender) {
  ReleaseAnalogEdit(*this);
  if (!Sender) return;
  std::int32_t min = kDefaultMin, max = kDefaultMax;
  TModRemoteCtrlCommandList* list = KVXModProt->RemoteCtrlCmdList();
  if (!list || !list->GetPinRange(static_cast<std::uint8_t>(Sender->Tag), min, max)) {
    min = kDefaultMin;
    max = kDefaultMax;
  }
  // No edit is active here, so a position moved by the new range sends nothing.
  TBarAnaInputs->setRange(min, max);
  ActiveRangeMin = TBarAnaInputs->minimum();
  ActiveRangeMax = TBarAnaInputs->maximum();
  SetRangeLabels(QString::number(min), QString::number(max));
  TBarAnaInputs->setTickInterval(std::max(1, (ActiveRangeMax - ActiveRangeMin) / 10));
  ActiveAnalogEdit = Sender;
  HighlightAnalogEdit(Sender, true);
  TBarAnaInputs->setEnabled(true);
  std::int32_t value = 0;
  if (!ParseInt(Sender->Edit->text(), value)) value = 0;
  TBarAnaInputs->setValue(value);  // a changed position sends it
}

bool TKVXMainForm::LEditAnaInputsKeyPress(TLabeledEdit* Sender, int Key, const QString& Text,
                                          Qt::KeyboardModifiers Modifiers) {
  if (!Sender) return false;
  // Moving the focus on stays possible; leaving the group releases the edit.
  if (Key == Qt::Key_Tab || Key == Qt::Key_Backtab) return false;
  const bool enter = Key == Qt::Key_Return || Key == Qt::Key_Enter;
  if (Sender != ActiveAnalogEdit) {
    // Only the active edit takes keys; Enter activates this one.
    if (enter) LEditAnaInputsDlbClick(Sender);
    return true;
  }
  if (enter) {
    TBarAnaInputs->setEnabled(false);
    // The range labels stay until the focus leaves the group.
    ReleaseAnalogEdit(*this);
    return true;
  }
  const bool minus = MinusAllowed(*this, *Sender);
  const QKeySequence typed(QKeyCombination(Modifiers, static_cast<Qt::Key>(Key)));
  // A paste passes when it holds what could have been typed.
  if (QKeySequence::keyBindings(QKeySequence::Paste).contains(typed))
    return !AcceptsTyped(QGuiApplication::clipboard()->text(), minus);
  if (Text.isEmpty()) return false;  // cursor keys, Delete, modifiers
  if (Key == Qt::Key_Backspace) return false;
  // Marking, copying and undoing change no number behind the user's back.
  for (QKeySequence::StandardKey k : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut,
                                      QKeySequence::Undo, QKeySequence::Redo})
    if (QKeySequence::keyBindings(k).contains(typed)) return false;
  return !AcceptsTyped(Text, minus);
}

void TKVXMainForm::LEditAnaInputsClick(TLabeledEdit* Sender) {
  if (!Sender || Sender == ActiveAnalogEdit || !Sender->Edit->isEnabled()) return;
  LEditAnaInputsDlbClick(Sender);
}

void TKVXMainForm::GBoxAnaInputsExit(bool Send) {
  ReleaseAnalogEdit(*this, Send);
  update();
  TBarAnaInputs->setEnabled(false);
  SetRangeLabels(QString(), QString());
}

void TKVXMainForm::SetRangeLabels(const QString& Min, const QString& Max) {
  LabelTBarMin->setText(Min);
  LabelTBarMax->setText(Max);
  // An empty label would otherwise take the group's caption as its name.
  LabelTBarMin->setAccessibleName(Min.isEmpty() ? "Lowest value" : "Lowest value " + Min);
  LabelTBarMax->setAccessibleName(Max.isEmpty() ? "Highest value" : "Highest value " + Max);
}

void TKVXMainForm::NameControlsByCaption() {
  for (QCheckBox* box : CBDInp) box->setAccessibleName(box->text().trimmed());
  for (QPushButton* b : ModeButtons) b->setAccessibleName(b->text().trimmed());
  for (TLabeledEdit& e : LEditPinX) e.Edit->setAccessibleName(e.EditLabel->text().trimmed());
}

void TKVXMainForm::TBarAnaInputsChange() {
  TLabeledEdit* e = ActiveAnalogEdit;
  if (!e) return;
  std::int32_t value = TBarAnaInputs->value();
  // The edit shows the position whether or not the module took it.
  ShowAnalogValue(e, value);
  KVXModProt->WriteRemoteCtrlValue(static_cast<std::uint8_t>(e->Tag), value);
}

void TKVXMainForm::ShowAnalogValue(TLabeledEdit* Edit, std::int32_t Value) {
  Edit->Held = QString::number(Value);
  Edit->Edit->setText(Edit->Held);
}

int TKVXMainForm::HeldAnalogPosition(int Fallback) const {
  // The track bar stands for the active edit; its Held text is what the program last read or
  // wrote for that input (a text typed but not yet applied is not).
  std::int32_t value = 0;
  return ActiveAnalogEdit && ParseInt(ActiveAnalogEdit->Held, value) ? value : Fallback;
}

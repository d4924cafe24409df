// The scope page's controls: per channel the signal, colour, scale and zero offset (expert page)
// or the signal and the vertical limits (customer page), the time base, Start/Stop, the cursor
// read-out in status panels 5 and 6, the picture's pop-up menu, and the scope data log.
//
// The log: the scope poll's thread only appends lines through ScopeDataLog, which holds a copy of
// the file name made here on the window thread (when the log dialog closes and at Start); the
// header naming the channels is written here at Start, before the scope runs.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>
#include <stdexcept>

#include "app/KVX7MainForm.h"
#include "app/KVXScopeDataLog.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"
#include "app/dialogs/KVXScopeCursorSettingsForm.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osDialogHooks.h"
#include "views/osDRUVScope.h"

namespace {

const QString kNoSignal = QStringLiteral("---");
const QString kDefaultLower = QStringLiteral("-100");
const QString kDefaultUpper = QStringLiteral("100");
const QString kDefaultTimeScale = QStringLiteral("1000");

// Names are compared as the module's texts are: without regard to case.
bool SameQText(const QString& A, const QString& B) { return SameText(ToAnsi(A), ToAnsi(B)); }

// The item of the box whose text equals Text; -1 when there is none.
int FindItem(const QComboBox* Box, const QString& Text) {
  for (int i = 0; i < Box->count(); ++i)
    if (SameQText(Box->itemText(i), Text)) return i;
  return -1;
}

bool ToInt(const QString& Text, std::int32_t& Value) { return TryStrToInt(ToAnsi(Text), Value); }

// Shows the item of that text (an item of the box) or, failing that, just the text.
void SetBoxText(QComboBox* Box, const QString& Text) {
  const int i = Box->findText(Text);
  if (i >= 0) Box->setCurrentIndex(i);
  Box->setEditText(Text);
}

// "%1.2f" and "%1.0f" with the user's decimal separator.
QString Fixed2(double V) {
  const double h = std::clamp(V * 100.0, -9.0e15, 9.0e15);
  return FromAnsi(FormatHundredths(std::llround(h)));
}
QString Fixed0(double V) { return QString::number(std::llround(std::clamp(V, -9.0e15, 9.0e15))); }

}  // namespace

// ---- Start and stop ------------------------------------------------------------------------------

void TKVXMainForm::CheckTimeGrid() {
  std::int32_t ms = 0;
  if (!ToInt(TimeGridEdit.Edit->text(), ms)) {
    TimeGridEdit.Edit->setFocus();
    throw std::runtime_error("Ung\xFCltige Eingabe bei Zeitraster.");
  }
  if (ms < 20 || ms > 2000) {
    TimeGridEdit.Edit->setFocus();
    throw std::runtime_error("Zeitraster muss zwischen 20 ms und 2000 ms (2 Sekunden) liegen.");
  }
}

void TKVXMainForm::BtnStartClick() {
  CheckTimeGrid();
  // The log's header first: from the moment the scope runs, the poll's thread logs every sample
  // set, and no line of a run may come before (or inside) its header. What the poll thread needs
  // is copied here, on the window thread.
  ScopeDataLog->SetFileName(SaveScopeDataDlg->LogFileName());
  std::array<std::string, 4> names;
  for (int i = 0; i < 4; ++i) names[static_cast<std::size_t>(i)] = ToAnsi(CBChCustSignal[i]->currentText());
  std::string unwritable;
  try {
    ScopeDataLog->CreateScopeDataFile();
    ScopeDataLog->WriteScopeDataHeader(names);
  } catch (const EScopeDataFile& e) {
    unwritable = e.FileName();
  }
  KVXScope->SetRunScope(true);
  BtnStart->setEnabled(false);
  BtnStop->setEnabled(true);
  // The scope runs on all the same; every append of this run fails quietly.
  if (!unwritable.empty())
    AdvMessageDlg("Datei " + FileNameShown(unwritable) + " konnte nicht erstellt werden.",
                  mtError, {mbOK}, 0);
}

void TKVXMainForm::BtnStopClick() {
  KVXScope->SetRunScope(false);
  BtnStop->setEnabled(false);
  BtnStart->setEnabled(true);
}

// ---- Signals -------------------------------------------------------------------------------------

void TKVXMainForm::CBChSignalDropDown(int Channel, bool Customer) {
  if (Channel < 1 || Channel > 4) return;
  const std::array<QComboBox*, 4>& boxes = Customer ? CBChCustSignal : CBChSignal;
  QStringList list{kNoSignal};
  for (const std::string& name : SignalList) list << FromAnsi(name);
  // A process value shown on a channel of this page is not offered again.
  for (QComboBox* box : boxes) {
    const QString text = box->currentText();
    if (text.isEmpty() || text == list.first()) continue;
    for (int i = 1; i < list.size(); ++i)
      if (SameQText(list[i], text)) {
        list.removeAt(i);
        break;
      }
  }
  QComboBox* box = boxes[static_cast<std::size_t>(Channel - 1)];
  const QString text = box->currentText();
  const QSignalBlocker block(box);
  box->clear();
  box->addItems(list);
  SetBoxText(box, text);
}

void TKVXMainForm::CBChSignalChange(int Channel) {
  if (Channel < 1 || Channel > 4) return;
  const QString text = CBChSignal[static_cast<std::size_t>(Channel - 1)]->currentText();
  std::string name;
  for (const std::string& s : SignalList)
    if (SameText(s, ToAnsi(text))) {
      name = s;
      break;
    }
  KVXScope->Channel(Channel)->SetSignalName(name);
}

void TKVXMainForm::CBChCustSignalChange(int Channel) {
  if (Channel < 1 || Channel > 4) return;
  const std::size_t i = static_cast<std::size_t>(Channel - 1);
  QComboBox* box = CBChCustSignal[i];
  const int item = FindItem(box, box->currentText());
  SetBoxText(box, item < 0 ? kNoSignal : box->itemText(item));
  std::string name;
  for (const std::string& s : SignalList)
    if (SameText(s, ToAnsi(box->currentText()))) {
      name = s;
      break;
    }
  TKVXSCopeChaSettings* ch = KVXScope->Channel(Channel);
  ch->SetSignalName(name);
  // A new signal starts with the full range, whatever it is.
  SetBoxText(CBChCustMin[i], kDefaultLower);
  SetBoxText(CBChCustMax[i], kDefaultUpper);
  ch->SetYScalePerDiv(20);
  ch->SetYZeroOffset(100);
}

void TKVXMainForm::KVXScopeProcessDataChanged(TObject*, const TStringList& ProcessPara) {
  for (QComboBox* box : CBChCustSignal) box->setEditText(kNoSignal);
  SignalList = ProcessPara;
}

// ---- Colour, scale, limits, position -------------------------------------------------------------

void TKVXMainForm::CBChColorChange(int Channel) {
  if (Channel < 1 || Channel > 4) return;
  KVXScope->Channel(Channel)->SetColor(CBChColor[static_cast<std::size_t>(Channel - 1)]->Selected());
}

void TKVXMainForm::CBChScaleChange(int Channel) {
  if (Channel < 1 || Channel > 4) return;
  QComboBox* box = CBChScale[static_cast<std::size_t>(Channel - 1)];
  const int item = FindItem(box, box->currentText());
  std::int32_t scale = 0;
  if (item >= 0 && ToInt(box->itemText(item), scale) && scale > 0)
    KVXScope->Channel(Channel)->SetYScalePerDiv(static_cast<std::uint16_t>(scale));
}

void TKVXMainForm::CBChCustScaleChange(QComboBox* Sender) {
  int index = -1;
  bool lower = false;
  for (int i = 0; i < 4; ++i) {
    if (Sender == CBChCustMin[static_cast<std::size_t>(i)]) index = i, lower = true;
    if (Sender == CBChCustMax[static_cast<std::size_t>(i)]) index = i, lower = false;
  }
  if (index < 0) return;
  auto setBack = [](QComboBox* box, bool isLower) { SetBoxText(box, isLower ? kDefaultLower : kDefaultUpper); };
  if (!KVX7OptionsDlg->GetULimLLimManually() && FindItem(Sender, Sender->currentText()) < 0) {
    setBack(Sender, lower);
    return;
  }
  std::int32_t v = 0;
  if (ToInt(Sender->currentText(), v) && (v < -30000 || v > 30000)) setBack(Sender, lower);

  QComboBox* minBox = CBChCustMin[static_cast<std::size_t>(index)];
  QComboBox* maxBox = CBChCustMax[static_cast<std::size_t>(index)];
  auto limits = [&](std::int32_t& lo, std::int32_t& hi) {
    if (!ToInt(minBox->currentText(), lo)) lo = 0;
    if (!ToInt(maxBox->currentText(), hi)) hi = 0;
  };
  std::int32_t lo = 0, hi = 0;
  limits(lo, hi);
  // An empty or upside-down range is refused like an invalid text: no scale of 0 or below.
  if (hi <= lo) {
    setBack(Sender, lower);
    limits(lo, hi);
    if (hi <= lo) {
      setBack(lower ? maxBox : minBox, !lower);
      limits(lo, hi);
    }
  }
  const int scale = std::max(1, static_cast<int>((hi - lo) / 10.0 + 0.5));
  TKVXSCopeChaSettings* ch = KVXScope->Channel(index + 1);
  ch->SetYScalePerDiv(static_cast<std::uint16_t>(scale));
  ch->SetYZeroOffset(-lo);
}

bool TKVXMainForm::CBChCustKeyPress(int Key, const QString& Text) {
  // Keys that edit nothing (cursor keys, Enter, Tab) pass; of the typed ones only a number's.
  if (Text.isEmpty() || Key == Qt::Key_Return || Key == Qt::Key_Enter || Key == Qt::Key_Tab ||
      Key == Qt::Key_Backtab || Key == Qt::Key_Escape || Key == Qt::Key_Backspace)
    return false;
  if (Text.size() != 1) return true;
  const QChar c = Text.at(0);
  return !((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('.'));
}

void TKVXMainForm::CBCustTimeScaleChange() {
  if (FindItem(CBCustTimeScale, CBCustTimeScale->currentText()) < 0)
    SetBoxText(CBCustTimeScale, kDefaultTimeScale);
  const int item = FindItem(CBCustTimeScale, CBCustTimeScale->currentText());
  std::int32_t ms = 0;
  if (item >= 0 && ToInt(CBCustTimeScale->itemText(item), ms) && ms > 0)
    KVXScope->SetTimeScalePerDiv(static_cast<std::uint16_t>(ms));
  // The time cursors read in the new time base.
  TCursorInfo info;
  KVXScope->GetCursorInfo(info);
  ShowCursorValues(info, true);
}

void TKVXMainForm::LEChPosChange(int Channel) {
  if (Channel < 1 || Channel > 4) return;
  const std::size_t i = static_cast<std::size_t>(Channel - 1);
  const int position = UDChaPos[i]->value();
  if (LEChPos[i].Edit->text() != QString::number(position)) LEChPos[i].Edit->setText(QString::number(position));
  KVXScope->Channel(Channel)->SetYZeroOffset(position);
  if (Channel != 1) return;
  // Channel 1's position counts divisions of its scale.
  std::int32_t p = 0, s = 0;
  const int item = FindItem(CBChScale[0], CBChScale[0]->currentText());
  if (!ToInt(LEChPos[0].Edit->text(), p) || item < 0 || !ToInt(CBChScale[0]->itemText(item), s)) return;
  const long long percent = static_cast<long long>(p) * s;
  Label2->setText(QString("%1 divs (%2 %)").arg(p).arg(percent));
  KVXScope->Channel(1)->SetYZeroOffset(static_cast<std::int32_t>(percent));
}

void TKVXMainForm::LECh1PosExit() {
  std::int32_t p = 0, s = 0;
  const int item = FindItem(CBChScale[0], CBChScale[0]->currentText());
  if (!ToInt(LEChPos[0].Edit->text(), p) || item < 0 || !ToInt(CBChScale[0]->itemText(item), s)) return;
  Label2->setText(QString("%1 %").arg(static_cast<long long>(p) * s));
}

// ---- Cursors and the picture ---------------------------------------------------------------------

void TKVXMainForm::CursorTexts(const TCursorInfo& Info, bool Show, QString& Amplitude, QString& Time) const {
  const TCursors enabled = KVXScope->CursorEnable();
  const QString channel = QString("Cha. %1").arg(KVXScope->CursorChannel());
  Amplitude.clear();
  Time.clear();
  if (Show && enabled.Contains(ckAmplitude))
    Amplitude = channel + "   y1: " + Fixed2(Info.A1) + "   y2: " + Fixed2(Info.A2) + "   dy: " + Fixed2(Info.DA);
  if (Show && enabled.Contains(ckTime))
    Time = channel + "   t1: " + Fixed0(Info.T1) + " ms   t2: " + Fixed0(Info.T2) + " ms   dt: " +
           Fixed0(Info.DT) + " ms";
}

void TKVXMainForm::ShowCursorValues(const TCursorInfo& CursorInfo, bool Show) {
  QString amplitude, time;
  CursorTexts(CursorInfo, Show, amplitude, time);
  SetPanel(5, amplitude);
  SetPanel(6, time);
}

void TKVXMainForm::KVXScopeCursorPosChanged(TObject*, const TCursorInfo& CursorInfo) {
  ShowCursorValues(CursorInfo, true);
}

void TKVXMainForm::PMIScopeCursorClick() {
  TCursorCha channel = KVXScope->CursorChannel();
  TCursors cursors = KVXScope->CursorEnable();
  if (ScopeCursorDlg->Execute(channel, cursors)) {
    KVXScope->SetCursorChannel(channel);
    KVXScope->SetCursorEnable(cursors);
  }
  TCursorInfo info;
  KVXScope->GetCursorInfo(info);
  ShowCursorValues(info, true);
}

void TKVXMainForm::PMICopyScopeDspClick() {
  QImage picture;
  if (KVXScope->CopyToBitmap(&picture)) QGuiApplication::clipboard()->setImage(picture);
}

// ---- Data log ------------------------------------------------------------------------------------

void TKVXMainForm::SaveToFileButtonClick() {
  SaveScopeDataDlg->Execute();
  // The name stays in effect whichever button closed the dialog.
  ScopeDataLog->SetFileName(SaveScopeDataDlg->LogFileName());
}

// On the scope poll's thread: no widget is read here.
void TKVXMainForm::KVXScopeScopeData(TASCIIProcDataObj* Ch1, TASCIIProcDataObj* Ch2, TASCIIProcDataObj* Ch3,
                                     TASCIIProcDataObj* Ch4) {
  ScopeDataLog->AppendScopeData(Ch1, Ch2, Ch3, Ch4);
}

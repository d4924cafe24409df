#include "views/osDRUVMonitorForm.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QVariant>
#include <algorithm>
#include <exception>
#include <functional>

#include "model/osDRUVModProtBase.h"
#include "services/QtText.h"
#include "views/osDruvMonitorInfoPanel.h"

namespace {

// Runs a handler of a Qt signal; nothing it throws may unwind into Qt.
template <typename F>
void Guarded(F&& handler) {
  try {
    handler();
  } catch (const std::exception&) {
  } catch (...) {
  }
}

// A row's combo box: tells the form before its list opens, so the list can be rebuilt, and
// keeps the object of its current item at hand (the refresh of every poll asks for it).
class TMonitorCombo : public QComboBox {
 public:
  explicit TMonitorCombo(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this,
            [this](int index) { current_ = index < 0 ? 0 : itemData(index).value<quintptr>(); });
  }

  std::function<void()> OnDropDown;
  quintptr CurrentData() const { return current_; }

  void showPopup() override {
    if (OnDropDown) Guarded(OnDropDown);
    QComboBox::showPopup();
  }

 private:
  quintptr current_ = 0;
};

// Panel3: reports its own resizes (a visible form's layout changes reach it as resize events).
class TRowPanel : public QFrame {
 public:
  explicit TRowPanel(QWidget* parent) : QFrame(parent) {}

  std::function<void()> OnResize;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QFrame::resizeEvent(event);
    if (OnResize) Guarded(OnResize);
  }
};

QVariant EntryData(const TModProcCommand* entry) {
  return QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(entry));
}

const QString kNoValue = QStringLiteral("---");

}  // namespace

TMonitorForm::TMonitorForm(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("MonitorForm"));
  QFont formFont(QStringLiteral("Arial"));
  formFont.setStyleHint(QFont::SansSerif);
  formFont.setPixelSize(11);
  setFont(formFont);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(1);

  // The notebook: page "Default" (the rows) is the one shown; page "Adv" is never shown.
  NB = new QWidget(Panel1);
  NB->setObjectName(QStringLiteral("NB"));
  auto* rows = new TRowPanel(NB);
  rows->OnResize = [this] { CheckPanel3Size(); };
  Panel3 = rows;
  Panel3->setObjectName(QStringLiteral("Default"));
  Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel3->setLineWidth(1);
  CheckListBox1 = new QListWidget(NB);
  CheckListBox1->setObjectName(QStringLiteral("Adv"));
  CheckListBox1->hide();

  Panel2 = new QFrame(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setLineWidth(1);
  BBtnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"),
                           Panel2);
  BBtnOK->setObjectName(QStringLiteral("BBtnOK"));
  BBtnOK->setGeometry(201, 16, 98, 25);
  BBtnOK->setDefault(true);
  connect(BBtnOK, &QPushButton::clicked, this, [this] { Guarded([this] { BBtnOKClick(); }); });

  resize(DesignWidth, DesignHeight);
  Arrange();
}

TMonitorForm::~TMonitorForm() { ClearRows(); }

void TMonitorForm::Arrange() {
  const int w = width();
  const int h = height();
  const int bar = Panel2->isHidden() ? 0 : std::min(ButtonBarHeight, h);
  Panel2->setGeometry(0, h - bar, w, bar);
  Panel1->setGeometry(0, 0, w, h - bar);
  NB->setGeometry(Panel1->contentsRect());
  Panel3->setGeometry(NB->rect());
  CheckListBox1->setGeometry(NB->rect());
  CheckPanel3Size();
}

void TMonitorForm::CheckPanel3Size() {
  if (Panel3->size() != lastPanel3Size_) {
    lastPanel3Size_ = Panel3->size();
    Panel3Resize();
  }
}

void TMonitorForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Guarded([this] { Arrange(); });
}

void TMonitorForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TMonitorForm::FormShow() {
  // The OK button only makes sense while the form is a window of its own.
  Panel2->setVisible(parentWidget() == nullptr);
  Arrange();
  if (isWindow()) CenterOnMainWindow();
}

void TMonitorForm::CenterOnMainWindow() {
  QRect over;
  QWidget* main = QApplication::activeWindow();
  if (main && main != this && main->isVisible()) {
    over = main->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    over = screen->availableGeometry();
  } else {
    return;
  }
  QRect frame = frameGeometry();
  frame.moveCenter(over.center());
  move(frame.topLeft());
}

void TMonitorForm::BBtnOKClick() { close(); }

void TMonitorForm::ClearRows() {
  for (QComboBox* combo : Combos) delete combo;
  for (TKVXMonitorInfoPanel* panel : Panels) delete panel;
  Combos.clear();
  Panels.clear();
  RowTexts_.clear();
}

int TMonitorForm::VisibleRowCount() const {
  if (!Panel3) return 0;
  const int rowHeight = TKVXMonitorInfoPanel::DefaultHeight + RowGap;
  const int rows = (Panel3->height() + RowGap - 2 * RowTop) / rowHeight;
  return std::max(0, rows);
}

void TMonitorForm::Build(TModProcessData* procData, TVisibleParamKind kind, int cnt) {
  ProcData = procData;
  VisibleParamKind = kind;
  VisibleParamCnt = cnt;
  ClearRows();
  if (!procData) return;

  const int count = procData->Count();
  int n = 4;
  switch (kind) {
    case vpDefault:
      n = std::min(count, 4);
      break;
    case vpCustom:
      n = std::min(count, cnt);
      break;
    case vpMax:
      n = count;
      break;
    default:
      break;
  }
  n = std::max(0, n);

  Arrange();
  const int fit = VisibleRowCount();
  const int rowStep = TKVXMonitorInfoPanel::DefaultHeight + RowGap;
  // Truncated toward zero like every other division here; a narrow Panel3 gives a negative left.
  const int comboLeft = (Panel3->width() - (PanelWidth + ComboWidth + ComboGap)) / 2;

  for (int i = 0; i < n; ++i) {
    auto* combo = new TMonitorCombo(Panel3);
    auto* panel = new TKVXMonitorInfoPanel(Panel3);
    const bool visible = i + 1 <= fit;

    // An editable list: the user may type, and a text that is no item resets the row.
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->OnDropDown = [this, combo] { ComboDropDown(combo); };
    connect(combo, &QComboBox::activated, this,
            [this, combo](int) { Guarded([this, combo] { ComboItemChosen(combo); }); });
    connect(combo->lineEdit(), &QLineEdit::textEdited, this,
            [this, combo](const QString&) { Guarded([this, combo] { ComboChange(combo); }); });

    const int top = RowTop + i * rowStep;
    combo->setGeometry(comboLeft, top, ComboWidth, combo->sizeHint().height());
    panel->setGeometry(comboLeft + ComboWidth + ComboGap, top, PanelWidth, panel->height());
    panel->SetParaWidth(RowParaWidth);
    panel->SetPUnitWidth(RowPUnitWidth);
    combo->setVisible(visible);
    panel->setVisible(visible);

    Combos.push_back(combo);
    Panels.push_back(panel);
  }

  for (int i = 0; i < n && i < count; ++i) {
    TModProcCommand* entry = procData->GetProcCommand(i);
    if (!entry) continue;
    Combos[i]->addItem(FromAnsi(entry->Name), EntryData(entry));
    Combos[i]->setCurrentIndex(0);
    ShowEntry(static_cast<std::size_t>(i), entry);
  }
}

void TMonitorForm::Panel3Resize() {
  if (Combos.size() != Panels.size()) return;
  const int fit = VisibleRowCount();
  const int w = Panel3->width();
  for (std::size_t i = 0; i < Combos.size(); ++i) {
    QComboBox* combo = Combos[i];
    TKVXMonitorInfoPanel* panel = Panels[i];
    const bool visible = static_cast<int>(i) + 1 <= fit;
    combo->setVisible(visible);
    panel->setVisible(visible);
    const int sum = panel->width() + combo->width() + ComboGap;
    const int left = sum < w ? (w - sum) / 2 : 0;
    combo->move(left, combo->y());
    panel->move(left + combo->width() + ComboGap, panel->y());
  }
}

TModProcCommand* TMonitorForm::ChosenEntry(const QComboBox* combo) const {
  if (!combo || !ProcData) return nullptr;
  quintptr key = 0;
  if (const auto* row = dynamic_cast<const TMonitorCombo*>(combo)) {
    key = row->CurrentData();
  } else {
    const int index = combo->currentIndex();
    if (index < 0) return nullptr;
    key = combo->itemData(index).value<quintptr>();
  }
  if (key == 0) return nullptr;
  // Compared by address only: an item never outlives its entry by design, but a stale one must
  // show "---" rather than read freed memory.
  for (int i = 0; i < ProcData->Count(); ++i) {
    TModProcCommand* entry = ProcData->GetProcCommand(i);
    if (entry && reinterpret_cast<quintptr>(entry) == key) return entry;
  }
  return nullptr;
}

void TMonitorForm::ComboDropDown(QComboBox* sender) {
  if (!sender) return;
  TModProcCommand* previous = ChosenEntry(sender);

  sender->clear();
  sender->setEditText(QString());
  sender->addItem(kNoValue, EntryData(nullptr));
  if (ProcData) {
    for (int i = 0; i < ProcData->Count(); ++i) {
      TModProcCommand* entry = ProcData->GetProcCommand(i);
      if (!entry) continue;
      // A value another visible row shows is not offered twice; hidden rows block nothing.
      const bool shownElsewhere = std::any_of(Combos.begin(), Combos.end(), [&](QComboBox* other) {
        return other != sender && !other->isHidden() && ChosenEntry(other) == entry;
      });
      if (!shownElsewhere) sender->addItem(FromAnsi(entry->Name), EntryData(entry));
    }
  }
  sender->setMaxVisibleItems(std::max(1, sender->count()));

  // The row keeps what it showed until the user picks something else, so closing the list
  // without a choice leaves it live instead of frozen on its last value.
  const int keep = previous ? sender->findData(EntryData(previous)) : 0;
  sender->setCurrentIndex(std::max(0, keep));
  if (!previous || keep < 0) ComboItemChosen(sender);
}

void TMonitorForm::ComboItemChosen(QComboBox* sender) {
  const auto it = std::find(Combos.begin(), Combos.end(), sender);
  if (it == Combos.end()) return;
  const std::size_t row = static_cast<std::size_t>(it - Combos.begin());
  if (row >= Panels.size()) return;
  if (TModProcCommand* entry = ChosenEntry(sender))
    ShowEntry(row, entry);
  else
    ShowNoEntry(row);
}

void TMonitorForm::ComboChange(QComboBox* sender) {
  if (!sender) return;
  if (sender->findText(sender->currentText(), Qt::MatchFixedString) >= 0) return;
  sender->setCurrentIndex(-1);
  sender->setEditText(kNoValue);
  ComboItemChosen(sender);
}

void TMonitorForm::RefreshPanels() {
  for (std::size_t i = 0; i < Combos.size() && i < Panels.size(); ++i) {
    if (TModProcCommand* entry = ChosenEntry(Combos[i])) ShowEntry(i, entry);
  }
}

void TMonitorForm::ShowEntry(std::size_t row, const TModProcCommand* entry) {
  TKVXMonitorInfoPanel* panel = Panels[row];
  ShowText(row, 0, panel->Para(), entry->Name);
  ShowText(row, 1, panel->Info(), entry->Help);
  ShowText(row, 2, panel->PUnit(), entry->PhysUnit);
  ShowText(row, 3, panel->Data(), entry->GetValueStr());
}

void TMonitorForm::ShowNoEntry(std::size_t row) {
  TKVXMonitorInfoPanel* panel = Panels[row];
  const std::string none = ToAnsi(kNoValue);
  ShowText(row, 0, panel->Para(), none);
  ShowText(row, 1, panel->Info(), none);
  ShowText(row, 2, panel->PUnit(), none);
  ShowText(row, 3, panel->Data(), none);
}

void TMonitorForm::ShowText(std::size_t row, std::size_t slot, QLabel* label,
                            const std::string& text) {
  if (RowTexts_.size() < Panels.size()) RowTexts_.resize(Panels.size());
  TRowTexts& shown = RowTexts_[row];
  // Unchanged while the label still holds the very text made from the same source: a label
  // whose text did not change is neither converted nor compared again, every poll.
  if (shown.Source[slot] == text && label->text().isSharedWith(shown.Text[slot])) return;
  shown.Source[slot] = text;
  label->setText(FromAnsi(text));
  shown.Text[slot] = label->text();
}

#include "views/osDRUVParamListEditDlg.h"

#include "services/osDialogHooks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "views/osColors.h"
#include "services/osServiceFonts.h"

namespace {

constexpr int kCurveLimit = 10000;
const char* const kMsgNotValid = "The input data are not valid!";
const char* const kMsgOutOfRange = "Input data are out of range!";

bool IsEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

bool IsAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The single character a key press types, or a null character for keys that type none or more
// than one.
QChar TypedChar(const QKeyEvent* e) {
  const QString t = e->text();
  return t.size() == 1 ? t.at(0) : QChar();
}

bool ParseInt(const QString& text, std::int32_t& value) { return TryStrToInt(ToAnsi(text), value); }

QString IntText(std::int64_t v) { return QString::number(v); }

// The style's highlight colour as text on the form's face, made darker where the style's own is
// too pale to read there.
QColor HighlightText(const QPalette& pal) {
  return ReadableTextColor(pal.color(QPalette::Highlight), pal.color(QPalette::Window));
}

QLabel* HighlightLabel(QWidget* parent) {
  auto* l = new QLabel(parent);
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, HighlightText(pal));
  l->setPalette(pal);
  return l;
}

}  // namespace

// ---- Decimal texts ----------------------------------------------------------------------------

bool TryDecimalTextToHundredths(const std::string& S, char DecimalSep, std::int32_t& Hundredths) {
  std::size_t b = 0, e = S.size();
  while (b < e && S[b] == ' ') ++b;
  while (e > b && S[e - 1] == ' ') --e;
  bool negative = false;
  if (b < e && (S[b] == '-' || S[b] == '+')) negative = S[b++] == '-';
  std::int64_t whole = 0;
  int wholeDigits = 0, fracDigits = 0, frac = 0;
  bool sep = false;
  for (std::size_t i = b; i < e; ++i) {
    const char c = S[i];
    if (c >= '0' && c <= '9') {
      if (!sep) {
        whole = whole * 10 + (c - '0');
        if (whole > 100000000000LL) return false;  // far beyond any 32-bit result
        ++wholeDigits;
      } else {
        if (fracDigits < 2) frac = frac * 10 + (c - '0');
        ++fracDigits;
      }
    } else if ((c == ',' || c == DecimalSep) && !sep) {
      sep = true;
    } else {
      return false;
    }
  }
  if (wholeDigits + fracDigits == 0) return false;
  if (fracDigits == 1) frac *= 10;
  std::int64_t v = whole * 100 + frac;
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  Hundredths = static_cast<std::int32_t>(v);
  return true;
}

// ---- Small controls ---------------------------------------------------------------------------

void TPaintBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (OnPaint) OnPaint(p);
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
  if (OnMouseDown) OnMouseDown(event);
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event) {
  if (OnMouseMove) OnMouseMove(event);
}

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)) {
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items.at(i), this);
    group_->addButton(b, i);
    layout->addWidget(b);
  }
  layout->addStretch(1);
  connect(group_, &QButtonGroup::idClicked, this, [this](int) {
    if (OnClick) OnClick();
  });
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (QAbstractButton* b = group_->button(index)) b->setChecked(true);
}

QAbstractButton* TRadioGroup::Button(int index) const { return group_->button(index); }

// ---- The curve grid's cell editor -------------------------------------------------------------

// Cells take digits, "-", backspace and Enter; a value beyond +-10000 is clamped while it is
// typed; a value committed with Enter is checked at once.
class TParamListEditDlgForm::CCDelegate : public QStyledItemDelegate {
 public:
  CCDelegate(TParamListEditDlgForm* form) : QStyledItemDelegate(form->SGridCC), form_(form) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    auto* e = new QLineEdit(parent);
    e->setFrame(false);
    QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString& s) {
      std::int32_t v = 0;
      if (!ParseInt(s, v)) return;
      if (v > kCurveLimit) e->setText(IntText(kCurveLimit));
      else if (v < -kCurveLimit) e->setText(IntText(-kCurveLimit));
    });
    return e;
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    QStyledItemDelegate::setModelData(editor, model, index);
    if (form_->EnterPressed)
      form_->SGridCCSetEditText(index.column(), index.row() + 1,
                                model->data(index, Qt::EditRole).toString());
  }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* ke = static_cast<QKeyEvent*>(event);
      form_->EnterPressed = IsEnterKey(ke->key());
      const QChar c = TypedChar(ke);
      if (!c.isNull() && c.unicode() >= 32 && !IsAsciiDigit(c) && c != QLatin1Char('-'))
        return true;  // dropped
    }
    return QStyledItemDelegate::eventFilter(object, event);
  }

 private:
  TParamListEditDlgForm* form_;
};

// ---- The form ---------------------------------------------------------------------------------

TParamListEditDlgForm::TParamListEditDlgForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ParamListEditDlgForm");
  setWindowTitle("Parameter Input");
  SetupDialogForm(this);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  GroupBox1 = new QGroupBox("Parameter", Panel1);
  GroupBox1->setObjectName("GroupBox1");
  NB = new QStackedWidget(GroupBox1);
  NB->setObjectName("NB");
  auto* g1 = new QVBoxLayout(GroupBox1);
  g1->addWidget(NB);
  NB->addWidget(BuildTextPage());
  NB->addWidget(BuildNumPage());
  NB->addWidget(BuildCCPage());
  NB->addWidget(BuildAinPage());

  GroupBox2 = new QGroupBox("Comment", Panel1);
  GroupBox2->setObjectName("GroupBox2");
  GroupBox2->setFixedHeight(81);
  MemoComment = new QPlainTextEdit(GroupBox2);
  MemoComment->setObjectName("MemoComment");
  MemoComment->setReadOnly(true);
  MemoComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  {
    QPalette pal = MemoComment->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    pal.setColor(QPalette::Text, HighlightText(pal));
    MemoComment->setPalette(pal);
  }
  auto* g2 = new QVBoxLayout(GroupBox2);
  g2->setContentsMargins(6, 2, 6, 6);
  g2->addWidget(MemoComment);

  auto* p1 = new QVBoxLayout(Panel1);
  p1->setContentsMargins(6, 6, 6, 0);
  p1->addWidget(GroupBox1, 1);
  p1->addWidget(GroupBox2);

  Panel2 = new QWidget(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFixedHeight(53);
  BBtnOK = new QPushButton("OK", Panel2);
  BBtnOK->setObjectName("BBtnOK");
  BBtnOK->setFixedWidth(97);
  BBtnOK->setDefault(true);
  BBtnCancel = new QPushButton("Cancel", Panel2);
  BBtnCancel->setObjectName("BBtnCancel");
  BBtnCancel->setFixedWidth(97);
  BBtnCancel->setAutoDefault(false);
  auto* p2 = new QHBoxLayout(Panel2);
  // Each button 70 pixels in from its side of the form.
  p2->setContentsMargins(70, 0, 70, 0);
  p2->addWidget(BBtnOK);
  p2->addStretch(1);
  p2->addWidget(BBtnCancel);
  connect(BBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  top->addWidget(Panel1, 1);
  top->addWidget(Panel2);

  for (QLineEdit* e : {LENumPara, LEditAinA, LEditAinB, LEditAinC}) e->installEventFilter(this);
  SGridCC->installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this, &TParamListEditDlgForm::GridFocusChanged);

  ShowPage("TextPara");
}

TParamListEditDlgForm::~TParamListEditDlgForm() {
  // The controls go after this body: nothing of theirs may reach the handlers any more.
  destroying_ = true;
  disconnect(qApp, nullptr, this, nullptr);
  for (QLineEdit* e : {LENumPara, LEditAinA, LEditAinB, LEditAinC}) e->removeEventFilter(this);
  SGridCC->removeEventFilter(this);
}

QWidget* TParamListEditDlgForm::BuildTextPage() {
  auto* page = new QWidget;
  page->setObjectName("TextPara");
  Label1 = new QLabel("New Value", page);
  Label1->setObjectName("Label1");
  QFont bold = font();
  bold.setPixelSize(13);
  bold.setBold(true);
  Label1->setFont(bold);
  CBoxTextPara = new QComboBox(page);
  CBoxTextPara->setObjectName("CBoxTextPara");
  CBoxTextPara->setEditable(true);
  CBoxTextPara->setInsertPolicy(QComboBox::NoInsert);
  CBoxTextPara->setMinimumWidth(209);
  CBoxTextPara->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  auto* l = new QVBoxLayout(page);
  l->setContentsMargins(16, 12, 16, 8);
  l->addWidget(Label1);
  l->addWidget(CBoxTextPara, 0, Qt::AlignLeft);
  l->addStretch(1);
  return page;
}

QWidget* TParamListEditDlgForm::BuildNumPage() {
  auto* page = new QWidget;
  page->setObjectName("NumPara");
  LENumParaLabel = new QLabel("New Value", page);
  QFont bold = font();
  bold.setBold(true);
  LENumParaLabel->setFont(bold);
  LENumPara = new QLineEdit(page);
  LENumPara->setObjectName("LENumPara");
  LENumPara->setFixedWidth(209);
  LENumParaLabel->setBuddy(LENumPara);
  Label2 = new QLabel("Min Value:", page);
  Label2->setObjectName("Label2");
  Label3 = new QLabel("Max Value:", page);
  Label3->setObjectName("Label3");
  LabelMin = HighlightLabel(page);
  LabelMin->setObjectName("LabelMin");
  LabelMax = HighlightLabel(page);
  LabelMax->setObjectName("LabelMax");

  auto* limits = new QGridLayout;
  limits->setHorizontalSpacing(12);
  limits->addWidget(Label2, 0, 0);
  limits->addWidget(LabelMin, 0, 1);
  limits->addWidget(Label3, 1, 0);
  limits->addWidget(LabelMax, 1, 1);
  limits->setColumnStretch(2, 1);

  auto* l = new QVBoxLayout(page);
  l->setContentsMargins(16, 12, 16, 8);
  l->addWidget(LENumParaLabel);
  l->addWidget(LENumPara, 0, Qt::AlignLeft);
  l->addSpacing(10);
  l->addLayout(limits);
  l->addStretch(1);
  return page;
}

QWidget* TParamListEditDlgForm::BuildAinPage() {
  auto* page = new QWidget;
  page->setObjectName("AinPara");
  auto makeEdit = [page](const char* name) {
    auto* e = new QLineEdit(page);
    e->setObjectName(name);
    e->setFixedWidth(121);
    return e;
  };
  LEditAinA = makeEdit("LEditAinA");
  LEditAinB = makeEdit("LEditAinB");
  LEditAinC = makeEdit("LEditAinC");
  Label6 = new QLabel("A / B", page);
  Label6->setObjectName("Label6");
  Label7 = new QLabel("A / B", page);
  Label7->setObjectName("Label7");
  Label8 = new QLabel("0,01%", page);
  Label8->setObjectName("Label8");
  Label5 = new QLabel("X", page);
  Label5->setObjectName("Label5");
  CBoxAinX = new QComboBox(page);
  CBoxAinX->setObjectName("CBoxAinX");
  CBoxAinX->setEditable(true);
  CBoxAinX->setInsertPolicy(QComboBox::NoInsert);
  CBoxAinX->addItems({"V", "C"});
  CBoxAinX->setFixedWidth(60);
  VoltageLabel = new QLabel("V (Voltage) or C (Current)", page);
  VoltageLabel->setObjectName("VoltageLabel");
  Label10 = new QLabel("Y = A / B * (X - C)", page);
  Label10->setObjectName("Label10");
  QFont big = font();
  big.setPixelSize(21);
  Label10->setFont(big);
  RGrpPresetting = new TRadioGroup("Presetting", {"user defined", "0 - 10V", "4 - 20mA"}, page);
  RGrpPresetting->setObjectName("RGrpPresetting");
  RGrpPresetting->OnClick = [this] { RGrpPresettingClick(); };

  auto* edits = new QGridLayout;
  edits->setHorizontalSpacing(8);
  edits->setVerticalSpacing(6);
  const char* names[] = {"A", "B", "C"};
  QLineEdit* boxes[] = {LEditAinA, LEditAinB, LEditAinC};
  QLabel* hints[] = {Label6, Label7, Label8};
  for (int i = 0; i < 3; ++i) {
    auto* caption = new QLabel(names[i], page);
    caption->setBuddy(boxes[i]);
    edits->addWidget(caption, i, 0);
    edits->addWidget(boxes[i], i, 1);
    edits->addWidget(hints[i], i, 2);
  }
  edits->addWidget(Label5, 3, 0);
  edits->addWidget(CBoxAinX, 3, 1, Qt::AlignLeft);
  edits->setColumnStretch(2, 1);

  auto* row = new QHBoxLayout;
  row->addLayout(edits, 1);
  row->addSpacing(8);
  row->addWidget(RGrpPresetting);

  auto* l = new QVBoxLayout(page);
  l->setContentsMargins(12, 8, 12, 8);
  l->addLayout(row);
  l->addWidget(VoltageLabel);
  l->addSpacing(4);
  l->addWidget(Label10);
  l->addStretch(1);
  return page;
}

QWidget* TParamListEditDlgForm::BuildCCPage() {
  auto* page = new QWidget;
  page->setObjectName("CCPara");
  SGridCC = new QTableWidget(kCCPointCount, 3, page);
  SGridCC->setObjectName("SGridCC");
  SGridCC->verticalHeader()->hide();
  SGridCC->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SGridCC->verticalHeader()->setDefaultSectionSize(18);
  SGridCC->setHorizontalHeaderLabels({"Command", "X-Value", "Y-Value"});
  SGridCC->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  SGridCC->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  SGridCC->horizontalHeader()->setSectionsClickable(false);
  SGridCC->horizontalHeader()->setFixedHeight(20);
  SGridCC->setSelectionMode(QAbstractItemView::SingleSelection);
  SGridCC->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed |
                           QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  SGridCC->setItemDelegate(new CCDelegate(this));
  {
    // Wide enough for the headings and a full "-10000" in each value column.
    const QFontMetrics fm(SGridCC->font());
    int width = 2 * SGridCC->frameWidth() + 4;
    for (int c = 0; c < 3; ++c)
      width += std::max(SGridCC->horizontalHeader()->sectionSizeHint(c),
                        fm.horizontalAdvance(QStringLiteral("-10000")) + 12);
    SGridCC->setMinimumWidth(width);
  }
  for (int r = 0; r < kCCPointCount; ++r)
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem;
      if (c == 0) {
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(palette().brush(QPalette::Button));
      } else {
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      }
      SGridCC->setItem(r, c, item);
    }
  connect(SGridCC, &QTableWidget::currentCellChanged, this,
          [this](int row, int col, int, int) { SGridCCCellChanged(col, row < 0 ? -1 : row + 1); });

  PBoxCC = new TPaintBox(page);
  PBoxCC->setObjectName("PBoxCC");
  PBoxCC->setFixedSize(kPlotWidth, kPlotHeight);
  PBoxCC->OnPaint = [this](QPainter& c) { PBoxCCPaint(c); };
  PBoxCC->OnMouseDown = [this](QMouseEvent* e) { PBoxCCMouseDown(e); };
  PBoxCC->OnMouseMove = [this](QMouseEvent* e) { PBoxCCMouseMove(e); };

  GroupBox3 = new QGroupBox("Settings", page);
  GroupBox3->setObjectName("GroupBox3");
  GroupBox3->setFixedHeight(60);
  BtnDefault = new QPushButton("Default", GroupBox3);
  BtnDefault->setObjectName("BtnDefault");
  BtnDefault->setAutoDefault(false);
  BtnDefault->setFixedWidth(97);
  auto* g3 = new QHBoxLayout(GroupBox3);
  g3->addWidget(BtnDefault);
  g3->addStretch(1);
  connect(BtnDefault, &QPushButton::clicked, this, [this] { BtnDefaultClick(); });

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  row->addWidget(SGridCC, 1);
  row->addWidget(PBoxCC, 0, Qt::AlignTop);
  auto* l = new QVBoxLayout(page);
  l->setContentsMargins(4, 4, 4, 4);
  l->addLayout(row, 1);
  l->addWidget(GroupBox3);
  return page;
}

bool TParamListEditDlgForm::ShowPage(const std::string& name) {
  for (int i = 0; i < NB->count(); ++i) {
    if (NB->widget(i)->objectName() != QString::fromStdString(name)) continue;
    // Only the shown page counts for the form's size.
    for (int k = 0; k < NB->count(); ++k)
      NB->widget(k)->setSizePolicy(k == i ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                                   k == i ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    NB->setCurrentIndex(i);
    // The form is hidden between edits: its layouts learn of the new page only when told.
    for (QWidget* w = NB; w && w != this; w = w->parentWidget()) w->updateGeometry();
    layout()->invalidate();
    return true;
  }
  return false;
}

std::string TParamListEditDlgForm::CurrentPage() const {
  return NB->currentWidget() ? NB->currentWidget()->objectName().toStdString() : std::string();
}

// ---- Entry checks -----------------------------------------------------------------------------

bool TParamListEditDlgForm::EditKeyPress(QLineEdit* edit, QKeyEvent* e) {
  const QChar c = TypedChar(e);
  if (c.isNull() || c.unicode() < 32) return false;  // editing keys, Enter, Escape, shortcuts
  if (IsAsciiDigit(c)) return false;
  if (c == QLatin1Char('-')) {
    // Where typing goes in: the start of the marked text, else the caret. So a "-" typed over
    // the whole marked value (as every page shows it) starts a negative number.
    const int at = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    return at != 0;
  }
  if (edit == LENumPara &&
      (c == QLatin1Char(',') || c == QChar(static_cast<char16_t>(DecimalSeparator()))))
    return false;
  return true;
}

bool TParamListEditDlgForm::ValidateEdit(QLineEdit* edit) {
  if (!edit || !Cmd) return true;
  std::int32_t lo = -kCurveLimit, hi = kCurveLimit, restore = 0;
  const bool isNum = edit == LENumPara;
  if (isNum) {
    auto* num = dynamic_cast<TModNumParaCmd*>(Cmd);
    if (!num) return true;
    lo = num->Min, hi = num->Max, restore = num->Value;
  } else {
    auto* ain = dynamic_cast<TModAinParaCmd*>(Cmd);
    if (!ain) return true;
    restore = edit == LEditAinA ? ain->A : edit == LEditAinB ? ain->B : ain->C;
  }

  const std::string text = ToAnsi(edit->text());
  const bool decimals = isNum && DecimalsShown;
  const bool hasSep = text.find(',') != std::string::npos ||
                      (decimals && text.find(DecimalSeparator()) != std::string::npos);
  std::int32_t v = 0;
  // A separator is a number only where decimals are shown; elsewhere it makes the text invalid.
  const bool parsed =
      hasSep ? decimals && TryDecimalTextToHundredths(text, DecimalSeparator(), v)
             : TryStrToInt(text, v);

  bool ok = true;
  validating_ = true;
  if (!parsed) {
    AdvMessageDlg(kMsgNotValid, mtError, {mbOK}, 0);
    edit->setText(IntText(restore));
    ok = false;
  } else if (v < lo || v > hi) {
    AdvMessageDlg(kMsgOutOfRange, mtError, {mbOK}, 0);
    edit->setText(IntText(v < lo ? lo : hi));
    ok = false;
  }
  validating_ = false;
  if (!ok && edit->isEnabled() && edit->isVisible()) {
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
  }
  return ok;
}

void TParamListEditDlgForm::LEditExit(QLineEdit* edit) {
  QWidget* next = QApplication::focusWidget();
  const bool check = edit == ActiveEdit && next != BBtnCancel && next != BBtnOK;
  ActiveEdit = nullptr;
  if (!check) return;
  // OK checks the entries itself. The check runs once the focus change is complete, so the
  // message never interrupts Qt's own focus handling.
  QTimer::singleShot(0, this, [this, e = QPointer<QLineEdit>(edit)] {
    if (e && isVisible() && Cmd && !validating_) ValidateEdit(e);
  });
}

int TParamListEditDlgForm::ChoiceIndex(const QComboBox* box) const {
  std::string typed;
  if (!box || !TryToAnsi(box->currentText(), typed) || typed.empty()) return -1;
  for (int i = 0; i < box->count(); ++i)
    if (SameText(ToAnsi(box->itemText(i)), typed)) return i;
  return -1;
}

void TParamListEditDlgForm::LoadChoice(QComboBox* box) {
  int chosen = -1;
  if (auto* t = dynamic_cast<TModTextParaCmd*>(Cmd); t && box == CBoxTextPara) {
    // The module may spell its value in another case than its list does.
    for (std::size_t i = 0; i < t->VList.size(); ++i)
      if (SameText(t->VList[i], t->Text)) {
        chosen = static_cast<int>(i);
        break;
      }
  } else if (auto* a = dynamic_cast<TModAinParaCmd*>(Cmd); a && box == CBoxAinX) {
    chosen = a->Unit < box->count() ? a->Unit : -1;
  } else {
    return;
  }
  box->setCurrentIndex(chosen);
  if (chosen < 0) box->setEditText(QString());
}

bool TParamListEditDlgForm::ValidateChoice(QComboBox* box) {
  if (!box || !Cmd || ChoiceIndex(box) >= 0) return true;
  validating_ = true;
  AdvMessageDlg(kMsgNotValid, mtError, {mbOK}, 0);
  LoadChoice(box);
  validating_ = false;
  if (box->isEnabled() && box->isVisible()) {
    box->setFocus(Qt::OtherFocusReason);
    if (QLineEdit* e = box->lineEdit()) e->selectAll();
  }
  return false;
}

bool TParamListEditDlgForm::ValidatePage() {
  const std::string page = CurrentPage();
  if (page == "TextPara") return ValidateChoice(CBoxTextPara);
  if (page == "NumPara") return ValidateEdit(LENumPara);
  if (page == "AinPara")
    return ValidateEdit(LEditAinA) && ValidateEdit(LEditAinB) && ValidateEdit(LEditAinC) &&
           ValidateChoice(CBoxAinX);
  return true;
}

void TParamListEditDlgForm::done(int result) {
  if (result == QDialog::Accepted) {
    if (validating_) return;
    if (!ValidatePage()) return;
    if (CurrentPage() == "CCPara") CheckRecordedCell();
  }
  ActiveEdit = nullptr;
  QDialog::done(result);
}

bool TParamListEditDlgForm::eventFilter(QObject* watched, QEvent* event) {
  if (destroying_) return false;
  if (watched == SGridCC && event->type() == QEvent::KeyPress) {
    auto* ke = static_cast<QKeyEvent*>(event);
    EnterPressed = IsEnterKey(ke->key());
    if (EnterPressed) {
      // Enter opens the current cell for editing; it never closes the form from the grid.
      if (QTableWidgetItem* item = SGridCC->currentItem(); item && SGridCC->currentColumn() > 0)
        SGridCC->editItem(item);
      return true;
    }
    const QChar c = TypedChar(ke);
    return !c.isNull() && c.unicode() >= 32 && !IsAsciiDigit(c) && c != QLatin1Char('-');
  }
  if (watched != LENumPara && watched != LEditAinA && watched != LEditAinB && watched != LEditAinC)
    return QDialog::eventFilter(watched, event);
  auto* edit = static_cast<QLineEdit*>(watched);
  switch (event->type()) {
    case QEvent::FocusIn:
      ActiveEdit = edit;
      break;
    case QEvent::KeyPress:
      ActiveEdit = edit;
      return EditKeyPress(edit, static_cast<QKeyEvent*>(event));
    case QEvent::FocusOut: {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      // Leaving the window (another window, a popup, a message box) is no exit from the edit.
      if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
      QWidget* next = QApplication::focusWidget();
      if (validating_ || !next || next->window() != this) break;
      LEditExit(edit);
      break;
    }
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

// ---- Show and presets -------------------------------------------------------------------------

void TParamListEditDlgForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TParamListEditDlgForm::FormShow() {
  DragIndex = -1;
  if (FirstShow) {
    FirstShow = false;
    SGridCC->setHorizontalHeaderLabels({"Command", "X-Value", "Y-Value"});
    for (int r = 1; r <= kCCPointCount; ++r) SetCCCell(0, r, "CC:" + IntText(11 - r));
    PBoxCC->setFixedWidth(kPlotWidth);
    DrawCCBackground();
  }
  if (LastRow < 0 && SGridCC->currentRow() >= 0) {
    LastCol = SGridCC->currentColumn();
    LastRow = SGridCC->currentRow() + 1;
  }
  const std::string page = CurrentPage();
  if (page == "NumPara") {
    LENumPara->setFocus(Qt::OtherFocusReason);
    LENumPara->selectAll();
  } else if (page == "CCPara") {
    LoadCC(false);
  } else if (page == "AinPara") {
    LEditAinA->setFocus(Qt::OtherFocusReason);
    LEditAinA->selectAll();
  }
}

void TParamListEditDlgForm::RGrpPresettingClick() {
  const int item = RGrpPresetting->ItemIndex();
  const bool user = item <= 0;
  if (item == 1) {
    LEditAinA->setText("1000"), LEditAinB->setText("1000"), LEditAinC->setText("0");
    CBoxAinX->setCurrentIndex(0);
  } else if (item == 2) {
    LEditAinA->setText("1250"), LEditAinB->setText("1000"), LEditAinC->setText("2000");
    CBoxAinX->setCurrentIndex(1);
  }
  for (QLineEdit* e : {LEditAinA, LEditAinB, LEditAinC}) {
    e->setReadOnly(!user);
    e->setEnabled(user);
  }
  CBoxAinX->setEnabled(user);
  Label5->setEnabled(user);
}

// ---- Characteristic curve ---------------------------------------------------------------------

namespace {
// Value / 50 rounded half away from zero, so negative values sit on the same grid as positive
// ones. Wide arithmetic: a module may report any 32-bit value, and the result always fits.
int CurveSteps(int v) {
  const std::int64_t w = v;
  const std::int64_t q = ((w < 0 ? -w : w) + 25) / 50;
  return static_cast<int>(w < 0 ? -q : q);
}
}  // namespace

int TParamListEditDlgForm::CurveToPixelX(int x) { return CurveSteps(x) + 245; }

int TParamListEditDlgForm::CurveToPixelY(int y) { return 210 - CurveSteps(y); }

QString TParamListEditDlgForm::CCCell(int col, int row) const {
  if (row == 0) {
    const QTableWidgetItem* h = SGridCC->horizontalHeaderItem(col);
    return h ? h->text() : QString();
  }
  const QTableWidgetItem* item = SGridCC->item(row - 1, col);
  return item ? item->text() : QString();
}

void TParamListEditDlgForm::SetCCCell(int col, int row, const QString& text) {
  if (row < 1 || row > kCCPointCount || col < 0 || col > 2) return;
  if (QTableWidgetItem* item = SGridCC->item(row - 1, col)) item->setText(text);
}

void TParamListEditDlgForm::DrawCCBackground() {
  Background = QImage(kPlotWidth, kPlotHeight, QImage::Format_ARGB32_Premultiplied);
  Background.fill(palette().color(QPalette::Window));
  QPainter p(&Background);
  p.setFont(font());
  p.setPen(QPen(QColor(0, 0, 255), 1, Qt::DotLine));
  const QPen textPen(palette().color(QPalette::WindowText));
  const QFontMetrics fm(p.font());
  // A label at (x, y) as its top-left corner, moved in where it would run off the plot.
  auto label = [&](int x, int y, const QString& text) {
    const QPen line = p.pen();
    p.setPen(textPen);
    x = std::min(x, kPlotWidth - fm.horizontalAdvance(text) - 1);
    p.drawText(QRect(x, y, fm.horizontalAdvance(text) + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop,
               text);
    p.setPen(line);
  };
  for (int i = 0; i <= 10; ++i) {
    const int y = 10 + 40 * i;
    p.drawLine(45, y, 445, y);
    label(5, 40 * i, IntText(10000 - 2000 * i));
  }
  for (int i = 0; i <= 10; ++i) {
    const int x = 45 + 40 * i;
    p.drawLine(x, 10, x, 410);
    label(i == 5 ? x - 5 : x - 20, 415, IntText(2000 * i - 10000));
  }
  p.setPen(QPen(Qt::black, 1, Qt::SolidLine));
  p.drawLine(245, 5, 245, 415);
  p.drawLine(40, 210, 450, 210);
}

void TParamListEditDlgForm::DrawCC() { PBoxCC->update(); }

void TParamListEditDlgForm::PBoxCCPaint(QPainter& c) {
  if (!Background.isNull()) c.drawImage(0, 0, Background);
  c.setPen(QPen(QColor(0, 0, 128), 2));
  c.drawPolyline(CCPoints.data(), static_cast<int>(CCPoints.size()));
  c.setPen(QPen(QColor(255, 0, 0), 1));
  c.setBrush(Qt::white);
  for (const QPoint& pt : CCPoints) c.drawEllipse(QRect(pt.x() - 4, pt.y() - 4, 8, 8));
}

bool TParamListEditDlgForm::LoadCC(bool Default) {
  auto* cc = dynamic_cast<TModCCParaCmd*>(Cmd);
  if (!cc) return false;
  for (int i = 0; i < kCCPointCount; ++i) {
    TModCCPoint pt;
    if (Default) {
      pt.X = pt.Y = 10000 - 1000 * i;
    } else {
      pt = cc->GetPoint(10 - i);
    }
    SetCCCell(1, i + 1, IntText(pt.X));
    SetCCCell(2, i + 1, IntText(pt.Y));
    CCPoints[i] = QPoint(CurveToPixelX(pt.X), CurveToPixelY(pt.Y));
  }
  DrawCC();
  return true;
}

bool TParamListEditDlgForm::CheckCCCell(int ACol, int ARow) {
  if (ACol != 1) return true;
  std::int32_t x = 0;
  if (ARow == 1 || ARow == kCCPointCount) {
    if (!ParseInt(CCCell(1, ARow), x)) return false;
    SetCCCell(1, ARow, IntText(ARow == 1 ? kCurveLimit : -kCurveLimit));
    return true;
  }
  if (ARow < 1 || ARow > kCCPointCount) return true;
  std::int32_t above = 0, below = 0;
  if (!ParseInt(CCCell(1, ARow), x) || !ParseInt(CCCell(1, ARow - 1), above) ||
      !ParseInt(CCCell(1, ARow + 1), below))
    return false;
  SetCCCell(1, ARow, IntText(std::max(std::min(x, above), below)));
  return true;
}

void TParamListEditDlgForm::GridRowToPoint(int ARow) {
  if (ARow < 1 || ARow > kCCPointCount) return;
  std::int32_t x = 0, y = 0;
  if (!ParseInt(CCCell(1, ARow), x) || !ParseInt(CCCell(2, ARow), y)) return;
  CCPoints[ARow - 1] = QPoint(CurveToPixelX(x), CurveToPixelY(y));
  DrawCC();
}

void TParamListEditDlgForm::PointToGridRow(const QPoint& Point, int Index) {
  SetCCCell(1, Index + 1, IntText(PixelToCurveX(Point.x())));
  SetCCCell(2, Index + 1, IntText(PixelToCurveY(Point.y())));
}

void TParamListEditDlgForm::SGridCCSetEditText(int ACol, int ARow, const QString& Value) {
  if (EnterPressed) {
    if (!CheckCCCell(ACol, ARow)) SetCCCell(ACol, ARow, "0");
    GridRowToPoint(ARow);
    return;
  }
  std::int32_t v = 0;
  if (!ParseInt(Value, v)) return;
  if (v > kCurveLimit) SetCCCell(ACol, ARow, IntText(kCurveLimit));
  else if (v < -kCurveLimit) SetCCCell(ACol, ARow, IntText(-kCurveLimit));
}

void TParamListEditDlgForm::CheckRecordedCell() {
  if (LastCol < 0 || LastRow < 0) return;
  if (!CheckCCCell(LastCol, LastRow)) SetCCCell(LastCol, LastRow, "0");
  GridRowToPoint(LastRow);
}

void TParamListEditDlgForm::SGridCCCellChanged(int ACol, int ARow) {
  if (LastCol >= 0 && LastRow >= 0 && (LastCol != ACol || LastRow != ARow)) CheckRecordedCell();
  LastCol = ARow < 0 ? -1 : ACol;
  LastRow = ARow;
}

void TParamListEditDlgForm::SGridCCExit() {
  CheckRecordedCell();
  LastCol = LastRow = -1;
}

void TParamListEditDlgForm::GridFocusChanged(QWidget* old, QWidget* now) {
  if (destroying_ || !isVisible()) return;
  auto inGrid = [this](QWidget* w) { return w && (w == SGridCC || SGridCC->isAncestorOf(w)); };
  if (inGrid(old) && now && !inGrid(now) && now->window() == this) {
    SGridCCExit();
  } else if (!inGrid(old) && inGrid(now) && LastRow < 0 && SGridCC->currentRow() >= 0) {
    // Coming back into the grid: the current cell is the one a later move must check.
    LastCol = SGridCC->currentColumn();
    LastRow = SGridCC->currentRow() + 1;
  }
}

void TParamListEditDlgForm::BtnDefaultClick() { LoadCC(true); }

void TParamListEditDlgForm::PBoxCCMouseDown(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  const QPoint m = event->position().toPoint();
  DragIndex = -1;
  for (int i = 0; i < kCCPointCount; ++i) {
    // Wide: a point of an odd curve may lie millions of pixels off the plot.
    const std::int64_t dx = std::int64_t{CCPoints[i].x()} - m.x();
    const std::int64_t dy = std::int64_t{CCPoints[i].y()} - m.y();
    if (dx * dx + dy * dy < 36) {
      // The point follows the mouse from its first move; a plain click changes no value.
      DragIndex = i;
      break;
    }
  }
}

void TParamListEditDlgForm::PBoxCCMouseMove(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || DragIndex < 0 || DragIndex >= kCCPointCount) return;
  const QPoint m = event->position().toPoint();
  const int i = DragIndex;
  int px;
  if (i == 0) {
    px = 445;
  } else if (i == kCCPointCount - 1) {
    px = 45;
  } else {
    // Between the next point (left) and the previous one (right).
    px = std::max(CCPoints[i + 1].x(), std::min(m.x(), CCPoints[i - 1].x()));
  }
  const int py = std::max(10, std::min(m.y(), 410));
  CCPoints[i] = QPoint(px, py);
  DrawCC();
  PointToGridRow(CCPoints[i], i);
}

// ---- The dialog component ---------------------------------------------------------------------

TParamListEditDlg::TParamListEditDlg() : Form(std::make_unique<TParamListEditDlgForm>()) {}

TParamListEditDlg::~TParamListEditDlg() = default;

bool TParamListEditDlg::Execute(TModCtrlCommand* Cmd) {
  if (!Cmd) return false;
  TParamListEditDlgForm& f = *Form;
  QSize size;
  std::string page;
  f.DecimalsShown = false;
  switch (Cmd->Kind) {
    case TextPara: {
      auto* t = dynamic_cast<TModTextParaCmd*>(Cmd);
      if (!t) return false;
      size = QSize(373, 300);
      page = "TextPara";
      f.CBoxTextPara->clear();
      for (const std::string& v : t->VList) f.CBoxTextPara->addItem(FromAnsi(v));
      f.CBoxTextPara->setMaxVisibleItems(std::max(1, f.CBoxTextPara->count()));
      break;
    }
    case NumPara: {
      auto* n = dynamic_cast<TModNumParaCmd*>(Cmd);
      if (!n) return false;
      size = QSize(373, 300);
      page = "NumPara";
      f.DecimalsShown = (n->VType == 21 || n->VType == 22) && ShowDecimals;
      auto text = [&](std::int32_t v) {
        return f.DecimalsShown ? FromAnsi(FormatHundredths(v)) : IntText(v);
      };
      f.LabelMin->setText(text(n->Min));
      f.LabelMax->setText(text(n->Max));
      f.LENumPara->setText(text(n->Value));
      break;
    }
    case CCPara:
      if (!dynamic_cast<TModCCParaCmd*>(Cmd)) return false;
      size = QSize(668, 686);
      page = "CCPara";
      break;
    case AinPara: {
      auto* a = dynamic_cast<TModAinParaCmd*>(Cmd);
      if (!a) return false;
      size = QSize(373, 420);
      page = "AinPara";
      // "user defined": the edits and the unit box open for input.
      f.RGrpPresetting->SetItemIndex(0);
      f.RGrpPresettingClick();
      f.LEditAinA->setText(IntText(a->A));
      f.LEditAinB->setText(IntText(a->B));
      f.LEditAinC->setText(IntText(a->C));
      f.CBoxAinX->clear();
      if (AinCommandUI) {
        f.CBoxAinX->addItems({"U", "I"});
        f.VoltageLabel->setText("U (Voltage) or I (Current)");
      } else {
        f.CBoxAinX->addItems({"V", "C"});
        f.VoltageLabel->setText("V (Voltage) or C (Current)");
      }
      break;
    }
    default:
      return false;
  }

  f.setWindowTitle("Input " + FromAnsi(Cmd->Name) + " Parameter");
  f.Cmd = Cmd;
  f.ActiveEdit = nullptr;
  f.LoadChoice(f.CBoxTextPara);
  f.LoadChoice(f.CBoxAinX);
  f.ShowPage(page);
  std::string comment = Cmd->Help;
  if (ShowCmdGrpInfo) comment += "\nCommand Group: " + Cmd->GetGroupNames();
  f.MemoComment->setPlainText(FromAnsi(comment));

  // The page's size, or more when the fonts of this system need it.
  f.ensurePolished();
  f.setMinimumSize(0, 0);
  f.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  f.layout()->invalidate();
  f.layout()->activate();
  f.setFixedSize(size.expandedTo(f.minimumSizeHint()));
  if (QWidget* main = QApplication::activeWindow(); main && main != &f) {
    f.move(main->geometry().center() - f.rect().center());
  }

  // Through the modal seam, so the main window's tests can answer the dialog as a user does.
  const int result = ExecModal(&f);
  bool written = false;
  if (result == QDialog::Accepted) WriteBack(Cmd, written);
  f.Cmd = nullptr;
  return written;
}

void TParamListEditDlg::WriteBack(TModCtrlCommand* Cmd, bool& written) {
  TParamListEditDlgForm& f = *Form;
  written = false;
  if (auto* t = dynamic_cast<TModTextParaCmd*>(Cmd)) {
    // OK was refused for a text that names no item; the list's own spelling is stored.
    const int i = f.ChoiceIndex(f.CBoxTextPara);
    if (i < 0 || static_cast<std::size_t>(i) >= t->VList.size()) return;
    t->SetText(t->VList[static_cast<std::size_t>(i)]);
    written = true;
  } else if (auto* n = dynamic_cast<TModNumParaCmd*>(Cmd)) {
    const std::string text = ToAnsi(f.LENumPara->text());
    std::int32_t v = 0;
    const bool hasSep = text.find(',') != std::string::npos ||
                        (f.DecimalsShown && text.find(DecimalSeparator()) != std::string::npos);
    const bool parsed = hasSep ? f.DecimalsShown &&
                                     TryDecimalTextToHundredths(text, DecimalSeparator(), v)
                               : TryStrToInt(text, v);
    if (parsed) {
      n->Value = v;
      written = true;
    }
  } else if (auto* cc = dynamic_cast<TModCCParaCmd*>(Cmd)) {
    for (int r = 1; r <= TParamListEditDlgForm::kCCPointCount; ++r) {
      std::int32_t x = 0, y = 0;
      if (ParseInt(f.CCCell(1, r), x) && ParseInt(f.CCCell(2, r), y))
        cc->SetPoint(11 - r, TModCCPoint{x, y});
    }
    written = true;
  } else if (auto* a = dynamic_cast<TModAinParaCmd*>(Cmd)) {
    std::int32_t va = a->A, vb = a->B, vc = a->C;
    if (!ParseInt(f.LEditAinA->text(), va) || !ParseInt(f.LEditAinB->text(), vb) ||
        !ParseInt(f.LEditAinC->text(), vc))
      return;
    const int unit = f.ChoiceIndex(f.CBoxAinX);
    if (unit < 0) return;
    a->A = va, a->B = vb, a->C = vc;
    a->Unit = static_cast<TModAinUnit>(unit);
    written = true;
  }
}

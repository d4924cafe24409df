#include "app/dialogs/KVX7OptionsForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplIni.h"
#include "services/osApplInfo.h"
#include "services/osDialogHooks.h"
#include "services/osServiceFonts.h"

namespace {

// The sections and keys of the settings file; the spelling is the file format.
constexpr const char* kScope = "Scope";
constexpr const char* kInterface = "Interface";
constexpr const char* kMonitor = "Monitor";
constexpr const char* kDruv = "DRUV";
constexpr const char* kTableInput = "TableInput";

constexpr const char* kBackgoundColor = "BackgoundColor";
constexpr const char* kGridColor = "GridColor";
constexpr const char* kCha1Color = "Cha1Color";
constexpr const char* kCha2Color = "Cha2Color";
constexpr const char* kCha3Color = "Cha3Color";
constexpr const char* kCha4Color = "Cha4Color";
constexpr const char* kSignalLineWidth = "SignalLineWidth";
constexpr const char* kULimLLimManually = "ULimLLimManually";
constexpr const char* kPort = "Port";
constexpr const char* kTranferMode = "TranferMode";
constexpr const char* kAutoBRDetection = "AutoBRDetection";
constexpr const char* kFixBR = "FixBR";
constexpr const char* kAutoSetBR = "AutoSetBR";
constexpr const char* kAutoBR = "AutoBR";
constexpr const char* kDelayOnFirmwareUpdate = "DelayOnFirmwareUpdate";
constexpr const char* kVisParaKind = "VisParaKind";
constexpr const char* kVisParaCnt = "VisParaCnt";
constexpr const char* kShowCmdGrpInfo = "ShowCmdGrpInfo";
constexpr const char* kKVXFileViewer = "KVXFileViewer";
constexpr const char* kSFWUpdate = "SFWUpdate";
constexpr const char* kTermFWUpdate = "TermFWUpdate";
constexpr const char* kShowDecimals = "ShowDecimals";
constexpr const char* kAinCommandUI = "AinCommandUI";

struct TNamedColor {
  TColor Value;
  const char* Name;
};

constexpr TNamedColor kStandardColors[] = {
    {0x000000, "Black"},  {0x000080, "Maroon"}, {0x008000, "Green"},   {0x008080, "Olive"},
    {0x800000, "Navy"},   {0x800080, "Purple"}, {0x808000, "Teal"},    {0x808080, "Gray"},
    {0xC0C0C0, "Silver"}, {0x0000FF, "Red"},    {0x00FF00, "Lime"},    {0x00FFFF, "Yellow"},
    {0xFF0000, "Blue"},   {0xFF00FF, "Fuchsia"}, {0xFFFF00, "Aqua"},   {0xFFFFFF, "White"}};

constexpr const char* kSystemColorNames[] = {
    "Scroll Bar",     "Background",        "Active Caption",  "Inactive Caption",
    "Menu",           "Window Background", "Window Frame",    "Menu Text",
    "Window Text",    "Caption Text",      "Active Border",   "Inactive Border",
    "App Workspace",  "Highlight",         "Highlight Text",  "Button Face",
    "Button Shadow",  "Gray Text",         "Button Text",     "Inactive Caption Text",
    "Button Highlight", "3D Dark Shadow",  "3D Light",        "Info Text",
    "Info Background"};

constexpr int kColorRole = Qt::UserRole;
constexpr int kCustomRole = Qt::UserRole + 1;
// An entry added for a colour without a name; it goes when another colour is given.
constexpr int kExtraRole = Qt::UserRole + 2;

QIcon Swatch(TColor c) {
  QPixmap pm(16, 12);
  pm.fill(ColorToQColor(c));
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
  return QIcon(pm);
}

QRadioButton* Radio(QGroupBox* box, QButtonGroup* group, const char* caption, int id) {
  auto* r = new QRadioButton(QString::fromLatin1(caption), box);
  group->addButton(r, id);
  box->layout()->addWidget(r);
  return r;
}

QGroupBox* Group(QWidget* parent, const char* caption) {
  auto* g = new QGroupBox(QString::fromLatin1(caption), parent);
  return g;
}

// A caption and its drop-down side by side in a grid row.
void AddRow(QGridLayout* grid, int row, QLabel* label, QWidget* field) {
  grid->addWidget(label, row, 0);
  grid->addWidget(field, row, 1);
}

void SelectCheckedId(QButtonGroup* group, int id) {
  if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

}  // namespace

// ---- TColorBox --------------------------------------------------------------------------------

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
  for (const TNamedColor& c : kStandardColors) AddColor(c.Value, count());
  addItem(QStringLiteral("Custom..."));
  setItemData(count() - 1, true, kCustomRole);
  setMaxVisibleItems(count());
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (itemData(index, kCustomRole).toBool()) ChooseCustom(index);
    else previous_ = index;
  });
}

QString TColorBox::ColorName(TColor Value) {
  for (const TNamedColor& c : kStandardColors)
    if (c.Value == Value) return QString::fromLatin1(c.Name);
  if (IsSystemColor(Value)) {
    const std::uint32_t index = Value & 0x00FFFFFFu;
    if (index < std::size(kSystemColorNames)) return QString::fromLatin1(kSystemColorNames[index]);
    return QStringLiteral("System Color %1").arg(index);
  }
  return PlainColorToQColor(Value).name(QColor::HexRgb).toUpper();
}

int TColorBox::AddColor(TColor Value, int at) {
  insertItem(at, Swatch(Value), ColorName(Value));
  setItemData(at, QVariant::fromValue<quint32>(Value), kColorRole);
  return at;
}

TColor TColorBox::Selected() const {
  const int i = currentIndex();
  if (i < 0 || itemData(i, kCustomRole).toBool()) return clBlack;
  return itemData(i, kColorRole).value<quint32>();
}

void TColorBox::SetSelected(TColor Value) {
  const QSignalBlocker block(this);
  for (int i = count() - 1; i >= 0; --i)
    if (itemData(i, kExtraRole).toBool() && itemData(i, kColorRole).value<quint32>() != Value) removeItem(i);
  int found = -1;
  for (int i = 0; i < count() && found < 0; ++i)
    if (!itemData(i, kCustomRole).toBool() && itemData(i, kColorRole).value<quint32>() == Value) found = i;
  // A colour of no name gets an entry of its own at the top, kept exactly as given.
  if (found < 0) {
    found = AddColor(Value, 0);
    setItemData(found, true, kExtraRole);
  }
  setCurrentIndex(found);
  previous_ = found;
  setMaxVisibleItems(count());
}

void TColorBox::ChooseCustom(int index) {
  const TColor current = itemData(previous_, kColorRole).value<quint32>();
  QColorDialog dlg(ColorToQColor(current), window());
  dlg.setWindowTitle(QStringLiteral("Custom Color"));
  if (ExecModal(&dlg) == QDialog::Accepted && dlg.currentColor().isValid()) {
    SetSelected(QColorToColor(dlg.currentColor()));
  } else {
    const QSignalBlocker block(this);
    setCurrentIndex(previous_ < count() && previous_ != index ? previous_ : 0);
  }
}

// ---- TKVX7OptionsDlg: construction --------------------------------------------------------------

TKVX7OptionsDlg::TKVX7OptionsDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("KVX7OptionsDlg"));
  setWindowTitle(QStringLiteral("Options"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  setFont(ArialPointFont(8));

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 6, 6, 0);
  outer->setSpacing(0);
  PageControl = new QTabWidget(this);
  PageControl->setObjectName(QStringLiteral("PageControl"));
  // Every tab stays in sight: the dialog is made as wide as the tabs need.
  PageControl->setUsesScrollButtons(false);
  outer->addWidget(PageControl, 1);
  BuildInterfaceTab();
  BuildScopeTab();
  BuildMonitorTab();
  BuildDruvTab();
  BuildTableInputTab();

  auto* bottom = new QWidget(this);
  bottom->setObjectName(QStringLiteral("BottomPanel"));
  bottom->setFixedHeight(44);
  auto* buttons = new QHBoxLayout(bottom);
  buttons->setContentsMargins(0, 0, 0, 0);
  BtnOK = new QPushButton(QStringLiteral("OK"), bottom);
  BtnOK->setObjectName(QStringLiteral("BtnOK"));
  BtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BtnOK->setDefault(true);
  BtnOK->setMinimumWidth(90);
  BtnCancel = new QPushButton(QStringLiteral("Cancel"), bottom);
  BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
  BtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  BtnCancel->setMinimumWidth(90);
  buttons->addStretch(1);
  buttons->addWidget(BtnOK);
  buttons->addSpacing(10);
  buttons->addWidget(BtnCancel);
  buttons->addStretch(1);
  outer->addWidget(bottom);
  connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  // The rate lists admit every rate, the automatic one included.
  for (const char* name : ModBaudrateNames) {
    CBoxFixBR->addItem(QString::fromLatin1(name));
    CBoxHighBR->addItem(QString::fromLatin1(name));
  }
  CBoxFixBR->setMaxVisibleItems(CBoxFixBR->count());
  CBoxHighBR->setMaxVisibleItems(CBoxHighBR->count());
  resize(QSize(316, 451).expandedTo(minimumSizeHint()));
}

TKVX7OptionsDlg::~TKVX7OptionsDlg() { SetApplIni(nullptr); }

void TKVX7OptionsDlg::BuildInterfaceTab() {
  TSInterface = new QWidget;
  TSInterface->setObjectName(QStringLiteral("TSInterface"));
  auto* page = new QVBoxLayout(TSInterface);
  page->setSpacing(6);

  QGroupBox* portBox = Group(TSInterface, "Port selection");
  auto* portGrid = new QGridLayout(portBox);
  LabelPort = new QLabel(QStringLiteral("Serial Port"), portBox);
  CBPort = new QComboBox(portBox);
  CBPort->setObjectName(QStringLiteral("CBPort"));
  CBPort->setMinimumWidth(130);
  LabelPort->setBuddy(CBPort);
  AddRow(portGrid, 0, LabelPort, CBPort);
  portGrid->setColumnStretch(2, 1);
  page->addWidget(portBox);

  RGrpTransferMode = Group(TSInterface, "Transfer Mode");
  RGrpTransferMode->setObjectName(QStringLiteral("RGrpTransferMode"));
  new QVBoxLayout(RGrpTransferMode);
  TransferModeButtons = new QButtonGroup(RGrpTransferMode);
  Radio(RGrpTransferMode, TransferModeButtons, "Full-Duplex", 0);
  Radio(RGrpTransferMode, TransferModeButtons, "Half-Duplex (19200 Baud)", 1);
  page->addWidget(RGrpTransferMode);

  RGrpBROptions = Group(TSInterface, "Baudrate options");
  RGrpBROptions->setObjectName(QStringLiteral("RGrpBROptions"));
  new QVBoxLayout(RGrpBROptions);
  BROptionsButtons = new QButtonGroup(RGrpBROptions);
  Radio(RGrpBROptions, BROptionsButtons, "Fix baudrate", 0);
  Radio(RGrpBROptions, BROptionsButtons, "Auto baudrate detection", 1);
  page->addWidget(RGrpBROptions);

  QGroupBox* rateBox = Group(TSInterface, "Baudrate settings");
  auto* rateLayout = new QVBoxLayout(rateBox);
  rateLayout->setContentsMargins(0, 0, 0, 0);
  NBBROptions = new QStackedWidget(rateBox);
  NBBROptions->setObjectName(QStringLiteral("NBBROptions"));
  auto* fixPage = new QWidget;
  fixPage->setObjectName(QStringLiteral("FixBR"));
  auto* fixGrid = new QGridLayout(fixPage);
  LabelFixBR = new QLabel(QStringLiteral("Fix baudrate"), fixPage);
  CBoxFixBR = new QComboBox(fixPage);
  CBoxFixBR->setObjectName(QStringLiteral("CBoxFixBR"));
  CBoxFixBR->setMinimumWidth(110);
  AddRow(fixGrid, 0, LabelFixBR, CBoxFixBR);
  fixGrid->setColumnStretch(2, 1);
  fixGrid->setRowStretch(1, 1);
  auto* autoPage = new QWidget;
  autoPage->setObjectName(QStringLiteral("AutoBRDetection"));
  auto* autoGrid = new QGridLayout(autoPage);
  CBAutoSetBR = new QCheckBox(QStringLiteral("Auto Change To  Selected Baudrate"), autoPage);
  CBAutoSetBR->setObjectName(QStringLiteral("CBAutoSetBR"));
  LabelHighBR = new QLabel(QStringLiteral("Auto Baudrate"), autoPage);
  CBoxHighBR = new QComboBox(autoPage);
  CBoxHighBR->setObjectName(QStringLiteral("CBoxHighBR"));
  CBoxHighBR->setMinimumWidth(110);
  autoGrid->addWidget(CBAutoSetBR, 0, 0, 1, 3);
  AddRow(autoGrid, 1, LabelHighBR, CBoxHighBR);
  autoGrid->setColumnStretch(2, 1);
  NBBROptions->addWidget(fixPage);
  NBBROptions->addWidget(autoPage);
  rateLayout->addWidget(NBBROptions);
  page->addWidget(rateBox);

  QGroupBox* delayBox = Group(TSInterface, "Delay On Firmware Update");
  auto* delayRow = new QHBoxLayout(delayBox);
  DelayOnFirmwareUpdateEdit = new QSpinBox(delayBox);
  DelayOnFirmwareUpdateEdit->setObjectName(QStringLiteral("DelayOnFirmwareUpdateEdit"));
  DelayOnFirmwareUpdateEdit->setRange(0, 100);
  DelayOnFirmwareUpdateEdit->setMinimumWidth(70);
  delayRow->addWidget(DelayOnFirmwareUpdateEdit);
  delayRow->addWidget(new QLabel(QStringLiteral("Milliseconds"), delayBox));
  delayRow->addStretch(1);
  page->addWidget(delayBox);
  page->addStretch(1);

  connect(TransferModeButtons, &QButtonGroup::idClicked, this, [this] { RGrpTransferModeClick(); });
  connect(BROptionsButtons, &QButtonGroup::idClicked, this, [this] { RGrpBROptionsClick(); });
  connect(CBAutoSetBR, &QCheckBox::clicked, this, [this] { CBAutoSetBRClick(); });
  PageControl->addTab(TSInterface, QStringLiteral("Interface"));
}

void TKVX7OptionsDlg::BuildScopeTab() {
  TSScope = new QWidget;
  TSScope->setObjectName(QStringLiteral("TSScope"));
  auto* page = new QVBoxLayout(TSScope);
  page->setSpacing(6);
  auto colorBox = [](QWidget* parent, const char* name) {
    auto* b = new TColorBox(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setMinimumWidth(140);
    return b;
  };

  QGroupBox* display = Group(TSScope, "Display");
  auto* dGrid = new QGridLayout(display);
  CBoxDspColor = colorBox(display, "CBoxDspColor");
  CBoxGridColor = colorBox(display, "CBoxGridColor");
  AddRow(dGrid, 0, new QLabel(QStringLiteral("Display Color"), display), CBoxDspColor);
  AddRow(dGrid, 1, new QLabel(QStringLiteral("Grid Color"), display), CBoxGridColor);
  dGrid->setColumnStretch(2, 1);
  page->addWidget(display);

  QGroupBox* width = Group(TSScope, "Line Width");
  auto* wGrid = new QGridLayout(width);
  CBoxSigLineWidth = new QComboBox(width);
  CBoxSigLineWidth->setObjectName(QStringLiteral("CBoxSigLineWidth"));
  CBoxSigLineWidth->setMinimumWidth(140);
  AddRow(wGrid, 0, new QLabel(QStringLiteral("Signal Line Width"), width), CBoxSigLineWidth);
  wGrid->setColumnStretch(2, 1);
  page->addWidget(width);

  QGroupBox* channels = Group(TSScope, "Channel Settings");
  auto* cGrid = new QGridLayout(channels);
  CBoxCha1Color = colorBox(channels, "CBoxCha1Color");
  CBoxCha2Color = colorBox(channels, "CBoxCha2Color");
  CBoxCha3Color = colorBox(channels, "CBoxCha3Color");
  CBoxCha4Color = colorBox(channels, "CBoxCha4Color");
  TColorBox* boxes[] = {CBoxCha1Color, CBoxCha2Color, CBoxCha3Color, CBoxCha4Color};
  for (int i = 0; i < 4; ++i)
    AddRow(cGrid, i, new QLabel(QStringLiteral("Channel %1 Color").arg(i + 1), channels), boxes[i]);
  cGrid->setColumnStretch(2, 1);
  page->addWidget(channels);
  page->addStretch(1);

  // Label columns of the three groups line up.
  const int labelWidth = QFontMetrics(font()).horizontalAdvance(QStringLiteral("Signal Line Width")) + 8;
  for (QGridLayout* g : {dGrid, wGrid, cGrid}) g->setColumnMinimumWidth(0, labelWidth);
  PageControl->addTab(TSScope, QStringLiteral("Oscilloscope"));
}

void TKVX7OptionsDlg::BuildMonitorTab() {
  TSMonitor = new QWidget;
  TSMonitor->setObjectName(QStringLiteral("TSMonitor"));
  auto* page = new QVBoxLayout(TSMonitor);
  page->setSpacing(6);
  RGVisibleParaKind = Group(TSMonitor, "Visible parameter");
  RGVisibleParaKind->setObjectName(QStringLiteral("RGVisibleParaKind"));
  new QVBoxLayout(RGVisibleParaKind);
  VisibleParaKindButtons = new QButtonGroup(RGVisibleParaKind);
  Radio(RGVisibleParaKind, VisibleParaKindButtons, "Default (4)", 0);
  Radio(RGVisibleParaKind, VisibleParaKindButtons, "Custom", 1);
  Radio(RGVisibleParaKind, VisibleParaKindButtons, "Max (all parameter)", 2);
  page->addWidget(RGVisibleParaKind);

  QGroupBox* custom = Group(TSMonitor, "Custom Def");
  auto* grid = new QGridLayout(custom);
  LabelVisParCnt = new QLabel(QStringLiteral("Visible parameters"), custom);
  CBoxVisParCnt = new QComboBox(custom);
  CBoxVisParCnt->setObjectName(QStringLiteral("CBoxVisParCnt"));
  for (int i = 1; i <= 10; ++i) CBoxVisParCnt->addItem(QString::number(i));
  CBoxVisParCnt->setMaxVisibleItems(10);
  CBoxVisParCnt->setCurrentIndex(3);
  CBoxVisParCnt->setMinimumWidth(70);
  AddRow(grid, 0, LabelVisParCnt, CBoxVisParCnt);
  grid->setColumnStretch(2, 1);
  page->addWidget(custom);
  page->addStretch(1);
  connect(VisibleParaKindButtons, &QButtonGroup::idClicked, this, [this] { RGVisibleParaKindClick(); });
  PageControl->addTab(TSMonitor, QStringLiteral("Monitor"));
}

void TKVX7OptionsDlg::BuildDruvTab() {
  TSDruv = new QWidget;
  TSDruv->setObjectName(QStringLiteral("TSDruv"));
  auto* page = new QVBoxLayout(TSDruv);
  page->setSpacing(8);
  auto check = [this](const char* caption, const char* name) {
    auto* c = new QCheckBox(QString::fromLatin1(caption), TSDruv);
    c->setObjectName(QString::fromLatin1(name));
    TSDruv->layout()->addWidget(c);
    return c;
  };
  CBoxShowCmdGrp = check("Show Command Group Info", "CBoxShowCmdGrp");
  CBoxEnableKVXFileViewer = check("Enable KVX-File Viewer", "CBoxEnableKVXFileViewer");
  CBoxFWUpdateViaTerminal = check("Enable Firmware Update Via Terminal", "CBoxFWUpdateViaTerminal");
  CBoxEnableShortFirmwareUpdate = check("Enable Short Firmware Update ", "CBoxEnableShortFirmwareUpdate");
  CBoxULimLLimManually = check("ULim/LLim manually", "CBoxULimLLimManually");
  page->addStretch(1);
  PageControl->addTab(TSDruv, QStringLiteral("DRUVTEC"));
  PageControl->setTabVisible(PageControl->indexOf(TSDruv), false);
}

void TKVX7OptionsDlg::BuildTableInputTab() {
  TSTableInput = new QWidget;
  TSTableInput->setObjectName(QStringLiteral("TSTableInput"));
  auto* page = new QVBoxLayout(TSTableInput);
  CBoxShowDecimals = new QCheckBox(QStringLiteral("Show percent values (%) with 2 decimals"), TSTableInput);
  CBoxShowDecimals->setObjectName(QStringLiteral("CBoxShowDecimals"));
  CBoxAinCommandUI = new QCheckBox(QStringLiteral("AIN Command = U/I"), TSTableInput);
  CBoxAinCommandUI->setObjectName(QStringLiteral("CBoxAinCommandUI"));
  page->addWidget(CBoxShowDecimals);
  page->addWidget(CBoxAinCommandUI);
  page->addStretch(1);
  // Both options stay in the file, but the boxes are not offered.
  CBoxShowDecimals->setVisible(false);
  CBoxAinCommandUI->setVisible(false);
  PageControl->addTab(TSTableInput, QStringLiteral("Table Input"));
}

// ---- References -----------------------------------------------------------------------------------

void TKVX7OptionsDlg::SetApplIni(TosApplIni* Value) {
  if (ApplIni_ == Value) return;
  if (ApplIni_) ApplIni_->RemoveFreeNotification(this);
  ApplIni_ = Value;
  if (ApplIni_) ApplIni_->FreeNotification(this);
}

void TKVX7OptionsDlg::Notification(platform::TComponent* Component, platform::TOperation Operation) {
  platform::TComponent::Notification(Component, Operation);
  if (Operation == platform::TOperation::opRemove && Component == ApplIni_) ApplIni_ = nullptr;
}

// ---- Reading and writing the file -------------------------------------------------------------------

int TKVX7OptionsDlg::ReadInt(const char* Section, const char* Key, int Default) const {
  return ApplIni_ ? ApplIni_->ReadInteger(Section, Key, Default) : Default;
}

bool TKVX7OptionsDlg::ReadBool(const char* Section, const char* Key, bool Default) const {
  return ApplIni_ ? ApplIni_->ReadBool(Section, Key, Default) : Default;
}

void TKVX7OptionsDlg::WriteInt(const char* Section, const char* Key, int Value) {
  if (ApplIni_) ApplIni_->WriteInteger(Section, Key, Value);
}

void TKVX7OptionsDlg::WriteBool(const char* Section, const char* Key, bool Value) {
  if (ApplIni_) ApplIni_->WriteBool(Section, Key, Value);
}

// Colours are stored as signed 32-bit numbers: a system colour keeps its top byte.
TColor TKVX7OptionsDlg::ReadColor(const char* Key, TColor Field) const {
  if (!ApplIni_) return Field;
  return static_cast<TColor>(ApplIni_->ReadInteger(kScope, Key, static_cast<std::int32_t>(Field)));
}

void TKVX7OptionsDlg::WriteColor(const char* Key, TColor& Field, TColor Value) {
  Field = Value;
  WriteInt(kScope, Key, static_cast<std::int32_t>(Value));
}

// Stored as the bit rate; a number that is none of the five gives the field.
TModBaudrate TKVX7OptionsDlg::ReadRate(const char* Key, TModBaudrate Field) const {
  if (!ApplIni_) return Field;
  TModBaudrate rate;
  return ModBaudrateFromBits(ApplIni_->ReadInteger(kInterface, Key, ModBaudrates[Field]), rate) ? rate : Field;
}

// ---- The options ---------------------------------------------------------------------------------

TColor TKVX7OptionsDlg::GetBackgoundColor() const { return ReadColor(kBackgoundColor, BackgoundColor_); }
void TKVX7OptionsDlg::SetBackgoundColor(TColor Value) { WriteColor(kBackgoundColor, BackgoundColor_, Value); }
TColor TKVX7OptionsDlg::GetGridColor() const { return ReadColor(kGridColor, GridColor_); }
void TKVX7OptionsDlg::SetGridColor(TColor Value) { WriteColor(kGridColor, GridColor_, Value); }
TColor TKVX7OptionsDlg::GetCha1Color() const { return ReadColor(kCha1Color, Cha1Color_); }
void TKVX7OptionsDlg::SetCha1Color(TColor Value) { WriteColor(kCha1Color, Cha1Color_, Value); }
TColor TKVX7OptionsDlg::GetCha2Color() const { return ReadColor(kCha2Color, Cha2Color_); }
void TKVX7OptionsDlg::SetCha2Color(TColor Value) { WriteColor(kCha2Color, Cha2Color_, Value); }
TColor TKVX7OptionsDlg::GetCha3Color() const { return ReadColor(kCha3Color, Cha3Color_); }
void TKVX7OptionsDlg::SetCha3Color(TColor Value) { WriteColor(kCha3Color, Cha3Color_, Value); }
TColor TKVX7OptionsDlg::GetCha4Color() const { return ReadColor(kCha4Color, Cha4Color_); }
void TKVX7OptionsDlg::SetCha4Color(TColor Value) { WriteColor(kCha4Color, Cha4Color_, Value); }

TSignalLineWidthKind TKVX7OptionsDlg::GetSignalLineWidth() const {
  const int v = ReadInt(kScope, kSignalLineWidth, SignalLineWidth_);
  return v >= swSmall && v <= swFat ? static_cast<TSignalLineWidthKind>(v) : SignalLineWidth_;
}
void TKVX7OptionsDlg::SetSignalLineWidth(TSignalLineWidthKind Value) {
  SignalLineWidth_ = Value;
  WriteInt(kScope, kSignalLineWidth, Value);
}

bool TKVX7OptionsDlg::GetULimLLimManually() const { return ReadBool(kScope, kULimLLimManually, ULimLLimManually_); }
void TKVX7OptionsDlg::SetULimLLimManually(bool Value) {
  ULimLLimManually_ = Value;
  WriteBool(kScope, kULimLLimManually, Value);
}

std::string TKVX7OptionsDlg::GetPort() const {
  return ApplIni_ ? ApplIni_->ReadString(kInterface, kPort, "") : Port_;
}
void TKVX7OptionsDlg::SetPort(const std::string& Value) {
  Port_ = Value;
  if (ApplIni_) ApplIni_->WriteString(kInterface, kPort, Value);
}

TTransferMode TKVX7OptionsDlg::GetTranferMode() const {
  const int v = ReadInt(kInterface, kTranferMode, TranferMode_);
  return v == tmFullDuplex || v == tmHalfDuplex ? static_cast<TTransferMode>(v) : TranferMode_;
}
void TKVX7OptionsDlg::SetTranferMode(TTransferMode Value) {
  TranferMode_ = Value;
  WriteInt(kInterface, kTranferMode, Value);
}

bool TKVX7OptionsDlg::GetAutoBRDetection() const { return ReadBool(kInterface, kAutoBRDetection, AutoBRDetection_); }
void TKVX7OptionsDlg::SetAutoBRDetection(bool Value) {
  AutoBRDetection_ = Value;
  WriteBool(kInterface, kAutoBRDetection, Value);
}

TModBaudrate TKVX7OptionsDlg::GetFixBR() const { return ReadRate(kFixBR, FixBR_); }
void TKVX7OptionsDlg::SetFixBR(TModBaudrate Value) {
  FixBR_ = Value;
  if (Value < ModBaudrateCount) WriteInt(kInterface, kFixBR, ModBaudrates[Value]);
}

bool TKVX7OptionsDlg::GetAutoSetBR() const { return ApplIni_ ? ApplIni_->ReadBool(kInterface, kAutoSetBR, false) : AutoSetBR_; }
void TKVX7OptionsDlg::SetAutoSetBR(bool Value) {
  AutoSetBR_ = Value;
  WriteBool(kInterface, kAutoSetBR, Value);
}

TModBaudrate TKVX7OptionsDlg::GetAutoBR() const { return ReadRate(kAutoBR, AutoBR_); }
void TKVX7OptionsDlg::SetAutoBR(TModBaudrate Value) {
  AutoBR_ = Value;
  if (Value < ModBaudrateCount) WriteInt(kInterface, kAutoBR, ModBaudrates[Value]);
}

int TKVX7OptionsDlg::GetDelayOnFirmwareUpdate() const {
  if (!ApplIni_) return DelayOnFirmwareUpdate_;
  const int v = ApplIni_->ReadInteger(kInterface, kDelayOnFirmwareUpdate, 0);
  return v >= 0 && v <= 100 ? v : 0;
}
void TKVX7OptionsDlg::SetDelayOnFirmwareUpdate(int Value) {
  DelayOnFirmwareUpdate_ = Value;
  WriteInt(kInterface, kDelayOnFirmwareUpdate, Value);
}

TVisibleParamKind TKVX7OptionsDlg::GetVisParaKind() const {
  if (!ApplIni_) return VisParaKind_;
  const int v = ApplIni_->ReadInteger(kMonitor, kVisParaKind, vpDefault);
  return v >= vpDefault && v <= vpMax ? static_cast<TVisibleParamKind>(v) : vpDefault;
}
void TKVX7OptionsDlg::SetVisParaKind(TVisibleParamKind Value) {
  VisParaKind_ = Value;
  WriteInt(kMonitor, kVisParaKind, Value);
}

int TKVX7OptionsDlg::GetVisParaCnt() const {
  if (!ApplIni_) return VisParaCnt_;
  const int v = ApplIni_->ReadInteger(kMonitor, kVisParaCnt, 4);
  return v >= 1 && v <= 10 ? v : 4;
}
void TKVX7OptionsDlg::SetVisParaCnt(int Value) {
  VisParaCnt_ = Value;
  WriteInt(kMonitor, kVisParaCnt, Value);
}

#define KVX_BOOL_OPTION(Name, Section)                                                   \
  bool TKVX7OptionsDlg::Get##Name() const {                                              \
    return ApplIni_ ? ApplIni_->ReadBool(Section, k##Name, false) : Name##_;             \
  }                                                                                      \
  void TKVX7OptionsDlg::Set##Name(bool Value) {                                          \
    Name##_ = Value;                                                                     \
    WriteBool(Section, k##Name, Value);                                                  \
  }
KVX_BOOL_OPTION(ShowCmdGrpInfo, kDruv)
KVX_BOOL_OPTION(KVXFileViewer, kDruv)
KVX_BOOL_OPTION(SFWUpdate, kDruv)
KVX_BOOL_OPTION(TermFWUpdate, kDruv)
KVX_BOOL_OPTION(ShowDecimals, kTableInput)
KVX_BOOL_OPTION(AinCommandUI, kTableInput)
#undef KVX_BOOL_OPTION

// ---- Controls ----------------------------------------------------------------------------------

bool TKVX7OptionsDlg::Execute() {
  LoadControls();
  if (ExecModal(this) != QDialog::Accepted) return false;
  // Every option is taken even when the file refuses it: the choice holds for this run, and the
  // refusal is told once.
  try {
    StoreControls();
  } catch (const EApplIniError& e) {
    AdvMessageDlg(e.what(), mtError, {mbOK}, 0);
  }
  return true;
}

void TKVX7OptionsDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FirstShow_ = false;
  PageControl->setCurrentIndex(0);
}

void TKVX7OptionsDlg::LoadControls() {
  const bool editable = InterfaceEditable_;
  CBPort->setEnabled(editable);
  LabelPort->setEnabled(editable);

  SelectCheckedId(TransferModeButtons, GetTranferMode());
  RGrpTransferMode->setEnabled(editable);
  const bool rates = editable && TransferModeButtons->checkedId() == tmFullDuplex;

  SelectCheckedId(BROptionsButtons, GetAutoBRDetection() ? 1 : 0);
  RGrpBROptions->setEnabled(rates);
  CBoxFixBR->setCurrentIndex(GetFixBR());
  CBoxFixBR->setEnabled(rates);
  LabelFixBR->setEnabled(rates);
  CBAutoSetBR->setChecked(GetAutoSetBR());
  CBAutoSetBR->setEnabled(rates);
  const bool high = rates && CBAutoSetBR->isChecked();
  LabelHighBR->setEnabled(high);
  CBoxHighBR->setCurrentIndex(GetAutoBR());
  CBoxHighBR->setEnabled(high);
  NBBROptions->setCurrentIndex(BROptionsButtons->checkedId() == 1 ? 1 : 0);

  DelayOnFirmwareUpdateEdit->setValue(GetDelayOnFirmwareUpdate());
  CBoxDspColor->SetSelected(GetBackgoundColor());
  CBoxGridColor->SetSelected(GetGridColor());
  CBoxCha1Color->SetSelected(GetCha1Color());
  CBoxCha2Color->SetSelected(GetCha2Color());
  CBoxCha3Color->SetSelected(GetCha3Color());
  CBoxCha4Color->SetSelected(GetCha4Color());

  CBoxSigLineWidth->clear();
  CBoxSigLineWidth->addItems({QStringLiteral("Small"), QStringLiteral("Medium"), QStringLiteral("Fat")});
  CBoxSigLineWidth->setCurrentIndex(GetSignalLineWidth());
  CBoxULimLLimManually->setChecked(GetULimLLimManually());

  const int kind = GetVisParaKind();
  SelectCheckedId(VisibleParaKindButtons, VisibleParaKindButtons->button(kind) ? kind : 0);
  CBoxVisParCnt->setCurrentIndex(qBound(0, GetVisParaCnt() - 1, 9));
  CBoxVisParCnt->setEnabled(VisibleParaKindButtons->checkedId() == vpCustom);
  LabelVisParCnt->setEnabled(CBoxVisParCnt->isEnabled());

  if (ApplInfo_) {
    // Adapters are plugged in after the start: the list is read again every time.
    ApplInfo_->SystemInfo()->UpdateSerialCommPorts();
    const QSignalBlocker block(CBPort);
    CBPort->clear();
    for (const std::string& name : ApplInfo_->SystemInfo()->SerialCommPorts())
      CBPort->addItem(FileNameFromBytes(name));
    CBPort->setMaxVisibleItems(qMax(1, CBPort->count()));
    CBPort->setCurrentIndex(CBPort->findText(FileNameFromBytes(GetPort()), Qt::MatchExactly));
  }

  PageControl->setTabVisible(PageControl->indexOf(TSDruv), ShowDruvTab_);
  CBoxShowCmdGrp->setChecked(GetShowCmdGrpInfo());
  CBoxEnableKVXFileViewer->setChecked(GetKVXFileViewer());
  CBoxFWUpdateViaTerminal->setChecked(GetTermFWUpdate());
  CBoxEnableShortFirmwareUpdate->setChecked(GetSFWUpdate());
  CBoxShowDecimals->setChecked(GetShowDecimals());
  CBoxAinCommandUI->setChecked(GetAinCommandUI());
}

void TKVX7OptionsDlg::StoreControls() {
  // One rewrite of the file for all the options, and one refusal at most.
  TosApplIniUpdate update(ApplIni_);
  SetAutoSetBR(CBAutoSetBR->isChecked());
  if (CBPort->currentIndex() >= 0) SetPort(FileNameToBytes(CBPort->currentText()));
  TModBaudrate rate;
  if (CBoxHighBR->currentIndex() >= 0 && ModBaudrateFromName(CBoxHighBR->currentText().toStdString(), rate))
    SetAutoBR(rate);
  SetAutoBRDetection(BROptionsButtons->checkedId() == 1);
  if (CBoxFixBR->currentIndex() >= 0 && ModBaudrateFromName(CBoxFixBR->currentText().toStdString(), rate))
    SetFixBR(rate);
  if (TransferModeButtons->checkedId() >= 0)
    SetTranferMode(static_cast<TTransferMode>(TransferModeButtons->checkedId()));
  SetDelayOnFirmwareUpdate(DelayOnFirmwareUpdateEdit->value());
  SetBackgoundColor(CBoxDspColor->Selected());
  SetGridColor(CBoxGridColor->Selected());
  SetCha1Color(CBoxCha1Color->Selected());
  SetCha2Color(CBoxCha2Color->Selected());
  SetCha3Color(CBoxCha3Color->Selected());
  SetCha4Color(CBoxCha4Color->Selected());
  if (CBoxSigLineWidth->currentIndex() >= 0)
    SetSignalLineWidth(static_cast<TSignalLineWidthKind>(CBoxSigLineWidth->currentIndex()));
  SetULimLLimManually(CBoxULimLLimManually->isChecked());
  if (VisibleParaKindButtons->checkedId() >= 0)
    SetVisParaKind(static_cast<TVisibleParamKind>(VisibleParaKindButtons->checkedId()));
  if (CBoxVisParCnt->currentIndex() >= 0) SetVisParaCnt(CBoxVisParCnt->currentIndex() + 1);
  if (ShowDruvTab_) {
    SetShowCmdGrpInfo(CBoxShowCmdGrp->isChecked());
    SetKVXFileViewer(CBoxEnableKVXFileViewer->isChecked());
    SetTermFWUpdate(CBoxFWUpdateViaTerminal->isChecked());
    SetSFWUpdate(CBoxEnableShortFirmwareUpdate->isChecked());
  }
  SetShowDecimals(CBoxShowDecimals->isChecked());
  SetAinCommandUI(CBoxAinCommandUI->isChecked());
  update.Commit();
}

void TKVX7OptionsDlg::RGrpTransferModeClick() {
  const bool full = TransferModeButtons->checkedId() == tmFullDuplex;
  RGrpBROptions->setEnabled(full);
  CBAutoSetBR->setEnabled(full);
  CBoxFixBR->setEnabled(full);
  LabelFixBR->setEnabled(full);
  const bool high = CBAutoSetBR->isEnabled() && CBAutoSetBR->isChecked();
  CBoxHighBR->setEnabled(high);
  LabelHighBR->setEnabled(high);
}

void TKVX7OptionsDlg::RGrpBROptionsClick() {
  NBBROptions->setCurrentIndex(BROptionsButtons->checkedId() == 1 ? 1 : 0);
}

void TKVX7OptionsDlg::CBAutoSetBRClick() {
  const bool high = CBAutoSetBR->isChecked() && InterfaceEditable_;
  CBoxHighBR->setEnabled(high);
  LabelHighBR->setEnabled(high);
}

void TKVX7OptionsDlg::RGVisibleParaKindClick() {
  const bool custom = VisibleParaKindButtons->checkedId() == vpCustom;
  CBoxVisParCnt->setEnabled(custom);
  LabelVisParCnt->setEnabled(custom);
}

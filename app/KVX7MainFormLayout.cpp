// The main window's widgets: menus, tool bar, status bar, the four pages and their controls, and
// the wiring of every control to its handler.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <initializer_list>
#include <vector>

#include "app/KVX7MainForm.h"
#include "app/osDropDownCombo.h"
#include "app/osStatusPanel.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osLED.h"
#include "views/osColors.h"

namespace {

// Small drawn glyphs for the tool buttons, so the program needs no image files.
enum class Glyph { Lamp, Identify, Grid, Monitor, Scope, Terminal, Clear, Open, Save, Print, Key, Settings };

QPixmap DrawGlyphPixmap(Glyph g, const QColor& color) {
  QPixmap pm(20, 20);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(color, 1.6);
  p.setPen(pen);
  switch (g) {
    case Glyph::Lamp:
      p.setBrush(color);
      p.setPen(QPen(color.darker(160), 1.2));
      p.drawEllipse(QRectF(3, 3, 14, 14));
      p.setBrush(QColor(255, 255, 255, 150));
      p.setPen(Qt::NoPen);
      p.drawEllipse(QRectF(6, 5.5, 5, 4));
      break;
    case Glyph::Identify:
      p.drawEllipse(QRectF(3, 3, 14, 14));
      p.drawLine(QPointF(10, 9), QPointF(10, 14));
      p.setBrush(color);
      p.drawEllipse(QRectF(9.2, 5.5, 1.6, 1.6));
      break;
    case Glyph::Grid:
      p.drawRect(QRectF(2.5, 3.5, 15, 13));
      for (int y : {7, 10, 13}) p.drawLine(QPointF(2.5, y + 0.5), QPointF(17.5, y + 0.5));
      p.drawLine(QPointF(8.5, 3.5), QPointF(8.5, 16.5));
      break;
    case Glyph::Monitor:
      p.setBrush(color);
      p.drawRect(QRectF(3, 11, 3, 6));
      p.drawRect(QRectF(8.5, 6, 3, 11));
      p.drawRect(QRectF(14, 9, 3, 8));
      break;
    case Glyph::Scope: {
      p.drawRect(QRectF(2.5, 2.5, 15, 15));
      QPainterPath path(QPointF(3, 10));
      path.cubicTo(QPointF(6, 2), QPointF(8, 2), QPointF(10, 10));
      path.cubicTo(QPointF(12, 18), QPointF(14, 18), QPointF(17, 10));
      p.setPen(QPen(color == QColor(40, 40, 40) ? QColor(20, 90, 200) : color, 1.6));
      p.drawPath(path);
      break;
    }
    case Glyph::Terminal:
      p.drawRect(QRectF(2.5, 3.5, 15, 13));
      p.drawLine(QPointF(5, 7), QPointF(8, 10));
      p.drawLine(QPointF(8, 10), QPointF(5, 13));
      p.drawLine(QPointF(10, 13.5), QPointF(15, 13.5));
      break;
    case Glyph::Clear:
      p.drawRect(QRectF(4.5, 2.5, 11, 15));
      break;
    case Glyph::Open:
      p.drawPolyline(QPolygonF({QPointF(2.5, 16.5), QPointF(2.5, 4.5), QPointF(7.5, 4.5),
                                QPointF(9.5, 6.5), QPointF(15.5, 6.5), QPointF(15.5, 9)}));
      p.drawPolygon(QPolygonF({QPointF(2.5, 16.5), QPointF(5.5, 9.5), QPointF(18, 9.5), QPointF(15, 16.5)}));
      break;
    case Glyph::Save:
      p.drawRect(QRectF(3.5, 3.5, 13, 13));
      p.drawRect(QRectF(6.5, 3.5, 7, 4));
      p.drawRect(QRectF(6, 11, 8, 5.5));
      break;
    case Glyph::Print:
      p.drawRect(QRectF(6.5, 2.5, 7, 5));
      p.drawRect(QRectF(2.5, 7.5, 15, 7));
      p.drawRect(QRectF(6.5, 12.5, 7, 5));
      break;
    case Glyph::Key:
      p.drawEllipse(QRectF(2.5, 6.5, 7, 7));
      p.drawLine(QPointF(9.5, 10), QPointF(17.5, 10));
      p.drawLine(QPointF(15, 10), QPointF(15, 13.5));
      p.drawLine(QPointF(12.5, 10), QPointF(12.5, 12.5));
      break;
    case Glyph::Settings:
      p.drawEllipse(QRectF(6, 6, 8, 8));
      for (int k = 0; k < 8; ++k) {
        p.save();
        p.translate(10, 10);
        p.rotate(45.0 * k);
        p.drawLine(QPointF(0, -5), QPointF(0, -8.5));
        p.restore();
      }
      break;
  }
  return pm;
}

// The glyph, and a pale copy for a disabled button (Qt's own greying of dark line art is too
// faint to tell a disabled button from an enabled one).
QIcon DrawGlyph(Glyph g, const QColor& color = QColor(40, 40, 40)) {
  QIcon icon(DrawGlyphPixmap(g, color));
  icon.addPixmap(DrawGlyphPixmap(g, g == Glyph::Lamp ? color.lighter(150) : QColor(185, 185, 185)),
                 QIcon::Disabled);
  return icon;
}

// A button of the tool bar; one without a text shows only its glyph and is named by its hint.
QToolButton* ToolButtonFor(QAction* action, const QString& text) {
  auto* b = new QToolButton;
  b->setDefaultAction(action);
  b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  b->setAutoRaise(true);
  if (text.isEmpty())
    b->setAccessibleName(action->toolTip());
  else
    b->setText(text);
  return b;
}

QComboBox* Combo(const QStringList& items, const QString& text, bool editable) {
  auto* c = new TDropDownCombo;
  c->setEditable(editable);
  c->addItems(items);
  if (editable)
    c->setEditText(text);
  else
    c->setCurrentIndex(std::max(0, c->findText(text)));
  c->setInsertPolicy(QComboBox::NoInsert);
  return c;
}

QLabel* Caption(const QString& text) {
  auto* l = new QLabel(text);
  return l;
}

// A labelled edit: the label above the edit.
void MakeLabeledEdit(TLabeledEdit& le, const QString& label, const QString& text) {
  le.Box = new QWidget;
  auto* v = new QVBoxLayout(le.Box);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(1);
  le.EditLabel = new QLabel(label);
  le.Edit = new QLineEdit(text);
  le.Held = text;
  le.EditLabel->setBuddy(le.Edit);
  v->addWidget(le.EditLabel);
  v->addWidget(le.Edit);
}

// Keeps actions enabled exactly while the watched widget is.
class TEnabledFollower : public QObject {
 public:
  TEnabledFollower(QWidget* watched, std::initializer_list<QAction*> actions)
      : QObject(watched), actions_(actions) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange)
      for (QAction* a : actions_) a->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
    return false;
  }

 private:
  std::vector<QAction*> actions_;
};

}  // namespace

QIcon ConnectGlyph(bool Connected) {
  return DrawGlyph(Glyph::Lamp, Connected ? QColor(30, 170, 60) : QColor(200, 40, 40));
}

void TKVXMainForm::BuildActions() {
  auto make = [this](const char* name, const QString& text, const QString& hint,
                     const QKeySequence& key, Glyph glyph) {
    auto* a = new QAction(DrawGlyph(glyph), text, this);
    a->setObjectName(name);
    // A tooltip only: a status tip would cover the status bar's panels (port state, rate,
    // module) while the mouse rests on a button.
    a->setToolTip(hint);
    if (!key.isEmpty()) a->setShortcut(key);
    return a;
  };
  ConnectAct = make("ConnectAct", "Connect", "Connect", QKeySequence("Ctrl+A"), Glyph::Lamp);
  ConnectAct->setIcon(ConnectGlyph(false));
  IdentifyAct = make("IdentifyAct", "Identify", "Identify", QKeySequence("Ctrl+I"), Glyph::Identify);
  ShowParamlistAct = make("ShowParamlistAct", "Parameters", "Parameterlist", QKeySequence("Ctrl+L"), Glyph::Grid);
  ShowMonitorAct = make("ShowMonitorAct", "Monitor", "Monitor", QKeySequence("Ctrl+M"), Glyph::Monitor);
  ShowScopeAct = make("ShowScopeAct", "Scope", "Oscilloscope", QKeySequence("Ctrl+Q"), Glyph::Scope);
  ShowTerminalAct = make("ShowTerminalAct", "Terminal", "Terminal", QKeySequence("Ctrl+T"), Glyph::Terminal);
  ClearTerminalAct = make("ClearTerminalAct", "&New", "Clear Terminal", QKeySequence("Ctrl+N"), Glyph::Clear);
  OpenTerminalAct = make("OpenTerminalAct", "O&pen", "Open terminal file", QKeySequence("Ctrl+O"), Glyph::Open);
  SaveTerminalAct = make("SaveTerminalAct", "&Save", "Save terminal window", QKeySequence("Ctrl+S"), Glyph::Save);
  PrintAct = make("PrintAct", "Print", "Print", QKeySequence("Ctrl+P"), Glyph::Print);
  PasswordAct = make("PasswordAct", "Password", "Enter Password", QKeySequence("Ctrl+E"), Glyph::Key);
  // Ctrl+G belongs to the menu item, which does a little more than the tool button.
  SettingsAct = make("SettingsAct", "Settings", "Settings", QKeySequence(), Glyph::Settings);
}

void TKVXMainForm::BuildMenus() {
  QMenuBar* bar = menuBar();
  MMFile = bar->addMenu("&File");
  MMFile->setObjectName("MMFile");
  MMFile->addAction(ClearTerminalAct);
  MMFile->addAction(OpenTerminalAct);
  MMFile->addAction(SaveTerminalAct);
  MMISaveAs = MMFile->addAction("Save as...");
  MMISaveAs->setObjectName("MMISaveAs");
  MMFile->addSeparator();
  MMILoadOfflineCmdList = MMFile->addAction("Load Offline Data");
  MMILoadOfflineCmdList->setObjectName("MMILoadOfflineCmdList");
  MMISaveCmdList = MMFile->addAction("Save Offline Data");
  MMISaveCmdList->setObjectName("MMISaveCmdList");
  MMIViewKVXFile = MMFile->addAction("View KVX File");
  MMIViewKVXFile->setObjectName("MMIViewKVXFile");
  MMFile->addSeparator();
  MMIPrint = MMFile->addAction("&Print...");
  MMIPrint->setObjectName("MMIPrint");
  MMFile->addSeparator();
  MMIClose = MMFile->addAction("E&xit");
  MMIClose->setObjectName("MMIClose");

  MMEdit = bar->addMenu("&Edit");
  MMEdit->setObjectName("MMEdit");
  MMICut = MMEdit->addAction("Cut");
  MMICut->setObjectName("MMICut");
  MMICopy = MMEdit->addAction("Copy");
  MMICopy->setObjectName("MMICopy");
  MMIPaste = MMEdit->addAction("Paste");
  MMIPaste->setObjectName("MMIPaste");
  // Ctrl+X/C/V are control characters the terminal sends to the module; the menu takes the keys
  // terminal programs use for the clipboard.
  MMICut->setShortcut(QKeySequence("Ctrl+Shift+X"));
  MMICopy->setShortcut(QKeySequence("Ctrl+Shift+C"));
  MMIPaste->setShortcut(QKeySequence("Ctrl+Shift+V"));
  // The items of the disabled menu (every page but the terminal) take no keys either.
  MMEdit->installEventFilter(new TEnabledFollower(MMEdit, {MMICut, MMICopy, MMIPaste}));

  MMOptions = bar->addMenu("&Options");
  MMOptions->setObjectName("MMOptions");
  MMISettings = MMOptions->addAction(SettingsAct->icon(), "Settings");
  MMISettings->setObjectName("MMISettings");
  MMISettings->setShortcut(QKeySequence("Ctrl+G"));
  MMOptions->addSeparator();
  MMIFirmwareUpd = MMOptions->addAction("Enable Firmware Update (classic)");
  MMIFirmwareUpd->setObjectName("MMIFirmwareUpd");
  MMIFirmwareUpd->setCheckable(true);
  MMISendFirmwareSep = MMOptions->addSeparator();
  MMISendFirmware = MMOptions->addAction("Send Firmware (classic)");
  MMISendFirmware->setObjectName("MMISendFirmware");
  MMIFWUAss = MMOptions->addAction("Firmware Update");
  MMIFWUAss->setObjectName("MMIFWUAss");

  MMHelp = bar->addMenu("&Help");
  MMHelp->setObjectName("MMHelp");
  MMIManual = MMHelp->addAction("Quick Start-Up Guideline DE");
  MMIManual->setObjectName("MMIManual");
  ManualEnglish1 = MMHelp->addAction("Quick Start-Up Guideline EN");
  ManualEnglish1->setObjectName("ManualEnglish1");
  MMHelp->addSeparator();
  MMIInfo = MMHelp->addAction("About...");
  MMIInfo->setObjectName("MMIInfo");
}

void TKVXMainForm::BuildToolBar() {
  ToolBar = addToolBar("Tools");
  ToolBar->setObjectName("ToolBar");
  ToolBar->setMovable(false);
  ToolBar->setIconSize(QSize(20, 20));
  auto* portLabel = new QLabel("Port");
  portLabel->setContentsMargins(4, 0, 4, 0);
  ToolBar->addWidget(portLabel);
  CBoxPortSel = new TDropDownCombo;
  CBoxPortSel->setObjectName("CBoxPortSel");
  CBoxPortSel->setMinimumContentsLength(10);
  CBoxPortSel->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  CBoxPortSel->setToolTip("Serial port");
  // A screen reader names a combo box by the label it is the buddy of.
  portLabel->setBuddy(CBoxPortSel);
  ToolBar->addWidget(CBoxPortSel);
  SBtnConnect = ToolButtonFor(ConnectAct, "Connect");
  SBtnConnect->setObjectName("SBtnConnect");
  ToolBar->addWidget(SBtnConnect);
  SBIdentify = ToolButtonFor(IdentifyAct, "ID");
  SBIdentify->setObjectName("SBIdentify");
  ToolBar->addWidget(SBIdentify);
  ToolBar->addSeparator();
  SBtnParamList = ToolButtonFor(ShowParamlistAct, "Parameters");
  SBtnParamList->setObjectName("SBtnParamList");
  SBtnMonitor = ToolButtonFor(ShowMonitorAct, "Monitor");
  SBtnMonitor->setObjectName("SBtnMonitor");
  SBtnScope = ToolButtonFor(ShowScopeAct, "Scope");
  SBtnScope->setObjectName("SBtnScope");
  SBtnTerminal = ToolButtonFor(ShowTerminalAct, "Terminal");
  SBtnTerminal->setObjectName("SBtnTerminal");
  for (QToolButton* b : {SBtnParamList, SBtnMonitor, SBtnScope, SBtnTerminal}) ToolBar->addWidget(b);
  ToolBar->addSeparator();
  SBtnClearTerminal = ToolButtonFor(ClearTerminalAct, QString());
  SBtnClearTerminal->setObjectName("SBtnClearTerminal");
  SBtnOpenTerminal = ToolButtonFor(OpenTerminalAct, QString());
  SBtnOpenTerminal->setObjectName("SBtnOpenTerminal");
  SBtnSaveTerminal = ToolButtonFor(SaveTerminalAct, QString());
  SBtnSaveTerminal->setObjectName("SBtnSaveTerminal");
  for (QToolButton* b : {SBtnClearTerminal, SBtnOpenTerminal, SBtnSaveTerminal}) {
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar->addWidget(b);
  }
  ToolBar->addSeparator();
  SBtnPrint = ToolButtonFor(PrintAct, QString());
  SBtnPrint->setObjectName("SBtnPrint");
  SBtnPassword = ToolButtonFor(PasswordAct, QString());
  SBtnPassword->setObjectName("SBtnPassword");
  SBtnSettings = ToolButtonFor(SettingsAct, QString());
  SBtnSettings->setObjectName("SBtnSettings");
  for (QToolButton* b : {SBtnPrint, SBtnPassword, SBtnSettings}) {
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar->addWidget(b);
  }
}

void TKVXMainForm::BuildStatusBar() {
  static const int widths[7] = {70, 70, 40, 110, 200, 220, 220};
  QStatusBar* bar = statusBar();
  bar->setObjectName("SBar");
  bar->setSizeGripEnabled(false);
  for (int i = 0; i < 7; ++i) {
    if (i >= 5) {
      // A job's result or a cursor read-out may not fit: what is cut can be opened whole.
      auto* panel = new TStatusPanel;
      panel->OnOpen = [this](const QString& Text) {
        Guard([&Text] { AdvMessageDlg(ToAnsi(Text), mtInformation, {mbOK}, 0); });
      };
      SBar[i] = panel;
    } else {
      SBar[i] = new QLabel;
    }
    SBar[i]->setObjectName(QString("SBarPanel%1").arg(i));
    SBar[i]->setMinimumWidth(widths[i]);
    SBar[i]->setFrameShape(QFrame::Panel);
    SBar[i]->setFrameShadow(QFrame::Sunken);
    SBar[i]->setContentsMargins(3, 0, 3, 0);
    bar->addWidget(SBar[i], i == 4 ? 1 : 0);
  }
  SBar[2]->setText("FDX");
}

QWidget* TKVXMainForm::BuildModuleDataButtons(QPushButton*& Default, QPushButton*& Save,
                                              QPushButton*& LoadBack, QPushButton*& Upload,
                                              QPushButton*& Download) {
  auto* w = new QWidget;
  auto* h = new QHBoxLayout(w);
  h->setContentsMargins(0, 0, 0, 0);
  auto* module = new QGroupBox("Module Data");
  auto* mh = new QHBoxLayout(module);
  Default = new QPushButton("Default");
  Save = new QPushButton("Save");
  LoadBack = new QPushButton("Loadback");
  for (QPushButton* b : {Default, Save, LoadBack}) mh->addWidget(b);
  auto* files = new QGroupBox("Parameter Files");
  auto* fh = new QHBoxLayout(files);
  Upload = new QPushButton(DrawGlyph(Glyph::Save), "Upload");
  Download = new QPushButton(DrawGlyph(Glyph::Open), "Download");
  // The values the window holds (read at identification, changed since) go to the file.
  Upload->setToolTip("Save the parameter values shown to a file");
  Download->setToolTip("Load a parameter file into the module");
  fh->addWidget(Upload);
  fh->addWidget(Download);
  h->addWidget(module);
  h->addWidget(files);
  h->addStretch(1);
  return w;
}

QWidget* TKVXMainForm::BuildParameterPage() {
  auto* page = new QWidget;
  page->setObjectName("PageParameter");
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(4, 4, 4, 4);
  ParamGrid = new QTableWidget;
  ParamGrid->setObjectName("KVXParamGrid");
  ParamGrid->setAccessibleName("Parameters");
  v->addWidget(ParamGrid, 1);

  auto* modes = new QHBoxLayout;
  LabelParameterView = new QLabel("Parameter View");
  LabelParameterView->setObjectName("LabelParameterView");
  LabelParameterView->setEnabled(false);
  modes->addWidget(LabelParameterView);
  static const char* const captions[8] = {"SYSTEM", "INPUT", "ACA", "CONTROL", "OUTPUT", "POWER", "MODE_7", "MODE_8"};
  for (int i = 0; i < 8; ++i) {
    ModeButtons[i] = new QPushButton(captions[i]);
    ModeButtons[i]->setObjectName(QString("MODE_%1").arg(i + 1));
    ModeButtons[i]->setVisible(false);
    modes->addWidget(ModeButtons[i]);
  }
  MODE_ALL = new QPushButton("ALL");
  MODE_ALL->setObjectName("MODE_ALL");
  MODE_ALL->setVisible(false);
  MODE_ALL->setEnabled(false);
  modes->addWidget(MODE_ALL);
  modes->addStretch(1);
  v->addLayout(modes);
  v->addWidget(BuildModuleDataButtons(BtnDefault, BtnSave, BtnLoadBack, BBtnUpload, BBtnDownload));
  BtnDefault->setObjectName("BtnDefault");
  BtnSave->setObjectName("BtnSave");
  BtnLoadBack->setObjectName("BtnLoadBack");
  BBtnUpload->setObjectName("BBtnUpload");
  BBtnDownload->setObjectName("BBtnDownload");
  return page;
}

QWidget* TKVXMainForm::BuildMonitorPage() {
  auto* page = new QWidget;
  page->setObjectName("PageMonitor");
  auto* h = new QHBoxLayout(page);
  h->setContentsMargins(4, 4, 4, 4);
  MonitorHost = new QFrame;
  MonitorHost->setObjectName("MonitorHost");
  h->addWidget(MonitorHost, 1);

  GBoxRemote = new QGroupBox("Remote Control / Status Info");
  GBoxRemote->setObjectName("GBoxRemote");
  auto* rv = new QVBoxLayout(GBoxRemote);
  auto* enableRow = new QHBoxLayout;
  CBoxRemoteCtrlEnable = new QCheckBox("Enable Remote Control");
  CBoxRemoteCtrlEnable->setObjectName("CBoxRemoteCtrlEnable");
  enableRow->addWidget(CBoxRemoteCtrlEnable);
  BtnRemoteControl = new QPushButton("Stop Remote Control");
  BtnRemoteControl->setObjectName("BtnRemoteControl");
  BtnRemoteControl->setVisible(false);
  enableRow->addWidget(BtnRemoteControl);
  enableRow->addStretch(1);
  rv->addLayout(enableRow);

  GBoxAnaInputs = new QGroupBox("Analogue Inputs");
  GBoxAnaInputs->setObjectName("GBoxAnaInputs");
  auto* av = new QVBoxLayout(GBoxAnaInputs);
  auto* edits = new QHBoxLayout;
  static const char* const pinLabels[5] = {"Pin 9/10", "Pin 6", "Pin 13", "Pin 14", "Pin 29"};
  for (int i = 0; i < 5; ++i) {
    MakeLabeledEdit(LEditPinX[i], pinLabels[i], "0");
    LEditPinX[i].Edit->setObjectName(QString("LEditPinX%1").arg(i));
    LEditPinX[i].Edit->setMinimumWidth(52);
    edits->addWidget(LEditPinX[i].Box);
  }
  av->addLayout(edits);
  TBarAnaInputs = new QSlider(Qt::Horizontal);
  TBarAnaInputs->setObjectName("TBarAnaInputs");
  TBarAnaInputs->setRange(0, 10000);
  TBarAnaInputs->setTickPosition(QSlider::TicksBelow);
  TBarAnaInputs->setTickInterval(1000);
  TBarAnaInputs->setEnabled(false);
  TBarAnaInputs->setAccessibleName("Value of the chosen analogue input");
  av->addWidget(TBarAnaInputs);
  auto* range = new QHBoxLayout;
  LabelTBarMin = new QLabel;
  LabelTBarMin->setObjectName("LabelTBarMin");
  LabelTBarMax = new QLabel;
  LabelTBarMax->setObjectName("LabelTBarMax");
  SetRangeLabels("-100", "10");
  range->addWidget(LabelTBarMin);
  range->addStretch(1);
  range->addWidget(LabelTBarMax);
  av->addLayout(range);
  rv->addWidget(GBoxAnaInputs);

  GBoxDigInputs = new QGroupBox("Digital Inputs / Outputs ");
  GBoxDigInputs->setObjectName("GBoxDigInputs");
  auto* dg = new QGridLayout(GBoxDigInputs);
  static const char* const digLabels[8] = {"Pin 8 (Enable)", "Pin7 (START / RUN)", "Pin 5",
                                           "Pin 6 (Enable B for QEL)", "Pin 13", "Pin 14",
                                           "Pin 15 (Enable for QEL)", "free"};
  for (int i = 0; i < 8; ++i) {
    CBDInp[i] = new QCheckBox(digLabels[i]);
    CBDInp[i]->setObjectName(QString("CBDInp%1").arg(i));
    dg->addWidget(CBDInp[i], i % 4, i / 4);
  }
  QFont freeFont = CBDInp[7]->font();
  freeFont.setBold(true);
  CBDInp[7]->setFont(freeFont);
  QPalette freePal = CBDInp[7]->palette();
  freePal.setColor(QPalette::WindowText, QColor(0, 0, 200));
  CBDInp[7]->setPalette(freePal);
  rv->addWidget(GBoxDigInputs);

  GBoxStatusInfo = new QGroupBox("Status Info");
  GBoxStatusInfo->setObjectName("GBoxStatusInfo");
  auto* sg = new QGridLayout(GBoxStatusInfo);
  sg->setVerticalSpacing(2);
  for (int i = 0; i < 16; ++i) {
    SILed[i] = new TosNamedLed;
    SILed[i]->setObjectName(QString("SILed%1").arg(i));
    SILed[i]->SetLedText(QString("SILed%1").arg(i).toStdString());
    SILed[i]->setFixedWidth(150);
    sg->addWidget(SILed[i], i % 8, i / 8);
  }
  // Both columns keep their place while a module shows fewer than 16 lamps.
  sg->setColumnMinimumWidth(0, 150);
  sg->setColumnMinimumWidth(1, 150);
  sg->setColumnStretch(2, 1);
  rv->addWidget(GBoxStatusInfo);
  rv->addStretch(1);
  // The right half of the page: room for the long caption of the digital inputs (with the
  // assistant) and the five analog-input captions a module gives. On a low screen (600 pixels)
  // it scrolls, so the window fits the work area; on a usual one it shows whole.
  GBoxRemote->setMinimumWidth(480);
  auto* remoteArea = new QScrollArea;
  remoteArea->setObjectName("RemoteArea");
  remoteArea->setWidget(GBoxRemote);
  remoteArea->setWidgetResizable(true);
  remoteArea->setFrameShape(QFrame::NoFrame);
  remoteArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  remoteArea->setFixedWidth(480 + remoteArea->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  h->addWidget(remoteArea);
  return page;
}

QWidget* TKVXMainForm::BuildScopePage() {
  auto* page = new QWidget;
  page->setObjectName("PageScope");
  auto* h = new QHBoxLayout(page);
  h->setContentsMargins(4, 4, 4, 4);
  auto* left = new QWidget;
  left->setFixedWidth(200);
  auto* lv = new QVBoxLayout(left);
  lv->setContentsMargins(0, 0, 0, 0);
  NBScopeSettings = new QTabWidget;
  NBScopeSettings->setObjectName("NBScopeSettings");

  auto* expert = new QWidget;
  auto* ev = new QVBoxLayout(expert);
  ev->setContentsMargins(4, 4, 4, 4);
  ev->setSpacing(4);
  const QStringList scales = {"5", "10", "20", "25", "50", "100"};
  for (int i = 0; i < 4; ++i) {
    auto* g = new QGroupBox(QString("Channel %1").arg(i + 1));
    auto* gl = new QGridLayout(g);
    gl->setContentsMargins(6, 4, 6, 4);
    gl->setVerticalSpacing(2);
    CBChSignal[i] = Combo({}, "---", true);
    CBChSignal[i]->setObjectName(QString("CBCh%1Signal").arg(i + 1));
    gl->addWidget(CBChSignal[i], 0, 0, 1, 2);
    CBChColor[i] = new TColorBox;
    CBChColor[i]->setObjectName(QString("CBCh%1Color").arg(i + 1));
    gl->addWidget(CBChColor[i], 1, 0, 1, 2);
    QLabel* scaleCaption = Caption("Scale [% / DIV]");
    gl->addWidget(scaleCaption, 2, 0);
    CBChScale[i] = Combo(scales, "20", true);
    scaleCaption->setBuddy(CBChScale[i]);
    CBChScale[i]->setObjectName(QString("CBCh%1Scale").arg(i + 1));
    gl->addWidget(CBChScale[i], 2, 1);
    MakeLabeledEdit(LEChPos[i], "Position (Zero Offset)", "100");
    LEChPos[i].Edit->setObjectName(QString("LECh%1Pos").arg(i + 1));
    LEChPos[i].Edit->setAccessibleName(QString("Channel %1 position (zero offset)").arg(i + 1));
    auto* posRow = new QHBoxLayout;
    posRow->setSpacing(0);
    posRow->addWidget(LEChPos[i].Box, 1);
    UDChaPos[i] = new QSpinBox;
    UDChaPos[i]->setObjectName(QString("UDCha%1Pos").arg(i + 1));
    UDChaPos[i]->setAccessibleName(QString("Channel %1 position").arg(i + 1));
    UDChaPos[i]->setRange(-1000, 1000);
    UDChaPos[i]->setValue(100);
    // Only the arrows show: the edit beside it holds the number.
    UDChaPos[i]->setFixedWidth(18);
    UDChaPos[i]->setAlignment(Qt::AlignRight);
    posRow->addWidget(UDChaPos[i], 0, Qt::AlignBottom);
    gl->addLayout(posRow, 3, 0, 1, 2);
    if (i == 0) {
      Label2 = new QLabel;
      Label2->setObjectName("Label2");
      gl->addWidget(Label2, 4, 0, 1, 2);
    }
    ev->addWidget(g);
  }
  ev->addStretch(1);

  auto* customer = new QWidget;
  auto* cv = new QVBoxLayout(customer);
  cv->setContentsMargins(4, 4, 4, 4);
  cv->setSpacing(4);
  const QStringList mins = {"0", "-10", "-20", "-25", "-50", "-75", "-100"};
  const QStringList maxs = {"0", "10", "20", "25", "50", "75", "100", "200", "500", "1000", "2000", "5000"};
  for (int i = 0; i < 4; ++i) {
    auto* g = new QGroupBox(QString("Channel %1").arg(i + 1));
    auto* gl = new QGridLayout(g);
    gl->setContentsMargins(6, 4, 6, 4);
    gl->setVerticalSpacing(2);
    CBChCustSignal[i] = Combo({}, "---", true);
    CBChCustSignal[i]->setObjectName(QString("CBCh%1CustSignal").arg(i + 1));
    gl->addWidget(CBChCustSignal[i], 0, 0, 1, 2);
    ShapeCustChaCol[i] = new QFrame;
    ShapeCustChaCol[i]->setObjectName(QString("ShapeCustCha%1Col").arg(i + 1));
    ShapeCustChaCol[i]->setFixedSize(18, 18);
    ShapeCustChaCol[i]->setFrameShape(QFrame::Box);
    ShapeCustChaCol[i]->setAutoFillBackground(true);
    gl->addWidget(ShapeCustChaCol[i], 0, 2);
    QLabel* minCaption = Caption("Lower Limit");
    QLabel* maxCaption = Caption("Upper Limit");
    gl->addWidget(minCaption, 1, 0);
    gl->addWidget(maxCaption, 1, 1);
    CBChCustMin[i] = Combo(mins, "-100", true);
    CBChCustMin[i]->setObjectName(QString("CBCh%1CustMin").arg(i + 1));
    CBChCustMax[i] = Combo(maxs, "100", true);
    CBChCustMax[i]->setObjectName(QString("CBCh%1CustMax").arg(i + 1));
    minCaption->setBuddy(CBChCustMin[i]);
    maxCaption->setBuddy(CBChCustMax[i]);
    gl->addWidget(CBChCustMin[i], 2, 0);
    gl->addWidget(CBChCustMax[i], 2, 1, 1, 2);
    cv->addWidget(g);
  }
  QLabel* timeCaption = Caption("Time Scale [ms / Div]");
  cv->addWidget(timeCaption);
  CBCustTimeScale = Combo({"100", "200", "500", "1000", "2000", "5000", "10000"}, "1000", true);
  timeCaption->setBuddy(CBCustTimeScale);
  CBCustTimeScale->setObjectName("CBCustTimeScale");
  cv->addWidget(CBCustTimeScale);
  cv->addStretch(1);

  // On a low screen the channel settings scroll, so the window fits the work area.
  auto scrolled = [](QWidget* inner) {
    auto* area = new QScrollArea;
    area->setWidget(inner);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
  };
  NBScopeSettings->addTab(scrolled(expert), "Expert");
  NBScopeSettings->addTab(scrolled(customer), "Customer");
  NBScopeSettings->setCurrentIndex(1);
  lv->addWidget(NBScopeSettings, 1);

  auto* run = new QHBoxLayout;
  BtnStart = new QPushButton("Start");
  BtnStart->setObjectName("BtnStart");
  BtnStop = new QPushButton("Stop");
  BtnStop->setObjectName("BtnStop");
  BtnStop->setEnabled(false);
  run->addWidget(BtnStart);
  run->addWidget(BtnStop);
  lv->addLayout(run);
  MakeLabeledEdit(TimeGridEdit, "Time grid (in ms)", "20");
  TimeGridEdit.Edit->setObjectName("TimeGridEdit");
  TimeGridEdit.Box->setVisible(false);
  lv->addWidget(TimeGridEdit.Box);
  SaveToFileButton = new QPushButton("Save To File...");
  SaveToFileButton->setObjectName("SaveToFileButton");
  lv->addWidget(SaveToFileButton);
  CBoxOffsetTime = new QComboBox;
  CBoxOffsetTime->setObjectName("CBoxOffsetTime");
  for (int ms = 0; ms <= 100; ms += 5) CBoxOffsetTime->addItem(QString::number(ms));
  CBoxOffsetTime->setCurrentIndex(4);
  CBoxOffsetTime->setVisible(false);
  lv->addWidget(CBoxOffsetTime);
  h->addWidget(left);

  PBoxScope = new QWidget;
  PBoxScope->setObjectName("PBoxScope");
  PBoxScope->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  PBoxScope->setContextMenuPolicy(Qt::CustomContextMenu);
  h->addWidget(PBoxScope, 1);
  PMScope = new QMenu(this);
  PMIScopeCursor = PMScope->addAction("Scope Cusor Settings");
  PMIScopeCursor->setObjectName("PMIScopeCursor");
  PMICopyScopeDsp = PMScope->addAction("Copy Scope Display");
  PMICopyScopeDsp->setObjectName("PMICopyScopeDsp");
  return page;
}

QWidget* TKVXMainForm::BuildTerminalPage() {
  auto* page = new QWidget;
  page->setObjectName("PageTerminal");
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(4, 4, 4, 4);
  KVXTermEditor = new QTextEdit;
  KVXTermEditor->setObjectName("KVXTermEditor");
  KVXTermEditor->setAccessibleName("Terminal");
  v->addWidget(KVXTermEditor, 1);
  v->addWidget(BuildModuleDataButtons(BtnDefault2, BtnSave2, BtnLoadBack2, BBtnUpload2, BBtnDownload2));
  BtnDefault2->setObjectName("BtnDefault2");
  BtnSave2->setObjectName("BtnSave2");
  BtnLoadBack2->setObjectName("BtnLoadBack2");
  BBtnUpload2->setObjectName("BBtnUpload2");
  BBtnDownload2->setObjectName("BBtnDownload2");
  return page;
}

// Start-up, first showing and closing of the main window; the caption; the settings that the
// window hands to the protocol, the views and the menus.
#include "app/KVX7MainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>

#include "app/KVXScopeDataLog.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "app/dialogs/KVXModIdSelDlgForm.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"
#include "app/dialogs/KVXScopeCursorSettingsForm.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "app/dialogs/OKCANCL1.h"
#include "model/osDRUVModProtBase.h"
#include "platform/SerialPorts.h"
#include "services/QtText.h"
#include "services/osAdvMsgDlg.h"
#include "services/osApplIni.h"
#include "services/osApplInfo.h"
#include "services/osApplOptions.h"
#include "services/osBusyMode.h"
#include "services/osDialogHooks.h"
#include "services/osLED.h"
#include "services/osPasswordDialogs.h"
#include "views/osDRUVMonitor.h"
#include "views/osDRUVParamList.h"
#include "views/osDRUVScope.h"
#include "views/osDRUVTerminal.h"

const char* const PortOpenText = "port open";
const char* const PortClosedText = "port closed";
const char* const ApplSection = "Application";
const char* const ParaFilePathKey = "ParaFilePath";
const char* const FirmwarePathKey = "FirmwarePath";
const char* const LastFirmwareKey = "LastFirmware";
const char* const TerminalPathKey = "TerminalFilePath";

namespace {

// A title bar and a thin border, as most window managers draw them (a 1024 x 768 window then
// has the inside of 1016 x 734 the window was designed for).
const QMargins kAssumedFrame(4, 30, 4, 4);

std::string& SysfsRoot() {
  static std::string root = "/sys";
  return root;
}

}  // namespace

TKVXMainForm::TKVXMainForm(QWidget* parent) : QMainWindow(parent) {
  setObjectName("KVXMainForm");
  QFont f("Liberation Sans");
  f.setPixelSize(11);
  setFont(f);

  KVXModProt = std::make_unique<TKVXModCommProt>();
  KVXParamList = std::make_unique<TKVXParamList>();
  KVXMonitor = std::make_unique<TKVXMonitor>();
  KVXScope = std::make_unique<TKVXScope>();
  KVXPTerminal = std::make_unique<TKVXPTerminal>();
  ApplIni = std::make_unique<TosApplIni>();
  ApplOpt = std::make_unique<TosApplOptions>();
  ApplInfo = std::make_unique<TApplInfo>();
  PasswordDlg = std::make_unique<TosPasswordDlg>();
  ScopeDataLog = std::make_unique<TScopeDataLog>();

  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  NbMain = new QStackedWidget;
  NbMain->setObjectName("NbMain");
  NbMain->addWidget(BuildParameterPage());
  NbMain->addWidget(BuildMonitorPage());
  NbMain->addWidget(BuildScopePage());
  NbMain->addWidget(BuildTerminalPage());
  auto* remotePage = new QWidget;
  remotePage->setObjectName("PageRemoteCtrl");
  NbMain->addWidget(remotePage);
  // The pages, and below them the strip that shows long work.
  auto* central = new QWidget;
  central->setObjectName("CentralArea");
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->setSpacing(0);
  centralLayout->addWidget(NbMain, 1);
  BusyPanel = new TBusyPanel(central);
  centralLayout->addWidget(BusyPanel);
  setCentralWidget(central);

  // The program's dialogs, in the order the program creates them.
  KVX7OptionsDlg = new TKVX7OptionsDlg(this);
  ScopeCursorDlg = new TScopeCursorDlg(this);
  ModulIdSelDlg = new TModulIdSelDlg(this);
  WebBrowserDlg = new TWebBrowserDlg(this);
  WebBrowserDlg->BusyView = BusyPanel;
  FWUpdateDlg = new TFWUpdateDlg(this);
  SaveScopeDataDlg = new TSaveScopeDataDlg(this);
  OKBottomDlg = new TOKBottomDlg(this);

  // The maker's contact data and the hidden options.
  SetMakerContactData(*ApplInfo);
  ApplInfo->SetHiddenInputText("#&KMPF");
  ApplInfo->SetApplOptions(ApplOpt.get());
  ApplOpt->SetApplIni(ApplIni.get());
  // The maker's option shows the maker's tab of the settings; the other belongs to a customer
  // edition and changes nothing here.
  for (const char* name : {"DRUV", "OEM"}) {
    TOptionItem* item = ApplOpt->Options().Add();
    item->Name = name;
    item->Enabled = false;
  }

  AttachViews();
  ConnectHandlers();
  LineWatch_ = new QTimer(this);
  LineWatch_->setInterval(1000);
  connect(LineWatch_, &QTimer::timeout, this, [this] { Guard([this] { WatchLine(); }); });
  LineWatch_->start();
  FormCreate();
}

TKVXMainForm::~TKVXMainForm() {
  // The children go in ~QWidget, after this class and its members are gone, and the focus moves
  // as they go: the focus handler must not run then.
  disconnect(qApp, &QApplication::focusChanged, this, nullptr);
  ProtJobs_.clear();
  FormClose();
  FormDestroy();
  qApp->removeEventFilter(this);
  // The protocol lets go of the views before they go, and ends its threads with itself.
  KVXModProt->SetScope(nullptr);
  KVXModProt->SetMonitor(nullptr);
  KVXModProt->SetParameterList(nullptr);
  KVXModProt->SetTerminal(nullptr);
  KVXModProt.reset();
}

void TKVXMainForm::AttachViews() {
  KVXParamList->SetParamGrid(ParamGrid);
  KVXMonitor->SetParent(MonitorHost);
  KVXScope->SetDestPaintBox(PBoxScope);
  KVXPTerminal->SetTerminalEditor(KVXTermEditor);
  KVXModProt->SetParameterList(KVXParamList.get());
  KVXModProt->SetMonitor(KVXMonitor.get());
  KVXModProt->SetScope(KVXScope.get());
  KVXModProt->SetTerminal(KVXPTerminal.get());
}

void TKVXMainForm::FormCreate() {
  FirstShow = true;
  // Best effort: an unprivileged user may not raise the priority, and that is fine.
  if (setpriority(PRIO_PROCESS, 0, -5) != 0) errno = 0;
  setWindowTitle(QString());
  SignalList.clear();
  QRect work(0, 0, 1024, 768);
  if (QScreen* screen = QGuiApplication::primaryScreen()) work = screen->availableGeometry();
  PlaceInWorkArea(work);
  ScopeTimerId = 0;
}

QMargins TKVXMainForm::FrameMargins() const {
  if (QWindow* w = windowHandle()) {
    const QMargins m = w->frameMargins();
    if (!m.isNull()) return m;
  }
  return kAssumedFrame;
}

void TKVXMainForm::PlaceInWorkArea(const QRect& WorkArea) {
  PlacedArea_ = WorkArea;
  const QMargins frame = FrameMargins();
  FrameAssumed_ = !windowHandle() || windowHandle()->frameMargins().isNull();
  const QSize outer(std::min(WorkArea.width(), 1024), std::min(WorkArea.height(), 768));
  // resize() sets the inside of the window, move() the top left corner of its frame.
  resize(outer.width() - frame.left() - frame.right(), outer.height() - frame.top() - frame.bottom());
  if (WorkArea.height() < 768) {
    move(WorkArea.topLeft());
  } else {
    move(WorkArea.x() + (WorkArea.width() - outer.width()) / 2,
         WorkArea.y() + (WorkArea.height() - outer.height()) / 2);
  }
}

void TKVXMainForm::RefitToRealFrame() {
  if (!FrameAssumed_ || !windowHandle() || windowHandle()->frameMargins().isNull()) return;
  FrameAssumed_ = false;
  // Only a frame that differs from the one assumed moves the window (once, before the user can).
  if (windowHandle()->frameMargins() != kAssumedFrame) PlaceInWorkArea(PlacedArea_);
}

void TKVXMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  RefitToRealFrame();
  FormShow();
}

void TKVXMainForm::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  // The window manager tells the frame it put around the window when it moves it there.
  RefitToRealFrame();
}

void TKVXMainForm::FormShow() {
  if (FirstShow) {
    FirstShow = false;
    Guard([this] {
      KVX7OptionsDlg->SetApplIni(ApplIni.get());
      KVX7OptionsDlg->SetApplInfo(ApplInfo.get());
      NbMain->setCurrentIndex(0);
      ShowParamlistAct->setEnabled(false);
      ShowTerminalAct->setEnabled(false);
      for (QAction* a : {ClearTerminalAct, OpenTerminalAct, SaveTerminalAct, PasswordAct, PrintAct,
                         MMISaveAs, MMIPrint, MMISendFirmware})
        a->setEnabled(false);
      MMEdit->setEnabled(false);
      CBoxRemoteCtrlEnable->setEnabled(false);
      ApplyScopeColors();
      ApplyMonitorOptions();
      KVXParamList->Fill(KVXModProt->CommandList(), 0);
      for (int i = 0; i < 4; ++i) CBChColor[i]->SetSelected(KVXScope->Channel(i + 1)->Color());

      // The stored port, by name; a port that is no longer there is forgotten.
      FillPortBox(ApplInfo->SystemInfo()->SerialCommPorts());
      const std::string stored = KVX7OptionsDlg->GetPort();
      const int index = stored.empty() ? -1 : CBoxPortSel->findText(FileNameFromBytes(stored));
      // A settings file that refuses the write must not cut the start short: the refusal is
      // told once the window is complete.
      std::string refused;
      if (index < 0) {
        CBoxPortSel->setCurrentIndex(-1);
        SetPanel(1, QString());
        try {
          KVX7OptionsDlg->SetPort("");
        } catch (const EApplIniError& e) {
          refused = e.what();
        }
      } else {
        CBoxPortSel->setCurrentIndex(index);
        KVXModProt->SetPortName(stored);
        SetPanel(1, "Port: " + FileNameShownText(stored));
      }
      KVXModProt->SetAutoSetBaudrate(KVX7OptionsDlg->GetAutoSetBR());
      KVXModProt->SetAutoBaudrate(KVX7OptionsDlg->GetAutoBR());
      KVXModProt->SetAutoBaudDetection(KVX7OptionsDlg->GetAutoBRDetection());
      KVXModProt->SetFixBaudrate(KVX7OptionsDlg->GetFixBR());
      KVXModProt->SetTransferMode(KVX7OptionsDlg->GetTranferMode());
      ApplyTableOptions();
      SetAinUnitLetters(KVXParamList->AinCommandUI());
      ApplyMenuOptions();
      SetConnectedState(false);
      DefaultCursor = Qt::ArrowCursor;
      if (ParamGrid->isVisible()) ParamGrid->setFocus();
      SetupEdition(OemEdition);
      BtnRemoteControl->setEnabled(CBoxRemoteCtrlEnable->isChecked());
      if (!refused.empty()) AdvMessageDlg(refused, mtError, {mbOK}, 0);
    });
  }
  if (KVXMonitor->Parent()) KVXMonitor->Show();
  StatusLeds.assign(SILed.begin(), SILed.end());
  DigitalInputBoxes.assign(CBDInp.begin(), CBDInp.end());
  AnalogInputEdits.clear();
  for (TLabeledEdit& e : LEditPinX) AnalogInputEdits.push_back(&e);
}

void TKVXMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TKVXMainForm::FormClose() {
  if (closed_) return;
  closed_ = true;
  StopScopeTimer(false);
  KVXScope->SetRunScope(false);
  KVXModProt->SetOperatingMode(0);
  KVXModProt->ResetModuleData();
}

void TKVXMainForm::FormDestroy() {
  SignalList.clear();
  StatusLeds.clear();
  DigitalInputBoxes.clear();
  AnalogInputEdits.clear();
}

void TKVXMainForm::SetupEdition(std::uint8_t Edition) {
  if (Edition != 0) return;
  ApplInfo->SetUseExtProjSettings(false);
  setWindowTitle(QString::fromStdString(ApplInfo->GetProductName() + " " +
                                        ApplInfo->GetVersionText(1) + " - " +
                                        ApplInfo->GetFileDescription() + "   -  " +
                                        ApplInfo->GetCompanyName()));
}

void TKVXMainForm::ApplyScopeColors() {
  const TColor colors[4] = {KVX7OptionsDlg->GetCha1Color(), KVX7OptionsDlg->GetCha2Color(),
                            KVX7OptionsDlg->GetCha3Color(), KVX7OptionsDlg->GetCha4Color()};
  for (int i = 0; i < 4; ++i) {
    KVXScope->Channel(i + 1)->SetColor(colors[i]);
    QPalette pal = ShapeCustChaCol[i]->palette();
    pal.setColor(QPalette::Window, ColorToQColor(colors[i]));
    ShapeCustChaCol[i]->setPalette(pal);
  }
  KVXScope->SetDisplayColor(KVX7OptionsDlg->GetBackgoundColor());
  KVXScope->SetGridColor(KVX7OptionsDlg->GetGridColor());
  KVXScope->SetSignalLineWidth(KVX7OptionsDlg->GetSignalLineWidth());
}

void TKVXMainForm::ApplyMonitorOptions() {
  KVXMonitor->SetVisibleParamKind(KVX7OptionsDlg->GetVisParaKind());
  KVXMonitor->SetVisibleParamCnt(KVX7OptionsDlg->GetVisParaCnt());
}

void TKVXMainForm::ApplyTableOptions() {
  KVXParamList->SetShowCmdGrpInfo(KVX7OptionsDlg->GetShowCmdGrpInfo());
  KVXParamList->SetShowDecimals(KVX7OptionsDlg->GetShowDecimals());
  KVXParamList->SetAinCommandUI(KVX7OptionsDlg->GetAinCommandUI());
}

void TKVXMainForm::SetAinUnitLetters(bool CommandUI) {
  AinUnitLetters[0] = CommandUI ? "U" : "V";
  AinUnitLetters[1] = CommandUI ? "I" : "C";
}

void TKVXMainForm::ApplyMenuOptions() {
  MMIViewKVXFile->setVisible(KVX7OptionsDlg->GetKVXFileViewer());
  const bool classic = KVX7OptionsDlg->GetTermFWUpdate();
  MMIFirmwareUpd->setVisible(classic);
  MMISendFirmware->setVisible(classic);
  MMISendFirmwareSep->setVisible(classic);
  MMIFWUAss->setShortcut(KVX7OptionsDlg->GetSFWUpdate() ? QKeySequence(Qt::Key_F12) : QKeySequence());
}

void TKVXMainForm::SetSysfsRoot(const std::string& Root) { SysfsRoot() = Root.empty() ? "/sys" : Root; }

void TKVXMainForm::CheckFtdiLatencyTimer(const std::string& PortName) {
  // The adapter behind the name: a link in ports/, a by-id link or a path all lead to ttyUSBn.
  const std::string device = platform::ResolvePortName(PortName);
  char real[PATH_MAX];
  if (!::realpath(device.c_str(), real)) return;
  std::string tty = real;
  tty = tty.substr(tty.rfind('/') + 1);
  if (tty.rfind("ttyUSB", 0) != 0) return;
  const std::string file = SysfsRoot() + "/bus/usb-serial/devices/" + tty + "/latency_timer";
  std::ifstream in(file);
  int ms = 0;
  if (!(in >> ms) || ms <= 2) return;
  AdvMessageDlg("Please change the \"Latency Timer\" to 2 ms (" + PortName + ": write 2 to " + file +
                    ", now " + std::to_string(ms) + ") for correct MONITOR/OSCILLOSCOPE function!",
                mtInformation, {mbOK}, 0);
}

void TKVXMainForm::Guard(const std::function<void()>& Body) {
  try {
    Body();
  } catch (const std::exception& e) {
    AdvMessageDlg(e.what(), mtError, {mbOK}, 0);
  } catch (...) {
    AdvMessageDlg("Unexpected error.", mtError, {mbOK}, 0);
  }
}

void TKVXMainForm::GuardCommand(const std::function<void()>& Body, const std::function<void()>& Refused) {
  if (!TBusyMode::Instance().Active())
    Guard(Body);
  else if (Refused)
    Guard(Refused);
}

int TKVXMainForm::PageIndex() const { return NbMain->currentIndex(); }

void TKVXMainForm::SetPanel(int Panel, const QString& Text) {
  if (Panel >= 0 && Panel < static_cast<int>(SBar.size())) SBar[Panel]->setText(Text);
}

QString TKVXMainForm::PanelText(int Panel) const {
  return Panel >= 0 && Panel < static_cast<int>(SBar.size()) ? SBar[Panel]->text() : QString();
}

bool TKVXMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
      !QApplication::activeModalWidget() && watched->isWidgetType()) {
    // The key once, at the widget it was sent to, and only inside this window.
    auto* w = static_cast<QWidget*>(watched);
    QWidget* focus = QApplication::focusWidget();
    if ((w == focus || (!focus && w == this)) && w->window() == this &&
        ApplicationEventsShortCut(Qt::Key_Space))
      return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// The main window: the module's parameter grid, the monitor with remote control and status
// lamps, the oscilloscope and the terminal on four pages, the port and connection controls on the
// tool bar, the status bar, the menus and the dialogs.
//
// The window talks to the module only through its protocol component. Its concerns live in files
// of their own, each implementing a part of this class:
//   KVX7MainForm.cpp            start-up, first showing, closing, caption, settings applied
//   KVX7MainFormLayout.cpp      the widgets, menus, tool bar, actions and status bar
//   KVX7MainFormConnection.cpp  port choice, connect, identify, connected / firmware state
//   KVX7MainFormPages.cpp       pages and operating modes, the scope timer, settings actions
//   KVX7MainFormModule.cpp      mode buttons, protocol questions, status lamps, password, About
//   KVX7MainFormRemote.cpp      remote control of the module's inputs
//   KVX7MainFormScope.cpp       scope page controls and the scope data log
//   KVX7MainFormPrint.cpp       printing
//   KVX7MainFormFiles.cpp       module data commands and parameter files
//   KVX7MainFormTerminal.cpp    terminal files, edit menu, manuals, firmware menu
//
// Window thread only, except ScopeTimerProc (the scope timer's thread) and KVXScopeScopeData (the
// scope poll's thread), which touch no widget.
#pragma once

#include <QMainWindow>
#include <QApplication>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/MyGlobalUtils.h"
#include "platform/Component.h"
#include "protocol/osDRUVModProt.h"
#include "views/osColors.h"
#include "views/osDRUVScopeCursors.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTextEdit;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;

class TKVXParamList;
class TKVXMonitor;
class TKVXScope;
class TKVXPTerminal;
class TASCIIProcDataObj;
class TModStatusInfoData;
class TosApplIni;
class TApplInfo;
class TosApplOptions;
class TosPasswordDlg;
class TosNamedLed;
class TKVX7OptionsDlg;
class TColorBox;
class TScopeCursorDlg;
class TModulIdSelDlg;
class TWebBrowserDlg;
class TFWUpdateDlg;
class TSaveScopeDataDlg;
class TOKBottomDlg;
class TScopeDataLog;
class TBusyPanel;
class TBusyJob;

// A labelled edit: an edit with its caption above it.
struct TLabeledEdit {
  QWidget* Box = nullptr;  // holds the label and the edit
  QLabel* EditLabel = nullptr;
  QLineEdit* Edit = nullptr;
  int Tag = 0;
  // The text the window itself put in the edit last: what the program holds for it.
  QString Held;
};

// The edition of the program: 0 is the maker's own.
constexpr std::uint8_t OemEdition = 0;

// Status texts of panel 0.
extern const char* const PortOpenText;    // "port open"
extern const char* const PortClosedText;  // "port closed"

// Section "Application" of the settings file.
extern const char* const ApplSection;        // "Application"
extern const char* const ParaFilePathKey;    // "ParaFilePath"
extern const char* const FirmwarePathKey;    // "FirmwarePath"
extern const char* const LastFirmwareKey;    // "LastFirmware"
extern const char* const TerminalPathKey;    // "TerminalFilePath"

class TKVXMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window and its components (FormCreate) and the dialogs of the program, in the
  // order the program creates them. The sysfs root of the latency check and the work area can be
  // given for tests.
  explicit TKVXMainForm(QWidget* parent = nullptr);
  ~TKVXMainForm() override;

  // ---- Components (owned) ------------------------------------------------------------------
  std::unique_ptr<TKVXModCommProt> KVXModProt;
  std::unique_ptr<TKVXParamList> KVXParamList;
  std::unique_ptr<TKVXMonitor> KVXMonitor;
  std::unique_ptr<TKVXScope> KVXScope;
  std::unique_ptr<TKVXPTerminal> KVXPTerminal;
  std::unique_ptr<TosApplIni> ApplIni;
  std::unique_ptr<TApplInfo> ApplInfo;
  std::unique_ptr<TosApplOptions> ApplOpt;
  std::unique_ptr<TosPasswordDlg> PasswordDlg;
  std::unique_ptr<TScopeDataLog> ScopeDataLog;

  // ---- The program's dialogs, created once with the window ---------------------------------
  TKVX7OptionsDlg* KVX7OptionsDlg = nullptr;
  TScopeCursorDlg* ScopeCursorDlg = nullptr;
  TModulIdSelDlg* ModulIdSelDlg = nullptr;
  TWebBrowserDlg* WebBrowserDlg = nullptr;
  TFWUpdateDlg* FWUpdateDlg = nullptr;
  TSaveScopeDataDlg* SaveScopeDataDlg = nullptr;
  TOKBottomDlg* OKBottomDlg = nullptr;

  // ---- Tool bar, notebook, status bar --------------------------------------------------------
  QToolBar* ToolBar = nullptr;
  QComboBox* CBoxPortSel = nullptr;
  QToolButton* SBtnConnect = nullptr;
  QToolButton* SBIdentify = nullptr;
  QToolButton* SBtnParamList = nullptr;
  QToolButton* SBtnMonitor = nullptr;
  QToolButton* SBtnScope = nullptr;
  QToolButton* SBtnTerminal = nullptr;
  QToolButton* SBtnClearTerminal = nullptr;
  QToolButton* SBtnOpenTerminal = nullptr;
  QToolButton* SBtnSaveTerminal = nullptr;
  QToolButton* SBtnPrint = nullptr;
  QToolButton* SBtnPassword = nullptr;
  QToolButton* SBtnSettings = nullptr;
  // The connected flag of the window (1 connected or firmware mode, 0 not).
  int ConnectTag = 0;
  QStackedWidget* NbMain = nullptr;
  // Panels 0..6 of the status bar.
  std::array<QLabel*, 7> SBar{};
  // The strip above the status bar that shows long work, how far it is, and its Cancel.
  TBusyPanel* BusyPanel = nullptr;

  // ---- Actions and menus -----------------------------------------------------------------------
  QAction* ConnectAct = nullptr;
  QAction* IdentifyAct = nullptr;
  QAction* ShowParamlistAct = nullptr;
  QAction* ShowMonitorAct = nullptr;
  QAction* ShowScopeAct = nullptr;
  QAction* ShowTerminalAct = nullptr;
  QAction* ClearTerminalAct = nullptr;  // also File, "&New"
  QAction* OpenTerminalAct = nullptr;   // also File, "O&pen"
  QAction* SaveTerminalAct = nullptr;   // also File, "&Save"
  QAction* PrintAct = nullptr;
  QAction* PasswordAct = nullptr;
  QAction* SettingsAct = nullptr;
  QMenu* MMFile = nullptr;
  QMenu* MMEdit = nullptr;
  QMenu* MMOptions = nullptr;
  QMenu* MMHelp = nullptr;
  QAction* MMISaveAs = nullptr;
  QAction* MMILoadOfflineCmdList = nullptr;
  QAction* MMISaveCmdList = nullptr;
  QAction* MMIViewKVXFile = nullptr;
  QAction* MMIPrint = nullptr;
  QAction* MMIClose = nullptr;
  QAction* MMICut = nullptr;
  QAction* MMICopy = nullptr;
  QAction* MMIPaste = nullptr;
  QAction* MMISettings = nullptr;
  QAction* MMIFirmwareUpd = nullptr;
  QAction* MMISendFirmwareSep = nullptr;
  QAction* MMISendFirmware = nullptr;
  QAction* MMIFWUAss = nullptr;
  QAction* MMIManual = nullptr;
  QAction* ManualEnglish1 = nullptr;
  QAction* MMIInfo = nullptr;

  // ---- Parameter page --------------------------------------------------------------------------
  QTableWidget* ParamGrid = nullptr;
  QLabel* LabelParameterView = nullptr;
  // MODE_1 .. MODE_8.
  std::array<QPushButton*, 8> ModeButtons{};
  QPushButton* MODE_ALL = nullptr;
  QPushButton* BtnDefault = nullptr;
  QPushButton* BtnSave = nullptr;
  QPushButton* BtnLoadBack = nullptr;
  QPushButton* BBtnUpload = nullptr;
  QPushButton* BBtnDownload = nullptr;

  // ---- Monitor page ------------------------------------------------------------------------------
  QWidget* MonitorHost = nullptr;
  QGroupBox* GBoxRemote = nullptr;  // "Remote Control / Status Info"
  QCheckBox* CBoxRemoteCtrlEnable = nullptr;
  QPushButton* BtnRemoteControl = nullptr;
  QGroupBox* GBoxAnaInputs = nullptr;
  std::array<TLabeledEdit, 5> LEditPinX{};
  QSlider* TBarAnaInputs = nullptr;
  QLabel* LabelTBarMin = nullptr;
  QLabel* LabelTBarMax = nullptr;
  QGroupBox* GBoxDigInputs = nullptr;
  std::array<QCheckBox*, 8> CBDInp{};
  QGroupBox* GBoxStatusInfo = nullptr;
  std::array<TosNamedLed*, 16> SILed{};

  // ---- Scope page ----------------------------------------------------------------------------------
  QTabWidget* NBScopeSettings = nullptr;  // "Expert", "Customer"
  QWidget* PBoxScope = nullptr;
  // Expert page, channels 1..4 at index 0..3.
  std::array<QComboBox*, 4> CBChSignal{};
  std::array<TColorBox*, 4> CBChColor{};
  std::array<QComboBox*, 4> CBChScale{};
  std::array<TLabeledEdit, 4> LEChPos{};
  std::array<QSpinBox*, 4> UDChaPos{};
  QLabel* Label2 = nullptr;
  // Customer page.
  std::array<QComboBox*, 4> CBChCustSignal{};
  std::array<QComboBox*, 4> CBChCustMin{};
  std::array<QComboBox*, 4> CBChCustMax{};
  std::array<QFrame*, 4> ShapeCustChaCol{};
  QComboBox* CBCustTimeScale = nullptr;
  QPushButton* BtnStart = nullptr;
  QPushButton* BtnStop = nullptr;
  TLabeledEdit TimeGridEdit;
  QPushButton* SaveToFileButton = nullptr;
  QMenu* PMScope = nullptr;
  QAction* PMIScopeCursor = nullptr;
  QAction* PMICopyScopeDsp = nullptr;
  // Hidden: the scope period offset in ms, "0" .. "100", current "20".
  QComboBox* CBoxOffsetTime = nullptr;

  // ---- Terminal page -----------------------------------------------------------------------------
  QTextEdit* KVXTermEditor = nullptr;
  QPushButton* BtnDefault2 = nullptr;
  QPushButton* BtnSave2 = nullptr;
  QPushButton* BtnLoadBack2 = nullptr;
  QPushButton* BBtnUpload2 = nullptr;
  QPushButton* BBtnDownload2 = nullptr;

  // ---- Fields ----------------------------------------------------------------------------------------
  bool FirstShow = true;
  TStringList SignalList;
  // The cursor restored after an hourglass phase (Qt: whether an override cursor was active).
  Qt::CursorShape DefaultCursor = Qt::ArrowCursor;
  std::vector<TosNamedLed*> StatusLeds;
  std::vector<QCheckBox*> DigitalInputBoxes;
  std::vector<TLabeledEdit*> AnalogInputEdits;
  // The running scope timer, 0 none; its count of failed polls in a row. Shared with the timer.
  std::atomic<std::uint32_t> ScopeTimerId{0};
  std::atomic<int> ScopeTimerFailCount{0};
  TLabeledEdit* ActiveAnalogEdit = nullptr;
  // The track bar range set when the active edit was activated.
  int ActiveRangeMin = 0;
  int ActiveRangeMax = 10000;
  // The terminal file last opened; never a parameter file.
  std::string TerminalFileName;

  // ---- Start-up and shut-down ---------------------------------------------------------------------
  void FormCreate();
  void FormShow();
  void FormClose();
  void FormDestroy();
  void SetupEdition(std::uint8_t Edition);
  void ApplyScopeColors();
  void ApplyMonitorOptions();
  // The parameter list's options from the settings dialog.
  void ApplyTableOptions();
  // The analog-input unit letters: "U", "I" for the command form U/I, else "V", "C".
  static void SetAinUnitLetters(bool CommandUI);
  // Size and place: the whole window, title bar and frame included, takes at most 1024 x 768 of
  // the work area; at its top left when it is less than 768 pixels high, else centred.
  void PlaceInWorkArea(const QRect& WorkArea);
  // The frame the window system draws around the window; a usual title bar and border while it
  // has not told yet (before the window is shown).
  QMargins FrameMargins() const;
  // Menu items that follow options (viewer, classic firmware, the assistant's shortcut).
  void ApplyMenuOptions();
  // The sysfs root for the latency check (tests point it at a fake tree); "/sys" by default.
  static void SetSysfsRoot(const std::string& Root);
  // Shows the information message when the USB-serial adapter behind PortName waits longer than
  // 2 ms before it hands received bytes on.
  static void CheckFtdiLatencyTimer(const std::string& PortName);

  // ---- Connection (port box, connect, identify) -------------------------------------------------
  void CBoxPortSelDropDown();
  void CBoxPortSelChange();
  void ApplyPortSelection();
  void ConnectActExecute();
  void IdentifyActExecute();
  void SetConnectedState(bool Connected);
  void SetFirmwareUpdateState(bool Active, bool SelectTerminal, bool ShowStatusText);
  // Fills the port box from the system's ports, keeping the current name selected while it is
  // listed, with the box's signals blocked.
  void FillPortBox(const std::vector<std::string>& Ports);
  // Tells the user why Connect failed: the port's error or no answer.
  void ReportConnectFailure();
  // Polling stopped by itself (the protocol's OnModuleLost): a line that hung up ends the
  // connection (ModuleLost); a module that does not answer stops polling until Space. Either way
  // one message names the port.
  void KVXModProtModuleLost(TObject* Sender, TLineLossKind Kind, const std::string& Reason);
  // Every second while connected: a line that hung up without a poll running (the parameter or
  // terminal page) ends the connection as a failed poll does.
  void WatchLine();
  // The module went away while connected: polling stopped, port closed, window disconnected.
  void ModuleLost(const std::string& Reason);
  // The input captions of a fresh connection; "Parameter View" and the password disabled.
  void ResetInputCaptions();
  // The commands that talk to the module's application and the controls of an identified module,
  // enabled by the window's state: none while the bootloader runs (classic mode or the
  // assistant), nor after it until an identification succeeds; Identify only while connected.
  // Every change of the module's state ends here.
  void UpdateModuleCommands();
  // The window's state without a module: no monitor, scope or password, the parameter page.
  void ShowNoModule();

  // ---- Pages, modes, scope timer, settings actions --------------------------------------------
  void NbMainPageChanged();
  void StartScopeTimer();
  void StopScopeTimer(bool Wait = true);
  void ScopeTimerProc();
  // The scope period from the offset box, the rate and the transfer mode.
  std::uint32_t ScopePeriodMs() const;
  // Space while polling is stopped; true when the key was taken.
  bool ApplicationEventsShortCut(int Key);
  void ShowParamlistActExecute();
  void ShowMonitorActExecute();
  void ShowScopeActExecute();
  void ShowTerminalActExecute();
  void SettingsActExecute();
  void MMISettingsClick();
  void ApplOptOptionStateChanged(TObject* Sender, const std::string& Name, int Index, int Id);
  // Shows a page and runs the page change.
  void ShowPage(int Page);
  // Both Upload buttons: enabled while a module is loaded (identified or offline data).
  void UpdateUploadButtons();

  // ---- Mode buttons, protocol events, status lamps, password ------------------------------------
  void ModeButtonClick(int Index);  // 0..7 MODE_1 .. MODE_8
  void MODE_ALLClick();
  void KVXModProtInfoMsg(TObject* Sender, TKVXCommProtMsgKind MsgKind, TModalResult& Result);
  void KVXModProtModIdSelRequest(TObject* Sender, TStringList& IdList, int& SelIdx);
  void KVXModProtParaDownloadError(TObject* Sender, TStringList& CmdErrList);
  void KVXModProtReadoutError(TObject* Sender, const std::string& ModID, TStringList& ExtCmdList);
  void KVXMonitorStatusInfoStrucInit(TObject* Sender, TModStatusInfoData* StatusStruc);
  void KVXMonitorNewStatusInfo(TObject* Sender, std::uint16_t Status);
  void PasswordActExecute();
  void PasswordDlgPasswordCheckReq(TObject* Sender, const std::string& InputPassw, bool& CheckOk);

  // ---- Remote control -------------------------------------------------------------------------------
  void SetupAnalogInputs();
  void UpdateRemoteCtrlState();
  // The window's own text of an analog edit (kept as its Held text).
  static void ShowAnalogValue(TLabeledEdit* Edit, std::int32_t Value);
  // Where the track bar belongs: the value the program holds for the active edit, else Fallback.
  int HeldAnalogPosition(int Fallback) const;
  void CBoxRemoteCtrlEnableClick();
  // Sends the box's state to the module and reads it back; switching on clears the digital
  // inputs unless ClearInputs is false (the old state put back after a No).
  void ApplyRemoteCtrlEnable(bool ClearInputs = true);
  void CBoxDigitalIOClick(QCheckBox* Sender);
  void KVXModProtDigitalInputStateInfo(TObject* Sender, std::uint8_t State);
  void LEditAnaInputsDlbClick(TLabeledEdit* Sender);
  // A click into an edit makes it the active one, as a double click does.
  void LEditAnaInputsClick(TLabeledEdit* Sender);
  // True when the key was taken (not passed on to the edit).
  bool LEditAnaInputsKeyPress(TLabeledEdit* Sender, int Key, const QString& Text,
                              Qt::KeyboardModifiers Modifiers = Qt::NoModifier);
  // Send: the active edit's value goes to the module; else the edit shows the track bar's again.
  void GBoxAnaInputsExit(bool Send = true);
  void TBarAnaInputsChange();
  void HighlightAnalogEdit(TLabeledEdit* Edit, bool On);
  // The track bar's range labels, named for a screen reader by what they show.
  void SetRangeLabels(const QString& Min, const QString& Max);
  // Names the controls captioned from the module's help texts (inputs, mode buttons) by their
  // captions without the blank the help text leaves at a word's end.
  void NameControlsByCaption();

  // ---- Scope page and data log ------------------------------------------------------------------------
  void BtnStartClick();
  void BtnStopClick();
  void CheckTimeGrid();
  void CBChSignalDropDown(int Channel, bool Customer);
  void CBChSignalChange(int Channel);
  void CBChCustSignalChange(int Channel);
  void CBChColorChange(int Channel);
  void CBChScaleChange(int Channel);
  void CBChCustScaleChange(QComboBox* Sender);
  // The limit boxes take only a number's characters; true when the key is discarded.
  bool CBChCustKeyPress(int Key, const QString& Text);
  void CBCustTimeScaleChange();
  void LEChPosChange(int Channel);
  void LECh1PosExit();
  void KVXScopeProcessDataChanged(TObject* Sender, const TStringList& ProcessPara);
  void KVXScopeCursorPosChanged(TObject* Sender, const TCursorInfo& CursorInfo);
  void PMIScopeCursorClick();
  void PMICopyScopeDspClick();
  void ShowCursorValues(const TCursorInfo& CursorInfo, bool Show);
  // The two read-out texts (amplitude, time) as panels 5 and 6 show them.
  void CursorTexts(const TCursorInfo& Info, bool Show, QString& Amplitude, QString& Time) const;
  void SaveToFileButtonClick();
  void KVXScopeScopeData(TASCIIProcDataObj* Ch1, TASCIIProcDataObj* Ch2, TASCIIProcDataObj* Ch3,
                         TASCIIProcDataObj* Ch4);

  // ---- Printing -----------------------------------------------------------------------------------------
  void PrintActExecute();
  // Print on a printer the print dialog has set up (600 dpi).
  bool PrintParamList(QPrinter& Printer);
  void PrintScopeDisplay(QPrinter& Printer);

  // ---- Module data commands and parameter files ------------------------------------------------------
  void BtnDefaultClick();
  void BtnLoadBackClick();
  void BtnSaveClick();
  void BBtnUploadClick();
  void BBtnDownloadClick();
  void MMILoadOfflineCmdListClick();
  void MMISaveCmdListClick();
  void MMIViewKVXFileClick();
  void MMFileClick();
  // The folder stored under Key in "Application", or the user's home folder when that is missing
  // or gone.
  std::string RememberedFolder(const char* Key) const;
  // Stores the folder of FileName under Key in "Application"; a settings file that cannot be
  // written is reported, and the command goes on.
  void RememberFolder(const char* Key, const std::string& FileName);
  // The initial folder of the parameter file dialogs.
  std::string ParaFileFolder() const;

  // ---- Terminal files, edit menu, manuals, firmware, About --------------------------------------------
  void ClearTerminalActExecute();
  void OpenTerminalActExecute();
  void SaveTerminalActExecute();
  void MMICutClick();
  void MMICopyClick();
  void MMIPasteClick();
  void MMICloseClick();
  void MMIInfoClick();
  void ShowManual(const std::string& FileName);
  void MMIFirmwareUpdClick();
  void MMISendFirmwareClick();
  void MMIFWUAssClick();

  // ---- Long work ------------------------------------------------------------------------------------------
  // The protocol's progress shown on the running job; Stop is the user's Cancel.
  void KVXModProtProgress(TObject* Sender, TProgressStep Step, int Position, int Max, bool& Stop);
  // What the last job did, in the status bar's message panel (5) while no scope cursor uses it;
  // an empty text clears the result of the job before.
  void ShowJobResult(const QString& Text);
  // After work on the line: when the line hung up meanwhile, the connection ends as when a poll
  // finds it so (port closed and released, one message naming the port); true then, and the work
  // says nothing more about its failure.
  bool EndIfLineLost();
  // "120 of 400" of the last progress the protocol reported for Step; empty when it reported none.
  QString ProgressCount(TProgressStep Step) const;

  // ---- Helpers ------------------------------------------------------------------------------------------
  // Runs a handler's body; an exception becomes an error message and the handler ends.
  void Guard(const std::function<void()>& Body);
  // Runs a handler that talks to the module or changes what long work reads, through Guard,
  // unless long work runs: then (whatever triggered it: input, a screen reader's action, a value
  // set by a program) Refused runs instead and puts the control back as it was.
  void GuardCommand(const std::function<void()>& Body, const std::function<void()>& Refused = {});
  // The current page of NbMain (0 parameter, 1 monitor, 2 scope, 3 terminal, 4 remote control).
  int PageIndex() const;
  void SetPanel(int Panel, const QString& Text);
  QString PanelText(int Panel) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // KVX7MainFormLayout.cpp
  void BuildActions();
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  QWidget* BuildParameterPage();
  QWidget* BuildMonitorPage();
  QWidget* BuildScopePage();
  QWidget* BuildTerminalPage();
  QWidget* BuildModuleDataButtons(QPushButton*& Default, QPushButton*& Save,
                                  QPushButton*& LoadBack, QPushButton*& Upload,
                                  QPushButton*& Download);
  void ConnectHandlers();
  void AttachViews();

  // Placed with an assumed frame: placed again once the window system tells the real one.
  void RefitToRealFrame();

  bool closed_ = false;
  QTimer* LineWatch_ = nullptr;
  // The firmware update state (classic mode or the assistant) is on.
  bool FirmwareState_ = false;
  // The bootloader ran since the last identification: the module may still be in it or ask
  // whether to start its application.
  bool AfterBootloader_ = false;
  // The running job's wording of the protocol's text-file lines ("firmware line" or "line").
  QString SendTextWord_ = "line";
  // The last progress the protocol reported, for what a stopped job says it did.
  TProgressStep LastStep_ = pgsIdentify;
  int LastPosition_ = -1;
  int LastMax_ = 0;
  // Jobs opened by the protocol's busy-cursor event (a write that reads the module again).
  std::vector<std::unique_ptr<TBusyJob>> ProtJobs_;
  QRect PlacedArea_;
  bool FrameAssumed_ = false;
};

// A parameter name from a file as a message or the status bar shows it: a giant one shortened,
// with its length (see KVX7MainFormFiles.cpp).
QString ParamNameShown(const std::string& Name);

// The lines of the printed parameter list, 57 to a page (see KVX7MainFormPrint.cpp).
std::vector<std::string> ParamListPrintLines(const TModCommandList& List, std::uint16_t AccessCode);

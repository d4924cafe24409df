// The "Options" dialog and, at the same time, the holder of the user's settings: every option is
// a getter and a setter that read and write the settings file at once. Without a settings file
// the options live in the dialog's fields.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <string>

#include "platform/Component.h"
#include "protocol/osDRUVModProt.h"
#include "views/osColors.h"
#include "views/osDRUVMonitorForm.h"
#include "views/osDRUVScopePaint.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class TApplInfo;
class TosApplIni;

// A drop-down of the standard colours, plus the colour it was given when that is none of them
// (system colours included, which it hands back unchanged), plus "Custom..." for any other.
class TColorBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TColorBox(QWidget* parent = nullptr);

  TColor Selected() const;
  void SetSelected(TColor Value);
  // "Red", "Button Face", or "#RRGGBB" for a colour without a name.
  static QString ColorName(TColor Value);

 private:
  void ChooseCustom(int index);
  int AddColor(TColor Value, int at);

  int previous_ = 0;
};

class TKVX7OptionsDlg : public QDialog, public platform::TComponent {
  Q_OBJECT

 public:
  explicit TKVX7OptionsDlg(QWidget* parent = nullptr);
  ~TKVX7OptionsDlg() override;

  // Loads the controls and shows the dialog; OK stores the controls and gives true, anything
  // else stores nothing. A settings file that refuses the options is told with one message; the
  // options hold for this run all the same.
  bool Execute();
  void LoadControls();
  // Every option, in one update of the settings file: raises EApplIniError once, at the end,
  // when the file refuses them.
  void StoreControls();

  TosApplIni* ApplIni() const { return ApplIni_; }
  void SetApplIni(TosApplIni* Value);
  // Its system information lists the serial ports (not watched: it lives as long as this).
  TApplInfo* ApplInfo() const { return ApplInfo_; }
  void SetApplInfo(TApplInfo* Value) { ApplInfo_ = Value; }
  // Port, transfer mode and rates may be changed; cleared while connected. The controls follow
  // at the next LoadControls.
  bool InterfaceEditable() const { return InterfaceEditable_; }
  void SetInterfaceEditable(bool Value) { InterfaceEditable_ = Value; }
  // The maker's tab shows and its four options are stored.
  bool ShowDruvTab() const { return ShowDruvTab_; }
  void SetShowDruvTab(bool Value) { ShowDruvTab_ = Value; }
  bool FirstShow() const { return FirstShow_; }

  // ---- The options ----
  TColor GetBackgoundColor() const;
  void SetBackgoundColor(TColor Value);
  TColor GetGridColor() const;
  void SetGridColor(TColor Value);
  TColor GetCha1Color() const;
  void SetCha1Color(TColor Value);
  TColor GetCha2Color() const;
  void SetCha2Color(TColor Value);
  TColor GetCha3Color() const;
  void SetCha3Color(TColor Value);
  TColor GetCha4Color() const;
  void SetCha4Color(TColor Value);
  TSignalLineWidthKind GetSignalLineWidth() const;
  void SetSignalLineWidth(TSignalLineWidthKind Value);
  bool GetULimLLimManually() const;
  void SetULimLLimManually(bool Value);
  // A port name ("ttyUSB0", a link name in ports/).
  std::string GetPort() const;
  void SetPort(const std::string& Value);
  TTransferMode GetTranferMode() const;
  void SetTranferMode(TTransferMode Value);
  bool GetAutoBRDetection() const;
  void SetAutoBRDetection(bool Value);
  TModBaudrate GetFixBR() const;
  void SetFixBR(TModBaudrate Value);
  bool GetAutoSetBR() const;
  void SetAutoSetBR(bool Value);
  TModBaudrate GetAutoBR() const;
  void SetAutoBR(TModBaudrate Value);
  int GetDelayOnFirmwareUpdate() const;
  void SetDelayOnFirmwareUpdate(int Value);
  TVisibleParamKind GetVisParaKind() const;
  void SetVisParaKind(TVisibleParamKind Value);
  int GetVisParaCnt() const;
  void SetVisParaCnt(int Value);
  bool GetShowCmdGrpInfo() const;
  void SetShowCmdGrpInfo(bool Value);
  bool GetKVXFileViewer() const;
  void SetKVXFileViewer(bool Value);
  bool GetSFWUpdate() const;
  void SetSFWUpdate(bool Value);
  bool GetTermFWUpdate() const;
  void SetTermFWUpdate(bool Value);
  bool GetShowDecimals() const;
  void SetShowDecimals(bool Value);
  bool GetAinCommandUI() const;
  void SetAinCommandUI(bool Value);

  // ---- Controls ----
  QTabWidget* PageControl = nullptr;
  QWidget* TSInterface = nullptr;
  QWidget* TSScope = nullptr;
  QWidget* TSMonitor = nullptr;
  QWidget* TSDruv = nullptr;
  QWidget* TSTableInput = nullptr;
  QLabel* LabelPort = nullptr;
  QComboBox* CBPort = nullptr;
  QGroupBox* RGrpTransferMode = nullptr;
  QButtonGroup* TransferModeButtons = nullptr;
  QGroupBox* RGrpBROptions = nullptr;
  QButtonGroup* BROptionsButtons = nullptr;
  QStackedWidget* NBBROptions = nullptr;
  QLabel* LabelFixBR = nullptr;
  QComboBox* CBoxFixBR = nullptr;
  QCheckBox* CBAutoSetBR = nullptr;
  QLabel* LabelHighBR = nullptr;
  QComboBox* CBoxHighBR = nullptr;
  QSpinBox* DelayOnFirmwareUpdateEdit = nullptr;
  TColorBox* CBoxDspColor = nullptr;
  TColorBox* CBoxGridColor = nullptr;
  QComboBox* CBoxSigLineWidth = nullptr;
  TColorBox* CBoxCha1Color = nullptr;
  TColorBox* CBoxCha2Color = nullptr;
  TColorBox* CBoxCha3Color = nullptr;
  TColorBox* CBoxCha4Color = nullptr;
  QGroupBox* RGVisibleParaKind = nullptr;
  QButtonGroup* VisibleParaKindButtons = nullptr;
  QComboBox* CBoxVisParCnt = nullptr;
  QLabel* LabelVisParCnt = nullptr;
  QCheckBox* CBoxShowCmdGrp = nullptr;
  QCheckBox* CBoxEnableKVXFileViewer = nullptr;
  QCheckBox* CBoxFWUpdateViaTerminal = nullptr;
  QCheckBox* CBoxEnableShortFirmwareUpdate = nullptr;
  QCheckBox* CBoxULimLLimManually = nullptr;
  QCheckBox* CBoxShowDecimals = nullptr;
  QCheckBox* CBoxAinCommandUI = nullptr;
  QPushButton* BtnOK = nullptr;
  QPushButton* BtnCancel = nullptr;

  // ---- Control handlers (the user's clicks) ----
  void RGrpTransferModeClick();
  void RGrpBROptionsClick();
  void CBAutoSetBRClick();
  void RGVisibleParaKindClick();

 protected:
  void Notification(platform::TComponent* Component, platform::TOperation Operation) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildInterfaceTab();
  void BuildScopeTab();
  void BuildMonitorTab();
  void BuildDruvTab();
  void BuildTableInputTab();

  int ReadInt(const char* Section, const char* Key, int Default) const;
  bool ReadBool(const char* Section, const char* Key, bool Default) const;
  void WriteInt(const char* Section, const char* Key, int Value);
  void WriteBool(const char* Section, const char* Key, bool Value);
  TColor ReadColor(const char* Key, TColor Field) const;
  void WriteColor(const char* Key, TColor& Field, TColor Value);
  TModBaudrate ReadRate(const char* Key, TModBaudrate Field) const;

  bool FirstShow_ = true;
  TosApplIni* ApplIni_ = nullptr;
  TApplInfo* ApplInfo_ = nullptr;
  bool ShowDruvTab_ = false;
  bool InterfaceEditable_ = true;

  // The options' values without a settings file.
  TColor BackgoundColor_ = clBtnFace;
  TColor GridColor_ = clBlue;
  TColor Cha1Color_ = clBlue;
  TColor Cha2Color_ = clRed;
  TColor Cha3Color_ = clGreen;
  TColor Cha4Color_ = clBlack;
  TSignalLineWidthKind SignalLineWidth_ = swSmall;
  bool ULimLLimManually_ = false;
  std::string Port_;
  TTransferMode TranferMode_ = tmFullDuplex;
  bool AutoBRDetection_ = false;
  TModBaudrate FixBR_ = mb9600;
  bool AutoSetBR_ = false;
  TModBaudrate AutoBR_ = mb38400;
  int DelayOnFirmwareUpdate_ = 0;
  TVisibleParamKind VisParaKind_ = vpDefault;
  int VisParaCnt_ = 4;
  bool ShowCmdGrpInfo_ = false;
  bool KVXFileViewer_ = false;
  bool SFWUpdate_ = false;
  bool TermFWUpdate_ = false;
  bool ShowDecimals_ = false;
  bool AinCommandUI_ = false;
};

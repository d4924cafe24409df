// Storing and loading the port's settings under fixed key names, in an INI file section named
// after the component or in an open registry key.
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "serial/CPort.h"

namespace {

// The two stores behind one interface: text and integer values by key name.
class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;
  virtual void WriteString(const std::string& key, const std::string& value) = 0;
  virtual void WriteInteger(const std::string& key, int value) = 0;
  // `def` is the present value in its stored form (an INI file uses it; the registry does not).
  virtual std::string ReadString(const std::string& key, const std::string& def) = 0;
  virtual int ReadInteger(const std::string& key, int def) = 0;
};

class TIniStore : public TSettingsStore {
 public:
  TIniStore(platform::TIniFile& ini, std::string section) : ini_(ini), section_(std::move(section)) {}
  void WriteString(const std::string& key, const std::string& value) override {
    ini_.WriteString(section_, key, value);
  }
  void WriteInteger(const std::string& key, int value) override { ini_.WriteInteger(section_, key, value); }
  std::string ReadString(const std::string& key, const std::string& def) override {
    return ini_.ReadString(section_, key, def);
  }
  int ReadInteger(const std::string& key, int def) override { return ini_.ReadInteger(section_, key, def); }

 private:
  platform::TIniFile& ini_;
  std::string section_;
};

class TRegistryStore : public TSettingsStore {
 public:
  explicit TRegistryStore(platform::TRegistry& reg) : reg_(reg) {}
  void WriteString(const std::string& key, const std::string& value) override { reg_.WriteString(key, value); }
  void WriteInteger(const std::string& key, int value) override { reg_.WriteInteger(key, value); }
  // No default: a missing value reads as empty text.
  std::string ReadString(const std::string& key, const std::string&) override { return reg_.ReadString(key); }
  // A missing value raises the registry's own error.
  int ReadInteger(const std::string& key, int) override { return reg_.ReadInteger(key); }

 private:
  platform::TRegistry& reg_;
};

void Store(TCustomComPort& port, TSettingsStore& s) {
  const TComSettingGroups groups = port.StoredSettings();
  if (groups.Contains(sgBasic)) {
    s.WriteString("Port", port.Port());
    s.WriteString("BaudRate", BaudRateToStr(port.BaudRate()));
    if (port.BaudRate() == brCustom) s.WriteInteger("CustomBaudRate", port.CustomBaudRate());
    s.WriteString("StopBits", StopBitsToStr(port.StopBits()));
    s.WriteString("DataBits", DataBitsToStr(port.DataBits()));
    s.WriteString("Parity", ParityToStr(port.Parity().Bits()));
    s.WriteString("FlowControl", FlowControlToStr(port.FlowControl().FlowControl()));
  }
  if (groups.Contains(sgOther)) {
    s.WriteString("EventChar", CharToStr(port.EventChar()));
    s.WriteString("DiscardNull", BoolToYesNo(port.DiscardNull()));
  }
  if (groups.Contains(sgParityDetails)) {
    s.WriteString("Parity.Check", BoolToYesNo(port.Parity().Check()));
    s.WriteString("Parity.Replace", BoolToYesNo(port.Parity().Replace()));
    s.WriteString("Parity.ReplaceChar", CharToStr(port.Parity().ReplaceChar()));
  }
  if (groups.Contains(sgBuffer)) {
    s.WriteInteger("Buffer.OutputSize", port.Buffer().OutputSize());
    s.WriteInteger("Buffer.InputSize", port.Buffer().InputSize());
  }
  if (groups.Contains(sgTimeouts)) {
    const TComTimeouts& t = port.Timeouts();
    s.WriteInteger("Timeouts.ReadInterval", t.ReadInterval());
    s.WriteInteger("Timeouts.ReadTotalConstant", t.ReadTotalConstant());
    s.WriteInteger("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier());
    s.WriteInteger("Timeouts.WriteTotalConstant", t.WriteTotalConstant());
    s.WriteInteger("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier());
  }
  if (groups.Contains(sgFlowDetails)) {
    const TComFlowControl& f = port.FlowControl();
    s.WriteString("FlowControl.ControlRTS", RTSToStr(f.ControlRTS()));
    s.WriteString("FlowControl.ControlDTR", DTRToStr(f.ControlDTR()));
    s.WriteString("FlowControl.DSRSensitivity", BoolToYesNo(f.DSRSensitivity()));
    s.WriteString("FlowControl.OutCTSFlow", BoolToYesNo(f.OutCTSFlow()));
    s.WriteString("FlowControl.OutDSRFlow", BoolToYesNo(f.OutDSRFlow()));
    s.WriteString("FlowControl.TxContinueOnXoff", BoolToYesNo(f.TxContinueOnXoff()));
    s.WriteString("FlowControl.XonXoffIn", BoolToYesNo(f.XonXoffIn()));
    s.WriteString("FlowControl.XonXoffOut", BoolToYesNo(f.XonXoffOut()));
    s.WriteString("FlowControl.XoffChar", CharToStr(f.XoffChar()));
    s.WriteString("FlowControl.XonChar", CharToStr(f.XonChar()));
  }
}

// Every value goes through the property setters, so an open port applies each as it comes.
void Load(TCustomComPort& port, TSettingsStore& s) {
  const TComSettingGroups groups = port.StoredSettings();
  if (groups.Contains(sgBasic)) {
    port.SetPort(s.ReadString("Port", port.Port()));
    port.SetBaudRate(StrToBaudRate(s.ReadString("BaudRate", BaudRateToStr(port.BaudRate()))));
    if (port.BaudRate() == brCustom) port.SetCustomBaudRate(s.ReadInteger("CustomBaudRate", 9600));
    port.SetStopBits(StrToStopBits(s.ReadString("StopBits", StopBitsToStr(port.StopBits()))));
    port.SetDataBits(StrToDataBits(s.ReadString("DataBits", DataBitsToStr(port.DataBits()))));
    port.Parity().SetBits(StrToParity(s.ReadString("Parity", ParityToStr(port.Parity().Bits()))));
    port.FlowControl().SetFlowControl(
        StrToFlowControl(s.ReadString("FlowControl", FlowControlToStr(port.FlowControl().FlowControl()))));
  }
  if (groups.Contains(sgOther)) {
    port.SetEventChar(StrToChar(s.ReadString("EventChar", CharToStr(port.EventChar()))));
    port.SetDiscardNull(YesNoToBool(s.ReadString("DiscardNull", BoolToYesNo(port.DiscardNull()))));
  }
  if (groups.Contains(sgParityDetails)) {
    TComParity& p = port.Parity();
    p.SetCheck(YesNoToBool(s.ReadString("Parity.Check", BoolToYesNo(p.Check()))));
    p.SetReplace(YesNoToBool(s.ReadString("Parity.Replace", BoolToYesNo(p.Replace()))));
    p.SetReplaceChar(StrToChar(s.ReadString("Parity.ReplaceChar", CharToStr(p.ReplaceChar()))));
  }
  if (groups.Contains(sgBuffer)) {
    TComBuffer& b = port.Buffer();
    b.SetOutputSize(s.ReadInteger("Buffer.OutputSize", b.OutputSize()));
    b.SetInputSize(s.ReadInteger("Buffer.InputSize", b.InputSize()));
  }
  if (groups.Contains(sgTimeouts)) {
    TComTimeouts& t = port.Timeouts();
    t.SetReadInterval(s.ReadInteger("Timeouts.ReadInterval", t.ReadInterval()));
    t.SetReadTotalConstant(s.ReadInteger("Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
    t.SetReadTotalMultiplier(s.ReadInteger("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
    t.SetWriteTotalConstant(s.ReadInteger("Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
    t.SetWriteTotalMultiplier(s.ReadInteger("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
  }
  if (groups.Contains(sgFlowDetails)) {
    TComFlowControl& f = port.FlowControl();
    f.SetControlRTS(StrToRTS(s.ReadString("FlowControl.ControlRTS", RTSToStr(f.ControlRTS()))));
    f.SetControlDTR(StrToDTR(s.ReadString("FlowControl.ControlDTR", DTRToStr(f.ControlDTR()))));
    f.SetDSRSensitivity(YesNoToBool(s.ReadString("FlowControl.DSRSensitivity", BoolToYesNo(f.DSRSensitivity()))));
    f.SetOutCTSFlow(YesNoToBool(s.ReadString("FlowControl.OutCTSFlow", BoolToYesNo(f.OutCTSFlow()))));
    f.SetOutDSRFlow(YesNoToBool(s.ReadString("FlowControl.OutDSRFlow", BoolToYesNo(f.OutDSRFlow()))));
    f.SetTxContinueOnXoff(
        YesNoToBool(s.ReadString("FlowControl.TxContinueOnXoff", BoolToYesNo(f.TxContinueOnXoff()))));
    f.SetXonXoffIn(YesNoToBool(s.ReadString("FlowControl.XonXoffIn", BoolToYesNo(f.XonXoffIn()))));
    f.SetXonXoffOut(YesNoToBool(s.ReadString("FlowControl.XonXoffOut", BoolToYesNo(f.XonXoffOut()))));
    f.SetXoffChar(StrToChar(s.ReadString("FlowControl.XoffChar", CharToStr(f.XoffChar()))));
    f.SetXonChar(StrToChar(s.ReadString("FlowControl.XonChar", CharToStr(f.XonChar()))));
  }
}

}  // namespace

void TCustomComPort::StoreIniFile(platform::TIniFile& IniFile) {
  TIniStore s(IniFile, Name());
  Store(*this, s);
}

void TCustomComPort::StoreRegistry(platform::TRegistry& Reg) {
  TRegistryStore s(Reg);
  Store(*this, s);
}

void TCustomComPort::LoadIniFile(platform::TIniFile& IniFile) {
  TIniStore s(IniFile, Name());
  Load(*this, s);
}

void TCustomComPort::LoadRegistry(platform::TRegistry& Reg) {
  TRegistryStore s(Reg);
  Load(*this, s);
}

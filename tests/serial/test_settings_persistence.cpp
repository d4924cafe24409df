// Storing and loading the port's settings in an INI file and in the registry stand-in, the text
// forms of the settings, and the INI file's own rules.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "pty_fixture.h"
#include "serial/CPort.h"

using platform::ERegistryException;
using platform::TIniFile;
using platform::TRegistry;
using serialtest::TempDir;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int CountEntries(const std::string& dir) {
  int n = 0;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
    ::closedir(d);
  }
  return n;
}

const TComSettingGroups kAllGroups{sgBasic, sgOther, sgParityDetails, sgBuffer, sgTimeouts, sgFlowDetails};

// A port with a value other than the default in every stored setting.
void SetEverything(TComPort& p) {
  p.SetStoredSettings(kAllGroups);
  p.SetPort("ttyUSB3");
  p.SetBaudRate(brCustom);
  p.SetCustomBaudRate(250000);
  p.SetStopBits(sbTwoStopBits);
  p.SetDataBits(dbSeven);
  p.SetEventChar(' ');
  p.SetDiscardNull(true);
  p.Parity().SetBits(prMark);
  p.Parity().SetCheck(true);
  p.Parity().SetReplace(true);
  p.Parity().SetReplaceChar('?');
  p.Buffer().SetInputSize(4096);
  p.Buffer().SetOutputSize(512);
  p.Timeouts().SetReadInterval(25);
  p.Timeouts().SetReadTotalMultiplier(3);
  p.Timeouts().SetReadTotalConstant(700);
  p.Timeouts().SetWriteTotalMultiplier(7);
  p.Timeouts().SetWriteTotalConstant(900);
  p.FlowControl().SetControlRTS(rtsToggle);
  p.FlowControl().SetControlDTR(dtrEnable);
  p.FlowControl().SetDSRSensitivity(true);
  p.FlowControl().SetOutCTSFlow(true);
  p.FlowControl().SetOutDSRFlow(true);
  p.FlowControl().SetTxContinueOnXoff(true);
  p.FlowControl().SetXonXoffIn(true);
  p.FlowControl().SetXonXoffOut(false);
  p.FlowControl().SetXonChar('\x01');
  p.FlowControl().SetXoffChar('\x02');
}

void ExpectEverything(TComPort& p) {
  EXPECT_EQ(p.Port(), "ttyUSB3");
  EXPECT_EQ(p.BaudRate(), brCustom);
  EXPECT_EQ(p.CustomBaudRate(), 250000);
  EXPECT_EQ(p.StopBits(), sbTwoStopBits);
  EXPECT_EQ(p.DataBits(), dbSeven);
  EXPECT_EQ(p.EventChar(), ' ');
  EXPECT_TRUE(p.DiscardNull());
  EXPECT_EQ(p.Parity().Bits(), prMark);
  EXPECT_TRUE(p.Parity().Check());
  EXPECT_TRUE(p.Parity().Replace());
  EXPECT_EQ(p.Parity().ReplaceChar(), '?');
  EXPECT_EQ(p.Buffer().InputSize(), 4096);
  EXPECT_EQ(p.Buffer().OutputSize(), 512);
  EXPECT_EQ(p.Timeouts().ReadInterval(), 25);
  EXPECT_EQ(p.Timeouts().ReadTotalMultiplier(), 3);
  EXPECT_EQ(p.Timeouts().ReadTotalConstant(), 700);
  EXPECT_EQ(p.Timeouts().WriteTotalMultiplier(), 7);
  EXPECT_EQ(p.Timeouts().WriteTotalConstant(), 900);
  EXPECT_EQ(p.FlowControl().ControlRTS(), rtsToggle);
  EXPECT_EQ(p.FlowControl().ControlDTR(), dtrEnable);
  EXPECT_TRUE(p.FlowControl().DSRSensitivity());
  EXPECT_TRUE(p.FlowControl().OutCTSFlow());
  EXPECT_TRUE(p.FlowControl().OutDSRFlow());
  EXPECT_TRUE(p.FlowControl().TxContinueOnXoff());
  EXPECT_TRUE(p.FlowControl().XonXoffIn());
  EXPECT_FALSE(p.FlowControl().XonXoffOut());
  EXPECT_EQ(p.FlowControl().XonChar(), '\x01');
  EXPECT_EQ(p.FlowControl().XoffChar(), '\x02');
}

}  // namespace

TEST(TextForms, CharactersBooleansAndEnumerations) {
  EXPECT_EQ(CharToStr('A'), "A");
  EXPECT_EQ(CharToStr('\x7f'), "\x7f");
  EXPECT_EQ(CharToStr('\x11'), "#17");
  EXPECT_EQ(CharToStr(' '), "#32");
  EXPECT_EQ(CharToStr('\0'), "#0");
  EXPECT_EQ(CharToStr('\xe9'), "#233");
  EXPECT_EQ(StrToChar("#300"), static_cast<char>(44));
  EXPECT_EQ(StrToChar("#A"), '\0');
  EXPECT_EQ(StrToChar("#"), '#');
  EXPECT_EQ(StrToChar(""), '\0');
  EXPECT_EQ(StrToChar("xyz"), 'x');
  EXPECT_EQ(StrToChar("#17"), '\x11');
  for (int c = 0; c < 256; ++c) EXPECT_EQ(StrToChar(CharToStr(static_cast<char>(c))), static_cast<char>(c));

  EXPECT_TRUE(YesNoToBool("yEs"));
  EXPECT_FALSE(YesNoToBool("1"));
  EXPECT_FALSE(YesNoToBool("Y"));
  EXPECT_EQ(BoolToYesNo(true), "Yes");
  EXPECT_EQ(BoolToYesNo(false), "No");

  EXPECT_EQ(StrToBaudRate("57600"), br57600);
  EXPECT_EQ(StrToBaudRate("576 00"), br9600);
  EXPECT_EQ(StrToBaudRate("custom"), brCustom);
  EXPECT_EQ(BaudRateToStr(br256000), "256000");
  EXPECT_EQ(StrToStopBits("1.5"), sbOne5StopBits);
  EXPECT_EQ(StrToStopBits("3"), sbOneStopBit);
  EXPECT_EQ(StrToDataBits("6"), dbSix);
  EXPECT_EQ(StrToDataBits(""), dbEight);
  EXPECT_EQ(StrToParity("SPACE"), prSpace);
  EXPECT_EQ(StrToParity("?"), prNone);
  EXPECT_EQ(StrToFlowControl("hardware"), fcHardware);
  EXPECT_EQ(StrToFlowControl("x"), fcCustom);
  EXPECT_EQ(StrToRTS("toggle"), rtsToggle);
  EXPECT_EQ(StrToRTS("x"), rtsDisable);
  EXPECT_EQ(StrToDTR("Handshake"), dtrHandshake);
  EXPECT_EQ(StrToDTR("Toggle"), dtrDisable);
  EXPECT_EQ(FlowControlToStr(fcSoftware), "Software");
  EXPECT_EQ(RTSToStr(rtsHandshake), "Handshake");
}

TEST(IniStore, EveryGroupRoundTripsThroughAnIniFile) {
  TempDir dir;
  TIniFile ini(dir.Path() + "/port.ini");
  TComPort a;
  a.SetName("ComPort1");
  SetEverything(a);
  a.StoreIniFile(ini);
  EXPECT_EQ(ini.ReadString("ComPort1", "BaudRate", ""), "Custom");
  EXPECT_EQ(ini.ReadString("ComPort1", "FlowControl", ""), "Custom");
  EXPECT_EQ(ini.ReadString("ComPort1", "EventChar", ""), "#32");
  EXPECT_EQ(ini.ReadString("ComPort1", "FlowControl.XonXoffIn", ""), "Yes");

  TComPort b;
  b.SetName("ComPort1");
  b.SetStoredSettings(kAllGroups);
  b.LoadIniFile(ini);
  ExpectEverything(b);
}

TEST(IniStore, OnlyTheChosenGroupsAndNoCustomRateForAStandardRate) {
  TempDir dir;
  TIniFile ini(dir.Path() + "/port.ini");
  TComPort a;
  a.SetName("P");
  a.StoreIniFile(ini);  // [sgBasic], br9600
  EXPECT_EQ(ReadFile(ini.FileName()),
            "[P]\nPort=COM1\nBaudRate=9600\nStopBits=1\nDataBits=8\nParity=None\nFlowControl=None\n");

  // Missing keys keep the present values; CustomBaudRate defaults to 9600.
  TComPort b;
  b.SetName("Q");
  b.SetPort("ttyS4");
  b.SetCustomBaudRate(1234);
  std::ofstream(ini.FileName(), std::ios::app) << "[Q]\nBaudRate=custom\n";
  b.LoadIniFile(ini);
  EXPECT_EQ(b.Port(), "ttyS4");
  EXPECT_EQ(b.BaudRate(), brCustom);
  EXPECT_EQ(b.CustomBaudRate(), 9600);
}

TEST(IniStore, LoadingIntoAnOpenPortAppliesAsItGoes) {
  serialtest::PtyPair pty, other;
  ASSERT_TRUE(pty.ok() && other.ok());
  TempDir dir;
  TIniFile ini(dir.Path() + "/port.ini");
  ini.WriteString("Port", "BaudRate", "19200");
  ini.WriteString("Port", "Port", other.path);
  TComPort port;
  port.SetName("Port");
  port.SetPort(pty.path);
  port.Open();
  port.LoadIniFile(ini);
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.DevicePath(), other.path);  // the port name changed: closed and reopened
  const termios t = other.Settings();
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
}

TEST(RegistryStore, RoundTripAndMissingValues) {
  TempDir dir;
  TRegistry reg(dir.Path() + "/registry.ini");
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test\\Port", true));
  TComPort a;
  SetEverything(a);
  a.StoreRegistry(reg);
  TComPort b;
  b.SetStoredSettings(kAllGroups);
  b.LoadRegistry(reg);
  ExpectEverything(b);

  // A missing text reads as empty and takes its fallback; a missing integer raises.
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test\\Empty", true));
  TComPort c;
  c.SetStoredSettings(TComSettingGroups{sgBasic, sgOther});
  c.SetDataBits(dbSix);
  c.LoadRegistry(reg);
  EXPECT_EQ(c.DataBits(), dbEight);
  EXPECT_EQ(c.Port(), "");
  c.SetStoredSettings(TComSettingGroups{sgBuffer});
  EXPECT_THROW(c.LoadRegistry(reg), ERegistryException);
}

TEST(RegistryStore, KeysAndValueTypes) {
  TempDir dir;
  TRegistry reg(dir.Path() + "/sub/registry.ini");
  EXPECT_FALSE(reg.OpenKey("Software\\Nothing", false));
  ASSERT_TRUE(reg.OpenKey("Software\\Maker", true));
  ASSERT_TRUE(reg.OpenKey("Tool", true));  // relative to the open key
  EXPECT_EQ(reg.CurrentPath(), "Software\\Maker\\Tool");
  reg.WriteString("Name", "  padded  ");
  reg.WriteInteger("Count", -7);
  EXPECT_EQ(reg.ReadString("Name"), "  padded  ");
  EXPECT_EQ(reg.ReadInteger("Count"), -7);
  EXPECT_THROW(reg.ReadInteger("Name"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Count"), ERegistryException);
  EXPECT_EQ(reg.ReadString("Missing"), "");
  EXPECT_THROW(reg.WriteString("Bad", "two\nlines"), ERegistryException);
  reg.CloseKey();
  EXPECT_THROW(reg.WriteInteger("Count", 1), ERegistryException);
  EXPECT_TRUE(reg.KeyExists("\\Software\\Maker\\Tool"));
}

TEST(IniFileRules, WritesChangeOneKeyAndKeepEverythingElse) {
  TempDir dir;
  const std::string path = dir.Path() + "/settings.ini";
  std::ofstream(path) << "; a comment\r\n[Interface]\r\nPort=COM1\r\n# another\r\nBaud = 9600\r\n\r\n[Other]\r\nx=1\r\n";
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("interface", "BAUD", ""), "9600");
  ini.WriteString("INTERFACE", "port", "ttyUSB0");
  ini.WriteInteger("Interface", "Mode", 2);
  ini.WriteBool("New", "Flag", true);
  EXPECT_EQ(ReadFile(path),
            "; a comment\r\n[Interface]\r\nPort=ttyUSB0\r\n# another\r\nBaud = 9600\r\nMode=2\r\n\r\n"
            "[Other]\r\nx=1\r\n\r\n[New]\r\nFlag=1\r\n");
  EXPECT_TRUE(ini.ReadBool("New", "Flag", false));
  EXPECT_EQ(ini.ReadInteger("Interface", "Mode", 0), 2);
  EXPECT_EQ(ini.ReadInteger("Interface", "Port", 5), 5);  // not a number: the default
  ini.WriteString("Other", "hex", "$1F");
  EXPECT_EQ(ini.ReadInteger("Other", "hex", 0), 31);
  ini.WriteString("Other", "quoted", " spaced ");
  EXPECT_EQ(ini.ReadString("Other", "quoted", ""), " spaced ");

  // Every read consults the file.
  std::ofstream(path, std::ios::app) << "late=yes\r\n";
  EXPECT_EQ(ini.ReadString("New", "late", ""), "yes");

  // Nothing is left behind but the file itself; a value that cannot be stored changes nothing.
  const std::string before = ReadFile(path);
  EXPECT_THROW(ini.WriteString("Other", "bad", "a\nb"), platform::EIniFileError);
  EXPECT_THROW(ini.WriteString("Oth]er", "k", "v"), platform::EIniFileError);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(CountEntries(dir.Path()), 1);
}

// A settings file whose read fails (a disk error; no permission, which root never lacks).
class UnreadableIni : public TIniFile {
 public:
  using TIniFile::TIniFile;

 protected:
  int ReadFileData(std::string& data) const override {
    data.clear();
    return EIO;
  }
};

TEST(IniFileRules, AFileThatCannotBeReadIsNeverReplacedByAWrite) {
  TempDir dir;
  const std::string path = dir.Path() + "/settings.ini";
  const std::string text = "[Interface]\nPort=ttyUSB0\n[Scope]\nColor=255\n";
  std::ofstream(path) << text;
  UnreadableIni ini(path);
  EXPECT_EQ(ini.ReadString("Interface", "Port", "def"), "def");
  EXPECT_THROW(ini.WriteString("Interface", "Port", "ttyUSB1"), platform::EIniFileError);
  EXPECT_THROW(ini.WriteSection("New"), platform::EIniFileError);
  EXPECT_EQ(ReadFile(path), text);
  EXPECT_EQ(CountEntries(dir.Path()), 1);

  // A folder or a pipe in place of the file is no file of settings either.
  for (const bool folder : {true, false}) {
    const std::string odd = dir.Path() + (folder ? "/folder.ini" : "/pipe.ini");
    ASSERT_EQ(folder ? ::mkdir(odd.c_str(), 0700) : ::mkfifo(odd.c_str(), 0600), 0);
    TIniFile other(odd);
    EXPECT_EQ(other.ReadString("Interface", "Port", "def"), "def");
    EXPECT_THROW(other.WriteString("Interface", "Port", "ttyUSB1"), platform::EIniFileError);
  }

  if (::geteuid() != 0) {  // the same for a file the user may not read
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    TIniFile denied(path);
    EXPECT_THROW(denied.WriteString("Interface", "Port", "ttyUSB1"), platform::EIniFileError);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(ReadFile(path), text);
  }
}

TEST(IniFileRules, AMissingFileReadsAsDefaultsAndIsCreatedByAWrite) {
  TempDir dir;
  TIniFile ini(dir.Path() + "/new/folder/settings.ini");
  EXPECT_EQ(ini.ReadString("S", "K", "def"), "def");
  EXPECT_FALSE(ini.SectionExists("S"));
  ini.WriteString("S", "K", "v");
  EXPECT_EQ(ini.ReadString("S", "K", "def"), "v");
}

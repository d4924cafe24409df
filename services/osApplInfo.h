// What the program is and where it runs: its version information, the maker's contact data, the
// facts of the system (operating system, processor, memory, serial ports), and the About box with
// its hidden input that opens the hidden options.
#pragma once

#include <QPixmap>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/MyGlobalUtils.h"
#include "platform/Component.h"
#include "platform/SerialPorts.h"

class TAboutDlgForm;
class TosApplOptions;

using TNotifyEvent = std::function<void(TObject* Sender)>;

struct TFileVersionInfo {
  std::string FileTypeName;
  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;
  std::string InternalName;
  std::string LegalCopyRight;
  std::string LegalTradeMarks;
  std::string OriginalFileName;
  std::string ProductName;
  std::string ProductVersion;
  std::string Comments;
  std::string SpecialBuild;
  std::string PrivateBuild;
  std::string FileTypeText;
  bool IsDebug = false;
  bool IsPreRelease = false;
  bool IsSpecialBuild = false;
  bool IsPrivateBuild = false;
  bool IsPatched = false;
  bool IsInfoInferred = false;
};

// The operating system's and the processor's names.
struct TSysRegInfo {
  std::string WinProduktName;    // PRETTY_NAME of os-release
  std::string WinVersioNo;       // VERSION_ID of os-release
  std::string WinServReleaseNo;  // the kernel's version text (uname)
  std::string WinCurrBuildNo;    // the kernel's release (uname)
  std::string WinRegisteredOwner;
  std::string WinRegisteredOrga;
  std::string CentralProcessorName;  // the first "model name" of cpuinfo
};

// Bytes; 64 bits, as machines have more than 4 GB.
struct TComputerInfo {
  std::uint64_t TotalPhysMem = 0;
  std::uint64_t AvailPhysMem = 0;
};

// Where the system facts are read; tests point them at files of their own.
struct TSysInfoSources {
  std::string OsRelease = "/etc/os-release";
  std::string CpuInfo = "/proc/cpuinfo";
  std::string MemInfo = "/proc/meminfo";
  platform::TSerialPortRoots Ports;
};

// Version strings of the program (they are compiled in); the type name of FileName from its MIME
// description.
void ReadFileVersionInfo(const std::string& FileName, TFileVersionInfo& Info);
// Missing files or entries leave their fields empty.
void ReadSysRegInfo(TSysRegInfo& Info, const TSysInfoSources& Sources = {});
void ReadComputerInfo(TComputerInfo& Info, const TSysInfoSources& Sources = {});
// Replaces List with the machine's serial port names. False when List is nullptr.
bool ReadSerialCommPorts(TStringList* List, const TSysInfoSources& Sources = {});
// The text of a file type and subtype of the version information ("Application", "DLL", ...).
std::string FileTypeText(std::uint32_t FileType, std::uint32_t FileSubtype);

// The system's facts, read when the object is made; only the port list is read again on demand.
class TSysInfo : public TObject {
 public:
  explicit TSysInfo(const TSysInfoSources& Sources = {});

  // Reads every fact again from other places (for tests).
  void SetSources(const TSysInfoSources& Sources);

  const std::string& WinProduktName() const { return Reg_.WinProduktName; }
  const std::string& WinVersioNo() const { return Reg_.WinVersioNo; }
  const std::string& WinServReleaseNo() const { return Reg_.WinServReleaseNo; }
  const std::string& WinCurrBuildNo() const { return Reg_.WinCurrBuildNo; }
  const std::string& WinRegisteredOwner() const { return Reg_.WinRegisteredOwner; }
  const std::string& WinRegisteredOrga() const { return Reg_.WinRegisteredOrga; }
  const std::string& CentralProcessorName() const { return Reg_.CentralProcessorName; }
  std::uint64_t TotalPhysMem() const { return Mem_.TotalPhysMem; }
  std::uint64_t AvailPhysMem() const { return Mem_.AvailPhysMem; }
  const TStringList& SerialCommPorts() const { return Ports_; }

  // Adapters come and go: re-reads the port list in place.
  void UpdateSerialCommPorts();

 private:
  TSysInfoSources Sources_;
  TSysRegInfo Reg_;
  TComputerInfo Mem_;
  TStringList Ports_;
};

class TApplInfo : public platform::TComponent {
 public:
  explicit TApplInfo(platform::TComponent* AOwner = nullptr);
  ~TApplInfo() override;

  TAboutDlgForm* AboutForm() const { return AboutForm_.get(); }
  TFileVersionInfo& VersionInfo() { return VersionInfo_; }
  const TFileVersionInfo& VersionInfo() const { return VersionInfo_; }

  const TStringList& CompanyAddr() const { return CompanyAddr_; }
  void SetCompanyAddr(const TStringList& Value) { CompanyAddr_ = Value; }
  const std::string& CompanyEMail() const { return CompanyEMail_; }
  void SetCompanyEMail(const std::string& Value);
  const std::string& CompanyWebAdr() const { return CompanyWebAdr_; }
  void SetCompanyWebAdr(const std::string& Value);
  const QPixmap& CompanyLogo() const { return CompanyLogo_; }
  // A null picture is ignored; the About box shows a copy.
  void SetCompanyLogo(const QPixmap& Value);

  bool UseExtProjSettings() const { return UseExtProjSettings_; }
  void SetUseExtProjSettings(bool Value) { UseExtProjSettings_ = Value; }
  const std::string& ExtCompanyName() const { return ExtCompanyName_; }
  void SetExtCompanyName(const std::string& Value) { ExtCompanyName_ = Value; }
  const std::string& ExtProductName() const { return ExtProductName_; }
  void SetExtProductName(const std::string& Value) { ExtProductName_ = Value; }
  const std::string& ExtDescription() const { return ExtDescription_; }
  void SetExtDescription(const std::string& Value) { ExtDescription_ = Value; }
  const std::string& ExtCopyRight() const { return ExtCopyRight_; }
  void SetExtCopyRight(const std::string& Value) { ExtCopyRight_ = Value; }

  TSysInfo* SystemInfo() const { return SystemInfo_.get(); }

  // Typed in the About box (exactly, from its opening), it opens the hidden options.
  const std::string& HiddenInputText() const { return HiddenInputText_; }
  void SetHiddenInputText(const std::string& Value);
  TosApplOptions* ApplOptions() const { return ApplOptions_; }
  void SetApplOptions(TosApplOptions* Value);
  // Raised after the hidden input when there are no ApplOptions.
  TNotifyEvent OnHiddenOptSetReq;

  // Fills the About box and shows it; true when it closed with OK. A hidden input closes it
  // first and runs the hidden options after.
  bool ShowAbout();

  std::string GetCompanyName() const { return VersionInfo_.CompanyName; }
  std::string GetFileDescription() const { return VersionInfo_.FileDescription; }
  std::string GetProductName() const { return VersionInfo_.ProductName; }
  // Of a four-part FileVersion a.b.c.d: 0 "a", 1 "a.b", 2 "a.b.c", 3 "a.b.c.d",
  // 4 "a.b.c (Build: d)"; empty for any other kind or version.
  std::string GetVersionText(unsigned char Kind) const;

 protected:
  void Notification(platform::TComponent* Component, platform::TOperation Operation) override;

 private:
  void FillAbout();
  void HiddenInputDetected();

  std::unique_ptr<TAboutDlgForm> AboutForm_;
  TFileVersionInfo VersionInfo_;
  TStringList CompanyAddr_;
  std::string CompanyEMail_ = "mailto:";
  QPixmap CompanyLogo_;
  std::string CompanyWebAdr_ = "http://";
  std::unique_ptr<TSysInfo> SystemInfo_;
  std::string HiddenInputText_ = "#&";
  TosApplOptions* ApplOptions_ = nullptr;
  bool UseExtProjSettings_ = false;
  std::string ExtCompanyName_, ExtProductName_, ExtDescription_, ExtCopyRight_;
  bool HiddenOptionsRequested_ = false;
};

// The maker's contact data and logo as the program's own information component carries them.
void SetMakerContactData(TApplInfo& Info);

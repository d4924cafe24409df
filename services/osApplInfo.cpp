#include "services/osApplInfo.h"

#include <sys/utsname.h>

#include <QCoreApplication>
#include <QFont>
#include <QMimeDatabase>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "kvx7_version.h"
#include "services/QtText.h"
#include "services/osApplInfoDlg.h"
#include "services/osApplOptions.h"
#include "services/osDialogHooks.h"
#include "services/osFormPlacement.h"
#include "services/osServiceFonts.h"

namespace {

bool ReadLines(const std::string& fileName, std::vector<std::string>& lines) {
  std::ifstream f(fileName);
  if (!f) return false;
  std::string line;
  while (std::getline(f, line)) lines.push_back(line);
  return true;
}

// os-release values may be quoted, with backslash escapes inside double quotes.
std::string OsReleaseValue(const std::string& raw) {
  const std::string v = Trim(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    std::string out;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
      if (v.front() == '"' && v[i] == '\\' && i + 2 < v.size()) ++i;
      out += v[i];
    }
    return out;
  }
  return v;
}

// "MemTotal:   16318788 kB" gives 16318788 * 1024; false when the line is not that key.
bool MemInfoBytes(const std::string& line, const char* key, std::uint64_t& bytes) {
  const std::string prefix = std::string(key) + ":";
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  std::istringstream in(line.substr(prefix.size()));
  unsigned long long value = 0;
  std::string unit;
  if (!(in >> value)) return false;
  in >> unit;
  bytes = unit == "kB" ? static_cast<std::uint64_t>(value) * 1024u : static_cast<std::uint64_t>(value);
  return true;
}

QPixmap DrawMakerLogo() {
  QPixmap logo(120, 60);
  logo.fill(Qt::transparent);
  QPainter p(&logo);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 70, 140));
  p.drawRoundedRect(QRectF(2, 2, 116, 56), 8, 8);
  p.setPen(Qt::white);
  p.setFont(ArialFont(30, true));
  p.drawText(logo.rect(), Qt::AlignCenter, QStringLiteral("DRUV"));
  return logo;
}

}  // namespace

std::string FileTypeText(std::uint32_t FileType, std::uint32_t FileSubtype) {
  static const char* const drivers[] = {
      "Unknown Driver", "Printer Driver", "Keyboard Driver", "Language Driver",
      "Display Driver", "Mouse Driver", "Network Driver", "System Driver",
      "InstallableDriver", "Sound Driver", "Communications Driver"};
  static const char* const fonts[] = {"Unknown Font", "Raster Font", "Vector Font", "Truetype Font"};
  switch (FileType) {
    case 0: return "Unknown";
    case 1: return "Application";
    case 2: return "DLL";
    case 3: return FileSubtype <= 10 ? drivers[FileSubtype] : "";
    case 4: return FileSubtype <= 3 ? fonts[FileSubtype] : "";
    case 5: {
      char hex[9];
      std::snprintf(hex, sizeof hex, "%.8X", FileSubtype);
      return std::string("Virtual Defice Identifier = ") + hex;
    }
    case 7: return "Static-link Library";
    default: return "";
  }
}

void ReadFileVersionInfo(const std::string& FileName, TFileVersionInfo& Info) {
  Info = TFileVersionInfo{};
  if (!FileName.empty()) {
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(FileNameFromBytes(FileName));
    Info.FileTypeName = ToAnsi(mime.comment().left(80));
  }
  Info.CompanyName = KVX7_COMPANY_NAME;
  Info.FileDescription = KVX7_FILE_DESCRIPTION;
  Info.FileVersion = KVX7_FILE_VERSION;
  Info.InternalName = KVX7_INTERNAL_NAME;
  Info.LegalCopyRight = KVX7_LEGAL_COPYRIGHT;
  Info.OriginalFileName = KVX7_ORIGINAL_FILE_NAME;
  Info.ProductName = KVX7_PRODUCT_NAME;
  Info.ProductVersion = KVX7_PRODUCT_VERSION;
  Info.FileTypeText = FileTypeText(1, 0);
#ifndef NDEBUG
  Info.IsDebug = true;
#endif
}

void ReadSysRegInfo(TSysRegInfo& Info, const TSysInfoSources& Sources) {
  Info = TSysRegInfo{};
  std::vector<std::string> lines;
  if (!ReadLines(Sources.OsRelease, lines) && Sources.OsRelease == TSysInfoSources{}.OsRelease)
    ReadLines("/usr/lib/os-release", lines);  // where systems without /etc/os-release keep it
  for (const std::string& line : lines) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq));
    if (key == "PRETTY_NAME") Info.WinProduktName = OsReleaseValue(line.substr(eq + 1));
    else if (key == "VERSION_ID") Info.WinVersioNo = OsReleaseValue(line.substr(eq + 1));
  }
  utsname uts{};
  if (::uname(&uts) == 0) {
    Info.WinCurrBuildNo = uts.release;
    Info.WinServReleaseNo = uts.version;
  }
  lines.clear();
  ReadLines(Sources.CpuInfo, lines);
  for (const std::string& line : lines) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || Trim(line.substr(0, colon)) != "model name") continue;
    Info.CentralProcessorName = Trim(line.substr(colon + 1));
    break;
  }
}

void ReadComputerInfo(TComputerInfo& Info, const TSysInfoSources& Sources) {
  Info = TComputerInfo{};
  std::vector<std::string> lines;
  ReadLines(Sources.MemInfo, lines);
  for (const std::string& line : lines) {
    MemInfoBytes(line, "MemTotal", Info.TotalPhysMem);
    MemInfoBytes(line, "MemAvailable", Info.AvailPhysMem);
  }
}

bool ReadSerialCommPorts(TStringList* List, const TSysInfoSources& Sources) {
  if (!List) return false;
  *List = platform::ListSerialPorts(Sources.Ports);
  return true;
}

// ---- TSysInfo -----------------------------------------------------------------------------------

TSysInfo::TSysInfo(const TSysInfoSources& Sources) { SetSources(Sources); }

void TSysInfo::SetSources(const TSysInfoSources& Sources) {
  Sources_ = Sources;
  ReadSysRegInfo(Reg_, Sources_);
  ReadComputerInfo(Mem_, Sources_);
  UpdateSerialCommPorts();
}

void TSysInfo::UpdateSerialCommPorts() { ReadSerialCommPorts(&Ports_, Sources_); }

// ---- TApplInfo ----------------------------------------------------------------------------------

TApplInfo::TApplInfo(platform::TComponent* AOwner)
    : platform::TComponent(AOwner),
      AboutForm_(std::make_unique<TAboutDlgForm>()),
      SystemInfo_(std::make_unique<TSysInfo>()) {
  AboutForm_->HiddenText = HiddenInputText_;
  AboutForm_->EMailLabel->setText(QString::fromStdString(CompanyEMail_));
  AboutForm_->WebLabel->setText(QString::fromStdString(CompanyWebAdr_));
  const QString program = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
  ReadFileVersionInfo(FileNameToBytes(program), VersionInfo_);
}

TApplInfo::~TApplInfo() { SetApplOptions(nullptr); }

void TApplInfo::SetCompanyEMail(const std::string& Value) {
  CompanyEMail_ = Value;
  AboutForm_->EMailLabel->setText(FromAnsi(Value));
}

void TApplInfo::SetCompanyWebAdr(const std::string& Value) {
  CompanyWebAdr_ = Value;
  AboutForm_->WebLabel->setText(FromAnsi(Value));
}

void TApplInfo::SetCompanyLogo(const QPixmap& Value) {
  if (Value.isNull()) return;
  CompanyLogo_ = Value;
  AboutForm_->CompanyLogo->setPixmap(CompanyLogo_);
  AboutForm_->CompanyLogo->setFixedSize(CompanyLogo_.size());
}

void TApplInfo::SetHiddenInputText(const std::string& Value) {
  HiddenInputText_ = Value;
  AboutForm_->HiddenText = Value;
}

void TApplInfo::SetApplOptions(TosApplOptions* Value) {
  if (ApplOptions_ == Value) return;
  if (ApplOptions_) ApplOptions_->RemoveFreeNotification(this);
  ApplOptions_ = Value;
  if (ApplOptions_) ApplOptions_->FreeNotification(this);
}

void TApplInfo::Notification(platform::TComponent* Component, platform::TOperation Operation) {
  platform::TComponent::Notification(Component, Operation);
  if (Operation == platform::TOperation::opRemove && Component == ApplOptions_) ApplOptions_ = nullptr;
}

std::string TApplInfo::GetVersionText(unsigned char Kind) const {
  TStringList parts(1);
  for (char ch : VersionInfo_.FileVersion) {
    if (ch == '.') parts.emplace_back();
    else parts.back() += ch;
  }
  if (parts.size() != 4 || Kind > 4) return {};
  switch (Kind) {
    case 0: return parts[0];
    case 1: return parts[0] + "." + parts[1];
    case 2: return parts[0] + "." + parts[1] + "." + parts[2];
    case 3: return VersionInfo_.FileVersion;
    default: return parts[0] + "." + parts[1] + "." + parts[2] + " (Build: " + parts[3] + ")";
  }
}

void TApplInfo::FillAbout() {
  TAboutDlgForm& f = *AboutForm_;
  f.AdrLabel->clear();
  f.MemoProduktDes->clear();
  TStringList addr;
  std::string company;
  if (UseExtProjSettings_) {
    f.LabProdukt->setText(FromAnsi(ExtProductName_));
    f.setWindowTitle(FromAnsi("Info about " + ExtProductName_));
    f.LabCopyRight->setText(ExtCopyRight_.empty() ? QString() : FromAnsi("Copyright \xA9 " + ExtCopyRight_));
    f.MemoProduktDes->appendPlainText(FromAnsi(ExtDescription_));
    company = ExtCompanyName_;
  } else {
    f.LabProdukt->setText(FromAnsi(VersionInfo_.ProductName));
    f.setWindowTitle(FromAnsi("Info about " + VersionInfo_.ProductName));
    f.LabCopyRight->setText(FromAnsi("Copyright \xA9 " + VersionInfo_.LegalCopyRight));
    f.MemoProduktDes->appendPlainText(FromAnsi(VersionInfo_.FileDescription));
    company = VersionInfo_.CompanyName;
  }
  if (!company.empty()) addr.push_back(company);
  f.LabVersion->setText(FromAnsi("Version " + GetVersionText(4)));
  f.EMailLabel->setText(FromAnsi(CompanyEMail_));
  f.WebLabel->setText(FromAnsi(CompanyWebAdr_));
  const TSysInfo& sys = *SystemInfo_;
  f.LabelSysInfo->setText(FromAnsi(sys.WinProduktName() + "  (Build " + sys.WinCurrBuildNo() + ":  " +
                                   sys.WinServReleaseNo() + ")"));
  f.LabelMemInfo->setText(QStringLiteral("Total Physical Memory: %1 KB  Free: %2 KB")
                              .arg(sys.TotalPhysMem() / 1024u)
                              .arg(sys.AvailPhysMem() / 1024u));
  f.HiddenText = HiddenInputText_;
  f.OnHiddenInput = [this](TObject*) { HiddenInputDetected(); };
  addr.insert(addr.end(), CompanyAddr_.begin(), CompanyAddr_.end());
  std::string text;
  for (const std::string& line : addr) text += (text.empty() ? "" : "\n") + line;
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  f.AdrLabel->setText(FromAnsi(text));
  f.FormShow();
  f.FitToContents();
  CentreOnActiveWindow(&f);
}

void TApplInfo::HiddenInputDetected() {
  if (!ApplOptions_ && !OnHiddenOptSetReq) return;
  // The hidden options open once the About box's own modal loop has ended.
  HiddenOptionsRequested_ = true;
  AboutForm_->reject();
}

bool TApplInfo::ShowAbout() {
  FillAbout();
  HiddenOptionsRequested_ = false;
  const bool ok = ExecModal(AboutForm_.get()) == QDialog::Accepted;
  if (HiddenOptionsRequested_) {
    HiddenOptionsRequested_ = false;
    if (ApplOptions_) ApplOptions_->Execute();
    else if (OnHiddenOptSetReq) OnHiddenOptSetReq(this);
  }
  return ok;
}

void SetMakerContactData(TApplInfo& Info) {
  Info.SetCompanyAddr({"Example Street 1", "12345 Example Town", "Phone +00 123 4567-0",
                       "Fax +00 123 4567-99"});
  Info.SetCompanyEMail("mailto:info@example.com");
  Info.SetCompanyWebAdr("https://www.example.com");
  Info.SetCompanyLogo(DrawMakerLogo());
  Info.SetUseExtProjSettings(false);
}

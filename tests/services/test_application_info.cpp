// Application and system information and the About box: version texts, the system facts from
// their Linux sources, the box's lines, its links and its hidden input.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "ServicesTestUtil.h"
#include "kvx7_version.h"
#include "services/osApplInfo.h"
#include "services/osApplInfoDlg.h"
#include "services/osApplOptions.h"
#include "services/osApplOptionsDlg.h"

namespace {

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QStringList urls;
 public slots:
  void open(const QUrl& url) { urls << url.toString(); }
};

TSysInfoSources FakeSystem(const testutil::TempDir& dir) {
  svctest::WriteFile(dir.File("os-release"),
                     "NAME=\"Test OS\"\nPRETTY_NAME=\"Test OS 12 (quiet)\"\nVERSION_ID=\"12\"\n");
  svctest::WriteFile(dir.File("cpuinfo"),
                     "processor\t: 0\nmodel name\t: Test CPU @ 3.00GHz\n\nprocessor\t: 1\nmodel name\t: Other\n");
  // 8 GiB total, 6 GiB free: beyond 32 bits in bytes.
  svctest::WriteFile(dir.File("meminfo"),
                     "MemTotal:        8388608 kB\nMemFree:   1 kB\nMemAvailable:    6291456 kB\n");
  TSysInfoSources s;
  s.OsRelease = dir.File("os-release");
  s.CpuInfo = dir.File("cpuinfo");
  s.MemInfo = dir.File("meminfo");
  s.Ports.sysClassTty = dir.File("nosys");
  s.Ports.dev = dir.File("nodev");
  s.Ports.ports = dir.File("ports");
  return s;
}

}  // namespace

TEST(ApplicationInfo, VersionTextsOfAFourPartVersionOnly) {
  TApplInfo info;
  EXPECT_EQ(info.GetVersionText(3), KVX7_FILE_VERSION);
  EXPECT_EQ(info.GetProductName(), "KVX7");
  EXPECT_EQ(info.GetCompanyName(), "DRUV");
  EXPECT_EQ(info.VersionInfo().FileTypeText, "Application");
  info.VersionInfo().FileVersion = "1.2.3.4";
  const char* expected[] = {"1", "1.2", "1.2.3", "1.2.3.4", "1.2.3 (Build: 4)", ""};
  for (unsigned char kind = 0; kind <= 5; ++kind) EXPECT_EQ(info.GetVersionText(kind), expected[kind]);
  info.VersionInfo().FileVersion = "1.2.3";
  for (unsigned char kind = 0; kind <= 4; ++kind) EXPECT_EQ(info.GetVersionText(kind), "");
  EXPECT_EQ(FileTypeText(3, 10), "Communications Driver");
  EXPECT_EQ(FileTypeText(5, 0x1A), "Virtual Defice Identifier = 0000001A");
  EXPECT_EQ(FileTypeText(6, 0), "");
}

TEST(ApplicationInfo, SystemFactsComeFromOsReleaseCpuinfoMeminfoAndThePorts) {
  testutil::TempDir dir;
  TSysInfoSources src = FakeSystem(dir);
  TSysInfo sys(src);
  EXPECT_EQ(sys.WinProduktName(), "Test OS 12 (quiet)");
  EXPECT_EQ(sys.WinVersioNo(), "12");
  EXPECT_EQ(sys.CentralProcessorName(), "Test CPU @ 3.00GHz");
  EXPECT_FALSE(sys.WinCurrBuildNo().empty());
  EXPECT_EQ(sys.TotalPhysMem(), 8ull << 30);
  EXPECT_EQ(sys.AvailPhysMem(), 6ull << 30);
  EXPECT_EQ(sys.WinRegisteredOwner(), "");
  EXPECT_TRUE(sys.SerialCommPorts().empty());
  // A port that appears later is found by the update.
  ASSERT_EQ(::mkdir(src.Ports.ports.c_str(), 0755), 0);
  ASSERT_EQ(::symlink("/dev/null", (src.Ports.ports + "/modsim").c_str()), 0);
  sys.UpdateSerialCommPorts();
  EXPECT_EQ(sys.SerialCommPorts(), TStringList{"modsim"});
  EXPECT_FALSE(ReadSerialCommPorts(nullptr, src));
  // Missing files leave the facts empty.
  TSysInfoSources none;
  none.OsRelease = none.CpuInfo = none.MemInfo = dir.File("absent");
  TSysInfo empty(none);
  EXPECT_EQ(empty.WinProduktName(), "");
  EXPECT_EQ(empty.TotalPhysMem(), 0u);
}

TEST(AboutBox, ShowsVersionSystemLineMemoryAndTheMakersData) {
  testutil::TempDir dir;
  TApplInfo info;
  info.SystemInfo()->SetSources(FakeSystem(dir));
  SetMakerContactData(info);
  TAboutDlgForm* f = info.AboutForm();
  svctest::ModalAnswer answer([](QDialog* d) { return d->result(); });
  info.ShowAbout();
  const std::string v = KVX7_FILE_VERSION;
  const std::size_t last = v.rfind('.');
  EXPECT_EQ(f->LabVersion->text().toStdString(),
            "Version " + v.substr(0, last) + " (Build: " + v.substr(last + 1) + ")");
  EXPECT_EQ(f->windowTitle(), "Info about KVX7");
  EXPECT_EQ(f->LabProdukt->text(), "KVX7");
  EXPECT_EQ(f->LabCopyRight->text(), QString::fromUtf8("Copyright \u00a9 " KVX7_LEGAL_COPYRIGHT));
  EXPECT_TRUE(f->LabelSysInfo->text().startsWith("Test OS 12 (quiet)  (Build "));
  EXPECT_EQ(f->LabelMemInfo->text(), "Total Physical Memory: 8388608 KB  Free: 6291456 KB");
  EXPECT_TRUE(f->AdrLabel->text().startsWith("DRUV\nExample Street 1\n"));
  EXPECT_EQ(f->EMailLabel->text(), "mailto:info@example.com");

  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("mailto", &catcher, "open");
  QDesktopServices::setUrlHandler("https", &catcher, "open");
  f->show();
  QTest::mouseClick(f->EMailLabel, Qt::LeftButton);
  QTest::mouseClick(f->WebLabel, Qt::LeftButton);
  f->hide();
  QDesktopServices::unsetUrlHandler("mailto");
  QDesktopServices::unsetUrlHandler("https");
  EXPECT_EQ(catcher.urls, (QStringList{"mailto:info@example.com", "https://www.example.com"}));

  // A project of another name: no copyright prefix without a copyright text.
  info.SetUseExtProjSettings(true);
  info.SetExtProductName("Other");
  info.ShowAbout();
  EXPECT_EQ(f->LabCopyRight->text(), "");
  EXPECT_EQ(f->windowTitle(), "Info about Other");
}

TEST(AboutBox, HiddenInputOpensTheHiddenOptionsOnceTheBoxHasClosed) {
  TApplInfo info;
  TosApplOptions opt;
  opt.Options().Add()->Name = "DRUV";
  info.SetApplOptions(&opt);
  info.SetHiddenInputText("#&KMPF");
  QString typed;
  bool aboutOpen = false, optionsWhileAboutOpen = false;
  int optionsShown = 0;
  svctest::ModalAnswer answer([&](QDialog* d) {
    if (auto* about = qobject_cast<TAboutDlgForm*>(d)) {
      aboutOpen = true;
      about->show();
      about->BBtnOK->setFocus();
      QTest::keyClicks(about->BBtnOK, typed);
      about->hide();
      aboutOpen = false;
      return about->result();
    }
    EXPECT_TRUE(qobject_cast<TApplOptionsDlgForm*>(d));
    optionsWhileAboutOpen |= aboutOpen;
    ++optionsShown;
    return int(QDialog::Rejected);
  });
  typed = "x#&KMPF";
  info.ShowAbout();
  EXPECT_EQ(optionsShown, 0);
  typed = "#&KMP";
  info.ShowAbout();
  EXPECT_EQ(optionsShown, 0);
  typed = "#&KMPF";
  EXPECT_FALSE(info.ShowAbout());
  EXPECT_EQ(optionsShown, 1);
  EXPECT_FALSE(optionsWhileAboutOpen);

  // Without hidden options the request goes to the event; without either nothing happens.
  info.SetApplOptions(nullptr);
  int requests = 0;
  info.OnHiddenOptSetReq = [&](TObject* sender) {
    EXPECT_EQ(sender, &info);
    ++requests;
  };
  info.ShowAbout();
  EXPECT_EQ(requests, 1);
  info.OnHiddenOptSetReq = nullptr;
  info.ShowAbout();
  EXPECT_EQ(optionsShown, 1);
}

TEST(AboutBox, OptionsThatGoAwayAreForgotten) {
  TApplInfo info;
  {
    TosApplOptions opt;
    info.SetApplOptions(&opt);
  }
  EXPECT_EQ(info.ApplOptions(), nullptr);
}

#include "test_application_info.moc"

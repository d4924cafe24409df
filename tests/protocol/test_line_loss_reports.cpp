// Why a connect failed, and the report of polling that stops by itself: a line that hung up is
// closed and reported once, a module that does not answer is reported with the port kept open.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "ModesTestUtil.h"
#include "model/FileTestUtil.h"

namespace prottest {
namespace {

using namespace std::chrono_literals;

class LineLossReports : public ModuleFixture {
 protected:
  void Watch() {
    prot->OnModuleLost = [this](TObject* sender, TLineLossKind kind, const std::string& reason) {
      EXPECT_EQ(sender, prot.get());
      kinds.push_back(kind);
      reasons.push_back(reason);
    };
  }
  std::vector<TLineLossKind> kinds;
  std::vector<std::string> reasons;
};

TEST_F(LineLossReports, ConnectTellsWhyItFailed) {
  StartModule();
  // Another program holds the port.
  const int other = ::open(sim->PortPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(prot->Connect());
  EXPECT_NE(prot->LastConnectError().find("busy"), std::string::npos) << prot->LastConnectError();
  EXPECT_NE(prot->LastConnectError().find("Unable to open com port"), std::string::npos);
  ::close(other);
  EXPECT_TRUE(prot->Connect());
  EXPECT_EQ(prot->LastConnectError(), "");
  prot->ResetModuleData();
  // No such device.
  prot->SetPortName("/dev/ttyKVXnone");
  EXPECT_FALSE(prot->Connect());
  EXPECT_NE(prot->LastConnectError().find("not there"), std::string::npos) << prot->LastConnectError();
}

TEST_F(LineLossReports, AHangUpWhileTheMonitorPollsIsReportedOnceAndLetsThePortGo) {
  StartModule();
  RecordingMonitor monitor;
  prot->SetMonitor(&monitor);
  Identify();
  Watch();
  prot->SetOperatingMode(2);
  ASSERT_TRUE(PumpFor([&] { return monitor.samples.size() >= 4; }));
  sim->Unplug();
  ASSERT_TRUE(PumpFor([&] { return !kinds.empty(); }));
  EXPECT_EQ(kinds[0], llkHangUp);
  EXPECT_NE(reasons[0].find("hung up"), std::string::npos);
  EXPECT_FALSE(prot->PortOpen());
  EXPECT_FALSE(prot->ModuleLoaded());
  EXPECT_EQ(prot->PollErrorState(), 1);
  PumpFor([] { return false; }, 800ms);
  EXPECT_EQ(kinds.size(), 1u);
  prot->SetMonitor(nullptr);
}

TEST_F(LineLossReports, ASilentModuleIsReportedOncePerStopAndKeepsThePort) {
  StartModule();
  RecordingMonitor monitor;
  prot->SetMonitor(&monitor);
  Identify();
  Watch();
  prot->SetOperatingMode(2);
  sim->SetSilent(true);
  ASSERT_TRUE(PumpFor([&] { return !kinds.empty(); }));
  EXPECT_EQ(kinds[0], llkNoAnswer);
  EXPECT_TRUE(prot->PortOpen());
  EXPECT_FALSE(prot->PollTimer()->Running());
  // Polling again (Space) and stopping again: a new report.
  sim->SetSilent(false);
  prot->SetOperatingMode(2);
  const std::size_t before = monitor.samples.size();
  ASSERT_TRUE(PumpFor([&] { return monitor.samples.size() > before; }));
  sim->SetSilent(true);
  ASSERT_TRUE(PumpFor([&] { return kinds.size() == 2; }));
  EXPECT_EQ(kinds[1], llkNoAnswer);
  prot->SetOperatingMode(0);
  prot->SetMonitor(nullptr);
}

TEST_F(LineLossReports, AScopePollOnAHungUpLineFailsAlsoWithoutChannels) {
  StartModule();
  RecordingScope scope;  // no channel bound: nothing would be sent
  prot->SetScope(&scope);
  Identify();
  Watch();
  prot->SetOperatingMode(3);
  EXPECT_TRUE(prot->PollScopeData());
  sim->Unplug();
  EXPECT_TRUE(PumpFor([&] { return prot->LineHungUp(); }));
  EXPECT_FALSE(prot->PollScopeData());
  prot->ReportPollStop();
  prot->ReportPollStop();
  ASSERT_EQ(kinds.size(), 1u);
  EXPECT_EQ(kinds[0], llkHangUp);
  EXPECT_FALSE(prot->PortOpen());
  prot->SetScope(nullptr);
}

// Work that finds the line hung up ends there and blames nothing else: a download sends nothing
// more and names no parameter, an identification looks for no fallback listing; the report that
// follows is of the hang-up, also after an earlier stop was reported.
TEST_F(LineLossReports, WorkThatLosesTheLineEndsThereAndBlamesNothingElse) {
  StartModule();
  const std::string id = Identify();
  Watch();
  prot->ReportPollStop();  // a stop reported before

  int downloadErrors = 0, readoutErrors = 0;
  prot->OnParaDownloadError = [&](TObject*, TStringList&) { ++downloadErrors; };
  prot->OnReadoutError = [&](TObject*, const std::string&, TStringList&) { ++readoutErrors; };
  prot->OnProgress = [&](TObject*, TProgressStep step, int pos, int, bool&) {
    if ((step == pgsWriteParameters && pos == 2) || step == pgsReadListing) sim->Unplug();
  };
  filetest::TempDir dir;
  filetest::WriteAll(dir.File("p.par"), id + "\n##\nGAIN 5\nOFFSET 3\nRANGE 4\nPRESSMAX 100\n##\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(prot->DownloadParameterText(dir.File("p.par"), false), 4);
  EXPECT_LT(MsSince(start), 3000);
  EXPECT_TRUE(prot->LastDownload().LineLost);
  EXPECT_EQ(prot->LastDownload().Done, 2);
  EXPECT_EQ(downloadErrors, 0);
  prot->ReportPollStop();
  ASSERT_EQ(kinds.size(), 2u);
  EXPECT_EQ(kinds[1], llkHangUp);
  EXPECT_FALSE(prot->PortOpen());

  ASSERT_TRUE(sim->PlugIn());
  prot->SetPortName(sim->PortPath());
  ASSERT_TRUE(prot->Connect());
  std::string ignored;
  EXPECT_FALSE(prot->IdentifyModule(ignored));
  EXPECT_EQ(readoutErrors, 0);
}

// Lost while the module is read again after the writes (a ".par" with a value the module refuses,
// a ".kvx" with a name it does not know): the lost line again, not the file.
TEST_F(LineLossReports, ALineLostWhileTheModuleIsReadAgainBlamesNotTheFile) {
  StartModule();
  const std::string id = Identify();
  int downloadErrors = 0;
  prot->OnParaDownloadError = [&](TObject*, TStringList&) { ++downloadErrors; };
  bool written = false;
  prot->OnProgress = [&](TObject*, TProgressStep step, int pos, int max, bool&) {
    written = written || (step == pgsWriteParameters && pos == max);
    if (written && step == pgsReadParameters && !sim->Unplugged()) sim->Unplug();
  };
  filetest::TempDir dir;
  ASSERT_TRUE(prot->SaveParameterXml(dir.File("p.kvx")));
  std::string kvx = filetest::ReadAll(dir.File("p.kvx"));
  kvx.replace(kvx.find("Name=\"PRESSMAX\""), 15, "Name=\"GONE\"");
  filetest::WriteAll(dir.File("p.kvx"), kvx);
  filetest::WriteAll(dir.File("p.par"), id + "\n##\nGAIN 5\nOFFSET 3\n##\n");
  for (const char* file : {"p.par", "p.kvx"}) {
    const bool xml = std::string(file) == "p.kvx";
    sim->Module().SetCommandError("GAIN", !xml);  // refused, and so a failed download
    EXPECT_EQ(xml ? prot->DownloadParameterXml(dir.File(file)) : prot->DownloadParameterText(dir.File(file), false), 4);
    EXPECT_TRUE(sim->Unplugged()) << file;
    EXPECT_TRUE(prot->LastDownload().LineLost) << file;
    EXPECT_EQ(downloadErrors, 0) << file;
    prot->ReportPollStop();
    ASSERT_TRUE(sim->PlugIn());
    prot->SetPortName(sim->PortPath());
    sim->Module().SetCommandError("GAIN", false);
    written = false;
    Identify();
  }
}

}  // namespace
}  // namespace prottest

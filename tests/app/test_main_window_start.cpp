// The main window's start: what a fresh or a prepared profile gives, ports by name, the caption,
// the window's place, the latency check, and closing with every thread ended.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QWindow>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "views/osDRUVMonitor.h"
#include "views/osDRUVScope.h"
#include "views/osDRUVTerminal.h"

namespace mftest {
namespace {

class MainWindowStart : public MainFormFixture {};

// Threads of this process, less Qt's own pooled workers (they end on their own after a while).
int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      if (name != "Thread (pooled)") ++n;
    }
    closedir(d);
  }
  return n;
}

TEST_F(MainWindowStart, FreshProfileGetsOnlyTheEmptyPortAndTheDefaults) {
  StartForm();
  EXPECT_TRUE(std::filesystem::is_directory(profile.Folder()));
  EXPECT_EQ(profile.ReadIni(), "[Interface]\nPort=\n");
  EXPECT_EQ(form->NbMain->currentIndex(), 0);
  EXPECT_EQ(form->PanelText(0).toStdString(), "port closed");
  EXPECT_EQ(form->PanelText(2).toStdString(), "FDX");
  EXPECT_EQ(form->KVXModProt->TransferMode(), tmFullDuplex);
  EXPECT_EQ(form->KVXModProt->FixBaudrate(), mb9600);
  EXPECT_FALSE(form->IdentifyAct->isEnabled());
  EXPECT_FALSE(form->PrintAct->isEnabled());
  EXPECT_FALSE(form->ClearTerminalAct->isEnabled());
  EXPECT_TRUE(form->MMILoadOfflineCmdList->isEnabled());
  EXPECT_FALSE(form->MMIViewKVXFile->isVisible());
  EXPECT_TRUE(messages.Shown.empty());
}

TEST_F(MainWindowStart, PreparedProfileReachesProtocolScopeAndMonitor) {
  const std::string ini =
      "[Interface]\nPort=\nTranferMode=1\nFixBR=57600\n"
      "[Scope]\nCha1Color=255\nCha2Color=65280\nCha3Color=16711680\nCha4Color=8421504\n"
      "BackgoundColor=16777215\nSignalLineWidth=2\n"
      "[Monitor]\nVisParaKind=1\nVisParaCnt=7\n"
      "[DRUV]\nKVXFileViewer=1\nTermFWUpdate=1\n";
  profile.WriteIni(ini);
  StartForm();
  EXPECT_EQ(form->KVXModProt->TransferMode(), tmHalfDuplex);
  EXPECT_EQ(form->KVXModProt->FixBaudrate(), mb57600);
  EXPECT_EQ(form->PanelText(2).toStdString(), "HDX");
  EXPECT_EQ(form->KVXScope->Channel(1)->Color(), 255u);
  EXPECT_EQ(form->KVXScope->Channel(2)->Color(), 65280u);
  EXPECT_EQ(form->KVXScope->Channel(3)->Color(), 16711680u);
  EXPECT_EQ(form->KVXScope->Channel(4)->Color(), 8421504u);
  EXPECT_EQ(form->KVXScope->DisplayColor(), 16777215u);
  EXPECT_EQ(form->KVXScope->SignalLineWidth(), swFat);
  EXPECT_EQ(form->KVXMonitor->VisibleParamKind(), vpCustom);
  EXPECT_EQ(form->KVXMonitor->VisibleParamCnt(), 7);
  EXPECT_TRUE(form->MMIViewKVXFile->isVisible());
  EXPECT_TRUE(form->MMIFirmwareUpd->isVisible());
  // Only the port went to the file: the stored values stay as they were.
  EXPECT_EQ(profile.ReadIni(), ini);
}

TEST_F(MainWindowStart, DamagedValuesStartWithTheDefaultsAndStayInTheFile) {
  const std::string ini =
      "[Interface]\nPort=\nFixBR=12345\nTranferMode=5\n[Scope]\nSignalLineWidth=7\n"
      "[Monitor]\nVisParaKind=9\nVisParaCnt=0\n";
  profile.WriteIni(ini);
  StartForm();
  EXPECT_EQ(form->KVXModProt->FixBaudrate(), mb9600);
  EXPECT_EQ(form->KVXModProt->TransferMode(), tmFullDuplex);
  EXPECT_EQ(form->KVXScope->SignalLineWidth(), swSmall);
  EXPECT_EQ(form->KVXMonitor->VisibleParamKind(), vpDefault);
  EXPECT_EQ(form->KVXMonitor->VisibleParamCnt(), 4);
  EXPECT_EQ(profile.ReadIni(), ini);
}

TEST_F(MainWindowStart, PortsAreChosenByNameAndAnAbsentPortIsForgotten) {
  StartModule();
  profile.WriteIni("[Interface]\nPort=modsim\n");
  StartForm();
  EXPECT_GE(form->CBoxPortSel->findText("modsim"), 0);
  EXPECT_EQ(form->CBoxPortSel->currentText().toStdString(), "modsim");
  EXPECT_EQ(form->PanelText(1).toStdString(), "Port: modsim");
  EXPECT_EQ(form->KVXModProt->PortName(), "modsim");
  form.reset();

  profile.WriteIni("[Interface]\nPort=ttyUSB9\n");
  StartForm();
  EXPECT_EQ(form->CBoxPortSel->currentIndex(), -1);
  EXPECT_EQ(form->PanelText(1).toStdString(), "");
  EXPECT_EQ(profile.ReadIni(), "[Interface]\nPort=\n");
}

TEST_F(MainWindowStart, CaptionAndPlaceInTheWorkArea) {
  StartForm();
  const std::string caption = form->windowTitle().toStdString();
  EXPECT_EQ(caption.rfind("KVX7 7.0 - ", 0), 0u) << caption;
  EXPECT_NE(caption.find("   -  DRUV"), std::string::npos) << caption;
  // The whole window, title bar and frame included, fills the work area's height: the status
  // bar with the port state stays above the task bar.
  // (An X server without a window manager draws no frame and tells none: the window is then
  // smaller by the frame it allowed for.)
  const bool framed = !form->windowHandle()->frameMargins().isNull();
  form->PlaceInWorkArea(QRect(0, 0, 1280, 720));
  EXPECT_TRUE(QRect(0, 0, 1280, 720).contains(form->frameGeometry()));
  EXPECT_EQ(form->frameGeometry().topLeft(), QPoint(0, 0));
  if (framed) {
    EXPECT_EQ(form->frameGeometry().size(), QSize(1024, 720));
  }
  EXPECT_LE(form->statusBar()->mapToGlobal(QPoint(0, form->statusBar()->height())).y(), 720);
  form->PlaceInWorkArea(QRect(0, 0, 1920, 1080));
  EXPECT_EQ(form->frameGeometry().topLeft(), QPoint((1920 - 1024) / 2, (1080 - 768) / 2));
  if (framed) {
    EXPECT_EQ(form->frameGeometry().size(), QSize(1024, 768));
  }
  // Before the window system has told its frame, a title bar is allowed for.
  TKVXMainForm hidden;
  hidden.PlaceInWorkArea(QRect(0, 0, 1280, 720));
  EXPECT_LE(hidden.height(), 720 - 20);
  EXPECT_EQ(hidden.pos(), QPoint(0, 0));
}

TEST_F(MainWindowStart, ALowScreenHoldsTheWholeWindowWithTheStatusBarAndTheButtonPanels) {
  StartForm();
  // The frame the window system told, or the one allowed for while it tells none.
  const QMargins frame = form->FrameMargins();
  const QSize outside(frame.left() + frame.right(), frame.top() + frame.bottom());
  const QSize least = form->minimumSizeHint().expandedTo(form->minimumSize()) + outside;
  EXPECT_LE(least.width(), 1024);
  EXPECT_LE(least.height(), 600);
  form->PlaceInWorkArea(QRect(0, 0, 1024, 600));
  // Inside the window's part that the work area holds, and not cut.
  const QRect shown(QPoint(0, 0), QSize(1024, 600) - outside);
  auto whole = [&](QWidget* w) {
    const QRect r(w->mapTo(form.get(), QPoint(0, 0)), w->size());
    return shown.contains(r) && form->rect().contains(r) && w->height() >= w->minimumSizeHint().height();
  };
  for (int page = 0; page < 4; ++page) {
    SCOPED_TRACE(page);
    form->NbMain->setCurrentIndex(page);
    QApplication::processEvents();
    EXPECT_LE(form->height() + outside.height(), 600);
    EXPECT_TRUE(whole(form->statusBar()));
    // "Module Data" and "Parameter Files" of the parameter and the terminal page.
    for (QPushButton* b : {form->BtnDefault, form->BBtnUpload, form->BtnDefault2, form->BBtnUpload2}) {
      if (b->isVisible()) {
        EXPECT_TRUE(whole(b->parentWidget())) << b->text().toStdString();
      }
    }
  }
}

TEST_F(MainWindowStart, LatencyCheckAsksOnlyAboveTwoMilliseconds) {
  const testutil::TempDir sys;
  std::filesystem::create_directories(sys.Path() + "/dev");
  std::ofstream(sys.Path() + "/dev/ttyUSB7") << "";
  const std::string device = sys.Path() + "/bus/usb-serial/devices/ttyUSB7";
  std::filesystem::create_directories(device);
  TKVXMainForm::SetSysfsRoot(sys.Path());
  const std::string port = sys.Path() + "/dev/ttyUSB7";

  TKVXMainForm::CheckFtdiLatencyTimer(port);  // no file: nothing
  EXPECT_TRUE(messages.Shown.empty());
  std::ofstream(device + "/latency_timer") << "2\n";
  TKVXMainForm::CheckFtdiLatencyTimer(port);
  EXPECT_TRUE(messages.Shown.empty());
  std::ofstream(device + "/latency_timer") << "16\n";
  TKVXMainForm::CheckFtdiLatencyTimer(port);
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(messages.Shown[0].Type, mtInformation);
  EXPECT_NE(messages.Shown[0].Text.find(device + "/latency_timer"), std::string::npos);
  EXPECT_NE(messages.Shown[0].Text.find("2 ms"), std::string::npos);
  TKVXMainForm::SetSysfsRoot("");
}

TEST_F(MainWindowStart, ClosingWhileTheScopeRunsEndsEveryThread) {
  StartModule();
  const int before = ThreadCount();
  profile.WriteIni("[Interface]\nPort=modsim\nFixBR=19200\n");
  StartForm();
  form->ConnectActExecute();
  ASSERT_EQ(form->ConnectTag, 1);
  form->IdentifyActExecute();
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded());
  form->ShowPage(2);
  ASSERT_NE(form->ScopeTimerId.load(), 0u);
  ASSERT_TRUE(WaitFor([&] { return !sim->ReceivedCommands().empty(); }));
  form->close();
  EXPECT_EQ(form->ScopeTimerId.load(), 0u);
  EXPECT_FALSE(form->KVXModProt->PortOpen());
  form.reset();
  EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= before; })) << ThreadCount() << " > " << before;
}

#ifdef KVX7_BINARY
// Built with the sanitizers, the program also reports nothing on its standard error output: no
// memory fault, no undefined behaviour, no leak.
TEST(MainWindowProgram, EndsWithStatusZeroAndNoSanitizerReportWhenAskedToClose) {
  Profile profile;
  testutil::TempDir dir;
  const std::string errors = dir.File("stderr.txt");
  const int errFd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(errFd, 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    dup2(errFd, STDERR_FILENO);
    execl(KVX7_BINARY, KVX7_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(errFd);
  // The window has shown once it has written the (empty) port to a fresh profile.
  EXPECT_TRUE(WaitFor([&] { return profile.ReadIni().find("Port=") != std::string::npos; }, 30000));
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(errors);
  const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* report : {"Sanitizer", "runtime error:"})
    EXPECT_EQ(said.find(report), std::string::npos) << said;
}
#endif

}  // namespace
}  // namespace mftest

namespace mftest {
namespace {

TEST_F(MainWindowStart, PictureAtStart) {
  StartModule();
  StartForm();
  form->resize(1024, 768);
  dlgtest::SavePicture(form.get(), "main-window-start.png");
}

TEST_F(MainWindowStart, PictureOfTheTerminalPage) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified());
  form->resize(1024, 768);
  form->ShowTerminalAct->trigger();
  form->KVXPTerminal->TypeText("ID\rGAIN\r");
  ASSERT_TRUE(WaitFor([&] { return form->KVXTermEditor->toPlainText().count('>') >= 3; }));
  dlgtest::SavePicture(form.get(), "main-terminal.png");
}

}  // namespace
}  // namespace mftest

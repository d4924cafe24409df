// The main window's module data commands and parameter files against the simulated module: the
// messages of Default, Save and Loadback; the files written ("par" exactly, "kvx" well-formed),
// the question before a ".par" is replaced, a refused save named with its reason; downloads that
// restore values, ask once for another module's file and report what failed; offline data and
// the ".kvx" viewer.
#include <sys/stat.h>
#include <unistd.h>

#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "app/dialogs/KVXModIdSelDlgForm.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "app/osStatusPanel.h"
#include "model/FileTestUtil.h"
#include "model/osFileUtils.h"
#include "model/osRtfText.h"
#include "protocol/osDRUVParamText.h"

using dlgtest::FileAnswer;
using filetest::ReadAll;
using filetest::WriteAll;

namespace {

const char* const kNotCorrect = "The selected file is not correct or empty!";

class MainWindowFiles : public mftest::MainFormFixture {
 protected:
  int Count(const std::string& command) const {
    const auto c = sim->ReceivedCommands();
    return static_cast<int>(std::count(c.begin(), c.end(), command));
  }
  std::string Last() const { return messages.Shown.empty() ? "" : messages.Shown.back().Text; }
  void Answer(int result) {
    messages.Answer = [result](const std::string&, TMsgDlgType, TMsgDlgButtons) { return result; };
  }
  void Upload(const std::string& file) {
    FileAnswer picker(file);
    form->BBtnUpload->click();
  }
  void Download(const std::string& file) {
    FileAnswer picker(file);
    form->BBtnDownload2->click();
  }
  static std::string GainLine(const char* value) {
    return "\nGAIN" + std::string(20 - std::strlen(value), ' ') + value + " \n";
  }

  testutil::TempDir dir;
};

// A folder the file system refuses to write (for root, who may write anyway, its refusal given).
class RefusedFolder {
 public:
  explicit RefusedFolder(std::string folder) : folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_);
    if (geteuid() == 0)
      SetFileWriteHookForTests([](const std::string&) { return EACCES; });
    else
      ::chmod(folder_.c_str(), 0555);
  }
  ~RefusedFolder() {
    SetFileWriteHookForTests(nullptr);
    ::chmod(folder_.c_str(), 0755);
  }

 private:
  std::string folder_;
};

TEST_F(MainWindowFiles, DefaultSaveAndLoadbackShowTheirMessages) {
  StartIdentified();
  sim->Module().ClearRecords();
  form->BtnDefault->click();
  EXPECT_EQ(Last(), "Data set to default!");
  EXPECT_EQ(Count("ID"), 1);  // identified again
  form->BtnSave2->click();
  EXPECT_EQ(Last(), "Data saved!");
  EXPECT_TRUE(sim->Module().Saved());
  form->BtnLoadBack->click();
  EXPECT_EQ(Last(), "Data loadback ok!");
  EXPECT_EQ(Count("ID"), 2);
  sim->SetSilent(true);
  form->BtnSave->click();
  EXPECT_EQ(Last(), "Couldn`t save!!!");
  EXPECT_EQ(messages.Shown.back().Type, mtError);
}

TEST_F(MainWindowFiles, UploadWritesBothKindsAsksBeforeReplacingAParAndNamesARefusal) {
  StartIdentified();
  const std::string par = dir.File("set.par");
  {
    FileAnswer picker(par);
    form->BBtnUpload->click();
    EXPECT_EQ(picker.last.Filter, "Modulparameter *.par (old) (*.par);;Modulparameter *.kvx (new) (*.kvx)");
    EXPECT_EQ(picker.last.FilterIndex, 2);
  }
  const std::string text = ReadAll(par);
  EXPECT_EQ(text, BuildParameterText(form->KVXModProt->ModuleId(), *form->KVXModProt->CommandList()));
  EXPECT_EQ(text.rfind("KVX-SIM 1.20 2026 4711\n##\n", 0), 0u);
  EXPECT_NE(text.find(GainLine("250")), std::string::npos);
  EXPECT_EQ(Last(), "Data saved in \"" + par + "\"");
  EXPECT_NE(profile.ReadIni().find("ParaFilePath=" + dir.Path() + "/\n"), std::string::npos);

  // Over an existing ".par": one question; No keeps the file, Yes replaces it. The folder
  // remembered is offered.
  sim->Module().SetValueText("GAIN", "321");
  form->IdentifyAct->trigger();
  messages.Shown.clear();
  Answer(mrNo);
  {
    FileAnswer picker(par);
    form->BBtnUpload2->click();
    EXPECT_EQ(picker.last.InitialDir, dir.Path() + "/");
  }
  EXPECT_EQ(Last(), "The file \"" + par + "\" already exists. Do you want to overwrite it?");
  EXPECT_EQ(ReadAll(par), text);
  Answer(mrYes);
  Upload(par);
  EXPECT_EQ(messages.Shown.size(), 3u);
  EXPECT_NE(ReadAll(par).find(GainLine("321")), std::string::npos);

  const std::string kvx = dir.File("set.kvx");
  Upload(kvx);
  EXPECT_EQ(Last(), "Data saved in \"" + kvx + "\"");
  bool ran = false;
  EXPECT_TRUE(filetest::XmllintAccepts(kvx, &ran));
  EXPECT_TRUE(ran) << "xmllint is not installed";
  // Another extension (the case counts): nothing written, nothing said.
  const std::size_t shown = messages.Shown.size();
  Upload(dir.File("SET.PAR"));
  EXPECT_EQ(messages.Shown.size(), shown);
  EXPECT_FALSE(FileExists(dir.File("SET.PAR")));

  // A folder that may not be written: an error naming the reason, no file. (A picture of it and
  // of a success for docs/.)
  SetAdvMessageDlgHandler({});
  auto picture = [](const char* file) {
    SetAdvMessageDlgShowHook([file](QDialog* f) {
      QTimer::singleShot(0, f, [f, file] {
        dlgtest::SavePicture(f, file);
        f->findChild<QPushButton*>("OK")->click();
      });
    });
  };
  picture("message-data-saved.png");
  Upload(dir.File("line-3.par"));
  mftest::Messages recorded;
  const std::string ro = dir.File("Archive");
  {
    RefusedFolder refused(ro);
    Upload(ro + "/line-3.par");
    EXPECT_EQ(recorded.Shown.back().Type, mtError);
    EXPECT_NE(recorded.Shown.back().Text.find("Permission denied"), std::string::npos);
    SetAdvMessageDlgHandler({});
    picture("message-save-refused.png");
    Upload(ro + "/line-3.kvx");
  }
  SetAdvMessageDlgShowHook({});
  EXPECT_FALSE(FileExists(ro + "/line-3.par"));
  EXPECT_FALSE(FileExists(ro + "/line-3.kvx"));
}

TEST_F(MainWindowFiles, DownloadRestoresValuesAsksOnceForAnotherModuleAndReportsItsResults) {
  StartIdentified();
  const std::string par = dir.File("set.par");
  Upload(par);
  sim->Module().SetValueText("GAIN", "777");
  messages.Shown.clear();
  Download(par);
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
  EXPECT_TRUE(messages.Shown.empty()) << Last();

  // Another module's file: one question. No loads nothing; Yes loads it without the check, and
  // a value the module refuses makes it fail, which is said.
  std::string other = ReadAll(par);
  other.replace(0, other.find('\n'), "PUMP 2.00 2020 17");
  WriteAll(dir.File("pump.par"), other);
  sim->Module().ClearRecords();
  Answer(mrNo);
  Download(dir.File("pump.par"));
  EXPECT_EQ(messages.Shown.size(), 1u);
  EXPECT_NE(Last().find("is not 100 % compatible"), std::string::npos);
  EXPECT_TRUE(sim->Writes().empty());
  messages.Answer = nullptr;
  sim->Module().SetCommandError("GAIN");
  Download(dir.File("pump.par"));
  EXPECT_EQ(messages.Shown[1].Type, mtConfirmation);
  EXPECT_TRUE(messages.Any(kNotCorrect));
  EXPECT_FALSE(sim->Writes().empty());
  sim->Module().SetCommandError("GAIN", false);
  form->IdentifyAct->trigger();

  // Result 4 of an XML file; a broken one names the reason.
  messages.Shown.clear();
  WriteAll(dir.File("empty.kvx"),
           "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<DRUV-ModulCmdList version=\"1.0\"></DRUV-ModulCmdList>\n");
  Download(dir.File("empty.kvx"));
  EXPECT_EQ(Last(), kNotCorrect);
  WriteAll(dir.File("broken.kvx"), "<DRUV-ModulCmdList");
  Download(dir.File("broken.kvx"));
  EXPECT_EQ(Last().rfind(std::string(kNotCorrect) + "\n", 0), 0u) << Last();
  EXPECT_NE(Last().find("broken.kvx"), std::string::npos) << Last();

  // A name of 10 MB shows its start and its end, with its length.
  const std::string giant = dir.Path() + "/" + std::string(10 * 1024 * 1024, 'p') + ".par";
  messages.Shown.clear();
  Download(giant);
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_LT(Last().size(), 600u);
  EXPECT_EQ(Last().rfind(std::string(kNotCorrect) + "\n" + dir.Path() + "/pp", 0), 0u) << Last().substr(0, 300);
  EXPECT_NE(Last().find("pp.par (" + std::to_string(giant.size()) + " characters): "), std::string::npos)
      << Last().substr(0, 600);
  for (int panel = 0; panel < 6; ++panel) EXPECT_LT(form->PanelText(panel).size(), 100);
}

// The result says what the module got and what not, and why; the whole of it can be read: the
// status panel shows what fits and opens the rest on a click, and its tool tip is never an old
// result.
TEST_F(MainWindowFiles, ADownloadSaysWhatTheModuleGotAndTheWholeResultCanBeRead) {
  StartIdentified();
  form->resize(1024, 768);  // as the program opens it
  const std::string file = dir.File("r.par");
  WriteAll(file, form->KVXModProt->ModuleId() + "\n##\nSERNO 1\nGAIN 5\nOFFSET 99999999999\nNOSUCH 1\n"
                 "ALSOBAD 2\nCURVE:2 2000 11\nCURVE:3 3000 12\n##\n");
  Download(file);
  const std::string expected =
      "Download: 2 parameters written to the module; not written: SERNO (read-only); OFFSET (beyond 32 "
      "bits); NOSUCH, ALSOBAD (unknown name)";
  EXPECT_EQ(form->PanelText(5).toStdString(), expected);
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(messages.Shown[0].Text,
            "The commands OFFSET (beyond 32 bits)\nNOSUCH (unknown name)\nALSOBAD (unknown name)\n are not valid!");
  auto* panel = static_cast<TStatusPanel*>(form->SBar[5]);
  ASSERT_TRUE(panel->Elided()) << panel->width();
  // The long result squeezes no other panel: the port's name stays whole.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  EXPECT_GE(form->SBar[1]->width(), form->SBar[1]->sizeHint().width());
  QTest::mouseClick(panel, Qt::LeftButton);
  EXPECT_EQ(Last(), expected);
  dlgtest::SavePicture(form.get(), "main-download-result.png");
  auto tipOf = [&] {
    QToolTip::hideText();
    mftest::WaitFor([] { return !QToolTip::isVisible(); });
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), panel->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(panel, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tipOf().toStdString(), expected);
  form->SetPanel(5, "Cha. 1   y1: 1.00");
  EXPECT_EQ(tipOf(), "");
}

// Ten names of one reason are all shown; of more, ten and a count.
TEST_F(MainWindowFiles, ADownloadResultShowsTenNamesOfOneReasonAndCountsTheRest) {
  StartIdentified();
  const std::string file = dir.File("n.par");
  std::string lines, ten;
  for (int i = 1; i <= 10; ++i) {
    lines += "NO" + std::to_string(i) + " 1\n";
    ten += (i > 1 ? ", NO" : "NO") + std::to_string(i);
  }
  for (const bool eleven : {false, true}) {
    WriteAll(file, form->KVXModProt->ModuleId() + "\n##\n" + lines + (eleven ? "NO11 1\n" : "") + "##\n");
    Download(file);
    EXPECT_EQ(form->PanelText(5).toStdString(), "Download: 0 parameters written to the module; not written: " + ten +
                                                    (eleven ? " and 1 more" : "") + " (unknown name)");
  }
}

TEST_F(MainWindowFiles, AnXmlFileOfTwoOtherModulesOffersTheirSelection) {
  StartIdentified();
  const std::string kvx = dir.File("two.kvx");
  for (const char* id : {"KVX-SIM 1.30 2027 1", "KVX-SIM 1.40 2028 2"}) {
    sim->Module().SetIdText(id);
    form->IdentifyAct->trigger();
    Upload(kvx);
  }
  sim->Module().SetIdText("KVX-SIM 1.50 2029 3");
  form->IdentifyAct->trigger();
  sim->Module().SetValueText("GAIN", "777");
  QStringList offered;
  dlgtest::ModalAnswer choose([&](QDialog* d) {
    auto* sel = qobject_cast<TModulIdSelDlg*>(d);
    for (int i = 0; i < sel->LBoxIdList->count(); ++i) offered << sel->LBoxIdList->item(i)->text();
    sel->LBoxIdList->item(1)->setSelected(true);
    d->accept();
  });
  Download(kvx);
  EXPECT_EQ(offered, QStringList({"KVX-SIM 1.30 2027 1", "KVX-SIM 1.40 2028 2"}));
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
}

// HOME points at a folder of the test's own while it lives.
class HomeAt {
 public:
  explicit HomeAt(const std::string& folder) : old_(std::getenv("HOME") ? std::getenv("HOME") : "") {
    std::filesystem::create_directories(folder);
    ::setenv("HOME", folder.c_str(), 1);
  }
  ~HomeAt() { ::setenv("HOME", old_.c_str(), 1); }

 private:
  std::string old_;
};

// Not the program's folder nor the one the program was started in: the home folder first, then
// the folder last used for that kind of file, parameter and terminal files each their own.
TEST_F(MainWindowFiles, FilePickersStartAtHomeThenInTheFolderLastUsedForTheirKind) {
  const HomeAt home(dir.File("home"));
  const std::string homeDir = dir.File("home") + "/";
  StartForm();
  auto startOf = [](const std::function<void()>& open, const std::string& answer = {}) {
    FileAnswer picker(answer);
    open();
    return picker.last.InitialDir;
  };
  EXPECT_EQ(startOf([&] { form->BBtnDownloadClick(); }), homeDir);
  EXPECT_EQ(startOf([&] { form->OpenTerminalActExecute(); }), homeDir);
  EXPECT_EQ(startOf([&] { form->SaveTerminalActExecute(); }), homeDir);
  EXPECT_EQ(startOf([&] { form->SaveScopeDataDlg->SBtnFilenameClick(); }), homeDir);
  EXPECT_EQ(startOf([&] { form->FWUpdateDlg->SBtnSelFWFileClick(); }), homeDir);

  const std::string terminalDir = dir.File("sessions") + "/";
  std::filesystem::create_directories(terminalDir);
  WriteAll(terminalDir + "a.rtf", rtf::WriteRtfText("ID\n>"));
  startOf([&] { form->OpenTerminalActExecute(); }, terminalDir + "a.rtf");
  form->ClearTerminalActExecute();
  EXPECT_EQ(startOf([&] { form->SaveTerminalActExecute(); }), terminalDir);
  EXPECT_NE(profile.ReadIni().find("TerminalFilePath=" + terminalDir + "\n"), std::string::npos);
  EXPECT_EQ(startOf([&] { form->MMILoadOfflineCmdListClick(); }), homeDir);
  // A remembered folder that is gone sends the picker home again.
  std::filesystem::remove_all(terminalDir);
  EXPECT_EQ(startOf([&] { form->OpenTerminalActExecute(); }), homeDir);

  form->SaveScopeDataDlg->SetLogFileName(dir.File("scope.txt"));
  EXPECT_EQ(startOf([&] { form->SaveScopeDataDlg->SBtnFilenameClick(); }), dir.Path() + "/");
}

TEST_F(MainWindowFiles, OfflineDataLoadSaveAndView) {
  StartIdentified("[DRUV]\nKVXFileViewer=1\n");
  const std::string kvx = dir.File("module.kvx");
  Upload(kvx);
  const std::string id = form->KVXModProt->ModuleId();
  form->ConnectAct->trigger();
  form->MMFileClick();
  EXPECT_FALSE(form->MMISaveCmdList->isEnabled());
  EXPECT_FALSE(form->MMIPrint->isEnabled());
  {
    FileAnswer picker(kvx);
    form->MMILoadOfflineCmdList->trigger();
  }
  EXPECT_EQ(form->PanelText(4).toStdString(), id);
  EXPECT_TRUE(form->SBtnMonitor->isEnabled());
  EXPECT_TRUE(form->SBtnScope->isEnabled());
  EXPECT_TRUE(form->SBtnPrint->isEnabled());
  // A download goes into the offline data, and says so.
  WriteAll(dir.File("one.par"), id + "\n##\nGAIN 5\n##\n");
  Download(dir.File("one.par"));
  EXPECT_EQ(form->PanelText(5), "Download: 1 parameter loaded into the offline data");
  // The file the program wrote loads its values into the offline module without a report of
  // the commands it wrote without a value (inputs, limit switches, factory parameters).
  messages.Shown.clear();
  EXPECT_EQ(form->KVXModProt->DownloadParameterXml(kvx), 0);
  EXPECT_TRUE(messages.Shown.empty()) << Last();
  form->MMFile->popup(form->mapToGlobal(QPoint(10, 30)));
  QApplication::processEvents();
  EXPECT_TRUE(form->MMISaveCmdList->isEnabled());
  EXPECT_TRUE(form->MMIPrint->isEnabled());
  dlgtest::SavePicture(form->MMFile, "main-file-menu.png");
  form->MMFile->hide();

  const std::string saved = dir.File("offline.kvx");
  {
    FileAnswer picker(saved);
    form->MMISaveCmdList->trigger();
  }
  EXPECT_EQ(Last(), "Data saved in \"" + saved + "\"");
  EXPECT_TRUE(filetest::XmllintAccepts(saved));
  {
    FileAnswer picker(saved);
    form->MMIViewKVXFile->trigger();
  }
  ASSERT_TRUE(form->WebBrowserDlg->isVisible());
  const QString shown = form->WebBrowserDlg->TextView->toPlainText();
  EXPECT_TRUE(shown.startsWith("<?xml") && shown.contains(QString::fromStdString(id)));
  dlgtest::SavePicture(form->WebBrowserDlg, "kvx-file-viewer.png");
  form->WebBrowserDlg->close();

  // An XML file that is no parameter file says so, and leaves no half module behind.
  WriteAll(dir.File("page.xml"), "<?xml version=\"1.0\"?>\n<html><body/></html>\n");
  messages.Shown.clear();
  {
    FileAnswer picker(dir.File("page.xml"));
    form->MMILoadOfflineCmdList->trigger();
  }
  EXPECT_EQ(Last(), "The file could not be loaded:\n" + dir.File("page.xml") + ": not a parameter file of this program");
  EXPECT_EQ(form->PanelText(4), "");
  EXPECT_FALSE(form->KVXModProt->ModuleLoaded());
  EXPECT_FALSE(form->ParamGrid->rowCount() > 0 && form->ParamGrid->item(0, 0) != nullptr);
  EXPECT_FALSE(form->SBtnMonitor->isEnabled());
  EXPECT_FALSE(form->BBtnUpload->isEnabled());
}

TEST_F(MainWindowFiles, UploadIsOfferedOnlyWithALoadedModule) {
  ASSERT_NO_FATAL_FAILURE(StartModule());
  profile.WriteIni("[Interface]\nFixBR=19200\nAutoBRDetection=0\n");
  StartForm();
  auto offered = [&] { return form->BBtnUpload->isEnabled() && form->BBtnUpload2->isEnabled(); };
  auto refused = [&] { return !form->BBtnUpload->isEnabled() && !form->BBtnUpload2->isEnabled(); };
  EXPECT_TRUE(refused());
  ASSERT_NO_FATAL_FAILURE(ChoosePort("modsim"));
  form->ConnectActExecute();
  EXPECT_TRUE(refused()) << "connected, not identified";
  form->IdentifyActExecute();
  EXPECT_TRUE(offered());
  const std::string kvx = dir.File("module.kvx");
  Upload(kvx);
  form->ConnectActExecute();  // disconnect
  EXPECT_TRUE(refused());
  {
    FileAnswer picker(dir.File("other.kvx"));
    form->BBtnUpload2->click();
    EXPECT_EQ(picker.calls, 0);
  }
  {
    FileAnswer picker(kvx);
    form->MMILoadOfflineCmdList->trigger();
  }
  EXPECT_TRUE(offered());
  form->ConnectActExecute();
  form->IdentifyActExecute();
  EXPECT_TRUE(offered());
  sim->SetSilent(true);
  form->IdentifyActExecute();  // a failed identification leaves no module
  EXPECT_TRUE(refused());
}

}  // namespace

// The main window's module data commands and parameter files against the simulated module:
// Default, Save and Loadback with their messages; upload and download of ".par" and ".kvx" files
// (the files checked, the module's values restored, every question asked once, a failed save
// named with its reason); the offline data, the ".kvx" viewer and the File menu's enabling.
#include <sys/stat.h>
#include <unistd.h>

#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cerrno>
#include <filesystem>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVXModIdSelDlgForm.h"
#include "app/dialogs/KVXWebBrowserForm.h"
#include "model/FileTestUtil.h"
#include "model/osFileUtils.h"
#include "protocol/osDRUVParamText.h"

using dlgtest::FileAnswer;
using filetest::ReadAll;
using filetest::WriteAll;

namespace {

const char* const kNotCorrect = "The selected file is not correct or empty!";

class MainWindowFiles : public mftest::MainFormFixture {
 protected:
  int Count(const std::string& command) const {
    int n = 0;
    for (const std::string& c : sim->ReceivedCommands()) n += c == command;
    return n;
  }
  int Questions() const {
    int n = 0;
    for (const mftest::Message& m : messages.Shown) n += m.Type == mtConfirmation;
    return n;
  }
  std::string Last() const { return messages.Shown.empty() ? "" : messages.Shown.back().Text; }
  void Upload(const std::string& file) {
    FileAnswer picker(file);
    form->BBtnUpload->click();
  }
  void Download(const std::string& file) {
    FileAnswer picker(file);
    form->BBtnDownload->click();
  }

  testutil::TempDir dir;
};

// A save that the file system refuses: a read-only folder (for root, who may write anyway, the
// refusal the system would give).
class RefusedFolder {
 public:
  explicit RefusedFolder(const std::string& folder) : folder_(folder) {
    std::filesystem::create_directories(folder);
    if (geteuid() == 0)
      SetFileWriteHookForTests([](const std::string&) { return EACCES; });
    else
      ::chmod(folder.c_str(), 0555);
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
  EXPECT_EQ(Count("DEFAULT"), 1);
  EXPECT_EQ(Count("ID"), 1);  // identified again before the message

  sim->Module().ClearRecords();
  form->BtnSave2->click();
  EXPECT_EQ(Last(), "Data saved!");
  EXPECT_TRUE(sim->Module().Saved());
  EXPECT_EQ(Count("ID"), 0);

  sim->Module().ClearRecords();
  form->BtnLoadBack2->click();
  EXPECT_EQ(Last(), "Data loadback ok!");
  EXPECT_EQ(Count("Loadback"), 1);
  EXPECT_EQ(Count("ID"), 1);

  sim->SetSilent(true);
  form->BtnSave->click();
  EXPECT_EQ(Last(), "Couldn`t save!!!");
  EXPECT_EQ(messages.Shown.back().Type, mtError);
  form->BtnDefault2->click();
  EXPECT_EQ(Last(), "Couldn`t set to default!!!");
  form->BtnLoadBack->click();
  EXPECT_EQ(Last(), "Couldn`t loadback data!!!");
}

TEST_F(MainWindowFiles, UploadWritesBothKindsAsksBeforeReplacingAParAndNamesARefusal) {
  StartIdentified();
  const std::string par = dir.File("set.par");
  {
    FileAnswer picker(par);
    form->BBtnUpload->click();
    EXPECT_EQ(picker.last.Kind, fdkSave);
    EXPECT_EQ(picker.last.Filter, "Modulparameter *.par (old) (*.par);;Modulparameter *.kvx (new) (*.kvx)");
    EXPECT_EQ(picker.last.FilterIndex, 2);
    EXPECT_EQ(picker.last.DefaultSuffix, "kvx");
    EXPECT_EQ(picker.last.InitialDir, ProgramFolder());
  }
  const std::string text = ReadAll(par);
  EXPECT_EQ(text, BuildParameterText(form->KVXModProt->ModuleId(), *form->KVXModProt->CommandList()));
  EXPECT_EQ(text.rfind("KVX-SIM 1.20 2026 4711\n##\n", 0), 0u);
  // The number line: the name, the value ending in column 24, a blank.
  EXPECT_NE(text.find("\nGAIN" + std::string(17, ' ') + "250 \n"), std::string::npos);
  EXPECT_EQ(Last(), "Data saved in \"" + par + "\"");
  // The folder is remembered and offered next time.
  EXPECT_NE(profile.ReadIni().find("ParaFilePath=" + dir.Path() + "/\n"), std::string::npos);

  // Over an existing ".par": one question; No keeps the file, Yes replaces it.
  sim->Module().SetValueText("GAIN", "321");
  form->IdentifyAct->trigger();
  messages.Shown.clear();
  messages.Answer = [](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrNo; };
  {
    FileAnswer picker(par);
    form->BBtnUpload2->click();
    EXPECT_EQ(picker.last.InitialDir, dir.Path() + "/");
  }
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(Last(), "The file \"" + par + "\" already exists. Do you want to overwrite it?");
  EXPECT_EQ(ReadAll(par), text);
  messages.Answer = nullptr;
  Upload(par);
  EXPECT_EQ(Questions(), 2);
  EXPECT_NE(ReadAll(par).find("\nGAIN" + std::string(17, ' ') + "321 \n"), std::string::npos);

  // ".kvx" is well-formed XML; a name of any other extension writes nothing and says nothing.
  const std::string kvx = dir.File("set.kvx");
  Upload(kvx);
  EXPECT_EQ(Last(), "Data saved in \"" + kvx + "\"");
  bool ran = false;
  EXPECT_TRUE(filetest::XmllintAccepts(kvx, &ran));
  EXPECT_TRUE(ran) << "xmllint is not installed";
  // Declining to replace the module's entry shows nothing more.
  const std::string before = ReadAll(kvx);
  messages.Shown.clear();
  messages.Answer = [](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrCancel; };
  Upload(kvx);
  messages.Answer = nullptr;
  EXPECT_EQ(ReadAll(kvx), before);
  for (const mftest::Message& m : messages.Shown) EXPECT_EQ(m.Type, mtWarning) << m.Text;
  const std::size_t shown = messages.Shown.size();
  Upload(dir.File("set.txt"));
  Upload(dir.File("SET.PAR"));
  EXPECT_EQ(messages.Shown.size(), shown);
  EXPECT_FALSE(FileExists(dir.File("set.txt")));
  EXPECT_FALSE(FileExists(dir.File("SET.PAR")));

  // A folder that may not be written: an error naming the reason, no file.
  const std::string ro = dir.File("ro");
  {
    RefusedFolder refused(ro);
    Upload(ro + "/set.par");
    EXPECT_EQ(messages.Shown.back().Type, mtError);
    EXPECT_NE(Last().find("Permission denied"), std::string::npos) << Last();
    Upload(ro + "/set.kvx");
    EXPECT_NE(Last().find("Permission denied"), std::string::npos) << Last();
  }
  EXPECT_FALSE(FileExists(ro + "/set.par"));
  EXPECT_FALSE(FileExists(ro + "/set.kvx"));
}

TEST_F(MainWindowFiles, DownloadRestoresValuesAsksOnceForAnotherModuleAndReportsItsResults) {
  StartIdentified();
  const std::string par = dir.File("set.par");
  Upload(par);
  sim->Module().SetValueText("GAIN", "777");
  sim->Module().ClearRecords();
  messages.Shown.clear();
  {
    FileAnswer picker(par);
    form->BBtnDownload->click();
    EXPECT_EQ(picker.last.Kind, fdkOpen);
    EXPECT_EQ(picker.last.FilterIndex, 2);
    EXPECT_EQ(picker.last.InitialDir, dir.Path() + "/");
  }
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
  EXPECT_TRUE(messages.Shown.empty()) << Last();
  EXPECT_GE(Count("ID"), 1);
  // Identified again after the load.
  const auto cmds = sim->ReceivedCommands();
  const auto lastId = std::find(cmds.rbegin(), cmds.rend(), "ID");
  const auto lastGain = std::find(cmds.rbegin(), cmds.rend(), "GAIN 250");
  ASSERT_NE(lastGain, cmds.rend());
  EXPECT_LT(lastId, lastGain);

  // Cancel: nothing loaded, nothing said, identified again all the same.
  sim->Module().ClearRecords();
  Download("");
  EXPECT_TRUE(messages.Shown.empty());
  EXPECT_EQ(Count("ID"), 1);

  // The file of another module: one question. No loads nothing.
  std::string other = ReadAll(par);
  other.replace(0, other.find('\n'), "PUMP 2.00 2020 17");
  WriteAll(dir.File("pump.par"), other);
  sim->Module().SetValueText("GAIN", "777");
  sim->Module().ClearRecords();
  messages.Answer = [](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrNo; };
  Download(dir.File("pump.par"));
  EXPECT_EQ(Questions(), 1);
  EXPECT_NE(Last().find("is not 100 % compatible"), std::string::npos);
  EXPECT_TRUE(sim->Writes().empty());
  // Yes loads it without the check; a value the module refuses makes it fail, and that is said.
  messages.Answer = nullptr;
  messages.Shown.clear();
  sim->Module().SetCommandError("GAIN");
  Download(dir.File("pump.par"));
  EXPECT_EQ(Questions(), 1);
  EXPECT_TRUE(messages.Any(kNotCorrect));
  EXPECT_FALSE(sim->Writes().empty());
  sim->Module().SetCommandError("GAIN", false);
  form->IdentifyAct->trigger();

  // XML files: a well-formed file without a module is result 4; a broken one names the reason.
  messages.Shown.clear();
  WriteAll(dir.File("empty.kvx"),
           "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<DRUV-ModulCmdList version=\"1.0\"></DRUV-ModulCmdList>\n");
  Download(dir.File("empty.kvx"));
  ASSERT_EQ(messages.Shown.size(), 1u);
  EXPECT_EQ(Last(), kNotCorrect);
  WriteAll(dir.File("broken.kvx"), "<?xml version=\"1.0\"?>\n<DRUV-ModulCmdList");
  Download(dir.File("broken.kvx"));
  EXPECT_EQ(Last().rfind(std::string(kNotCorrect) + "\n", 0), 0u) << Last();
  EXPECT_NE(Last().find("broken.kvx"), std::string::npos) << Last();
  // A ".par" the module cannot use: two lines only.
  WriteAll(dir.File("short.par"), "KVX-SIM 1.20 2026 4711\n##\n");
  Download(dir.File("short.par"));
  EXPECT_EQ(Last(), kNotCorrect);
}

// Needs the window's answers to the protocol's questions (the module selection dialog).
TEST_F(MainWindowFiles, AnXmlFileOfTwoOtherModulesOffersTheirSelection) {
  StartIdentified();
  TModalResult probe = 0;
  form->KVXModProtInfoMsg(nullptr, cpmkImpFktNoValidModulId, probe);
  if (messages.Shown.empty()) GTEST_SKIP() << "the window does not ask the protocol's questions yet";
  messages.Shown.clear();

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
    ASSERT_NE(sel, nullptr);
    for (int i = 0; i < sel->LBoxIdList->count(); ++i) offered << sel->LBoxIdList->item(i)->text();
    sel->LBoxIdList->item(1)->setSelected(true);
    d->accept();
  });
  Download(kvx);
  EXPECT_EQ(choose.calls, 1);
  EXPECT_EQ(offered, QStringList({"KVX-SIM 1.30 2027 1", "KVX-SIM 1.40 2028 2"}));
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "250");
}

TEST_F(MainWindowFiles, OfflineDataLoadSaveAndView) {
  StartIdentified("[DRUV]\nKVXFileViewer=1\n");
  const std::string kvx = dir.File("module.kvx");
  Upload(kvx);
  const std::string id = form->KVXModProt->ModuleId();
  form->ConnectAct->trigger();
  ASSERT_EQ(form->ConnectTag, 0);
  form->MMFileClick();
  EXPECT_FALSE(form->MMISaveCmdList->isEnabled());
  EXPECT_FALSE(form->MMIPrint->isEnabled());
  EXPECT_TRUE(form->MMILoadOfflineCmdList->isEnabled());

  {
    FileAnswer picker(kvx);
    form->MMILoadOfflineCmdList->trigger();
    EXPECT_EQ(picker.last.Filter, "Offline Modulparameter (*.kvx)");
    EXPECT_EQ(picker.last.DefaultSuffix, "kvx");
  }
  EXPECT_EQ(form->PanelText(4).toStdString(), id);
  EXPECT_TRUE(form->SBtnMonitor->isEnabled());
  EXPECT_TRUE(form->SBtnScope->isEnabled());
  EXPECT_TRUE(form->SBtnPrint->isEnabled());
  EXPECT_GT(form->KVXModProt->CommandList()->Count(), 5);

  // The File menu follows the module: saving and printing on the parameter page.
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
    EXPECT_EQ(picker.last.Filter, "KVX Modulparameter (*.kvx)");
  }
  ASSERT_TRUE(form->WebBrowserDlg->isVisible());
  const QString shown = form->WebBrowserDlg->TextView->toPlainText();
  EXPECT_TRUE(shown.startsWith("<?xml")) << shown.left(80).toStdString();
  EXPECT_TRUE(shown.contains(QString::fromStdString(id)));
  EXPECT_EQ(form->WebBrowserDlg->windowTitle().toStdString(), saved);
  QApplication::processEvents();
  dlgtest::SavePicture(form->WebBrowserDlg, "kvx-file-viewer.png");
  form->WebBrowserDlg->close();

  // A broken description: nothing loaded, panel 4 empty, the reason said.
  WriteAll(dir.File("broken.kvx"), "<DRUV-ModulCmdList");
  {
    FileAnswer picker(dir.File("broken.kvx"));
    form->MMILoadOfflineCmdList->trigger();
  }
  EXPECT_TRUE(form->PanelText(4).isEmpty());
  EXPECT_EQ(messages.Shown.back().Type, mtError);
  EXPECT_NE(Last().find("broken.kvx"), std::string::npos) << Last();
}

TEST_F(MainWindowFiles, PrintItemFollowsThePageAndPicturesOfTwoResults) {
  StartIdentified();
  form->MMFileClick();
  EXPECT_TRUE(form->MMIPrint->isEnabled());
  form->ShowPage(3);
  form->MMFileClick();
  EXPECT_TRUE(form->MMIPrint->isEnabled());
  form->ShowPage(0);

  // Two result messages as the user sees them.
  SetAdvMessageDlgHandler({});
  auto picture = [](const char* file) {
    SetAdvMessageDlgShowHook([file](QDialog* f) {
      QTimer::singleShot(0, f, [f, file] {
        dlgtest::SavePicture(f, file);
        if (auto* ok = f->findChild<QPushButton*>("OK")) ok->click();
      });
      QTimer::singleShot(20000, f, [f] { f->done(-1); });
    });
  };
  std::filesystem::create_directories(dir.File("Parameter"));
  picture("message-data-saved.png");
  Upload(dir.File("Parameter/line-3.par"));
  const std::string ro = dir.File("Archive");
  {
    RefusedFolder refused(ro);
    picture("message-save-refused.png");
    Upload(ro + "/line-3.kvx");
  }
  SetAdvMessageDlgShowHook({});
  EXPECT_TRUE(FileExists(dir.File("Parameter/line-3.par")));
  EXPECT_FALSE(FileExists(ro + "/line-3.kvx"));
}

}  // namespace

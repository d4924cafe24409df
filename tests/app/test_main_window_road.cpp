// The road a commissioning technician walks, in one go, against the simulated module: a fresh
// profile, rate detection chosen in the settings, the port chosen, connect, identify, a value
// changed in the grid and saved in the module, a parameter file written and loaded back, the
// monitor and the scope with a data log, the listing printed to a PDF, a firmware update with
// the assistant, and a new connection afterwards.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <random>

#include "FirmwareTestUtil.h"
#include "MainFormTestUtil.h"
#include "app/dialogs/KVX7OptionsForm.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"
#include "model/FileTestUtil.h"
#include "views/osDRUVParamList.h"
#include "views/osDRUVParamListEditDlg.h"

namespace mftest {
namespace {

class TheRoad : public MainFormFixture {
 protected:
  // Double-clicks the parameter's row and types the value into the edit dialog.
  void EditInGrid(const QString& name, const QString& value) {
    QTableWidget* grid = form->ParamGrid;
    int row = -1;
    for (int r = 0; r < grid->rowCount(); ++r)
      if (grid->item(r, 0) && grid->item(r, 0)->text() == name) row = r;
    ASSERT_GE(row, 0) << name.toStdString();
    dlgtest::ModalAnswer answer([&](QDialog*) {
      form->KVXParamList->EditDlg->Form->LENumPara->setText(value);
      form->KVXParamList->EditDlg->Form->BBtnOK->click();
    });
    const QRect cell = grid->visualItemRect(grid->item(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(answer.calls, 1);
  }
  std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buf[4096];
      while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
      pclose(p);
    }
    return out;
  }
  testutil::TempDir dir;
};

TEST_F(TheRoad, FromAFreshProfileToAnUpdatedModule) {
  if (std::system("srec_cat --version >/dev/null 2>&1 && pdftotext -v >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "srecord and poppler-utils are needed";
  StartModule({.Rate = 38400});
  StartForm();

  // Settings: rate detection.
  {
    dlgtest::ModalAnswer options([](QDialog* d) {
      auto* dlg = qobject_cast<TKVX7OptionsDlg*>(d);
      ASSERT_NE(dlg, nullptr);
      dlg->BROptionsButtons->button(1)->click();
      dlg->BtnOK->click();
    });
    form->MMISettings->trigger();
    ASSERT_EQ(options.calls, 1);
  }
  ASSERT_TRUE(form->KVXModProt->AutoBaudDetection());

  // Port, connect, identify.
  ChoosePort("modsim");
  form->ConnectAct->trigger();
  ASSERT_EQ(form->PanelText(0), "port open");
  EXPECT_EQ(form->PanelText(3), "38.4 KBaud");
  form->IdentifyAct->trigger();
  ASSERT_TRUE(form->KVXModProt->ModuleLoaded());
  EXPECT_EQ(form->PanelText(4), "KVX-SIM 1.20 2026 4711");

  // A value changed in the grid reaches the module; Save stores it there.
  EditInGrid("GAIN", "321");
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "321");
  form->BtnSave->click();
  EXPECT_TRUE(messages.Any("Data saved!"));

  // Upload a parameter file, change the value, download the file: the value is back.
  const std::string par = dir.File("road.par");
  {
    dlgtest::FileAnswer picker(par);
    form->BBtnUpload->click();
  }
  ASSERT_TRUE(std::filesystem::exists(par));
  EditInGrid("GAIN", "999");
  ASSERT_EQ(sim->Module().ValueText("GAIN"), "999");
  {
    dlgtest::FileAnswer picker(par);
    form->BBtnDownload->click();
  }
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "321");
  EXPECT_EQ(form->ParamGrid->item(2, 1)->text().trimmed().toStdString(), "321");

  // The monitor polls the process values.
  sim->Module().ClearRecords();
  form->ShowMonitorAct->trigger();
  ASSERT_EQ(form->PageIndex(), 1);
  EXPECT_TRUE(WaitFor([&] {
    for (const std::string& c : sim->ReceivedCommands())
      if (c == "SINE") return true;
    return false;
  }));

  // The scope with a data log.
  const std::string log = dir.File("scope.txt");
  {
    dlgtest::ModalAnswer name([&](QDialog* d) {
      static_cast<TSaveScopeDataDlg*>(d)->EdtFilename->setText(QString::fromStdString(log));
      d->accept();
    });
    form->SaveToFileButton->click();
  }
  form->ShowScopeAct->trigger();
  ASSERT_EQ(form->PageIndex(), 2);
  form->CBChCustSignal[0]->setCurrentText("SINE");
  form->CBChCustSignalChange(1);
  form->BtnStart->click();
  EXPECT_TRUE(WaitFor([&] { return filetest::ReadAll(log).find("---\r\n", 300) != std::string::npos; }));
  form->BtnStop->click();

  // The listing printed to a PDF.
  form->ShowParamlistAct->trigger();
  const std::string pdf = dir.File("listing.pdf");
  SetPrintDialogHook([&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    return true;
  });
  form->PrintAct->trigger();
  SetPrintDialogHook({});
  const std::string text = Run("pdftotext -layout '" + pdf + "' -");
  EXPECT_NE(text.find("Module: KVX-SIM 1.20 2026 4711"), std::string::npos) << text;
  EXPECT_NE(text.find("321"), std::string::npos) << text;

  // A firmware update with the assistant, from srec_cat's plain output (no end record).
  fwtest::Firmware fw;
  ASSERT_TRUE(fw.Make(dir, 7, 3000, false));
  {
    dlgtest::FileAnswer picker(fw.s19);
    dlgtest::ModalAnswer assistant([&](QDialog* d) {
      auto* dlg = qobject_cast<TFWUpdateDlg*>(d);
      ASSERT_NE(dlg, nullptr);
      dlg->show();
      QTest::keyClick(dlg->LBoxSecKeyInput, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
      dlg->BtnStart->click();
      dlg->BtnErase->click();
      dlg->SBtnSelFWFile->click();
      dlg->BtnProgram->click();
      EXPECT_EQ(dlg->BtnCancel->text(), "Finish");
      dlg->BtnCancel->click();
    });
    form->MMIFWUAss->trigger();
  }
  EXPECT_TRUE(fw.FlashEquals(sim->Module()));
  EXPECT_FALSE(sim->Module().InBootloader());

  // A new connection to the restarted module.
  if (form->ConnectTag != 0) form->ConnectAct->trigger();
  ASSERT_EQ(form->PanelText(0), "port closed");
  form->ConnectAct->trigger();
  ASSERT_EQ(form->PanelText(0), "port open");
  form->IdentifyAct->trigger();
  EXPECT_TRUE(form->KVXModProt->ModuleLoaded());
  EXPECT_EQ(sim->Module().ValueText("GAIN"), "321");
  EXPECT_TRUE(sim->Violations().empty()) << sim->Violations().front();
}

}  // namespace
}  // namespace mftest

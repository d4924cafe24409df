// Printing to a PDF file through the print dialog's seam, read back with pdftotext (poppler-utils,
// installed by scripts/setup.sh): the parameter listing of a large module, the scope picture and
// the terminal. With KVX_SCREENSHOT_DIR set, pdftoppm writes the pages as PNG pictures.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <regex>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVXScopeCursorSettingsForm.h"
#include "services/QtText.h"
#include "services/osApplInfo.h"
#include "views/osDRUVScope.h"

namespace {

// Runs a tool and gives its standard output; fails the test when it cannot run.
std::string Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForStarted(10000)) {
    ADD_FAILURE() << program.toStdString() << " not found: install poppler-utils (scripts/setup.sh)";
    return {};
  }
  p.waitForFinished(60000);
  EXPECT_EQ(p.exitCode(), 0) << program.toStdString();
  return p.readAllStandardOutput().toStdString();
}

// The PDF's pages as lines, blanks collapsed and trimmed, empty lines dropped.
std::vector<std::vector<std::string>> PdfPages(const std::string& pdf) {
  const std::string text = Run("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
  std::vector<std::vector<std::string>> pages(1);
  std::string line;
  auto flush = [&] {
    const std::string n = std::regex_replace(Trim(line), std::regex(" +"), " ");
    if (!n.empty()) pages.back().push_back(n);
    line.clear();
  };
  for (char c : text) {
    if (c == '\n') {
      flush();
    } else if (c == '\f') {
      flush();
      pages.emplace_back();
    } else {
      line += c;
    }
  }
  flush();
  while (!pages.empty() && pages.back().empty()) pages.pop_back();
  return pages;
}

// How far down the first page the lowest word Word reaches, as a share of the page's height.
double WordDepth(const std::string& pdf, const std::string& word) {
  const std::string html = Run("pdftotext", {"-bbox", QString::fromStdString(pdf), "-"});
  std::smatch page;
  if (!std::regex_search(html, page, std::regex(R"re(<page width="[\d.]+" height="([\d.]+)")re"))) return -1;
  double bottom = -1;
  const std::regex re(R"re(<word xMin="[\d.]+" yMin="[\d.]+" xMax="[\d.]+" yMax="([\d.]+)">([^<]*)</word>)re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator(); ++it)
    if ((*it)[2] == word) bottom = std::max(bottom, std::stod((*it)[1]));
  return bottom / std::stod(page[1]);
}

// Pages 1 .. LastPage as prefix-N.png.
void SavePages(const std::string& pdf, const char* prefix, int LastPage = 1) {
  const QString dir = qEnvironmentVariable("KVX_SCREENSHOT_DIR");
  if (!dir.isEmpty())
    Run("pdftoppm", {"-png", "-r", "60", "-l", QString::number(LastPage), QString::fromStdString(pdf),
                     QDir(dir).filePath(prefix)});
}

class Printing : public mftest::MainFormFixture {
 protected:
  // The print dialog answers with a PDF file (or Cancel).
  void PrintTo(const std::string& pdf, bool landscape = false, bool ok = true) {
    SetPrintDialogHook([=](QPrinter& p) {
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(QString::fromStdString(pdf));
      p.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
      return ok;
    });
    form->PrintActExecute();
  }
};

TEST(ParamListPrintLines, ColumnsGroupsAndCurves) {
  TModCommandList list;
  auto add = [&](auto* cmd, const char* name, std::uint16_t groups = 0) {
    cmd->Name = name;
    cmd->GCode = groups;
    list.Add(cmd);
    return cmd;
  };
  add(new TModNumParaCmd, "GAIN")->Value = 12345;
  auto* text = add(new TModTextParaCmd, "MODE");
  text->VList = {"A text value longer than 24"};
  text->SetText(text->VList[0]);
  add(new TModNumParaCmd, "CAL", 0x40);      // DRUVTEC: never
  add(new TModNumParaCmd, "PWLIMIT", 0x80);  // Password: with access-code bit 7 only
  auto* ain = add(new TModAinParaCmd, "AIN1");
  add(new TModCCParaCmd, "CURVE")->SetPoint(-10, {-10000, 2500});

  const std::vector<std::string> lines = ParamListPrintLines(list, 0x7F);
  ASSERT_EQ(lines.size(), 3u + 21u);
  EXPECT_EQ(lines[0], "GAIN               12345");  // the value in columns 20..24
  EXPECT_EQ(lines[1], "A text value longer than 24");
  EXPECT_EQ(lines[2], "AIN1              " + ain->GetValueStr());
  EXPECT_EQ(lines[3], "CURVE:-10         -10000   2500");
  EXPECT_EQ(lines[23].substr(0, 18), "CURVE:10          ");
  const std::vector<std::string> unlocked = ParamListPrintLines(list, 0xFFFF);
  ASSERT_EQ(unlocked.size(), 4u + 21u);
  EXPECT_EQ(unlocked[2].substr(0, 7), "PWLIMIT");
}

TEST_F(Printing, EveryParameterOfALargeModuleIsPrinted57ToAPageEachPageNumbered) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified({.Rate = 115200, .GeneratedParams = 300, .GeneratedCurves = 3}));
  const std::string pdf = profile.Dir().File("params.pdf");
  PrintTo(pdf);
  std::vector<std::string> expected;
  for (const std::string& l : ParamListPrintLines(*form->KVXModProt->CommandList(), sim->Module().AccessCode()))
    expected.push_back(std::regex_replace(Trim(FromAnsi(l).toStdString()), std::regex(" +"), " "));
  ASSERT_GT(expected.size(), 300u);

  const auto pages = PdfPages(pdf);
  ASSERT_EQ(pages.size(), (expected.size() + 56) / 57);
  std::vector<std::string> printed;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    ASSERT_GE(pages[p].size(), 3u);
    // Company and product are empty on this system: no stray separators before the page.
    EXPECT_EQ(pages[p][0], "Page " + std::to_string(p + 1));
    EXPECT_EQ(pages[p][1].rfind("Parameter List at: ", 0), 0u) << pages[p][1];
    EXPECT_EQ(pages[p][2], "Module: KVX-SIM 1.20 2026 4711");
    EXPECT_LE(pages[p].size() - 3, 57u);
    printed.insert(printed.end(), pages[p].begin() + 3, pages[p].end());
  }
  EXPECT_EQ(printed, expected);
  SavePages(pdf, "print-param-list", 2);
}

// A choice from the drop-down list, as the user makes it (a signal box fills its list then).
void Choose(QComboBox* box, const char* text) {
  box->showPopup();
  box->hidePopup();
  box->setCurrentIndex(box->findText(text));
  emit box->activated(box->currentIndex());
}

// Four live channels with cursors (the pictures of the scope page in docs/), then channel 2
// taken off: the printout lists the bound channels only, on portrait and landscape paper.
TEST_F(Printing, TheScopePrintoutListsBoundChannelsAndFitsLandscapePaper) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified());
  form->resize(1024, 768);
  form->ShowPage(2);
  const char* limits[4][3] = {{"SINE", "-10", "10"}, {"RAMP", "0", "100"}, {"PRESS", "0", "500"}, {"TEMP", "0", "50"}};
  for (int i = 0; i < 4; ++i) {
    Choose(form->CBChCustSignal[i], limits[i][0]);
    Choose(form->CBChSignal[i], limits[i][0]);
    Choose(form->CBChCustMin[i], limits[i][1]);
    Choose(form->CBChCustMax[i], limits[i][2]);
  }
  Choose(form->CBCustTimeScale, "200");
  form->BtnStart->click();
  TScopePaintThread* paint = form->KVXScope->PaintThread();
  ASSERT_TRUE(mftest::WaitFor([&] {
    std::lock_guard<std::mutex> lock(paint->Lock());
    return paint->Channels().GetChannel(3)->Points.size() >= 40;
  }));
  form->BtnStopClick();
  TScopeCusors* c = form->KVXScope->Cursors();
  c->T1->X = form->PBoxScope->width() * 45 / 100;
  c->T2->X = form->PBoxScope->width() * 70 / 100;
  c->A2->Y = form->PBoxScope->height() * 55 / 100;
  {
    dlgtest::ModalAnswer both([](QDialog* d) {
      auto* dlg = static_cast<TScopeCursorDlg*>(d);
      dlg->CBAmplitude->setChecked(true);
      dlg->CBTime->setChecked(true);
      dlg->BBtnOK->click();
    });
    form->PMIScopeCursorClick();
  }
  const std::uint64_t frames = paint->FrameCount();
  ASSERT_TRUE(mftest::WaitFor([&] { return paint->FrameCount() > frames + 1; }));
  dlgtest::SavePicture(form.get(), "main-scope-customer.png");
  form->NBScopeSettings->setCurrentIndex(0);
  dlgtest::SavePicture(form.get(), "main-scope-expert.png");

  Choose(form->CBChCustSignal[1], "---");
  for (bool landscape : {false, true}) {
    const std::string pdf = profile.Dir().File(landscape ? "scope-wide.pdf" : "scope.pdf");
    PrintTo(pdf, landscape);
    const auto pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    // Company and product are empty on this system: no stray separators before the title.
    EXPECT_EQ(pages[0][0].rfind("Oszilloskop Display at: ", 0), 0u) << pages[0][0];
    std::string all;
    for (const std::string& l : pages[0]) all += l + "\n";
    for (const char* text : {"Oszilloskop Display at: ", "Module: KVX-SIM 1.20 2026 4711", "Cha. 1 y1: ",
                             "Time base: 200 ms / DIV", "Cha.1: SINE Vertical range from: -10 to 10",
                             "Cha.3: PRESS Vertical range from: 0 to 500", "Cha.4: TEMP"})
      EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
    EXPECT_EQ(all.find("Cha.2:"), std::string::npos);
    const double depth = WordDepth(pdf, "TEMP");
    EXPECT_GT(depth, 0.5);
    EXPECT_LT(depth, 1.0) << "the last line is on the paper";
    SavePages(pdf, landscape ? "print-scope-landscape" : "print-scope");
  }
  // A company name where there is one, with its separator; none for the empty product.
  form->ApplInfo->SetExtCompanyName("Bench Works");
  const std::string pdf = profile.Dir().File("scope-company.pdf");
  PrintTo(pdf);
  const auto pages = PdfPages(pdf);
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ(pages[0][0].rfind("Bench Works - Oszilloskop Display at: ", 0), 0u) << pages[0][0];
}

TEST_F(Printing, TheTerminalPrintsItselfAndCancelPrintsNothing) {
  StartForm();
  form->NbMain->setCurrentIndex(3);
  form->KVXTermEditor->setPlainText("ID\nKVX-SIM 1.20 2026 4711\n>");
  const std::string cancelled = profile.Dir().File("cancelled.pdf");
  PrintTo(cancelled, false, false);
  EXPECT_FALSE(RegularFileExists(cancelled));
  const std::string pdf = profile.Dir().File("terminal.pdf");
  PrintTo(pdf);
  const auto pages = PdfPages(pdf);
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_GE(pages[0].size(), 3u);
  EXPECT_EQ(std::vector<std::string>(pages[0].begin(), pages[0].begin() + 3),
            (std::vector<std::string>{"ID", "KVX-SIM 1.20 2026 4711", ">"}));
  SavePages(pdf, "print-terminal");
}

// The range printed is the one the picture's scale shows, also when the expert page set it.
TEST_F(Printing, TheScopePrintoutGivesTheRangeThePictureShows) {
  StartForm();
  form->ShowPage(2);
  form->KVXScope->Channel(1)->SetSignalName("SINE");
  form->KVXScope->Channel(2)->SetSignalName("RAMP");
  Choose(form->CBChCustMin[0], "-10");
  Choose(form->CBChCustMax[0], "10");
  Choose(form->CBChCustMin[1], "-25");
  Choose(form->CBChCustMax[1], "50");  // 7.5 per division rounds to 8: the grid reaches 55
  Choose(form->CBChScale[0], "50");
  const std::string pdf = profile.Dir().File("ranges.pdf");
  PrintTo(pdf);
  const auto pages = PdfPages(pdf);
  ASSERT_EQ(pages.size(), 1u);
  std::string all;
  for (const std::string& l : pages[0]) all += l + "\n";
  EXPECT_NE(all.find("Cha.1: SINE Vertical range from: -10 to 490\n"), std::string::npos) << all;
  EXPECT_NE(all.find("Cha.2: RAMP Vertical range from: -25 to 55\n"), std::string::npos) << all;
}

// A print that cannot start says so and names where it was to go; nothing is written.
TEST_F(Printing, APrintThatCannotStartNamesItsFile) {
  StartForm();
  form->KVXTermEditor->setPlainText("ID");
  for (int page : {2, 3}) {
    form->ShowPage(page);
    const std::string pdf = profile.Dir().File("no-such-folder/page" + std::to_string(page) + ".pdf");
    messages.Shown.clear();
    PrintTo(pdf);
    ASSERT_EQ(messages.Shown.size(), 1u) << page;
    EXPECT_EQ(messages.Shown[0].Type, mtError);
    EXPECT_NE(messages.Shown[0].Text.find("\"" + pdf + "\""), std::string::npos) << messages.Shown[0].Text;
    EXPECT_NE(messages.Shown[0].Text.find("No such file or directory"), std::string::npos) << messages.Shown[0].Text;
    EXPECT_FALSE(RegularFileExists(pdf));
  }
}

}  // namespace

// The scope page against the simulated module: channel settings from both pages read back from
// the scope's channel settings, the signal lists, the time base and cursor read-out, the cursor
// dialog, copying the picture, Start's checks and the data log.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <atomic>
#include <filesystem>
#include <regex>
#include <thread>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"
#include "app/dialogs/KVXScopeCursorSettingsForm.h"
#include "model/FileTestUtil.h"
#include "views/osDRUVScope.h"

namespace {

using mftest::WaitFor;

QStringList Items(const QComboBox* box) {
  QStringList l;
  for (int i = 0; i < box->count(); ++i) l << box->itemText(i);
  return l;
}

// A choice from the drop-down list, as the user makes it.
void Choose(QComboBox* box, const QString& text) {
  box->showPopup();  // a signal box fills its list as it drops down
  box->hidePopup();
  const int i = box->findText(text);
  ASSERT_GE(i, 0) << text.toStdString();
  box->setCurrentIndex(i);
  emit box->activated(i);
}

// Typed over the box's text and finished with Enter.
void Type(QComboBox* box, const QString& text) {
  box->lineEdit()->selectAll();
  QTest::keyClicks(box->lineEdit(), text);
  QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}

class ScopePage : public mftest::MainFormFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartIdentified({}, IniExtra())); }
  virtual std::string IniExtra() const { return {}; }
  TKVXSCopeChaSettings* Ch(int n) const { return form->KVXScope->Channel(n); }
};

class ScopePageManualLimits : public ScopePage {
  std::string IniExtra() const override { return "[Scope]\nULimLLimManually=1\n"; }
};

TEST_F(ScopePage, CustomerLimitsGiveScaleAndOffsetAndOthersAreSetBack) {
  Type(form->CBChCustMin[0], "-25");
  Type(form->CBChCustMax[0], "50");
  EXPECT_EQ(Ch(1)->YScalePerDiv(), 8);
  EXPECT_EQ(Ch(1)->YZeroOffset(), 25);
  // Not an item, limits not free: set back, channel unchanged; letters never reach the box.
  Type(form->CBChCustMin[0], "-3x3");
  EXPECT_EQ(form->CBChCustMin[0]->currentText(), "-100");
  EXPECT_EQ(Ch(1)->YScalePerDiv(), 8);
  EXPECT_EQ(Ch(1)->YZeroOffset(), 25);
}

TEST_F(ScopePageManualLimits, ManualLimitsMayBeAnyRangeButNeverEmptyOrUpsideDown) {
  Type(form->CBChCustMin[1], "20");
  EXPECT_EQ(Ch(2)->YZeroOffset(), -20);
  EXPECT_EQ(Ch(2)->YScalePerDiv(), 8);
  Type(form->CBChCustMax[1], "-50");  // below the lower limit: set back
  EXPECT_EQ(form->CBChCustMax[1]->currentText(), "100");
  EXPECT_EQ(Ch(2)->YScalePerDiv(), 8);
  Type(form->CBChCustMin[1], "100");  // not below the upper limit: set back
  EXPECT_EQ(form->CBChCustMin[1]->currentText(), "-100");
  EXPECT_EQ(Ch(2)->YScalePerDiv(), 20);
  EXPECT_EQ(Ch(2)->YZeroOffset(), 100);
  Type(form->CBChCustMin[1], "-40000");  // out of range: set back, then used
  EXPECT_EQ(form->CBChCustMin[1]->currentText(), "-100");
  Type(form->CBChCustMin[1], "0");
  Type(form->CBChCustMax[1], "4");  // a range of 4 still has a scale
  EXPECT_EQ(Ch(2)->YScalePerDiv(), 1);
  EXPECT_EQ(Ch(2)->YZeroOffset(), 0);
}

TEST_F(ScopePage, EachSignalListLeavesOutTheSignalsOfTheOtherChannelsOfItsPage) {
  EXPECT_EQ(form->SignalList, (TStringList{"SINE", "RAMP", "PRESS", "TEMP"}));
  Type(form->CBChCustMin[1], "-25");
  Choose(form->CBChCustSignal[1], "SINE");
  EXPECT_EQ(Ch(2)->SignalName(), "SINE");
  EXPECT_EQ(form->CBChCustMin[1]->currentText(), "-100") << "a new signal starts with the full range";
  EXPECT_EQ(Ch(2)->YScalePerDiv(), 20);
  form->CBChSignalDropDown(1, true);
  EXPECT_EQ(Items(form->CBChCustSignal[0]), (QStringList{"---", "RAMP", "PRESS", "TEMP"}));

  Choose(form->CBChSignal[2], "RAMP");
  EXPECT_EQ(Ch(3)->SignalName(), "RAMP");
  form->CBChSignalDropDown(1, false);
  EXPECT_EQ(Items(form->CBChSignal[0]), (QStringList{"---", "SINE", "PRESS", "TEMP"}));

  Choose(form->CBChCustSignal[1], "---");
  EXPECT_EQ(Ch(2)->SignalName(), "");
  // New process data: the customer boxes start again, the expert boxes keep their texts.
  Choose(form->CBChCustSignal[0], "TEMP");
  form->IdentifyActExecute();
  for (QComboBox* box : form->CBChCustSignal) EXPECT_EQ(box->currentText(), "---");
  EXPECT_EQ(form->CBChSignal[2]->currentText(), "RAMP");
}

TEST_F(ScopePage, TheCursorDialogAndTheTimeBaseDriveThePanelsFiveAndSix) {
  form->ShowPage(2);
  EXPECT_EQ(form->PanelText(5), "");
  EXPECT_EQ(form->PanelText(6), "");
  form->KVXScope->SetCursorChannel(3);
  form->KVXScope->SetCursorEnable({ckTime});
  {
    // Opened with channel 3 and the time cursors; OK untouched gives the same back.
    dlgtest::ModalAnswer ok([](QDialog* d) {
      auto* dlg = static_cast<TScopeCursorDlg*>(d);
      EXPECT_EQ(dlg->ChannelIndex(), 2);
      EXPECT_TRUE(dlg->CBTime->isChecked());
      EXPECT_FALSE(dlg->CBAmplitude->isChecked());
      dlg->BBtnOK->click();
    });
    form->PMIScopeCursorClick();
    EXPECT_EQ(ok.calls, 1);
  }
  EXPECT_EQ(form->KVXScope->CursorChannel(), 3);
  EXPECT_EQ(form->KVXScope->CursorEnable(), TCursors({ckTime}));
  {
    dlgtest::ModalAnswer cancel([](QDialog* d) {
      auto* dlg = static_cast<TScopeCursorDlg*>(d);
      dlg->SetChannelIndex(0);
      dlg->CBAmplitude->setChecked(true);
      dlg->BBtnCancel->click();
    });
    form->PMIScopeCursorClick();
  }
  EXPECT_EQ(form->KVXScope->CursorChannel(), 3);
  EXPECT_EQ(form->KVXScope->CursorEnable(), TCursors({ckTime}));
  EXPECT_EQ(form->PanelText(5), "") << "amplitude cursors off";

  TCursorInfo info;
  form->KVXScope->GetCursorInfo(info);
  auto timeText = [&](double scale) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "Cha. 3   t1: %.0f ms   t2: %.0f ms   dt: %.0f ms", info.T1 * scale,
                  info.T2 * scale, info.DT * scale);
    return QString(buf);
  };
  EXPECT_EQ(form->PanelText(6), timeText(1));
  Choose(form->CBCustTimeScale, "2000");
  EXPECT_EQ(form->KVXScope->TimeScalePerDiv(), 2000);
  EXPECT_EQ(form->PanelText(6), timeText(2));

  // Amplitudes with the user's decimal separator.
  const char sep = DecimalSeparator();
  SetDecimalSeparator(',');
  form->KVXScope->SetCursorEnable({ckAmplitude});
  form->ShowCursorValues(info, true);
  SetDecimalSeparator(sep);
  auto comma = [](double v) { return QString::number(v, 'f', 2).replace('.', ','); };
  EXPECT_EQ(form->PanelText(5),
            "Cha. 3   y1: " + comma(info.A1) + "   y2: " + comma(info.A2) + "   dy: " + comma(info.DA));
  EXPECT_EQ(form->PanelText(6), "");
}

TEST_F(ScopePage, CopyPutsAPictureOfThePaintBoxSizeOnTheClipboard) {
  form->ShowPage(2);
  QGuiApplication::clipboard()->clear();
  form->PMICopyScopeDspClick();
  const QImage copied = QGuiApplication::clipboard()->image();
  ASSERT_FALSE(copied.isNull());
  EXPECT_EQ(copied.size(), form->PBoxScope->size());
}

TEST_F(ScopePage, StartRefusesABadTimeGridAndRunsOnWhenTheLogCannotBeCreated) {
  form->ShowPage(2);
  for (const char* grid : {"abc", "10", "2001"}) {
    form->TimeGridEdit.Edit->setText(grid);
    form->BtnStart->click();
    EXPECT_FALSE(form->KVXScope->RunScope()) << grid;
  }
  EXPECT_TRUE(messages.Any("Ung\xFCltige Eingabe bei Zeitraster."));
  EXPECT_TRUE(messages.Any("Zeitraster muss zwischen 20 ms und 2000 ms (2 Sekunden) liegen."));
  form->TimeGridEdit.Edit->setText("20");
  const std::string bad = profile.Dir().File("no-such-folder/log.txt");
  form->SaveScopeDataDlg->SetLogFileName(bad);
  form->BtnStart->click();
  EXPECT_TRUE(messages.Any("Datei " + bad + " konnte nicht erstellt werden."));
  EXPECT_TRUE(form->KVXScope->RunScope());
  EXPECT_TRUE(form->BtnStop->isEnabled());
  EXPECT_FALSE(form->BtnStart->isEnabled());
}

const std::string kStamp = R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d:\d{3})";
// A data line of channels 1 and 2 (value, or "---" when no sample came), channels 3 and 4 unbound.
const std::string kData = kStamp + R"(( {0,9}-?\d{1,10}| {7}---){2}( {7}---){2}\r\n)";

std::size_t DataLines(const std::string& file) {
  const std::string text = filetest::ReadAll(file);
  const std::regex data(kData);
  return static_cast<std::size_t>(std::distance(std::sregex_iterator(text.begin(), text.end(), data), std::sregex_iterator()));
}

// Two runs append two header blocks and their data lines. Opening and closing the log dialog
// while the poll thread writes is safe: run under ThreadSanitizer as well (see README).
TEST_F(ScopePage, TwoRunsLogIntoOneFileAndTheDialogMayBeUsedWhileLogging) {
  Choose(form->CBChCustSignal[0], "SINE");
  Choose(form->CBChCustSignal[1], "RAMP");
  const std::string log = profile.Dir().File("scope log.txt");
  const std::string other = profile.Dir().File("other.txt");
  auto name = [](const std::string& file) {
    return [file](QDialog* d) {
      static_cast<TSaveScopeDataDlg*>(d)->EdtFilename->setText(QString::fromStdString(file));
      d->accept();
    };
  };
  {
    dlgtest::ModalAnswer answer(name(log));
    form->SaveToFileButton->click();
  }
  form->ShowPage(2);
  // A machine loaded enough to let four polls in a row time out stops the polling: it is started
  // again, as the user does.
  auto restartStopped = [&] {
    if (form->KVXModProt->PollErrorState() != 2) return;
    form->KVXModProt->SetPollErrorState(0);
    form->ShowPage(2);
  };
  // Until the file holds n data lines.
  auto waitLines = [&](const std::string& file, std::size_t n) {
    return WaitFor([&] {
      restartStopped();
      return DataLines(file) >= n;
    });
  };
  for (int run = 1; run <= 2; ++run) {
    form->BtnStart->click();
    ASSERT_TRUE(waitLines(log, 3u * static_cast<std::size_t>(run)));
    form->BtnStopClick();
  }
  // Both runs: an empty line, a rule, the channel names, a rule, then data lines; all CR LF.
  const std::string header = "\r\n={63}\r\n" + kStamp + "      SINE      RAMP       ---       ---\r\n={63}\r\n";
  EXPECT_TRUE(std::regex_match(filetest::ReadAll(log), std::regex("(" + header + "(" + kData + ")+){2}")))
      << filetest::ReadAll(log);

  // The dialog names another file again and again while the poll thread writes; the last name
  // given is the one written to.
  // Each time after the poll thread wrote a line to the file named before.
  std::ofstream(other, std::ios::binary).flush();
  form->BtnStart->click();
  std::size_t written = DataLines(log) + DataLines(other);
  for (int i = 0; i <= 20; ++i) {
    {
      dlgtest::ModalAnswer answer(name(i % 2 ? log : other));
      form->SaveToFileButton->click();
    }
    ASSERT_TRUE(WaitFor([&] {
      restartStopped();
      return DataLines(log) + DataLines(other) > written;
    }));
    written = DataLines(log) + DataLines(other);
  }
  const std::size_t before = DataLines(log);
  ASSERT_TRUE(waitLines(other, DataLines(other) + 2));
  form->BtnStopClick();
  EXPECT_EQ(DataLines(log), before);
}

// Start writes its header before the scope takes samples: sample sets arriving at any moment (from
// a thread of the test, as the poll's thread delivers them) land after a whole header.
TEST_F(ScopePage, EveryRunsHeaderComesBeforeItsSamples) {
  const std::string log = profile.Dir().File("log.txt");
  form->SaveScopeDataDlg->SetLogFileName(log);
  std::atomic<bool> done{false};
  std::thread poll([&] {
    std::int32_t v = 7;
    TASCIIProcDataObj sample(&v, sizeof v, false, Now());
    while (!done) form->KVXScope->AddScopeData(&sample, nullptr, nullptr, nullptr);
  });
  for (int run = 0; run < 5; ++run) {
    form->BtnStart->click();
    const auto size = std::filesystem::file_size(log);
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::file_size(log) > size; }));
    form->BtnStopClick();
  }
  done = true;
  poll.join();

  // Line by line: each header block whole (an empty line, a rule, the names, a rule), and every
  // data line after one.
  const std::string text = filetest::ReadAll(log);
  const std::regex data(kStamp + R"(         7( {7}---){3})");
  const std::regex names(kStamp + R"(( {7}---){4})");
  const std::string rule(63, '=');
  std::size_t headers = 0, samples = 0, at = 0;
  auto next = [&] {
    const std::size_t end = text.find("\r\n", at);
    const std::string line = text.substr(at, end - at);
    at = end == std::string::npos ? text.size() : end + 2;
    return line;
  };
  while (at < text.size()) {
    const std::string line = next();
    if (line.empty()) {
      ASSERT_EQ(next(), rule);
      ASSERT_TRUE(std::regex_match(next(), names));
      ASSERT_EQ(next(), rule);
      ++headers;
    } else {
      ASSERT_GT(headers, 0u) << "a sample before the first header";
      ASSERT_TRUE(std::regex_match(line, data)) << line;
      ++samples;
    }
  }
  EXPECT_EQ(headers, 5u);
  EXPECT_GE(samples, 5u);
}

}  // namespace

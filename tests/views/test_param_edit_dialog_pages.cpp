// The parameter edit dialog: each page with its entry filters, range and validity messages,
// decimal entry with either separator, the analog-input presets, the curve grid's rules and the
// plot's dragging, and what OK and Cancel write back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>

#include "ViewsTestUtil.h"
#include "model/MyGlobalUtils.h"

using namespace viewtest;

namespace {

class EditDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { savedSep = DecimalSeparator(); }
  void TearDown() override { SetDecimalSeparator(savedSep); }

  TParamListEditDlg dlg;
  MessageRecorder messages;
  char savedSep = '.';
};

// Sends a mouse event with the left button held to the plot.
void PlotMouse(QWidget* plot, QEvent::Type type, QPoint pos) {
  QMouseEvent e(type, QPointF(pos), plot->mapToGlobal(QPointF(pos)),
                type == QEvent::MouseButtonRelease ? Qt::LeftButton : Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                Qt::NoModifier);
  QApplication::sendEvent(plot, &e);
}

}  // namespace

TEST(DecimalEntry, ReadsHundredthsExactly) {
  std::int32_t v = 0;
  EXPECT_TRUE(TryDecimalTextToHundredths("0,29", '.', v));
  EXPECT_EQ(v, 29);
  EXPECT_TRUE(TryDecimalTextToHundredths("0.29", '.', v));
  EXPECT_EQ(v, 29);
  EXPECT_TRUE(TryDecimalTextToHundredths("1,005", ',', v));
  EXPECT_EQ(v, 100);  // further decimals are cut off
  EXPECT_TRUE(TryDecimalTextToHundredths("-0,5", ',', v));
  EXPECT_EQ(v, -50);
  EXPECT_TRUE(TryDecimalTextToHundredths(" 12,34 ", ',', v));
  EXPECT_EQ(v, 1234);
  EXPECT_TRUE(TryDecimalTextToHundredths("21474836,47", ',', v));
  EXPECT_EQ(v, INT32_MAX);
  v = 7;
  for (const char* bad : {"", ",", "-", "1,2,3", "1.2,3", "12a", "21474836,48", "1e5",
                          "99999999999999999999,0"})
    EXPECT_FALSE(TryDecimalTextToHundredths(bad, '.', v)) << bad;
  EXPECT_EQ(v, 7);
}

TEST(EditDialogColours, CommentAndLimitsAreReadableInTheHighlightHue) {
  const QPalette saved = QApplication::palette();
  QPalette light = saved, dark = saved;
  light.setColor(QPalette::Window, QColor(0xEF, 0xEF, 0xEF));
  light.setColor(QPalette::Highlight, QColor(0x30, 0x8C, 0xC6));  // about 3.2:1 on its face
  dark.setColor(QPalette::Window, QColor(0x2A, 0x2A, 0x2A));
  dark.setColor(QPalette::Highlight, QColor(0x1A, 0x3A, 0x8A));
  for (const QPalette& pal : {light, dark}) {
    QApplication::setPalette(pal);
    TParamListEditDlgForm f;
    const QPalette memo = f.MemoComment->palette(), limit = f.LabelMax->palette();
    EXPECT_GE(Contrast(memo.color(QPalette::Text), memo.color(QPalette::Base)), 4.5);
    const QColor text = limit.color(QPalette::WindowText);
    EXPECT_GE(Contrast(text, limit.color(QPalette::Window)), 4.5);
    EXPECT_GT(text.blue(), text.red() + 40);  // still the highlight's blue
  }
  QApplication::setPalette(saved);
}

TEST_F(EditDialogTest, UnsupportedKindsOpenNothing) {
  TModCtrlCommand in(InPara), lpara(LPara);
  bool shown = false;
  EXPECT_FALSE(ExecuteWith(dlg, &in, [&](TParamListEditDlgForm&) { shown = true; }));
  EXPECT_FALSE(ExecuteWith(dlg, &lpara, [&](TParamListEditDlgForm&) { shown = true; }));
  EXPECT_FALSE(dlg.Execute(nullptr));
  EXPECT_FALSE(shown);
}

TEST_F(EditDialogTest, TextPageChoosesFromTheList) {
  auto cmd = TextCmd("MODE", {"Off", "Slow", "Fast"}, "Slow");
  cmd->Help = "Operating mode";
  cmd->GCode = 0x0024;  // All, Basic
  dlg.ShowCmdGrpInfo = true;
  QStringList items;
  int chosen = -2;
  QString caption, comment, page;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    for (int i = 0; i < f.CBoxTextPara->count(); ++i) items << f.CBoxTextPara->itemText(i);
    chosen = f.CBoxTextPara->currentIndex();
    caption = f.windowTitle();
    comment = f.MemoComment->toPlainText();
    page = QString::fromStdString(f.CurrentPage());
    f.CBoxTextPara->setCurrentIndex(2);
    f.BBtnOK->click();
  }));
  EXPECT_EQ(items, (QStringList{"Off", "Slow", "Fast"}));
  EXPECT_EQ(chosen, 1);
  EXPECT_EQ(caption, "Input MODE Parameter");
  EXPECT_EQ(comment, "Operating mode\nCommand Group: All, Basic");
  EXPECT_EQ(page, "TextPara");
  EXPECT_EQ(cmd->Text, "Fast");
}

TEST_F(EditDialogTest, TextPageRefusesATextThatNamesNoItem) {
  auto cmd = TextCmd("MODE", {"Off", "Slow", "Fast", "Auto?"}, "Slow");
  // Unknown, empty, and a character Windows-1252 cannot write (it must not pass for "?").
  for (const QString& typed : {QString("Turbo"), QString(), QString("Auto") + QChar(0x2713)}) {
    QStringList shown;
    bool open = false;
    EXPECT_FALSE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
      f.CBoxTextPara->setEditText(typed);
      f.BBtnOK->click();
      open = f.isVisible();
      shown << f.CBoxTextPara->currentText() << f.CBoxTextPara->lineEdit()->selectedText();
      f.BBtnCancel->click();
    }));
    EXPECT_TRUE(open) << typed.toStdString();
    EXPECT_EQ(shown, (QStringList{"Slow", "Slow"})) << typed.toStdString();
    EXPECT_EQ(messages.Last(), "The input data are not valid!");
    EXPECT_EQ(cmd->Text, "Slow");
  }
  EXPECT_EQ(messages.messages.size(), 3u);
  // A typed name of an item stores the list's own text.
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [](TParamListEditDlgForm& f) {
    f.CBoxTextPara->setEditText("fast");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(cmd->Text, "Fast");
  EXPECT_FALSE(ExecuteWith(dlg, cmd.get(), [](TParamListEditDlgForm& f) {
    f.CBoxTextPara->setCurrentIndex(0);
    f.BBtnCancel->click();
  }));
  EXPECT_EQ(cmd->Text, "Fast");
  EXPECT_EQ(messages.messages.size(), 3u);
}

TEST_F(EditDialogTest, TextPageFindsTheValueWhateverItsCase) {
  auto cmd = TextCmd("MODE", {"Off", "Slow", "Fast"}, "FAST");  // as the module spelled it
  ASSERT_EQ(cmd->Text, "FAST");
  int chosen = -2;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    chosen = f.CBoxTextPara->currentIndex();
    f.BBtnOK->click();
  }));
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(cmd->Text, "Fast");
}

TEST_F(EditDialogTest, NumberPageRangeCheckOnOk) {
  auto cmd = NumCmd("GAIN", 100, 0, 500);
  QString minText, maxText, shown, afterFirstOk;
  bool stillOpen = false;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    minText = f.LabelMin->text();
    maxText = f.LabelMax->text();
    shown = f.LENumPara->text();
    f.LENumPara->setText("600");
    f.BBtnOK->click();
    stillOpen = f.isVisible();
    afterFirstOk = f.LENumPara->text();
    f.BBtnOK->click();
  }));
  EXPECT_EQ(minText, "0");
  EXPECT_EQ(maxText, "500");
  EXPECT_EQ(shown, "100");
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(afterFirstOk, "500");
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.Last(), "Input data are out of range!");
  EXPECT_EQ(messages.types.back(), mtError);
  EXPECT_EQ(cmd->Value, 500);
}

TEST_F(EditDialogTest, NumberPageChecksWhenTheEditIsLeft) {
  auto cmd = NumCmd("GAIN", 100, -50, 500);
  QString text;
  EXPECT_FALSE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->setFocus();
    Settle();
    QTest::keyClicks(f.LENumPara, "-");  // replaces the marked value
    f.LENumPara->setText("-70");
    f.MemoComment->setFocus();  // leaving the edit
    Settle();
    text = f.LENumPara->text();
    f.BBtnCancel->click();
  }));
  EXPECT_EQ(text, "-50");
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.Last(), "Input data are out of range!");
  EXPECT_EQ(cmd->Value, 100);
}

TEST_F(EditDialogTest, NumberPageKeyFilter) {
  auto cmd = NumCmd("GAIN", 0, -1000, 1000);
  QString text;
  ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->clear();
    QTest::keyClicks(f.LENumPara, "-1a2 b3");
    f.LENumPara->setCursorPosition(2);
    QTest::keyClicks(f.LENumPara, "-");  // not at the start: dropped
    text = f.LENumPara->text();
    f.BBtnCancel->click();
  });
  EXPECT_EQ(text, "-123");
}

TEST_F(EditDialogTest, MinusTypedOverTheMarkedValueStartsANegativeNumber) {
  auto num = NumCmd("OFFS", 100, -500, 500);
  QString typed;
  EXPECT_TRUE(ExecuteWith(dlg, num.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->setFocus();
    f.LENumPara->selectAll();
    f.LENumPara->setCursorPosition(f.LENumPara->text().size());
    f.LENumPara->selectAll();  // marked as the page shows it, caret at the end
    QTest::keyClicks(f.LENumPara, "-42");
    typed = f.LENumPara->text();
    f.BBtnOK->click();
  }));
  EXPECT_EQ(typed, "-42");
  EXPECT_EQ(num->Value, -42);

  auto ain = AinCmd("AIN1", 100, 200, 300, auVoltage);
  EXPECT_TRUE(ExecuteWith(dlg, ain.get(), [&](TParamListEditDlgForm& f) {
    f.LEditAinC->setFocus();
    f.LEditAinC->selectAll();
    QTest::keyClicks(f.LEditAinC, "-7");
    typed = f.LEditAinC->text();
    // A marked part that does not start the text takes no "-".
    f.LEditAinB->setFocus();
    f.LEditAinB->setSelection(1, 2);
    QTest::keyClicks(f.LEditAinB, "-");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(typed, "-7");
  EXPECT_EQ(ain->C, -7);
  EXPECT_EQ(ain->B, 200);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(EditDialogTest, NumberPageRefusesCommaWhereNoDecimalsAreShown) {
  auto cmd = NumCmd("GAIN", 42, -10000, 10000);
  QString text;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->setText("5,5");
    f.BBtnOK->click();
    text = f.LENumPara->text();
    f.BBtnOK->click();
  }));
  EXPECT_EQ(messages.messages, std::vector<std::string>{"The input data are not valid!"});
  EXPECT_EQ(text, "42");
  EXPECT_EQ(cmd->Value, 42);
}

TEST_F(EditDialogTest, NumberPageRefusesMalformedAndHugeNumbers) {
  auto cmd = NumCmd("GAIN", 7, INT32_MIN, INT32_MAX);
  for (const char* bad : {"99999999999", "-", "", "12-3"}) {
    messages.messages.clear();
    QString text;
    ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
      f.LENumPara->setText(bad);
      f.BBtnOK->click();
      text = f.LENumPara->text();
      f.BBtnCancel->click();
    });
    EXPECT_EQ(messages.messages, std::vector<std::string>{"The input data are not valid!"}) << bad;
    EXPECT_EQ(text, "7") << bad;
  }
  EXPECT_EQ(cmd->Value, 7);
}

TEST_F(EditDialogTest, DecimalsWithTheCommaSeparator) {
  SetDecimalSeparator(',');
  dlg.ShowDecimals = true;
  auto cmd = NumCmd("PRESS", 1234, -100000, 100000, 21);
  QString shown, minText;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    shown = f.LENumPara->text();
    minText = f.LabelMin->text();
    f.LENumPara->setText("1,005");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(shown, "12,34");
  EXPECT_EQ(minText, "-1000,00");
  EXPECT_EQ(cmd->Value, 100);

  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->setText("12");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(cmd->Value, 12);  // no separator: a plain integer

  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->setText("0,29");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(cmd->Value, 29);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(EditDialogTest, DecimalsWithThePointSeparator) {
  SetDecimalSeparator('.');
  dlg.ShowDecimals = true;
  auto cmd = NumCmd("PRESS", 1234, 0, 5000, 22);
  QString shown;
  // The unchanged two-decimal text is taken back as it stands.
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    shown = f.LENumPara->text();
    f.BBtnOK->click();
  }));
  EXPECT_EQ(shown, "12.34");
  EXPECT_EQ(cmd->Value, 1234);
  // The comma is understood as well, and the point can be typed.
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->setText("3,5");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(cmd->Value, 350);
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->clear();
    QTest::keyClicks(f.LENumPara, "7.25");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(cmd->Value, 725);
  // Out of range in hundredths: the bound comes back as a plain integer.
  QString text;
  ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LENumPara->setText("50.01");
    f.BBtnOK->click();
    text = f.LENumPara->text();
    f.BBtnCancel->click();
  });
  EXPECT_EQ(text, "5000");
  EXPECT_EQ(messages.messages, std::vector<std::string>{"Input data are out of range!"});
  EXPECT_EQ(cmd->Value, 725);
}

TEST_F(EditDialogTest, AnalogInputPageValuesAndUnit) {
  auto cmd = AinCmd("AIN1", 100, -50, 0, auVoltage);
  QString a, b, c, unit, unitLabel;
  QStringList units;
  int preset = -1;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    a = f.LEditAinA->text(), b = f.LEditAinB->text(), c = f.LEditAinC->text();
    for (int i = 0; i < f.CBoxAinX->count(); ++i) units << f.CBoxAinX->itemText(i);
    unit = f.CBoxAinX->currentText();
    unitLabel = f.VoltageLabel->text();
    preset = f.RGrpPresetting->ItemIndex();
    f.LEditAinA->setText("200");
    f.LEditAinC->setText("-300");
    f.CBoxAinX->setCurrentIndex(1);
    f.BBtnOK->click();
  }));
  EXPECT_EQ(a, "100");
  EXPECT_EQ(b, "-50");
  EXPECT_EQ(c, "0");
  EXPECT_EQ(units, (QStringList{"V", "C"}));
  EXPECT_EQ(unit, "V");
  EXPECT_EQ(unitLabel, "V (Voltage) or C (Current)");
  EXPECT_EQ(preset, 0);
  EXPECT_EQ(cmd->A, 200);
  EXPECT_EQ(cmd->B, -50);
  EXPECT_EQ(cmd->C, -300);
  EXPECT_EQ(cmd->Unit, auCurrent);

  dlg.AinCommandUI = true;
  EXPECT_FALSE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    units.clear();
    for (int i = 0; i < f.CBoxAinX->count(); ++i) units << f.CBoxAinX->itemText(i);
    unit = f.CBoxAinX->currentText();
    unitLabel = f.VoltageLabel->text();
    f.BBtnCancel->click();
  }));
  EXPECT_EQ(units, (QStringList{"U", "I"}));
  EXPECT_EQ(unit, "I");
  EXPECT_EQ(unitLabel, "U (Voltage) or I (Current)");
}

TEST_F(EditDialogTest, AnalogInputUnitMustNameAnItem) {
  auto cmd = AinCmd("AIN1", 100, -50, 0, auCurrent);
  QString restored;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LEditAinA->setText("300");
    f.CBoxAinX->setEditText("X");
    f.BBtnOK->click();  // refused: nothing is written yet
    restored = f.CBoxAinX->currentText();
    f.BBtnOK->click();
  }));
  EXPECT_EQ(messages.messages, std::vector<std::string>{"The input data are not valid!"});
  EXPECT_EQ(restored, "C");
  EXPECT_EQ(cmd->A, 300);
  EXPECT_EQ(cmd->Unit, auCurrent);
}

TEST_F(EditDialogTest, AnalogInputEditsAreCheckedOnOkAllThree) {
  auto cmd = AinCmd("AIN1", 100, 200, 300, auVoltage);
  QString a, c;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LEditAinA->setText("");
    f.LEditAinC->setText("12000");
    f.BBtnOK->click();  // A: not valid, restored
    a = f.LEditAinA->text();
    f.BBtnOK->click();  // C: out of range, clamped
    c = f.LEditAinC->text();
    f.BBtnOK->click();
  }));
  EXPECT_EQ(messages.messages, (std::vector<std::string>{"The input data are not valid!",
                                                         "Input data are out of range!"}));
  EXPECT_EQ(a, "100");
  EXPECT_EQ(c, "10000");
  EXPECT_EQ(cmd->A, 100);
  EXPECT_EQ(cmd->C, 10000);
}

TEST_F(EditDialogTest, AnalogInputEditsTakeIntegersOnly) {
  auto cmd = AinCmd("AIN1", 1, 2, 3, auVoltage);
  QString typed, b;
  ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.LEditAinA->clear();
    QTest::keyClicks(f.LEditAinA, "-1,5.x0");
    typed = f.LEditAinA->text();
    f.LEditAinA->setText("1");
    f.LEditAinB->setText("5,5");  // pasted
    f.BBtnOK->click();
    b = f.LEditAinB->text();
    f.BBtnCancel->click();
  });
  EXPECT_EQ(typed, "-150");
  EXPECT_EQ(b, "2");
  EXPECT_EQ(messages.messages, std::vector<std::string>{"The input data are not valid!"});
}

TEST_F(EditDialogTest, AnalogInputPresets) {
  auto cmd = AinCmd("AIN1", 1, 2, 3, auVoltage);
  bool editable = true, unitEnabled = true;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.RGrpPresetting->Button(2)->click();
    editable = f.LEditAinA->isEnabled() || !f.LEditAinB->isReadOnly();
    unitEnabled = f.CBoxAinX->isEnabled() || f.Label5->isEnabled();
    f.BBtnOK->click();
  }));
  EXPECT_FALSE(editable);
  EXPECT_FALSE(unitEnabled);
  EXPECT_EQ(cmd->A, 1250);
  EXPECT_EQ(cmd->B, 1000);
  EXPECT_EQ(cmd->C, 2000);
  EXPECT_EQ(cmd->Unit, auCurrent);

  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    editable = f.LEditAinA->isEnabled() && !f.LEditAinA->isReadOnly();  // reset to user defined
    f.RGrpPresetting->Button(1)->click();
    f.RGrpPresetting->Button(0)->click();  // back: values kept, input open again
    unitEnabled = f.CBoxAinX->isEnabled() && f.LEditAinC->isEnabled();
    f.BBtnOK->click();
  }));
  EXPECT_TRUE(editable);
  EXPECT_TRUE(unitEnabled);
  EXPECT_EQ(cmd->A, 1000);
  EXPECT_EQ(cmd->B, 1000);
  EXPECT_EQ(cmd->C, 0);
  EXPECT_EQ(cmd->Unit, auVoltage);
}

TEST_F(EditDialogTest, CancelEscapeAndCloseBoxLeaveWithoutCheck) {
  auto cmd = NumCmd("GAIN", 5, 0, 10);
  for (int way = 0; way < 3; ++way) {
    EXPECT_FALSE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
      f.LENumPara->setText("999");
      if (way == 0) f.BBtnCancel->click();
      if (way == 1) QTest::keyClick(f.LENumPara, Qt::Key_Escape);
      if (way == 2) f.close();
    }));
  }
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(cmd->Value, 5);
}

TEST_F(EditDialogTest, CurvePageLoadsTheCommandsPoints) {
  auto cmd = CurveCmd("CC1");
  QString head0, head1, head2, row1, row21, x1, y1, x21, y21;
  QPoint first, last;
  EXPECT_FALSE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    head0 = f.CCCell(0, 0), head1 = f.CCCell(1, 0), head2 = f.CCCell(2, 0);
    row1 = f.CCCell(0, 1), row21 = f.CCCell(0, 21);
    x1 = f.CCCell(1, 1), y1 = f.CCCell(2, 1), x21 = f.CCCell(1, 21), y21 = f.CCCell(2, 21);
    first = f.CCPoints[0], last = f.CCPoints[20];
    f.BBtnCancel->click();
  }));
  EXPECT_EQ(head0, "Command");
  EXPECT_EQ(head1, "X-Value");
  EXPECT_EQ(head2, "Y-Value");
  EXPECT_EQ(row1, "CC:10");
  EXPECT_EQ(row21, "CC:-10");
  EXPECT_EQ(x1, "10000");
  EXPECT_EQ(y1, "5000");
  EXPECT_EQ(x21, "-10000");
  EXPECT_EQ(y21, "-5000");
  EXPECT_EQ(first, QPoint(445, 110));
  EXPECT_EQ(last, QPoint(45, 310));  // negative values sit on the grid too
}

TEST_F(EditDialogTest, CurveDefaultThenCancelOrOk) {
  auto cmd = CurveCmd("CC1");
  QString x3, y3;
  EXPECT_FALSE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.BtnDefault->click();
    x3 = f.CCCell(1, 3), y3 = f.CCCell(2, 3);
    f.BBtnCancel->click();
  }));
  EXPECT_EQ(x3, "8000");
  EXPECT_EQ(y3, "8000");
  EXPECT_EQ(cmd->GetPoint(8), (TModCCPoint{8000, 4000}));

  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.BtnDefault->click();
    f.BBtnOK->click();
  }));
  for (int i = -10; i <= 10; ++i) EXPECT_EQ(cmd->GetPoint(i), (TModCCPoint{i * 1000, i * 1000}));
}

TEST_F(EditDialogTest, CurveGridKeepsXFallingAndTheEndsFixed) {
  auto cmd = CurveCmd("CC1");
  QString row5, raised, row1, row21, bad;
  ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    // Row 4 holds X 7000; a larger X in row 5 is lowered to it when the cell is left.
    f.SGridCC->setCurrentCell(4, 1);
    f.SetCCCell(1, 5, "9000");
    f.SGridCC->setCurrentCell(7, 1);
    row5 = f.CCCell(1, 5);
    // A smaller X than row 6's is raised to it.
    f.SetCCCell(1, 5, "-3000");
    f.SGridCC->setCurrentCell(4, 1);
    f.SGridCC->setCurrentCell(7, 2);
    raised = f.CCCell(1, 5);
    f.SetCCCell(1, 1, "1234");
    f.SetCCCell(1, 21, "55");
    f.CheckCCCell(1, 1);
    f.CheckCCCell(1, 21);
    row1 = f.CCCell(1, 1), row21 = f.CCCell(1, 21);
    // A cell that does not read becomes "0".
    f.SGridCC->setCurrentCell(9, 1);
    f.SetCCCell(1, 10, "-");
    f.SGridCC->setCurrentCell(2, 2);
    bad = f.CCCell(1, 10);
    f.BBtnCancel->click();
  });
  EXPECT_EQ(row5, "7000");
  EXPECT_EQ(raised, "5000");
  EXPECT_EQ(row1, "10000");
  EXPECT_EQ(row21, "-10000");
  EXPECT_EQ(bad, "0");
}

TEST_F(EditDialogTest, CurveGridTypingClampsAndEnterChecks) {
  auto cmd = CurveCmd("CC1");
  QString whileTyping, afterEnter, yCell;
  QPoint point;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.SGridCC->setFocus();
    f.SGridCC->setCurrentCell(4, 1);  // row 5, X
    Settle();
    QTest::keyClick(f.SGridCC, Qt::Key_Enter);  // opens the cell
    QWidget* editor = QApplication::focusWidget();
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) {
      f.BBtnCancel->click();
      return;
    }
    line->selectAll();
    QTest::keyClicks(line, "2x0000");  // the letter is dropped
    whileTyping = line->text();
    QTest::keyClick(line, Qt::Key_Return);
    Settle();
    afterEnter = f.CCCell(1, 5);
    // Y of the same row: typed below the range.
    f.SGridCC->setCurrentCell(4, 2);
    QTest::keyClick(f.SGridCC, Qt::Key_Minus);
    line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (line) {
      QTest::keyClicks(line, "99999");
      QTest::keyClick(line, Qt::Key_Return);
    }
    Settle();
    yCell = f.CCCell(2, 5);
    point = f.CCPoints[4];
    f.BBtnOK->click();
  }));
  EXPECT_EQ(whileTyping, "10000");
  EXPECT_EQ(afterEnter, "7000");  // 10000 > row 4's 7000
  EXPECT_EQ(yCell, "-10000");
  EXPECT_EQ(point, QPoint(385, 410));
  EXPECT_EQ(cmd->GetPoint(6), (TModCCPoint{7000, -10000}));
}

TEST_F(EditDialogTest, DraggingThePlot) {
  auto cmd = CurveCmd("CC1");
  QString x1, y1, x3, y3;
  QPoint p0, p2;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    QWidget* plot = f.PBoxCC;
    // The first point (X 10000) moves only vertically.
    PlotMouse(plot, QEvent::MouseButtonPress, f.CCPoints[0] + QPoint(2, 3));
    PlotMouse(plot, QEvent::MouseMove, QPoint(300, 60));
    PlotMouse(plot, QEvent::MouseButtonRelease, QPoint(300, 60));
    p0 = f.CCPoints[0];
    x1 = f.CCCell(1, 1), y1 = f.CCCell(2, 1);
    // Point 2 (row 3) dragged far right stops at point 1, and below the plot at its edge.
    PlotMouse(plot, QEvent::MouseButtonPress, f.CCPoints[2]);
    PlotMouse(plot, QEvent::MouseMove, QPoint(600, 500));
    PlotMouse(plot, QEvent::MouseButtonRelease, QPoint(600, 500));
    p2 = f.CCPoints[2];
    x3 = f.CCCell(1, 3), y3 = f.CCCell(2, 3);
    // A press away from every point drags nothing.
    const auto before = f.CCPoints;
    PlotMouse(plot, QEvent::MouseButtonPress, QPoint(100, 400));
    PlotMouse(plot, QEvent::MouseMove, QPoint(120, 20));
    if (f.CCPoints != before) x1 = "moved";
    f.BBtnOK->click();
  }));
  EXPECT_EQ(p0, QPoint(445, 60));
  EXPECT_EQ(x1, "10000");
  EXPECT_EQ(y1, "7500");
  EXPECT_EQ(p2, QPoint(425, 410));  // point 1 stands at X 9000
  EXPECT_EQ(x3, "9000");
  EXPECT_EQ(y3, "-10000");
  EXPECT_EQ(cmd->GetPoint(10), (TModCCPoint{10000, 7500}));
  EXPECT_EQ(cmd->GetPoint(8), (TModCCPoint{9000, -10000}));
  EXPECT_EQ(cmd->GetPoint(0), (TModCCPoint{0, 0}));
}

TEST_F(EditDialogTest, CurveOfExtremeValuesIsPlacedAndPickedSafely) {
  // Any 32-bit value may come from the module: the mapping keeps its sign and never overflows.
  EXPECT_EQ(TParamListEditDlgForm::CurveToPixelX(INT32_MIN), -42949673 + 245);
  EXPECT_EQ(TParamListEditDlgForm::CurveToPixelX(INT32_MAX), 42949673 + 245);
  EXPECT_EQ(TParamListEditDlgForm::CurveToPixelY(INT32_MAX), 210 - 42949673);
  EXPECT_EQ(TParamListEditDlgForm::CurveToPixelY(INT32_MIN), 210 + 42949673);
  auto cmd = CurveCmd("CC1");
  cmd->SetPoint(10, TModCCPoint{2317050, 0});  // 46341 pixels right of the plot's centre
  cmd->SetPoint(9, TModCCPoint{INT32_MIN, INT32_MAX});
  int picked = -2;
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    (void)f.PBoxCC->grab();  // drawn without trouble
    // A press on the centre point (curve index 0, element 10) picks it, not a far one.
    PlotMouse(f.PBoxCC, QEvent::MouseButtonPress, QPoint(245, 210));
    picked = f.DragIndex;
    PlotMouse(f.PBoxCC, QEvent::MouseButtonRelease, QPoint(245, 210));
    f.BBtnOK->click();
  }));
  EXPECT_EQ(picked, 10);
  EXPECT_EQ(cmd->GetPoint(9), (TModCCPoint{INT32_MIN, INT32_MAX}));
}

TEST_F(EditDialogTest, CurveRowsThatDoNotReadKeepTheirPoints) {
  auto cmd = CurveCmd("CC1");
  EXPECT_TRUE(ExecuteWith(dlg, cmd.get(), [&](TParamListEditDlgForm& f) {
    f.SetCCCell(2, 11, "");     // index 0
    f.SetCCCell(1, 12, "abc");  // index -1
    f.SetCCCell(2, 13, "-1500");
    f.BBtnOK->click();
  }));
  EXPECT_EQ(cmd->GetPoint(0), (TModCCPoint{0, 0}));
  EXPECT_EQ(cmd->GetPoint(-1), (TModCCPoint{-1000, -500}));
  EXPECT_EQ(cmd->GetPoint(-2), (TModCCPoint{-2000, -1500}));
}

TEST_F(EditDialogTest, OneFormServesEveryEdit) {
  const TParamListEditDlgForm* form = dlg.Form.get();
  auto num = NumCmd("N", 1, 0, 9);
  auto cc = CurveCmd("CC");
  auto text = TextCmd("T", {"a", "b"}, "a");
  QSize numSize, ccSize;
  ExecuteWith(dlg, num.get(), [&](TParamListEditDlgForm& f) {
    numSize = f.size();
    f.reject();
  });
  ExecuteWith(dlg, cc.get(), [&](TParamListEditDlgForm& f) {
    ccSize = f.size();
    f.reject();
  });
  std::string page;
  ExecuteWith(dlg, text.get(), [&](TParamListEditDlgForm& f) {
    page = f.CurrentPage();
    f.reject();
  });
  EXPECT_EQ(dlg.Form.get(), form);
  EXPECT_EQ(page, "TextPara");
  EXPECT_GE(numSize.width(), 373);
  EXPECT_GE(numSize.height(), 300);
  EXPECT_LT(numSize.height(), 450);
  EXPECT_GE(ccSize.width(), 668);
  EXPECT_GE(ccSize.height(), 686);
}

// The ".par" text file without a port: the exact columns of its lines, the identification line,
// its sections, and which command a line names.
#include <gtest/gtest.h>

#include <string>

#include "model/FileTestUtil.h"
#include "protocol/osDRUVParamText.h"

using namespace filetest;

namespace {

std::string Line(const std::string& text, int n) {
  const TStringList lines = SplitTextLines(text);
  return n < static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(n)] : std::string("<none>");
}

}  // namespace

TEST(ParTextBuild, ColumnsOfEveryLineKind) {
  TModCommandList list;
  AddCmd<TModNumParaCmd>(list, "P")->Value = 1500;
  auto* t = AddCmd<TModTextParaCmd>(list, "DIR");
  t->VList = {"Forward", "Reverse"};
  t->SetText("Reverse");
  auto* a = AddCmd<TModAinParaCmd>(list, "AIN1");
  a->A = 100;
  a->B = -50;
  a->C = 0;
  auto* c = AddCmd<TModCCParaCmd>(list, "K");
  c->SetPoint(-10, {-10000, 2500});
  c->SetPoint(10, {10000, -7});

  const std::string text = BuildParameterText("KVX-SIM 1.20 2026 4711", list);
  EXPECT_EQ(Line(text, 0), "KVX-SIM 1.20 2026 4711");
  EXPECT_EQ(Line(text, 1), "##");
  EXPECT_EQ(Line(text, 2), "P" + std::string(19, ' ') + "1500 ");
  EXPECT_EQ(Line(text, 2).size(), 25u);
  EXPECT_EQ(Line(text, 3), "DIR" + std::string(14, ' ') + "Reverse ");
  EXPECT_EQ(Line(text, 4), "AIN1" + std::string(14, ' ') + "   100    -50      0 V");
  EXPECT_EQ(Line(text, 4).size(), 40u);
  EXPECT_EQ(Line(text, 5), "K:-10" + std::string(13, ' ') + "-10000   2500");
  EXPECT_EQ(Line(text, 5).size(), 31u);
  EXPECT_EQ(Line(text, 15), "K:0" + std::string(15, ' ') + "     0      0");
  EXPECT_EQ(Line(text, 25), "K:10" + std::string(14, ' ') + " 10000     -7");
  EXPECT_EQ(Line(text, 26), "##");
  EXPECT_EQ(SplitTextLines(text).size(), 27u);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(ParTextBuild, FactoryAndValuelessCommandsAreLeftOut) {
  TModCommandList list;
  auto* cal = AddCmd<TModNumParaCmd>(list, "CAL");
  cal->GCode = 0x0040;  // DRUVTEC
  auto* np = new TModCtrlCommand(NoPara);
  np->Name = "CLRERR";
  list.Add(np);
  auto* in = new TModCtrlCommand(InPara);
  in->Name = "INPUTS";
  list.Add(in);
  AddCmd<TModNumParaCmd>(list, "GAIN")->Value = 7;
  const std::string text = BuildParameterText("M 1 2 3", list);
  EXPECT_EQ(text, "M 1 2 3\n##\nGAIN" + std::string(19, ' ') + "7 \n##\n");
}

TEST(ParTextBuild, LongNamesAndValuesStaySeparate) {
  TModCommandList list;
  AddCmd<TModNumParaCmd>(list, "NAME_OF_TWENTY_TWO_CH")->Value = 5;  // still fits
  AddCmd<TModNumParaCmd>(list, std::string(30, 'N'))->Value = 42;
  AddCmd<TModNumParaCmd>(list, "NAME_OF_TWENTY_TWO_CH2")->Value = 123456;
  auto* a = AddCmd<TModAinParaCmd>(list, "AIN_INPUT_SCALING_1");
  a->A = -10000;
  const std::string text = BuildParameterText("M", list);
  EXPECT_EQ(Line(text, 2), "NAME_OF_TWENTY_TWO_CH  5 ");
  // Where the value would cut into the name or run into it, a blank separates the two.
  EXPECT_EQ(Line(text, 3), std::string(30, 'N') + " 42 ");
  EXPECT_EQ(Line(text, 4), "NAME_OF_TWENTY_TWO_CH2 123456 ");
  EXPECT_EQ(Line(text, 5), "AIN_INPUT_SCALING_1 -10000      0      0 V");
}

// A number wider than its columns keeps a blank before it; where the values fit, the columns
// are as ever. Glued, "0-100000" would read back as one value and the module get the wrong one.
TEST(ParTextBuild, WideNumbersKeepABlankBeforeThem) {
  TModCommandList list;
  auto* a = AddCmd<TModAinParaCmd>(list, "AIN1");
  a->B = -100000;
  a->C = 5;
  auto* c = AddCmd<TModCCParaCmd>(list, "K");
  c->SetPoint(0, {3, -1000000});
  const std::string text = BuildParameterText("M 1 2 3", list);
  EXPECT_EQ(Line(text, 2), "AIN1" + std::string(14, ' ') + "     0 -100000     5 V");
  EXPECT_EQ(Line(text, 13), "K:0" + std::string(15, ' ') + "     3 -1000000");
  const TParFileContent f = ParseParameterText(text);
  ASSERT_EQ(f.Lines.size(), 22u);
  EXPECT_EQ(f.Lines[0].Values, (TStringList{"0", "-100000", "5", "V"}));
  EXPECT_EQ(f.Lines[11].Values, (TStringList{"3", "-1000000"}));
}

// Labels of a curve whose name leaves too little room: each point still reads back as itself,
// never as another point of the curve (point 10 cut to "...:1" would overwrite point 1).
TEST(ParTextBuild, LongCurveLabelsReadBackAsTheirOwnPoints) {
  TModCommandList list;
  auto* c = AddCmd<TModCCParaCmd>(list, "CHARACTERISTIC12");
  for (int k = TModCCParaCmd::MinIndex; k <= TModCCParaCmd::MaxIndex; ++k) c->SetPoint(k, {k * 100, k});
  const std::string text = BuildParameterText("M 1 2 3", list);
  EXPECT_EQ(Line(text, 2), "CHARACTERISTIC12:-10  -1000    -10");
  EXPECT_EQ(Line(text, 12), "CHARACTERISTIC12:0     0      0");  // fits: columns as ever

  TModCommandList back;
  auto* r = AddCmd<TModCCParaCmd>(back, "CHARACTERISTIC12");
  const TParFileContent f = ParseParameterText(text);
  ASSERT_EQ(f.Lines.size(), 21u);
  for (const TParLine& line : f.Lines) {
    TStringList values;
    ASSERT_EQ(ResolveParLine(back, line, values), r) << line.Name;
    ASSERT_EQ(values.size(), 3u);
    r->SetPoint(std::stoi(values[0]), {std::stoi(values[1]), std::stoi(values[2])});
  }
  for (int k = TModCCParaCmd::MinIndex; k <= TModCCParaCmd::MaxIndex; ++k) {
    EXPECT_EQ(r->GetPoint(k).X, k * 100) << k;
    EXPECT_EQ(r->GetPoint(k).Y, k) << k;
  }
}

TEST(ParTextBuild, TextsWithBlanksAreQuotedAndReadBackWhole) {
  TModCommandList list;
  auto* t = AddCmd<TModTextParaCmd>(list, "OPMODE");
  t->VList = {"Gain 1", "Say \"hi\", then", "\xC4nderung"};
  t->SetText("Gain 1");
  auto* u = AddCmd<TModTextParaCmd>(list, "QUOTE");
  u->VList = t->VList;
  u->SetText("Say \"hi\", then");
  auto* w = AddCmd<TModTextParaCmd>(list, "UML");
  w->VList = t->VList;
  w->SetText("\xC4nderung");
  const std::string text = BuildParameterText("M 1 2 3", list);
  EXPECT_EQ(Line(text, 2), "OPMODE" + std::string(10, ' ') + "\"Gain 1\" ");
  EXPECT_EQ(Line(text, 4), "UML" + std::string(13, ' ') + "\xC4nderung ");

  const TParFileContent f = ParseParameterText(text);
  ASSERT_EQ(f.Lines.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    TStringList values;
    auto* cmd = dynamic_cast<TModTextParaCmd*>(ResolveParLine(list, f.Lines[i], values));
    ASSERT_NE(cmd, nullptr);
    ASSERT_EQ(values.size(), 1u) << i;
    EXPECT_EQ(values[0], cmd->Text);
  }
}

TEST(ParTextId, PromptAndLeadingIdWordOnly) {
  EXPECT_EQ(ParFileIdText("KVX-SIM 1.20 2026 4711"), "KVX-SIM 1.20 2026 4711");
  EXPECT_EQ(ParFileIdText("  ID KVX-SIM 1.20 2026 4711 CMD>"), "KVX-SIM 1.20 2026 4711");
  EXPECT_EQ(ParFileIdText("ID KVX-SIM 1.20 2026 4711>"), "KVX-SIM 1.20 2026 4711");
  EXPECT_EQ(ParFileIdText("SLIDE1 1.00 2026 7"), "SLIDE1 1.00 2026 7");
  EXPECT_EQ(ParFileIdText("IDENT 1.00 x 7"), "IDENT 1.00 x 7");
  EXPECT_EQ(ParFileIdText("ID"), "");
  EXPECT_EQ(ParFileIdText(""), "");
}

TEST(ParTextParse, SectionsLinesAndLineBreaks) {
  EXPECT_FALSE(ParseParameterText("").Usable);
  EXPECT_FALSE(ParseParameterText("M 1 2 3\n##\n").Usable);  // two lines
  EXPECT_TRUE(ParseParameterText("M 1 2 3\n##\n##\n").Usable);

  TParFileContent f = ParseParameterText("ID M 1 2 3\r\nnotes\r\n##\r\nGAIN   250\r\n\r\nnonsense, command error\r\nK:3 1 2\r\n##\r\nAFTER 1\r\n");
  EXPECT_EQ(f.IdText, "M 1 2 3");
  ASSERT_EQ(f.Section, psParameters);
  ASSERT_EQ(f.Lines.size(), 2u);
  EXPECT_EQ(f.Lines[0].Name, "GAIN");
  EXPECT_EQ(f.Lines[0].Values, TStringList{"250"});
  EXPECT_EQ(f.Lines[1].Name, "K:3");
  EXPECT_EQ(f.Lines[1].Values, (TStringList{"1", "2"}));

  // An unclosed "##" section runs to the end of the file.
  f = ParseParameterText("M\r##\rA 1\rB 2");
  EXPECT_EQ(f.Section, psParameters);
  EXPECT_EQ(f.Lines.size(), 2u);

  f = ParseParameterText("M\n#\nGAIN 300;\nOFFSET 10\n#\ntrailing\n");
  EXPECT_EQ(f.Section, psBlock);
  EXPECT_EQ(f.Block, "GAIN 300;OFFSET 10");

  EXPECT_EQ(ParseParameterText("M\n#\nGAIN 300\n").Section, psBlockOpen);
  EXPECT_EQ(ParseParameterText("M\nGAIN 1\nOFFSET 2\n").Section, psNone);
  // The first line is never a section mark.
  EXPECT_EQ(ParseParameterText("##\nA\nB\n").Section, psNone);
}

TEST(ParTextResolve, NamesCurvePointsAndUnknownNames) {
  TModCommandList list;
  AddCmd<TModCCParaCmd>(list, "CURVE");
  AddCmd<TModNumParaCmd>(list, "GAIN");
  auto* pv = new TModProcCommand();
  pv->Name = "PV";
  list.Add(pv);

  TStringList values;
  EXPECT_EQ(ResolveParLine(list, {"gain", {"5"}}, values), list.GetObject(1));
  EXPECT_EQ(values, TStringList{"5"});
  EXPECT_EQ(ResolveParLine(list, {"CURVE:-3", {"-3000", "7"}}, values), list.GetObject(0));
  EXPECT_EQ(values, (TStringList{"-3", "-3000", "7"}));
  EXPECT_EQ(ResolveParLine(list, {"CURVE:x", {"1", "2"}}, values), nullptr);
  EXPECT_EQ(ResolveParLine(list, {"GAIN:3", {"1", "2"}}, values), nullptr);  // no curve
  EXPECT_EQ(ResolveParLine(list, {"XYZ", {"1"}}, values), nullptr);
  EXPECT_EQ(ResolveParLine(list, {"PV", {"1"}}, values), nullptr);  // not settable
}

// Texts with blanks written without quotes (older files): the words are one text when that is an
// allowed one; otherwise they stay apart, so assigning them leaves the text as it was.
TEST(ParTextResolve, UnquotedWordsJoinOnlyIntoAnAllowedText) {
  TModCommandList list;
  auto* t = AddCmd<TModTextParaCmd>(list, "MODE");
  t->VList = {"Fast", "Slow", "Gain 1 x", "Off"};
  TStringList values;
  EXPECT_EQ(ResolveParLine(list, {"MODE", {"gain", "1", "X"}}, values), t);
  EXPECT_EQ(values, TStringList{"gain 1 X"});
  EXPECT_EQ(ResolveParLine(list, {"MODE", {"Fast", "Slow"}}, values), t);
  EXPECT_EQ(values, (TStringList{"Fast", "Slow"}));
}

// What a line may load into its command: whole 32-bit numbers only, a text of the value list, a
// curve point on the curve; a text parameter's line without a text (as written for a parameter
// that holds none) loads nothing and is no error.
TEST(ParTextValues, OnlyValuesTheCommandCanHoldFit) {
  TModCommandList list;
  auto* n = AddCmd<TModNumParaCmd>(list, "N");
  auto* t = AddCmd<TModTextParaCmd>(list, "T");
  t->VList = {"Gain 1", "Off"};
  auto* a = AddCmd<TModAinParaCmd>(list, "A");
  auto* c = AddCmd<TModCCParaCmd>(list, "C");
  EXPECT_EQ(CheckParValues(*n, {"-2147483648"}), pvFits);
  EXPECT_EQ(CheckParValues(*n, {"2147483648"}), pvBeyond32Bits);
  EXPECT_EQ(CheckParValues(*n, {"1.5"}), pvNotWhole);
  EXPECT_EQ(CheckParValues(*n, {}), pvValueCount);
  EXPECT_EQ(CheckParValues(*n, {"1", "2"}), pvValueCount);
  EXPECT_EQ(CheckParValues(*t, {"gain 1"}), pvFits);
  EXPECT_EQ(CheckParValues(*t, {"Gain 3"}), pvTextNotListed);
  EXPECT_EQ(CheckParValues(*t, {}), pvNoValue);
  EXPECT_EQ(CheckParValues(*a, {"1", "-2"}), pvFits);
  EXPECT_EQ(CheckParValues(*a, {"1", "4294967296", "3", "V"}), pvBeyond32Bits);
  // Values past the unit letter are ignored, as in the module's own reply.
  EXPECT_EQ(CheckParValues(*a, {"1", "2", "3", "4", "5"}), pvFits);
  EXPECT_EQ(CheckParValues(*c, {"11", "1", "2"}), pvOffCurve);
  EXPECT_EQ(CheckParValues(*c, {"3", "1", "2147483648"}), pvBeyond32Bits);
  EXPECT_STREQ(ParValueCheckText(pvOffCurve), "curve point off the curve");
}

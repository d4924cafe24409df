#include <gtest/gtest.h>

#include "model/osDRUVModProtBase.h"

namespace {

TEST(CommandGroups, NamesFollowTheBitsInOrder) {
  TModNumParaCmd cmd;
  cmd.GCode = 0xFFBC;
  EXPECT_EQ(cmd.GetGroupNames(),
            "All, Appli, QEL, Basic, Password, Pressure, Special, FreeBit10, FreeBit11, FreeBit12, "
            "FreeBit13, FreeBit14, FreeBit15");
  cmd.GCode = 0;
  EXPECT_EQ(cmd.GetGroupNames(), "");
  cmd.GCode = 0x0043;
  EXPECT_EQ(cmd.GetGroupNames(), "NewTab, NewData, DRUVTEC");
  const TModCmdGroups g = cmd.GetGroups();
  EXPECT_TRUE(g.Contains(TModCmdGroup::NewTab));
  EXPECT_TRUE(g.Contains(TModCmdGroup::DRUVTEC));
  EXPECT_FALSE(g.Contains(TModCmdGroup::All));
  EXPECT_EQ(GCodeToGroupSet(0x8000).Bits, 0x8000);
  EXPECT_TRUE(GCodeToGroupSet(0x8000).Contains(TModCmdGroup::FreeBit15));
  EXPECT_TRUE(GCodeToGroupSet(0).Empty());
}

TEST(StatusBit, IsBitSetReadsInvertsAndIgnoresBitsOutsideTheWord) {
  TModStatusBitCommand s;
  s.Status = 0x0004;
  s.BIndex = 2;
  EXPECT_TRUE(s.IsBitSet());
  s.BInvers = true;
  EXPECT_FALSE(s.IsBitSet());
  s.BInvers = false;
  s.BIndex = 20;
  EXPECT_FALSE(s.IsBitSet());
  s.BInvers = true;
  EXPECT_TRUE(s.IsBitSet());
  s.BInvers = false;
  s.Status = 0xFFFF;
  s.BIndex = 16;
  EXPECT_FALSE(s.IsBitSet());
  s.BIndex = 255;
  EXPECT_FALSE(s.IsBitSet());
  s.BIndex = 15;
  EXPECT_TRUE(s.IsBitSet());
  EXPECT_EQ(s.GetValueStr(), "65535");
}

TEST(StatusBit, BitNameIsThePartAfterTheFirstColon) {
  TModStatusBitCommand s;
  s.Name = "ST:Enable";
  EXPECT_EQ(s.GetBitName(), "Enable");
  s.Name = "Enable";
  EXPECT_EQ(s.GetBitName(), "Enable");
  s.Name = "A:B:C";
  EXPECT_EQ(s.GetBitName(), "B:C");
  s.Name = "X:";
  EXPECT_EQ(s.GetBitName(), "");
}

TEST(RemoteCtrl, PinsComeFromExactNames) {
  TModRemoteCtrlCmd r;
  const std::pair<const char*, int> pins[] = {{"RC:910", 1}, {"RC:6", 2},  {"RC:13", 3}, {"RC:14", 4},
                                              {"RC:29", 5},  {"rc:6", 0},  {"RC:7", 0},  {"", 0},
                                              {"RC:6 ", 0}};
  for (const auto& [name, pin] : pins) {
    r.Name = name;
    EXPECT_EQ(r.GetPinIndex(), pin) << name;
  }
  r.Name = "RC:910";
  EXPECT_EQ(r.GetPinCaption(), "PIN 9/10");
  r.Name = "RC:6";
  EXPECT_EQ(r.GetPinCaption(), "Pin 6");
  r.Name = "RC:14";
  EXPECT_EQ(r.GetPinCaption(), "Pin 14");
  r.Name = "other";
  EXPECT_EQ(r.GetPinCaption(), "");
  EXPECT_EQ(RemoteCtrlPinCaption(9), "");
  r.Value = -3;
  EXPECT_EQ(r.GetValueStr(), "-3");
}

TEST(ValueTexts, EveryKindShowsItsValue) {
  TModCtrlCommand plain(InPara);
  EXPECT_EQ(plain.GetValueStr(), "");
  TModTextParaCmd t;
  t.VList = {"Off", "On"};
  t.SetText("On");
  EXPECT_EQ(t.GetValueStr(), "On");
  TModNumParaCmd n;
  n.Value = -123456;
  EXPECT_EQ(n.GetValueStr(), "-123456");
  TModCCParaCmd cc;
  EXPECT_EQ(cc.GetValueStr(), "characteristic curve");
  TModStatusBitCommand s;
  s.Status = 513;
  EXPECT_EQ(s.GetValueStr(), "513");
}

TEST(ValueTexts, TextParaAcceptsOnlyListedTextsWithoutCase) {
  TModTextParaCmd t;
  t.VList = {"Gain 1", "Gain 2"};
  t.SetText("gain 2");
  EXPECT_EQ(t.Text, "gain 2");  // kept as given
  t.SetText("Gain 3");
  EXPECT_EQ(t.Text, "");
  t.SetText("Gain 1");
  t.SetText("");
  EXPECT_EQ(t.Text, "");
}

class AinText : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_[0] = AinUnitLetters[0];
    saved_[1] = AinUnitLetters[1];
  }
  void TearDown() override {
    AinUnitLetters[0] = saved_[0];
    AinUnitLetters[1] = saved_[1];
  }

 private:
  std::string saved_[2];
};

TEST_F(AinText, ColumnsAndUnitLetters) {
  TModAinParaCmd a;
  a.A = 100;
  a.B = -50;
  a.C = 0;
  EXPECT_EQ(a.GetValueStr(), "   100    -50      0 V");
  a.Unit = auCurrent;
  EXPECT_EQ(a.GetValueStr(), "   100    -50      0 C");
  AinUnitLetters[0] = "U";
  AinUnitLetters[1] = "I";
  EXPECT_EQ(a.GetValueStr(), "   100    -50      0 I");
  a.Unit = auVoltage;
  EXPECT_EQ(a.GetValueStr(), "   100    -50      0 U");
  a.Unit = static_cast<TModAinUnit>(7);  // from a file: no letter
  EXPECT_EQ(a.GetValueStr(), "   100    -50      0 ?");
}

TEST_F(AinText, LongNumbersPushTheRestToTheRight) {
  TModAinParaCmd a;
  a.A = 1234567;
  const std::string s = a.GetValueStr();
  EXPECT_EQ(s.size(), 23u);
  EXPECT_EQ(s.substr(0, 7), "1234567");
  // The later columns stay where they are; only the tail grows.
  EXPECT_EQ(s, "1234567     0      0 V ");
}

// A number too wide for its room never glues to the one before: "0-100000" would read back as
// one value, and the module would get the wrong ones.
TEST_F(AinText, WideNumbersStaySeparate) {
  TModAinParaCmd a;
  a.B = -100000;
  a.C = 1000000;
  EXPECT_EQ(a.GetValueStr(), "     0 -100000 1000000 V");
  a.A = a.B = a.C = INT32_MIN;
  EXPECT_EQ(a.GetValueStr(), "-2147483648 -2147483648 -2147483648 V");
  TModCCParaCmd cc;
  cc.SetPoint(0, {-100000, -1000000});
  EXPECT_EQ(cc.GetPointStr(0), "-100000 -1000000");
  cc.SetPoint(0, {5, 1234567});
  EXPECT_EQ(cc.GetPointStr(0), "     5 1234567");
}

TEST(CurvePoints, IndexesOutsideTheCurveAreRejected) {
  TModCCParaCmd cc;
  cc.SetPoint(-10, {-10000, 2500});
  cc.SetPoint(10, {7, -8});
  EXPECT_EQ(cc.GetPoint(-10), (TModCCPoint{-10000, 2500}));
  EXPECT_EQ(cc.GetPoint(10), (TModCCPoint{7, -8}));
  EXPECT_EQ(cc.GetPoint(0), (TModCCPoint{0, 0}));
  EXPECT_EQ(cc.GetPointStr(-10), "-10000   2500");
  EXPECT_EQ(cc.GetPointStr(0), "     0      0");
  cc.SetPoint(11, {1, 1});
  cc.SetPoint(-11, {1, 1});
  cc.SetPoint(INT32_MIN, {1, 1});
  EXPECT_EQ(cc.GetPoint(11), (TModCCPoint{0, 0}));
  EXPECT_EQ(cc.GetPoint(-11), (TModCCPoint{0, 0}));
  EXPECT_EQ(cc.GetPointStr(11), "");
  EXPECT_EQ(cc.GetPoint(10), (TModCCPoint{7, -8}));
  cc.SetPoint(0, {1234567, 1});
  EXPECT_EQ(cc.GetPointStr(0), "1234567     1 ");  // Y keeps its column
}

TEST(AssignTo, CopiesEachClassesFieldsOnlyBetweenEqualKinds) {
  TModTextParaCmd src;
  src.Name = "MODE";
  src.Help = "h";
  src.AType = 3;
  src.VType = 4;
  src.GCode = 0x10;
  src.Min = -1;
  src.Max = 9;
  src.VList = {"A", "B"};
  src.Text = "B";
  src.OnChange = [](TObject*) {};
  TModTextParaCmd dst;
  src.AssignTo(&dst);
  EXPECT_EQ(dst.Name, "MODE");
  EXPECT_EQ(dst.Help, "h");
  EXPECT_EQ(dst.AType, 3);
  EXPECT_EQ(dst.VType, 4);
  EXPECT_EQ(dst.GCode, 0x10);
  EXPECT_EQ(dst.Min, -1);
  EXPECT_EQ(dst.Max, 9);
  EXPECT_EQ(dst.VList, (TStringList{"A", "B"}));
  EXPECT_EQ(dst.Text, "B");
  EXPECT_FALSE(dst.OnChange);

  // A text outside the source's list does not survive the copy (SetText against Dest's list).
  src.Text = "C";
  src.AssignTo(&dst);
  EXPECT_EQ(dst.Text, "");

  TModNumParaCmd other;
  other.Name = "keep";
  src.AssignTo(&other);
  EXPECT_EQ(other.Name, "keep");
  src.AssignTo(nullptr);
  src.AssignTo(&src);
  EXPECT_EQ(src.VList.size(), 2u);
}

TEST(AssignTo, ValuesOfNumAinCurveStatusAndRemote) {
  TModAinParaCmd a1, a2;
  a1.A = 1;
  a1.B = 2;
  a1.C = 3;
  a1.Unit = auCurrent;
  a1.AssignTo(&a2);
  EXPECT_EQ(a2.GetValueStr(), a1.GetValueStr());

  TModCCParaCmd c1, c2;
  for (int i = -10; i <= 10; ++i) c1.SetPoint(i, {i, -i});
  c1.AssignTo(&c2);
  for (int i = -10; i <= 10; ++i) EXPECT_EQ(c2.GetPoint(i), (TModCCPoint{i, -i}));

  TModStatusBitCommand s1, s2;
  s1.BActive = true;
  s1.Status = 5;
  s1.BIndex = 3;
  s1.BHelp = "bit";
  s1.BInvers = true;
  s1.BColor = 2;
  s1.AssignTo(&s2);
  EXPECT_TRUE(s2.BActive);
  EXPECT_EQ(s2.Status, 5);
  EXPECT_EQ(s2.BIndex, 3);
  EXPECT_EQ(s2.BHelp, "bit");
  EXPECT_TRUE(s2.BInvers);
  EXPECT_EQ(s2.BColor, 2);

  TModRemoteCtrlCmd r1, r2;
  r1.Value = 44;
  r1.AssignTo(&r2);
  EXPECT_EQ(r2.Value, 44);

  // Same kind, plainer class: only the common part is copied, nothing is overrun.
  TModNumParaCmd n;
  n.Value = 5;
  n.Name = "N";
  TModCtrlCommand plainNum(NumPara);
  n.AssignTo(&plainNum);
  EXPECT_EQ(plainNum.Name, "N");
}

TEST(CreateModCommandCopy, CopiesTheCopyableKindsOnly) {
  EXPECT_EQ(CreateModCommandCopy(nullptr), nullptr);
  TModStatusBitCommand s;
  EXPECT_EQ(CreateModCommandCopy(&s), nullptr);
  TModRemoteCtrlCmd r;
  EXPECT_EQ(CreateModCommandCopy(&r), nullptr);

  TModProcCommand p;
  p.Name = "I1";
  p.CompFactor = 100;
  p.PhysUnit = "mA";
  p.Value = 999;
  auto c = CreateModCommandCopy(&p);
  auto* pc = dynamic_cast<TModProcCommand*>(c.get());
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->Name, "I1");
  EXPECT_EQ(pc->CompFactor, 100);
  EXPECT_EQ(pc->PhysUnit, "mA");
  EXPECT_EQ(pc->Value, 0);

  for (TModCmdKind k : {InPara, NoPara, AinSPara, LPara}) {
    TModCtrlCommand cmd(k);
    cmd.Name = "X";
    auto copy = CreateModCommandCopy(&cmd);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Kind, k);
    EXPECT_EQ(copy->Name, "X");
  }
  TModNumParaCmd n;
  n.Value = 17;
  auto nc = CreateModCommandCopy(&n);
  ASSERT_NE(dynamic_cast<TModNumParaCmd*>(nc.get()), nullptr);
  EXPECT_EQ(static_cast<TModNumParaCmd*>(nc.get())->Value, 17);
  EXPECT_NE(dynamic_cast<TModCCParaCmd*>(CreateModCommandCopy(std::make_unique<TModCCParaCmd>().get()).get()),
            nullptr);
}

}  // namespace

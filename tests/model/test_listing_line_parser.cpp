#include <gtest/gtest.h>

#include "model/osDRUVModProtBase.h"

namespace {

template <class T>
std::unique_ptr<T> ParseAs(const std::string& line) {
  auto cmd = ParseModCommandLine(line);
  auto* typed = dynamic_cast<T*>(cmd.get());
  if (!typed) return nullptr;
  cmd.release();
  return std::unique_ptr<T>(typed);
}

TEST(ListingLine, NumParaWithAllNineFields) {
  auto c = ParseAs<TModNumParaCmd>("3\\2\\PAR1\\A|B|C\\Help text\\1\\0\\2\\65535");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Name, "PAR1");
  EXPECT_EQ(c->AType, 3);
  EXPECT_EQ(c->VType, 1);
  EXPECT_EQ(c->Min, 0);
  EXPECT_EQ(c->Max, 2);
  EXPECT_EQ(c->GCode, 65535);
  EXPECT_EQ(c->Help, "Help text");
  EXPECT_EQ(c->VList, (TStringList{"A", "B", "C"}));
  EXPECT_EQ(c->Value, 0);
}

TEST(ListingLine, MissingGroupFieldAndShortLines) {
  auto c8 = ParseAs<TModNumParaCmd>("3\\2\\PAR1\\A|B|C\\Help text\\1\\-5\\2");
  ASSERT_NE(c8, nullptr);
  EXPECT_EQ(c8->GCode, DefaultGCode);
  EXPECT_EQ(c8->Min, -5);
  auto c6 = ParseAs<TModNumParaCmd>("3\\2\\PAR1\\A|B|C\\Help text\\1");
  ASSERT_NE(c6, nullptr);
  EXPECT_EQ(c6->Min, 0);
  EXPECT_EQ(c6->Max, 0);
  EXPECT_TRUE(c6->VList.empty());
  EXPECT_EQ(c6->GCode, DefaultGCode);
  EXPECT_EQ(c6->Help, "Help text");
  EXPECT_EQ(ParseModCommandLine("3\\2\\PAR1\\A|B|C\\Help text"), nullptr);
  EXPECT_EQ(ParseModCommandLine(""), nullptr);
  EXPECT_EQ(ParseModCommandLine(" \t\r\n"), nullptr);
  EXPECT_EQ(ParseModCommandLine("\\"), nullptr);
}

TEST(ListingLine, TrailingBackslashIsNotAnEmptyField) {
  // Without the removal the line would have 9 fields and an empty, non-numeric GCode field.
  auto c = ParseAs<TModNumParaCmd>("3\\2\\P\\\\h\\1\\0\\2\\");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GCode, DefaultGCode);
  EXPECT_EQ(c->Max, 2);
  // Only one is removed: the second makes an empty 9th field.
  auto d = ParseAs<TModNumParaCmd>("3\\2\\P\\\\h\\1\\0\\2\\\\");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->GCode, DefaultGCode);
  auto e = ParseAs<TModNumParaCmd>("3\\2\\P\\\\h\\1\\0\\2\\$40\\ \r\n");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GCode, 0x40);
}

TEST(ListingLine, KindMustBeAWholeNumberWithAClass) {
  for (const char* kind : {"x", "1.5", "", " ", "3", "12", "255", "-1"}) {
    EXPECT_EQ(ParseModCommandLine(std::string("3\\") + kind + "\\N\\\\h\\1\\0\\0\\0"), nullptr) << kind;
  }
  auto c = ParseModCommandLine("3\\257\\N\\A|B\\h\\1\\0\\1\\0");  // low 8 bits: 1
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Kind, TextPara);
  EXPECT_NE(ParseModCommandLine("3\\$0B\\RC:6\\\\h\\1\\0\\1\\0"), nullptr);
}

TEST(ListingLine, EveryKindMakesItsClass) {
  const std::pair<int, TModCmdKind> kinds[] = {
      {0, ProzessPara}, {1, TextPara}, {2, NumPara},  {4, InPara},    {5, NoPara},          {6, CCPara},
      {7, AinPara},     {8, AinSPara}, {9, LPara},    {10, InfoPara}, {11, RemoteCtrlPara}};
  for (const auto& [number, kind] : kinds) {
    auto c = ParseModCommandLine("2\\" + std::to_string(number) + "\\CMD\\u\\help\\7\\1\\2\\3");
    ASSERT_NE(c, nullptr) << number;
    EXPECT_EQ(c->Kind, kind);
    EXPECT_EQ(c->Name, "CMD");
    EXPECT_EQ(c->Help, "help");
    EXPECT_EQ(c->VType, 7);
    EXPECT_EQ(c->GCode, 3);
    EXPECT_EQ(ModCmdKindName(c->Kind), ModCmdKindName(kind));
  }
  EXPECT_NE(dynamic_cast<TModCCParaCmd*>(ParseModCommandLine("2\\6\\C\\\\h\\1").get()), nullptr);
  EXPECT_NE(dynamic_cast<TModAinParaCmd*>(ParseModCommandLine("2\\7\\C\\\\h\\1").get()), nullptr);
  EXPECT_NE(dynamic_cast<TModRemoteCtrlCmd*>(ParseModCommandLine("2\\11\\C\\\\h\\1").get()), nullptr);
  EXPECT_NE(dynamic_cast<TModStatusBitCommand*>(ParseModCommandLine("2\\10\\C\\\\h\\1").get()), nullptr);
  EXPECT_NE(dynamic_cast<TModProcCommand*>(ParseModCommandLine("2\\0\\C\\\\h\\1").get()), nullptr);
}

TEST(ListingLine, ProcessValueTakesUnitAndFactorButNoList) {
  auto p = ParseAs<TModProcCommand>("2\\0\\I1\\mA\\Current\\21\\999\\100\\$0F");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->PhysUnit, "mA");
  EXPECT_EQ(p->CompFactor, 100);
  EXPECT_EQ(p->Help, "Current");
  EXPECT_EQ(p->VType, 21);
  EXPECT_EQ(p->GCode, 0x0F);
  auto q = ParseAs<TModProcCommand>("2\\0\\I1\\mA\\Current\\21\\999\\abc");
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->CompFactor, 1);  // not a number: default stays
  auto z = ParseAs<TModProcCommand>("2\\0\\I1\\mA\\Current\\21\\0\\0");
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->CompFactor, 0);
  EXPECT_EQ(z->GetValueStr(), "---");
}

TEST(ListingLine, StatusBitFlagsIndexAndHelp) {
  auto b = ParseAs<TModStatusBitCommand>("2\\10\\ST:Ready\\\\Module ready\\1\\3\\13\\0");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->BIndex, 3);
  EXPECT_TRUE(b->BActive);
  EXPECT_FALSE(b->BInvers);
  EXPECT_EQ(b->BColor, 3);
  EXPECT_EQ(b->BHelp, "Module ready");
  EXPECT_EQ(b->Help, "Module ready");
  EXPECT_EQ(b->GetBitName(), "Ready");
  auto c = ParseAs<TModStatusBitCommand>("2\\10\\S\\\\h\\1\\258\\2");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->BIndex, 2);  // low 8 bits
  EXPECT_FALSE(c->BActive);
  EXPECT_TRUE(c->BInvers);
  EXPECT_EQ(c->BColor, 0);
  auto d = ParseAs<TModStatusBitCommand>("2\\10\\S\\\\h\\1");  // 6 fields: defaults
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->BColor, 1);
  EXPECT_EQ(d->BHelp, "");
}

TEST(ListingLine, NumbersFollowTheIntegerRuleAndKeepLowBits) {
  auto c = ParseAs<TModNumParaCmd>("259\\2\\P\\\\h\\$101\\-2147483648\\$FFFFFFFF\\-1");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->AType, 3);
  EXPECT_EQ(c->VType, 1);
  EXPECT_EQ(c->Min, INT32_MIN);
  EXPECT_EQ(c->Max, -1);
  EXPECT_EQ(c->GCode, 0xFFFF);
  auto d = ParseAs<TModNumParaCmd>("a\\2\\P\\\\h\\b\\c\\d\\e");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->AType, 2);
  EXPECT_EQ(d->VType, 1);
  EXPECT_EQ(d->Min, 0);
  EXPECT_EQ(d->Max, 0);
  EXPECT_EQ(d->GCode, DefaultGCode);
}

TEST(ListingLine, BlanksStayInFieldsControlsVanishQuotesAreRead) {
  auto c = ParseAs<TModTextParaCmd>("  3\\1\\ MODE \\Gain 1|Gain 2\\Help\twith tab\\1\\0\\1  ");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Name, " MODE ");
  EXPECT_EQ(c->VList, (TStringList{"Gain 1", "Gain 2"}));
  EXPECT_EQ(c->Help, "Helpwith tab");
  EXPECT_EQ(c->AType, 3);  // trimmed first
  auto q = ParseAs<TModNumParaCmd>("3\\2\\P\\\\\"a\\b\"\\1\\0\\9");
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->Help, "a\\b");
  EXPECT_EQ(q->Max, 9);
  auto m = ParseAs<TModTextParaCmd>("3\\1\\T~*~*X\\a~*~*b|c\\h~*~*\\1\\0\\1");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->Name, "T~*~*X");  // marker-like text is left alone
  EXPECT_EQ(m->VList, (TStringList{"a~*~*b", "c"}));
  EXPECT_EQ(m->Help, "h~*~*");
  // A field with a trailing blank is no whole number.
  auto b = ParseAs<TModNumParaCmd>("3\\2\\P\\\\h\\1\\0\\9 \\0");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Max, 0);
}

TEST(ListingLine, AinCurveRemoteAndPlainKindsTakeTheirLists) {
  auto a = ParseAs<TModAinParaCmd>("3\\7\\AIN1\\0|1\\Input 1\\1\\-1000\\1000\\1");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->VList, (TStringList{"0", "1"}));
  EXPECT_EQ(a->Min, -1000);
  EXPECT_EQ(a->Max, 1000);
  auto r = ParseAs<TModRemoteCtrlCmd>("3\\11\\RC:6\\\\Pin six\\1\\-100\\100\\0");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->GetPinIndex(), 2);
  EXPECT_EQ(r->Min, -100);
  EXPECT_EQ(r->Max, 100);
  EXPECT_TRUE(r->VList.empty());
  auto l = ParseAs<TModCtrlCommand>("1\\5\\SAVE\\\\Save\\0\\0\\0\\0");
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->Kind, NoPara);
  EXPECT_EQ(l->AType, 1);
  EXPECT_EQ(l->GCode, 0);
}

}  // namespace

#include <gtest/gtest.h>

#include "model/MyGlobalUtils.h"

namespace {

using L = TStringList;

TEST(SplitString, BlanksStayInsideItemsAndOnlyTheEndsAreTrimmed) {
  EXPECT_EQ(SplitString("  a b | c  ", '|'), (L{"a b ", " c"}));
  EXPECT_EQ(SplitString("Gain 1|Gain 2", '|'), (L{"Gain 1", "Gain 2"}));
}

TEST(SplitString, EmptyItemsFromConsecutiveLeadingAndTrailingDelimiters) {
  EXPECT_EQ(SplitString("a||b", '|'), (L{"a", "", "b"}));
  EXPECT_EQ(SplitString("a|", '|'), (L{"a", ""}));
  EXPECT_EQ(SplitString("|a", '|'), (L{"", "a"}));
  EXPECT_EQ(SplitString("", '|'), L{});
  EXPECT_EQ(SplitString(" \t\r\n ", '|'), L{});
}

TEST(SplitString, QuotedItemsHoldDelimitersAndDoubledQuotes) {
  EXPECT_EQ(SplitString("\"x|y\"|z", '|'), (L{"x|y", "z"}));
  EXPECT_EQ(SplitString("\"say \"\"hi\"\"\"|z", '|'), (L{"say \"hi\"", "z"}));
  // An opening quote without a closing one takes the rest of the text.
  EXPECT_EQ(SplitString("a|\"b|c", '|'), (L{"a", "b|c"}));
}

TEST(SplitString, MarkerLikeTextIsNotAltered) {
  // "~*~*" is ordinary text and must come back unchanged.
  EXPECT_EQ(SplitString("a~*~*b|c", '|'), (L{"a~*~*b", "c"}));
}

TEST(SplitString, ControlCharactersStillSeparateAndNulEndsTheText) {
  EXPECT_EQ(SplitString("a\tb|c", '|'), (L{"a", "b", "c"}));
  EXPECT_EQ(SplitString(std::string("a|b\0|c", 6), '|'), (L{"a", "b"}));
}

TEST(SplitDelimitedText, BlanksAndLineBreaksSeparateItems) {
  EXPECT_EQ(SplitDelimitedText("12 34,5", ','), (L{"12", "34", "5"}));
  EXPECT_EQ(SplitDelimitedText("ID\r\nMOD-1 2.0", ','), (L{"ID", "MOD-1", "2.0"}));
  EXPECT_EQ(SplitDelimitedText("a , b", ','), (L{"a", "b"}));
  EXPECT_EQ(SplitDelimitedText("\"a b,c\" d", ','), (L{"a b,c", "d"}));
  // A trailing delimiter followed by blanks is not the last character: no empty item.
  EXPECT_EQ(SplitDelimitedText("a, ", ','), (L{"a"}));
  EXPECT_EQ(SplitDelimitedText("a,", ','), (L{"a", ""}));
}

TEST(RemoveCtrlChars, RemovesControlsAndOptionallyBlanksAndHighCharacters) {
  EXPECT_EQ(RemoveCtrlChars("A\tB C", false, false), "AB C");
  EXPECT_EQ(RemoveCtrlChars("A\tB C", true, false), "ABC");
  EXPECT_EQ(RemoveCtrlChars(std::string("x\0y\x7fz", 5), false, false), "xyz");
  EXPECT_EQ(RemoveCtrlChars("\xe4 \x80 a", false, false), "\xe4 \x80 a");
  EXPECT_EQ(RemoveCtrlChars("\xe4 \x80 a", false, true), "  a");
  EXPECT_EQ(RemoveCtrlChars("\xe4 \x80 a", true, true), "a");
}

TEST(SwapWord, ExchangesTheTwoBytes) {
  EXPECT_EQ(SwapWord(0x1234), 0x3412);
  EXPECT_EQ(SwapWord(0x00FF), 0xFF00);
  EXPECT_EQ(SwapWord(SwapWord(0xBEEF)), 0xBEEF);
}

TEST(Trim, RemovesCodesUpToBlankAtBothEnds) {
  EXPECT_EQ(Trim(std::string("\0 \t a b \r\n", 10)), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0");  // code 160 is no blank
}

TEST(AnsiCase, FoldsWindows1252LettersByTheFixedTable) {
  EXPECT_TRUE(SameText("gain", "GAIN"));
  EXPECT_TRUE(SameText("\xe4\xf6\xfc", "\xc4\xd6\xdc"));  // umlauts
  EXPECT_TRUE(SameText("\x9a\x9c\x9e\xff", "\x8a\x8c\x8e\x9f"));
  EXPECT_FALSE(SameText("\xd7", "\xf7"));  // multiply and divide signs are no pair
  EXPECT_FALSE(SameText("\xdf", "SS"));
  EXPECT_FALSE(SameText("ab", "abc"));
  EXPECT_EQ(UpperCaseAnsi("a\xe9z1"), "A\xc9Z1");
  EXPECT_EQ(LowerCaseAnsi("A\xc9Z1"), "a\xe9z1");
  EXPECT_EQ(CompareText("abc", "ABD") < 0, true);
  EXPECT_EQ(CompareText("ABC", "abc"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
}

TEST(TryStrToInt, ReadsDecimalAndAllHexadecimalPrefixes) {
  std::int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("42", v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(TryStrToInt("   -17", v));
  EXPECT_EQ(v, -17);
  EXPECT_TRUE(TryStrToInt("+5", v));
  EXPECT_EQ(v, 5);
  for (const char* s : {"$40", "x40", "X40", "0x40", "0X40"}) {
    v = 0;
    EXPECT_TRUE(TryStrToInt(s, v)) << s;
    EXPECT_EQ(v, 64) << s;
  }
  EXPECT_TRUE(TryStrToInt("$ffFF", v));
  EXPECT_EQ(v, 65535);
  EXPECT_TRUE(TryStrToInt("-$10", v));
  EXPECT_EQ(v, -16);
  EXPECT_TRUE(TryStrToInt("0", v));
  EXPECT_EQ(v, 0);
}

TEST(TryStrToInt, HexadecimalUsesAll32BitsAndDecimalMustFit) {
  std::int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("$FFFFFFFF", v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(TryStrToInt("0x80000000", v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_TRUE(TryStrToInt("2147483647", v));
  EXPECT_EQ(v, INT32_MAX);
  EXPECT_TRUE(TryStrToInt("-2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  v = 7;
  EXPECT_FALSE(TryStrToInt("2147483648", v));
  EXPECT_FALSE(TryStrToInt("-2147483649", v));
  EXPECT_FALSE(TryStrToInt("$100000000", v));
  EXPECT_FALSE(TryStrToInt("99999999999999999999999", v));
  EXPECT_EQ(v, 7);  // untouched on failure
}

TEST(TryStrToInt, RejectsTextsThatAreNotWholeNumbers) {
  std::int32_t v = 7;
  for (const char* s : {"", " ", "-", "+", "$", "0x", "x", "1.5", "12 ", "1e3", "abc", "12a",
                        "--1", "$G", "\t1", "1,0", "0x-1"}) {
    EXPECT_FALSE(TryStrToInt(s, v)) << '"' << s << '"';
  }
  EXPECT_EQ(v, 7);
  EXPECT_EQ(StrToIntDef("x", 3), 3);
  EXPECT_EQ(StrToIntDef("$A", 3), 10);
}

TEST(TryStrToBool, NumbersAndTrueFalseWithoutCase) {
  bool b = false;
  EXPECT_TRUE(TryStrToBool("1", b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(TryStrToBool("0", b));
  EXPECT_FALSE(b);
  EXPECT_TRUE(TryStrToBool("-3", b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(TryStrToBool("TRUE", b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(TryStrToBool("false", b));
  EXPECT_FALSE(b);
  b = true;
  EXPECT_FALSE(TryStrToBool("yes", b));
  EXPECT_FALSE(TryStrToBool("", b));
  EXPECT_TRUE(b);
}

TEST(Now, IsTodayCountedFrom1899) {
  const TDateTime t = Now();
  // 2020-01-01 is day 43831; the clock of any test machine is past it and far from day 100000.
  EXPECT_GT(t, 43831.0);
  EXPECT_LT(t, 100000.0);
}

}  // namespace

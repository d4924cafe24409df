#include <gtest/gtest.h>

#include "model/osDRUVModProtBase.h"

namespace {

TEST(CheckModAnswer, EmptyCmdTakesTheEchoFromTheFirstItem) {
  std::string cmd;
  TStringList lines;
  EXPECT_TRUE(CheckModAnswer("ID\r\nMOD-1 2.0\r\n>", cmd, lines));
  EXPECT_EQ(cmd, "ID");
  EXPECT_EQ(lines, (TStringList{"MOD-1", "2.0"}));
  cmd.clear();
  EXPECT_TRUE(CheckModAnswer("ACODE\r\n>", cmd, lines));
  EXPECT_EQ(cmd, "ACODE");
  EXPECT_TRUE(lines.empty());
}

TEST(CheckModAnswer, GivenCmdIsCutFromTheFirstItemWhichStays) {
  std::string cmd = "P1";
  TStringList lines;
  EXPECT_TRUE(CheckModAnswer("P1 250\r\n>", cmd, lines));
  EXPECT_EQ(cmd, "P1");
  EXPECT_EQ(lines, (TStringList{"", "250"}));
  EXPECT_TRUE(CheckModAnswer("P1P1x,3>", cmd, lines));
  EXPECT_EQ(lines, (TStringList{"x", "3"}));
  // Exact case.
  EXPECT_TRUE(CheckModAnswer("p1 7>", cmd, lines));
  EXPECT_EQ(lines, (TStringList{"p1", "7"}));
  // Only the first item loses the echo.
  EXPECT_TRUE(CheckModAnswer("P1 P1>", cmd, lines));
  EXPECT_EQ(lines, (TStringList{"", "P1"}));
}

TEST(CheckModAnswer, PromptAndCmdPromptAreRemoved) {
  std::string cmd = "X";
  TStringList lines;
  EXPECT_TRUE(CheckModAnswer("X 5\r\nCMD>", cmd, lines));
  EXPECT_EQ(lines, (TStringList{"", "5"}));
  EXPECT_TRUE(CheckModAnswer("X 5CMD", cmd, lines));  // no prompt: CMD still goes
  EXPECT_EQ(lines, (TStringList{"", "5"}));
  EXPECT_TRUE(CheckModAnswer("X 5>>", cmd, lines));   // only one prompt character
  EXPECT_EQ(lines, (TStringList{"", "5>"}));
}

TEST(CheckModAnswer, ItemsAreSplitAtCommasBlanksAndLineBreaksAndEmptyOnesDropped) {
  std::string cmd = "CC";
  TStringList lines;
  EXPECT_TRUE(CheckModAnswer("CC -3\r\n-10, 2500 ,,\r\n\"a b,c\"\r\n>", cmd, lines));
  EXPECT_EQ(lines, (TStringList{"", "-3", "-10", "2500", "a b,c"}));
}

TEST(CheckModAnswer, FailuresLeaveLinesEmpty) {
  std::string cmd;
  TStringList lines{"stale"};
  EXPECT_FALSE(CheckModAnswer("", cmd, lines));
  EXPECT_TRUE(lines.empty());
  lines = {"stale"};
  EXPECT_FALSE(CheckModAnswer("P1\r\ncommand error\r\n42\r\n>", cmd, lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(cmd, "");
  lines = {"stale"};
  EXPECT_FALSE(CheckModAnswer(" \r\n>", cmd, lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(CheckModAnswer(">", cmd, lines));
  EXPECT_FALSE(CheckModAnswer("CMD>", cmd, lines));
  EXPECT_FALSE(CheckModAnswer(",,, ,>", cmd, lines));
  EXPECT_EQ(cmd, "");
  // "Command error" in other case is data, not the error.
  EXPECT_TRUE(CheckModAnswer("X Command error>", cmd, lines));
}

TEST(CheckModAnswer, GarbledBytesNeverCrash) {
  std::string cmd;
  TStringList lines;
  const std::string garbage("\x00\xff\"\x01>,\"\"\x7f", 9);
  CheckModAnswer(garbage, cmd, lines);
  cmd = "\"";
  CheckModAnswer("\"\"\"", cmd, lines);
  cmd = "x";
  // A quote only opens a quoted item at the item's start; an open one runs to the end.
  EXPECT_TRUE(CheckModAnswer("x\"unterminated, text", cmd, lines));
  EXPECT_EQ(lines, (TStringList{"\"unterminated", "text"}));
  EXPECT_TRUE(CheckModAnswer("x \"unterminated, text", cmd, lines));
  EXPECT_EQ(lines, (TStringList{"", "unterminated, text"}));
}

TEST(IsCurrentLetter, OnlyTheSingleLettersCAndI) {
  EXPECT_TRUE(IsCurrentLetter("C"));
  EXPECT_TRUE(IsCurrentLetter("c"));
  EXPECT_TRUE(IsCurrentLetter("I"));
  EXPECT_TRUE(IsCurrentLetter("i"));
  EXPECT_FALSE(IsCurrentLetter("V"));
  EXPECT_FALSE(IsCurrentLetter("Ci"));
  EXPECT_FALSE(IsCurrentLetter(""));
  EXPECT_FALSE(IsCurrentLetter(" C"));
}

}  // namespace

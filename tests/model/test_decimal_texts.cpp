#include <gtest/gtest.h>

#include "model/osDRUVModProtBase.h"

namespace {

// Every test here runs with both separators; the setting is global, so it is put back.
class DecimalTexts : public ::testing::TestWithParam<char> {
 protected:
  void SetUp() override {
    saved_ = DecimalSeparator();
    SetDecimalSeparator(GetParam());
  }
  void TearDown() override { SetDecimalSeparator(saved_); }
  // The text with '.' replaced by the separator under test.
  std::string D(std::string s) const {
    for (char& c : s)
      if (c == '.') c = GetParam();
    return s;
  }

 private:
  char saved_ = '.';
};

TEST_P(DecimalTexts, HundredthsHaveExactlyTwoDecimals) {
  EXPECT_EQ(FormatHundredths(1234), D("12.34"));
  EXPECT_EQ(FormatHundredths(-5), D("-0.05"));
  EXPECT_EQ(FormatHundredths(0), D("0.00"));
  EXPECT_EQ(FormatHundredths(100), D("1.00"));
  EXPECT_EQ(FormatHundredths(-100), D("-1.00"));
  EXPECT_EQ(FormatHundredths(INT32_MIN), D("-21474836.48"));
  EXPECT_EQ(FormatHundredths(INT64_MIN), D("-92233720368547758.08"));
}

TEST_P(DecimalTexts, NumParaValueDividedByHundred) {
  TModNumParaCmd cmd;
  cmd.Value = 1234;
  EXPECT_EQ(cmd.GetValueStr100(), D("12.34"));
  cmd.Value = -5;
  EXPECT_EQ(cmd.GetValueStr100(), D("-0.05"));
  EXPECT_EQ(cmd.GetValueStr(), "-5");
}

TEST_P(DecimalTexts, ProcessValueDividedByItsFactor) {
  TModProcCommand cmd;
  cmd.Value = 1234;
  cmd.CompFactor = 100;
  EXPECT_EQ(cmd.GetValueStr(), D("12.34"));
  cmd.Value = -7;
  cmd.CompFactor = 1;
  EXPECT_EQ(cmd.GetValueStr(), D("-7.00"));
  cmd.Value = 65535;
  cmd.CompFactor = 10;
  EXPECT_EQ(cmd.GetValueStr(), D("6553.50"));
}

TEST_P(DecimalTexts, QuotientRoundsHalfAwayFromZeroAndNeverShowsMinusZero) {
  EXPECT_EQ(FormatQuotient2(1, 3), D("0.33"));
  EXPECT_EQ(FormatQuotient2(2, 3), D("0.67"));
  EXPECT_EQ(FormatQuotient2(1, 8), D("0.13"));    // 0.125 -> up
  EXPECT_EQ(FormatQuotient2(-1, 8), D("-0.13"));  // -0.125 -> away from zero
  EXPECT_EQ(FormatQuotient2(1, -8), D("-0.13"));
  EXPECT_EQ(FormatQuotient2(-1, -8), D("0.13"));
  EXPECT_EQ(FormatQuotient2(-1, 1000), D("0.00"));  // not "-0.00"
  EXPECT_EQ(FormatQuotient2(-5, 1000), D("-0.01"));
  EXPECT_EQ(FormatQuotient2(INT32_MIN, -1), D("2147483648.00"));
  EXPECT_EQ(FormatQuotient2(INT32_MAX, 1), D("2147483647.00"));
  // The whole 64-bit range: no quotient overflows on its way to the text.
  EXPECT_EQ(FormatQuotient2(INT64_MIN, 1), D("-9223372036854775808.00"));
  EXPECT_EQ(FormatQuotient2(INT64_MAX, 1), D("9223372036854775807.00"));
  EXPECT_EQ(FormatQuotient2(INT64_MIN, -1), D("9223372036854775808.00"));
  EXPECT_EQ(FormatQuotient2(INT64_MIN, INT64_MAX), D("-1.00"));
}

TEST_P(DecimalTexts, FactorZeroGivesTheNoValueText) {
  TModProcCommand cmd;
  cmd.Value = 10;
  cmd.CompFactor = 0;
  EXPECT_EQ(cmd.GetValueStr(), "---");
  EXPECT_EQ(FormatQuotient2(0, 0), "---");
}

INSTANTIATE_TEST_SUITE_P(Separators, DecimalTexts, ::testing::Values('.', ','),
                         [](const ::testing::TestParamInfo<char>& i) {
                           return i.param == '.' ? std::string("Point") : std::string("Comma");
                         });

}  // namespace

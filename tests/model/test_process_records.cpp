#include <gtest/gtest.h>

#include "model/osDRUVModProtBase.h"

namespace {

TEST(BinaryRecord, CountIsHalfTheBytesAfterTheHeader) {
  const std::uint8_t block[11] = {0xA1, 0xB2, 1, 0, 2, 0, 3, 0, 4, 0, 0xEE};
  TBINProcDataObj r10(block, 10, false, 1.5);
  EXPECT_EQ(r10.Count, 4);
  EXPECT_EQ(r10.Header0, 0xA1);
  EXPECT_EQ(r10.Header1, 0xB2);
  EXPECT_EQ(r10.TimeStamp, 1.5);
  EXPECT_EQ(r10.GetValue(3), 4);
  TBINProcDataObj r11(block, 11, false, 0);
  EXPECT_EQ(r11.Count, 4);  // the odd last byte is ignored
  TBINProcDataObj r2(block, 2, false, 0);
  EXPECT_EQ(r2.Count, 0);
  EXPECT_EQ(r2.Header0, 0xA1);
}

TEST(BinaryRecord, SwapReadsHighByteFirstAndValuesStayUnsigned) {
  const std::uint8_t block[6] = {0, 0, 0x12, 0x34, 0xFF, 0xFE};
  TBINProcDataObj swapped(block, 6, true, 0);
  EXPECT_EQ(swapped.GetValue(0), 0x1234);
  EXPECT_EQ(swapped.GetValue(1), 0xFFFE);
  TBINProcDataObj plain(block, 6, false, 0);
  EXPECT_EQ(plain.GetValue(0), 0x3412);
  EXPECT_EQ(plain.GetValue(1), 0xFEFF);
}

TEST(BinaryRecord, ShortNegativeOrMissingBlocksAreEmpty) {
  const std::uint8_t block[4] = {9, 8, 7, 6};
  for (std::int32_t len : {1, 0, -1, -1000, INT32_MIN}) {
    TBINProcDataObj r(block, len, true, 0);
    EXPECT_EQ(r.Count, 0) << len;
    EXPECT_TRUE(r.Values.empty());
    EXPECT_EQ(r.Header0, 0);
    EXPECT_EQ(r.Header1, 0);
    EXPECT_EQ(r.GetValue(0), 0);
  }
  TBINProcDataObj none(nullptr, 100, true, 0);
  EXPECT_EQ(none.Count, 0);
  // Refilling a used record drops its old values.
  TBINProcDataObj r(block, 4, true, 0);
  EXPECT_EQ(r.Count, 1);
  r.SetData(block, 1, true, 2.0);
  EXPECT_EQ(r.Count, 0);
  EXPECT_EQ(r.GetValue(0), 0);
  EXPECT_EQ(r.TimeStamp, 2.0);
}

TEST(BinaryRecord, GetValueOutsideTheRangeIsZero) {
  const std::uint8_t block[4] = {0, 0, 5, 0};
  TBINProcDataObj r(block, 4, false, 0);
  EXPECT_EQ(r.GetValue(-1), 0);
  EXPECT_EQ(r.GetValue(r.Count), 0);
  EXPECT_EQ(r.GetValue(INT32_MIN), 0);
  EXPECT_EQ(r.GetValue(0), 5);
}

TEST(AsciiRecord, HoldsOneValueAndNoArray) {
  const std::int32_t v = -4242;
  TASCIIProcDataObj r(&v, -1, false, 3.25);
  EXPECT_EQ(r.Value, -4242);
  EXPECT_EQ(r.Index, -1);
  EXPECT_EQ(r.Count, 0);
  EXPECT_EQ(r.GetValue(0), 0);
  EXPECT_EQ(r.GetValue(-1), 0);
  EXPECT_EQ(r.TimeStamp, 3.25);
  TASCIIProcDataObj none(nullptr, -1, false, 0);
  EXPECT_EQ(none.Value, 0);
  // Used through the base class, as the views receive it.
  TBaseProcDataObj* base = &r;
  const std::int32_t w = 9;
  base->SetData(&w, -1, false, 4.0);
  EXPECT_EQ(r.Value, 9);
}

}  // namespace

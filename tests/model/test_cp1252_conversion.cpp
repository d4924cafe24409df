// The Windows-1252 table: every byte survives the trip to Unicode and back; UTF-8 texts come
// back with "?" only where Windows-1252 has no character.
#include <gtest/gtest.h>

#include <string>

#include "model/Cp1252.h"

TEST(Cp1252Table, EveryByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const char32_t cp = cp1252::ToUnicode(static_cast<unsigned char>(b));
    unsigned char back = 0;
    ASSERT_TRUE(cp1252::FromUnicode(cp, back)) << "byte " << b;
    EXPECT_EQ(back, b) << "byte " << b;
  }
}

TEST(Cp1252Table, WindowsRangeAndUndefinedBytes) {
  EXPECT_EQ(cp1252::ToUnicode(0x80), U'\u20AC');  // euro sign
  EXPECT_EQ(cp1252::ToUnicode(0x8A), U'\u0160');
  EXPECT_EQ(cp1252::ToUnicode(0x96), U'\u2013');
  EXPECT_EQ(cp1252::ToUnicode(0x9F), U'\u0178');
  EXPECT_EQ(cp1252::ToUnicode(0xE4), U'\u00E4');
  EXPECT_EQ(cp1252::ToUnicode(0x41), U'A');
  for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(cp1252::ToUnicode(b), b);
  // The C1 controls that Windows-1252 replaces have no byte.
  unsigned char out = 0;
  EXPECT_FALSE(cp1252::FromUnicode(0x80, out));
  EXPECT_FALSE(cp1252::FromUnicode(0x9F, out));
  EXPECT_FALSE(cp1252::FromUnicode(0x0100, out));
  EXPECT_FALSE(cp1252::FromUnicode(0x1F600, out));
}

TEST(Cp1252Strings, AllBytesThroughUtf8AndBack) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(cp1252::FromUtf8(cp1252::ToUtf8(all)), all);
  EXPECT_EQ(cp1252::ToUtf8("\x80 \xE4"), "\xE2\x82\xAC \xC3\xA4");
}

TEST(Cp1252Strings, UnmappableAndMalformedUtf8BecomeQuestionMarks) {
  EXPECT_EQ(cp1252::FromUtf8("a\xC4\x80z"), "a?z");                 // U+0100
  EXPECT_EQ(cp1252::FromUtf8("\xF0\x9F\x98\x80!"), "?!");            // outside the BMP
  EXPECT_EQ(cp1252::FromUtf8("x\xC3"), "x?");                        // cut-off sequence
  EXPECT_EQ(cp1252::FromUtf8("\xC0\x80"), "??");                     // overlong NUL
  EXPECT_EQ(cp1252::FromUtf8("\xED\xA0\x80"), "???");                // surrogate half
  EXPECT_EQ(cp1252::FromUtf8("\xFF\xE2\x82\xAC"), "?\x80");          // stray byte, then euro
  EXPECT_EQ(cp1252::FromUtf8(""), "");
}

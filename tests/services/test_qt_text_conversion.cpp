// The GUI's text boundary: Windows-1252 bytes to QString and back.
#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "services/QtText.h"

TEST(QtTextConversion, EveryByteRoundTripsThroughQString) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const QString q = FromAnsi(all);
  ASSERT_EQ(q.size(), 256);
  EXPECT_EQ(q.at(0x80), QChar(0x20AC));
  EXPECT_EQ(q.at(0xDF), QChar(0x00DF));
  EXPECT_EQ(ToAnsi(q), all);
}

TEST(QtTextConversion, CharactersWithoutByteBecomeQuestionMarks) {
  EXPECT_EQ(ToAnsi(QString::fromUtf8("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xC4\x80")),
            "Gr\xFC\xDF \x80 ?");
  // One "?" for a character outside the BMP, not one per surrogate.
  EXPECT_EQ(ToAnsi(QString::fromUtf8("\xF0\x9F\x98\x80")), "?");
  char ch = 'x';
  EXPECT_FALSE(ToAnsiChar(0x4E00, ch));
  EXPECT_EQ(ch, 'x');
}

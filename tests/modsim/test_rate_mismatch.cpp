// What a receiver at one rate makes of bytes sent at another.
#include <gtest/gtest.h>

#include "tools/modsim/RateMismatch.h"

using modsim::MisreadAtRate;

TEST(RateMismatch, EqualRatesPassEveryByteAndOthersGiveGarbage) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(MisreadAtRate(all, 19200, 19200), all);

  const int rates[] = {9600, 19200, 38400, 57600, 115200};
  for (int sent : rates) {
    for (int read : rates) {
      if (sent == read) continue;
      const std::string junk = MisreadAtRate("ID\r", sent, read);
      EXPECT_NE(junk, "ID\r") << sent << " -> " << read;
      EXPECT_EQ(junk, MisreadAtRate("ID\r", sent, read));  // the same garbage every time
      // Read faster than sent, a burst falls into more (mostly zero) bytes; read slower, fewer.
      if (read > sent) {
        EXPECT_GT(junk.size(), 3u) << sent << " -> " << read;
      } else {
        EXPECT_LT(junk.size(), 3u) << sent << " -> " << read;
      }
      // A bootloader's start question takes no garbage of an answer or of "ID" for an answer.
      for (const std::string& key : {std::string("y"), std::string("ID\r")})
        EXPECT_EQ(MisreadAtRate(key, sent, read).find_first_of("yYnN"), std::string::npos);
    }
  }
  // Each low stretch of a slow burst is a whole zero frame to a receiver twelve times faster.
  EXPECT_EQ(MisreadAtRate("ID\r", 9600, 115200).find_first_not_of('\0'), std::string::npos);
  EXPECT_TRUE(MisreadAtRate("x", 0, 9600).empty());
}

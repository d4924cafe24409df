// The terminal's RTF files: a document as another editor writes it (tables, groups, escapes,
// Unicode with fallbacks) reads as its plain text; what the writer makes reads back byte for byte;
// broken documents are refused without a crash.
#include <gtest/gtest.h>

#include "model/osRtfText.h"

namespace {

using rtf::ReadRtfText;
using rtf::WriteRtfText;

TEST(RtfReader, TakesTheTextOutOfADocumentWithTablesGroupsAndEscapes) {
  const std::string doc =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat"
      "{\\fonttbl{\\f0\\fnil\\fcharset0 Courier New;}{\\f1 Arial;}}\r\n"
      "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
      "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Terminal}{\\author x}}\r\n"
      "{\\*\\generator Riched20 10.0;}\\viewkind4\\uc1 \r\n"
      "\\pard\\f0\\fs22 ID\\par\r\n"
      "KVX-SIM {\\b 1.20} Gr\\'fc\\'dfe \\u8364?\\tab end\\line\r\n"
      "{\\uc2 \\u252\\'75\\'65 x}\\u-10179?\\u-8704? \\\\ \\{\\}\\par\r\n"
      "}\r\n";
  std::string text;
  ASSERT_TRUE(ReadRtfText(doc, text));
  EXPECT_EQ(text,
            "ID\n"
            "KVX-SIM 1.20 Gr\xFC\xDF" "e \x80\tend\n"
            "\xFC x? \\ {}\n");
}

TEST(RtfWriter, WritesACourierDocumentThatReadsBackByteForByte) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != '\r') all += static_cast<char>(b);
  all += "\nsecond line\n\nlast";
  const std::string doc = WriteRtfText(all);
  EXPECT_EQ(doc.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
  EXPECT_NE(doc.find("{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}"), std::string::npos);
  EXPECT_NE(doc.find("\\'e4"), std::string::npos);  // bytes from 128 as hex escapes
  EXPECT_NE(WriteRtfText("a\\b{c}").find("a\\\\b\\{c\\}"), std::string::npos);
  for (char c : doc) EXPECT_LT(static_cast<unsigned char>(c), 128u);

  std::string back;
  ASSERT_TRUE(ReadRtfText(doc, back));
  EXPECT_EQ(back, all);

  // Each kind of line end is one paragraph.
  ASSERT_TRUE(ReadRtfText(WriteRtfText("a\r\nb\rc\n"), back));
  EXPECT_EQ(back, "a\nb\nc\n");
  ASSERT_TRUE(ReadRtfText(WriteRtfText(""), back));
  EXPECT_EQ(back, "");
}

TEST(RtfReader, RefusesBrokenDocuments) {
  const char* const broken[] = {
      "",
      "plain text",
      "{\\rtf1 no end",
      "{\\rtf1 a}}",
      "{\\rtf1 a} trailing",
      "{\\rtf1 \\'4",
      "{\\rtf1 \\'zz}",
      "{\\rtf1 a\\",
      "{\\rtf1 \\u99999?}",
      "{\\rtf1 \\uc-1 a}",
      "{\\rtf1 \\fs99999999999}",
      "{\\rtf1 \\bin9 ab}",
      "{\\rtf1 \\abcdefghijklmnopqrstuvwxyzabcdefgh}",
      "{\\rtf1 \\foo- }",
  };
  for (const char* doc : broken) {
    std::string text = "old";
    EXPECT_FALSE(ReadRtfText(doc, text)) << doc;
    EXPECT_TRUE(text.empty()) << doc;
  }
  // Deep nesting is work, not a crash.
  std::string deep = "{\\rtf1 ";
  deep += std::string(100000, '{') + "x" + std::string(100000, '}') + "}";
  std::string text;
  EXPECT_TRUE(ReadRtfText(deep, text));
  EXPECT_EQ(text, "x");
  // Binary data is skipped, braces inside it included.
  EXPECT_TRUE(ReadRtfText("{\\rtf1 a{\\pict\\bin3 }{\\}b}", text));
  EXPECT_EQ(text, "ab");
}

}  // namespace

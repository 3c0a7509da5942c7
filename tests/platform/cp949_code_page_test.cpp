#include <gtest/gtest.h>

#include "platform/code_page.hpp"

namespace parone {
namespace {

// Code page 949 as the FTP and HTTP names need it, whatever the system's own
// code page is (Linux: iconv; Windows: the code page 949 tables, never CP_ACP).
TEST(Cp949CodePage, KoreanFolderNamesBecomeTheServersBytesAndBack) {
  struct Case {
    const char* utf8;
    std::string cp949;
  };
  const Case cases[] = {
      {"자동업데이트_v1", "\xC0\xDA\xB5\xBF\xBE\xF7\xB5\xA5\xC0\xCC\xC6\xAE_v1"},  // the upload folder
      {"public_html/download", "public_html/download"},                            // ASCII stays
      {"", ""},
      {"똠방각하", "\x8C\x63\xB9\xE6\xB0\xA2\xC7\xCF"},  // 똠: only in the extended (UHC) range
  };
  const Cp949CodePage page;
  for (const auto& c : cases) {
    EXPECT_EQ(page.FromUtf8(c.utf8), c.cp949) << c.utf8;
    EXPECT_EQ(page.ToUtf8(c.cp949), c.utf8) << c.utf8;
  }
}

TEST(Cp949CodePage, CharactersTheCodePageLacksAreRefusedNotReplaced) {
  const Cp949CodePage page;
  for (const char* text : {"caf\xC3\xA9", "\xF0\x9F\x98\x80", "a\xFF"}) {  // é (no best fit), emoji, bad UTF-8
    EXPECT_EQ(page.FromUtf8(text), std::nullopt) << text;
  }
}

TEST(Cp949CodePage, BytesThatDoNotDecodeBecomeReplacementCharacters) {
  const Cp949CodePage page;
  // A lead byte before a blank (no trail byte), then a good pair: only the
  // bad byte goes; a lead byte cut off at the end goes too.
  EXPECT_EQ(page.ToUtf8("\xB0 A\xB0\xA1"), "\xEF\xBF\xBD A가");
  EXPECT_EQ(page.ToUtf8("\xB0\xA1\xB0"), "가\xEF\xBF\xBD");
  EXPECT_EQ(page.ToUtf8("33\r\n"), "33\r\n");
}

}  // namespace
}  // namespace parone

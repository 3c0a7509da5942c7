#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <span>

#include "common/hex_text.hpp"
#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "common/system_config.hpp"
#include "common/text_encoding.hpp"
#include "common/tick_state.hpp"
#include "platform/error_report.hpp"
#include "platform/fakes/recording_message_boxes.hpp"

namespace parone {
namespace {

struct NameCase {
  const char* path;
  const char* fileName;
  const char* baseName;
};

// The rows of the platform the tests run on: "\\" separates folders on
// Windows and is an ordinary character of a name on Linux.
bool BackslashSeparates() { return kPlatform.separators.find('\\') != std::string_view::npos; }

TEST(NamesFromAPath, FileAndBaseNameFollowTheLastSeparatorAndTheLastDot) {
  const NameCase everywhere[] = {
      {"/home/ci/out/setup.v2.exe", "setup.v2.exe", "setup.v2"},
      {"plain.exe", "plain.exe", "plain"},
      {"/dir/README", "README", "README"},  // no dot: the whole name
      {"/dir.d/noext", "noext", "noext"},   // a dot in a folder does not count
      {"/dir/", "", ""},
      {".hidden", ".hidden", ""},
      {"", "", ""},
  };
  const NameCase windows[] = {
      {"C:\\build\\out\\파로네.exe", "파로네.exe", "파로네"},
      {"C:\\mixed/dir\\tool.dll", "tool.dll", "tool"},
      {"C:\\dir.d\\noext", "noext", "noext"},
      {"C:\\dir\\", "", ""},
  };
  const NameCase posix[] = {
      // A whole Windows path is one name here, cut at its last dot only.
      {"C:\\build\\out\\파로네.exe", "C:\\build\\out\\파로네.exe", "C:\\build\\out\\파로네"},
      {"/out/a\\b.exe", "a\\b.exe", "a\\b"},           // made by a Windows tool on a share
      {"/out/back\\slash.d\\x", "back\\slash.d\\x", "back\\slash"},
      {"/out\\", "out\\", "out\\"},
  };
  auto check = [](const NameCase& c) {
    EXPECT_EQ(FileNameOf(c.path), c.fileName) << c.path;
    EXPECT_EQ(BaseNameOf(c.path), c.baseName) << c.path;
  };
  for (const auto& c : everywhere) check(c);
  if (BackslashSeparates()) {
    for (const auto& c : windows) check(c);
  } else {
    for (const auto& c : posix) check(c);
  }
}

struct JoinCase {
  const char* folder;
  const char* joined;  // with the name "a.exe"
};

TEST(NamesFromAPath, JoinPathUsesTheFoldersSeparatorElseThePlatformsOwn) {
  const std::string own(1, kPlatform.separator);
  const JoinCase everywhere[] = {
      {"/drop/signed", "/drop/signed/a.exe"},
      {"/drop/signed/", "/drop/signed/a.exe"},  // no second separator
      {"", "a.exe"},                              // no folder: the bare name
      {"/", "/a.exe"},
  };
  const JoinCase windows[] = {
      {"S:\\Codesigning\\signed", "S:\\Codesigning\\signed\\a.exe"},
      {"S:\\Codesigning\\", "S:\\Codesigning\\a.exe"},
      {"S:/x\\y", "S:/x\\y\\a.exe"},  // the folder's last separator
  };
  const JoinCase posix[] = {
      {"/mnt/s\\x", "/mnt/s\\x/a.exe"},  // "\\" is part of the folder's name
      {"dir\\", "dir\\/a.exe"},
  };
  for (const auto& c : everywhere) EXPECT_EQ(JoinPath(c.folder, "a.exe"), c.joined) << c.folder;
  for (const auto& c : BackslashSeparates() ? std::span<const JoinCase>(windows)
                                            : std::span<const JoinCase>(posix)) {
    EXPECT_EQ(JoinPath(c.folder, "a.exe"), c.joined) << c.folder;
  }
  EXPECT_EQ(JoinPath("temp", "a.exe"), "temp" + own + "a.exe");
}

TEST(NamesFromAPath, BuildNumberIsWhatFollowsTheLastDotOfTheVersionText) {
  EXPECT_EQ(BuildNumberOf("1.01.33"), "33");
  EXPECT_EQ(BuildNumberOf("33"), "33");
  EXPECT_EQ(BuildNumberOf("1.0 beta"), "0 beta");
  EXPECT_EQ(BuildNumberOf("1.2."), "");
  EXPECT_EQ(BuildNumberOf(""), "");
}

struct NumberCase {
  const char* text;
  double value;
};

TEST(NumericReading, ReadsTheLeadingNumberOfAText) {
  const NumberCase cases[] = {
      {"33\r\n", 33},        {"  \t\n 42", 42},     {"1 2 3", 123},     {"-7", -7},
      {"+ 5", 5},            {"3.75xyz", 3.75},     {".5", 0.5},        {"1e3", 1000},
      {"2.5E-1", 0.25},      {"1 e 2", 100},        {"4D2", 400},       {"12abc34", 12},
      {"abc", 0},            {"", 0},               {"-", 0},           {".", 0},
      {"1e", 1},             {"1e+", 1},            {"0033", 33},       {"\r\n5", 0},
      {"1,000", 1},          {"  -  0.5", -0.5},    {"5.", 5},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(NumericValue(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(NumericReading, RoundsHalfToEvenAndClampsAbsurdValues) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(1.4999), 1);
  EXPECT_GT(RoundHalfEven(1e300), 2);
  EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
}

TEST(NumericReading, StoredTickTextsBecomeTickStates) {
  const std::pair<const char*, int> cases[] = {
      {"0", 0}, {"1", 1}, {" 1", 1}, {"2", 2}, {"1.5", 2}, {"0.5", 0}, {"2.5", 2},
      {"3", 0}, {"-1", 0}, {"", 0}, {"yes", 0}, {"1e0", 1}, {"99999999999999999999", 0},
  };
  for (const auto& [text, tick] : cases) EXPECT_EQ(TickStateFromText(text), tick) << '"' << text << '"';
}

TEST(ServerOverride, AcceptsHostWithOptionalPortsAndRejectsTheRest) {
  SystemConfig config = SystemConfig::Defaults();
  EXPECT_EQ(config.ftpPort, 21);
  EXPECT_EQ(config.httpPort, 80);
  ASSERT_TRUE(ApplyServerOverride(config, "staging.local"));
  EXPECT_EQ(config.ftpHost, "staging.local");
  EXPECT_EQ(config.ftpPort, 21);
  ASSERT_TRUE(ApplyServerOverride(config, "127.0.0.1:2121:8080"));
  EXPECT_EQ(config.ftpHost, "127.0.0.1");
  EXPECT_EQ(config.ftpPort, 2121);
  EXPECT_EQ(config.httpPort, 8080);
  for (const char* bad : {"", ":21", "h:", "h:0", "h:65536", "h:21:", "h:21:x", "h:2 1"}) {
    SystemConfig unchanged = config;
    EXPECT_FALSE(ApplyServerOverride(unchanged, bad)) << bad;
    EXPECT_EQ(unchanged.ftpHost, "127.0.0.1") << bad;
    EXPECT_EQ(unchanged.ftpPort, 2121) << bad;
  }
}

TEST(TickAndBoolean, OnlyExactlyOneIsTickedAndAnyNonzeroIsTrue) {
  EXPECT_FALSE(IsTicked(kUnticked));
  EXPECT_TRUE(IsTicked(kTicked));
  EXPECT_FALSE(IsTicked(kGreyed));
  EXPECT_FALSE(IsTicked(-1));
  EXPECT_TRUE(IsTrue(kTrue16));
  EXPECT_TRUE(IsTrue(1));
  EXPECT_FALSE(IsTrue(kFalse16));
}

TEST(TextEncoding, Utf16AndUtf8RoundTripAndBadInputBecomesReplacement) {
  const std::u16string korean = u"자동업데이트_v1 Bokm\uCC45l \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(korean)), korean);
  EXPECT_EQ(Utf16ToUtf8(u"\uCC45"), "\xEC\xB1\x85");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");  // lone surrogate
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), std::u16string(u"\uFFFD\uFFFD"));  // overlong
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), std::u16string(u"a\uFFFD\uFFFD"));  // truncated
}

TEST(TextEncoding, WhatATerminalWouldActOnIsShownEscapedAndEverythingElseAsItIs) {
  const std::pair<std::string, std::string> cases[] = {
      {"파로네 Setup (x64).exe", "파로네 Setup (x64).exe"},
      {"C:\\out\\a.exe", "C:\\out\\a.exe"},                     // backslashes stay
      {"\x1b]0;pwned\x07name", "\\x1b]0;pwned\\x07name"},       // a title-setting sequence
      {"a\rb\nc\td", "a\\rb\\nc\\td"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"del\x7f", "del\\x7f"},
      {"csi\xC2\x9B" "2J", "csi\\u009b2J"},                     // C1 CSI, two bytes in UTF-8
      {"Tool\xE2\x80\xAE" "exe.txt", "Tool\\u202eexe.txt"},     // right-to-left override
      {"line\xE2\x80\xA8sep", "line\\u2028sep"},
      {"bad\xFF\xC3", "bad\\xff\\xc3"},                         // not UTF-8, cut sequence
      {"\xF0\x9F\x98\x80 ok", "\xF0\x9F\x98\x80 ok"},           // four-byte character
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(EscapeForTerminal(text), shown) << shown;
}

TEST(HexText, BytesBecomeTwoLowercaseDigitsEachAndRandomNamesUseEveryDigitPlace) {
  const unsigned char bytes[] = {0x00, 0x9f, 0xff, 0x5a};
  EXPECT_EQ(LowerHex(bytes, sizeof bytes), "009fff5a");
  EXPECT_EQ(LowerHex(bytes, 0), "");
  // Longer than one 64-bit draw: the places after the 16th must vary too.
  std::set<std::string> tails;
  for (int i = 0; i < 20; ++i) {
    const std::string name = RandomHex(20);
    ASSERT_EQ(name.size(), 20u);
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos) << name;
    tails.insert(name.substr(16));
  }
  EXPECT_GT(tails.size(), 1u);
}

TEST(ErrorReport, JoinsNumberDescriptionAndClosingTextInOneOkBox) {
  RecordingMessageBoxes boxes;
  ShowErrorReport(boxes, {13, "Type mismatch"}, ") in procedure ProcUpload of Form Form1");
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Error 13 (Type mismatch) in procedure ProcUpload of Form Form1");
  EXPECT_EQ(boxes.shown()[0].style, kStyleOkOnly);
  EXPECT_EQ(boxes.shown()[0].caption, "파로네_배포");
}

}  // namespace
}  // namespace parone

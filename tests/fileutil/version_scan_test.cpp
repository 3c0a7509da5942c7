#include <gtest/gtest.h>

#include "fileutil/file_version.hpp"
#include "platform/fakes/memory_file_system.hpp"
#include "version_block_builder.hpp"

namespace parone {
namespace {

using testing::SimpleBlock;
using testing::StringValue;

std::string Row(const VersionList& rows, std::size_t i) { return rows.at(i); }

class VersionScan : public ::testing::Test {
 protected:
  VersionList Scan(const std::vector<std::uint8_t>& block) {
    parone::VersionScan scan = ScanVersionBlock(block);
    errors = std::move(scan.errors);
    return scan.rows;
  }
  std::vector<Error> errors;
};

TEST_F(VersionScan, BuildsThirteenRowsInKeyOrderWithNotSpecifiedForMissingKeys) {
  const auto rows = Scan(SimpleBlock(u"041204B0", {{u"CompanyName", u"파로네"},
                                                   {u"FileVersion", u"1.01.0033"},
                                                   {u"Comments", u"주석"}}));
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(Row(rows, 0), "CompanyName: 파로네");
  EXPECT_EQ(Row(rows, 1), "FileDescription: Not specified");
  EXPECT_EQ(Row(rows, 2), "FileVersion: 1.01.0033");
  EXPECT_EQ(Row(rows, 8), "Comments: 주석");
  EXPECT_EQ(Row(rows, 11), "SpecialBuild: Not specified");
  EXPECT_EQ(Row(rows, 12), "Language: Korean");
  EXPECT_TRUE(errors.empty());
}

TEST_F(VersionScan, PaddingAfterOddAndEvenKeysIsSkippedExactly) {
  // "CompanyName" (11) is followed by one padding unit, "Comments" (8) and
  // "ProductName" (11) alike by their own rule; the value must not lose or
  // gain a character either way.
  const auto rows = Scan(SimpleBlock(u"041204B0", {{u"CompanyName", u"AB"},
                                                   {u"Comments", u"CD"},
                                                   {u"InternalName", u"EF"},
                                                   {u"ProductName", u"G"}}));
  EXPECT_EQ(Row(rows, 0), "CompanyName: AB");
  EXPECT_EQ(Row(rows, 8), "Comments: CD");
  EXPECT_EQ(Row(rows, 3), "InternalName: EF");
  EXPECT_EQ(Row(rows, 6), "ProductName: G");
}

TEST_F(VersionScan, EmptyValuesAsLoneNulOrWithoutAnyCharacter) {
  // A lone NUL is an empty value whatever the key's length.
  auto rows = Scan(SimpleBlock(u"041204B0", {{u"CompanyName", u""},
                                             {u"Comments", u""},
                                             {u"FileVersion", u"1.0"}}));
  EXPECT_EQ(Row(rows, 0), "CompanyName: ");
  EXPECT_EQ(Row(rows, 8), "Comments: ");
  EXPECT_EQ(Row(rows, 2), "FileVersion: 1.0");

  // No characters at all: the scan runs into the next entry's leading units
  // (its length word) up to the first NUL among them.
  rows = Scan(SimpleBlock(u"041204B0", {{u"Comments", u"", false},
                                        {u"FileVersion", u"1.0"}}));
  const std::string comments = Row(rows, 8);
  EXPECT_EQ(comments.rfind("Comments: ", 0), 0u);
  EXPECT_NE(comments, "Comments: ");
  EXPECT_EQ(Row(rows, 2), "FileVersion: 1.0");
}

TEST_F(VersionScan, LanguageComesFromTheFirstTableAfterStringFileInfo) {
  struct Case {
    std::u16string tableKey;
    const char* row;
  };
  const Case cases[] = {
      {u"041204B0", "Language: Korean"},
      {u"040c04b0", "Language: French - Standard"},  // upper-cased before lookup
      {u"000004B0", "Language: "},                   // unknown id
      {u"0414", "Language: Norwegian - Bokm\uCC45l"},
  };
  for (const auto& c : cases) {
    const auto rows = Scan(SimpleBlock(c.tableKey, {{u"FileVersion", u"1"}}));
    EXPECT_EQ(Row(rows, 12), c.row);
  }
  const auto none = Scan(testing::BuildVersionBlock({{}, false}));
  EXPECT_EQ(Row(none, 12), "Language");
  EXPECT_EQ(Row(none, 2), "FileVersion: Not specified");
}

TEST_F(VersionScan, SeveralTablesGiveEachKeyItsFirstOccurrence) {
  const auto rows = Scan(testing::BuildVersionBlock(
      {{{u"040904B0", {{u"CompanyName", u"First"}}},
        {u"041204B0", {{u"CompanyName", u"Second"}, {u"FileVersion", u"2.0.0001"}}}},
       true}));
  EXPECT_EQ(Row(rows, 0), "CompanyName: First");
  EXPECT_EQ(Row(rows, 2), "FileVersion: 2.0.0001");
  EXPECT_EQ(Row(rows, 12), "Language: English - United States");
}

TEST_F(VersionScan, AKeyIsOnlyFoundAfterTheTextTypeWord) {
  // "FileVersion" appears inside another value, not as a key.
  const auto rows = Scan(SimpleBlock(u"041204B0", {{u"Comments", u"FileVersion 9"}}));
  EXPECT_EQ(Row(rows, 2), "FileVersion: Not specified");
}

TEST_F(VersionScan, AValueRunningOffTheBlockReportsAndKeepsTheBareKey) {
  // A block cut right after a key: the rest of the work text is spaces, so
  // no NUL ends the value.
  std::vector<std::uint8_t> block = {0, 0, 0, 0, 1, 0};
  for (char c : std::string("Comments")) {
    block.push_back(static_cast<std::uint8_t>(c));
    block.push_back(0);
  }
  block.push_back('X');
  block.push_back(0);
  const auto rows = Scan(block);
  EXPECT_EQ(Row(rows, 8), "Comments");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].stage, Stage::kVersionRead);
  EXPECT_EQ(errors[0].kind, CodeKind::kRuntime);
  EXPECT_EQ(errors[0].code, 5);
  EXPECT_EQ(errors[0].message, "Invalid procedure call or argument");
}

TEST(LanguageName, LooksUpTheFirstFourCharactersCaseInsensitively) {
  EXPECT_EQ(GetLanguageName("041204B0"), "Korean");
  EXPECT_EQ(GetLanguageName("0c0a04b0"), "");  // 0C0A is not among the known ids
  EXPECT_EQ(GetLanguageName("0c1a"), "Serbian - Cyrillic");
  EXPECT_EQ(GetLanguageName("0409"), "English - United States");
  EXPECT_EQ(GetLanguageName("3c0a"), "Spanish - Paraguay");
  EXPECT_EQ(GetLanguageName("0435xxxx"), "Zulu");
  EXPECT_EQ(GetLanguageName("041"), "");
  EXPECT_EQ(GetLanguageName(""), "");
}

// GetFileVerString over synthetic program files in memory.
class FileVerString : public ::testing::Test {
 protected:
  std::string With(const char16_t* fileVersion, Boolean16 keep) {
    std::vector<StringValue> values;
    if (fileVersion) values.push_back({u"FileVersion", fileVersion});
    values.push_back({u"CompanyName", u"Parone"});
    files.AddFile("C:\\out\\app.exe", testing::BuildPe(SimpleBlock(u"041204B0", values), 32));
    VersionText version = FileVersionReader(files).GetFileVerString("C:\\out\\app.exe", keep);
    failure = version.failure;
    return version.text;
  }
  MemoryFileSystem files;
  std::optional<Error> failure;
};

TEST_F(FileVerString, KeepRevisionRewritesTheLastComponentAsAPlainNumber) {
  struct Case {
    const char16_t* fileVersion;
    const char* expected;
  };
  const Case cases[] = {
      {u"1.01.0033", "1.01.33"}, {u"2.3.010", "2.3.10"}, {u"1.0.0", "1.0.0"},
      {u"3.0.0", "3.0.0"},       {u"1.2.0100", "1.2.100"}, {u"1.2.0000", "1.2.0"},
      {u"0033", "33"},           {u"1.0 beta", "1.0 beta"}, {u"1.2.", "1.2."},
      {u"1.2.3a", "1.2.3a"},     {nullptr, "Not specified"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(With(c.fileVersion, kTrue16), c.expected);
    EXPECT_FALSE(failure) << c.expected;
  }
}

TEST_F(FileVerString, WithoutKeepRevisionTheLastComponentIsDropped) {
  EXPECT_EQ(With(u"1.01.0033", kFalse16), "1.01");
  EXPECT_EQ(With(u"1.0 beta", 0), "1");
  EXPECT_FALSE(failure);

  // No dot: the cut fails (5, Invalid procedure call) and the text is kept.
  EXPECT_EQ(With(u"0033", kFalse16), "0033");
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code, 5);
}

TEST_F(FileVerString, AFileWithoutAVersionBlockGivesEmptyTextAndTypeMismatch) {
  files.AddFile("C:\\out\\plain.exe", "MZ not really a program");
  FileVersionReader reader(files);
  EXPECT_FALSE(reader.GetFileVer("C:\\out\\plain.exe").has_value());
  for (const char* path : {"C:\\out\\plain.exe", "C:\\missing.exe"}) {
    const VersionText version = reader.GetFileVerString(path, kTrue16);
    EXPECT_EQ(version.text, "");
    ASSERT_TRUE(version.failure) << path;
    EXPECT_EQ(version.failure->stage, Stage::kVersionRead);
    EXPECT_EQ(version.failure->code, 13);
    EXPECT_EQ(version.failure->message, "Type mismatch");
    EXPECT_EQ(version.failure->subject, path);
  }
}

}  // namespace
}  // namespace parone

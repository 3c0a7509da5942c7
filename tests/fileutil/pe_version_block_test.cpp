#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fileutil/file_version.hpp"
#include "fileutil/pe_version_block.hpp"
#include "platform/fakes/memory_file_system.hpp"
#include "version_block_builder.hpp"

namespace parone {
namespace {

using testing::BuildPe;
using testing::PeLayout;
using testing::PutU16;
using testing::PutU32;
using testing::SimpleBlock;

std::string Fixture(const char* name) { return std::string(PARONE_FIXTURE_DIR) + "/" + name; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Real files made by windres and ld.
class RealProgramFiles : public ::testing::Test {
 protected:
  std::string Version(const std::string& path, Boolean16 keepRevision) {
    return reader.GetFileVerString(path, keepRevision).text;
  }
  NativeFileSystem files;
  FileVersionReader reader{files};
};

TEST_F(RealProgramFiles, ThirtyTwoAndSixtyFourBitFilesGiveTheSameKoreanRows) {
  for (const char* name : {"sample32.exe", "sample64.exe"}) {
    SCOPED_TRACE(name);
    const auto scan = reader.GetFileVer(Fixture(name));
    ASSERT_TRUE(scan.has_value());
    EXPECT_TRUE(scan->errors.empty());
    const VersionList expected = {
        "CompanyName: 파로네 주식회사",
        "FileDescription: 파로네 자동업데이트 시험 프로그램",
        "FileVersion: 1.01.0033",
        "InternalName: sample",
        "LegalCopyright: (c) 파로네",
        "OriginalFilename: sample.exe",
        "ProductName: 파로네",
        "ProductVersion: 1.01.0033",
        "Comments: ",
        "LegalTrademarks: Not specified",
        "PrivateBuild: Not specified",
        "SpecialBuild: Not specified",
        "Language: Korean",
    };
    EXPECT_EQ(scan->rows, expected);
    EXPECT_EQ(Version(Fixture(name), kTrue16), "1.01.33");
    EXPECT_EQ(Version(Fixture(name), kFalse16), "1.01");
  }
}

TEST_F(RealProgramFiles, TwoTablesLowerCaseKeyAndNoFileVersion) {
  const auto scan = reader.GetFileVer(Fixture("two_tables32.exe"));
  ASSERT_TRUE(scan.has_value());
  const VersionList& rows = scan->rows;
  EXPECT_EQ(rows[0], "CompanyName: Parone France");
  EXPECT_EQ(rows[2], "FileVersion: Not specified");
  EXPECT_EQ(rows[8], "Comments: second table");
  EXPECT_EQ(rows[12], "Language: French - Standard");
  EXPECT_EQ(Version(Fixture("two_tables32.exe"), kTrue16), "Not specified");
}

TEST_F(RealProgramFiles, OnlyTheVersionResourceNamedOneCountsAsTheVersion) {
  // Another name sorting first is passed over.
  EXPECT_EQ(Version(Fixture("named_first64.exe"), kTrue16), "3.2.100");
  // Without name 1 there is no version, as for the platform's version API.
  EXPECT_FALSE(reader.GetFileVer(Fixture("only_name_5_64.exe")).has_value());
  EXPECT_EQ(Version(Fixture("only_name_5_64.exe"), kTrue16), "");
}

TEST_F(RealProgramFiles, MissingFolderEmptyAndResourcelessFilesHaveNoBlock) {
  const auto dir = std::filesystem::temp_directory_path() / "parone_pe_test";
  std::filesystem::create_directories(dir);
  const std::string empty = (dir / "empty.exe").string();
  std::ofstream(empty).close();
  const std::string text = (dir / "notes.txt").string();
  std::ofstream(text) << "just some text, no MZ here";
  for (const std::string& path : {Fixture("no_resources64.exe"), Fixture("absent.exe"),
                                  dir.string(), empty, text}) {
    EXPECT_FALSE(reader.GetFileVer(path).has_value()) << path;
  }
  std::filesystem::remove_all(dir);
}

// Synthetic files, damaged on purpose.
std::optional<std::vector<std::uint8_t>> Extract(const std::string& bytes) {
  MemoryFileSystem files;
  files.AddFile("f", bytes);
  return ExtractVersionBlock(*files.OpenForReading("f"));
}

TEST(DamagedProgramFiles, EveryTruncationOfARealFileIsHandled) {
  const std::string whole = ReadAll(Fixture("sample32.exe"));
  ASSERT_GT(whole.size(), 1000u);
  const auto full = Extract(whole);
  ASSERT_TRUE(full.has_value());
  std::size_t withBlock = 0;
  for (std::size_t n = 0; n < whole.size(); ++n) {
    const auto got = Extract(whole.substr(0, n));
    if (got) {
      ++withBlock;
      EXPECT_EQ(*got, *full) << "prefix " << n;  // only ever the real block
    }
  }
  // The block is not at the very end, so some long prefixes still hold it.
  EXPECT_LT(withBlock, whole.size());
}

TEST(DamagedProgramFiles, HeaderFieldsPointingAnywhereGiveNoBlock) {
  const auto block = SimpleBlock(u"041204B0", {{u"FileVersion", u"1.0.1"}});
  for (int bits : {32, 64}) {
    PeLayout at;
    const std::string good = BuildPe(block, bits, &at);
    ASSERT_TRUE(Extract(good).has_value()) << bits;

    struct Damage {
      const char* what;
      std::size_t offset;
      std::uint32_t value;
      bool wide;
    };
    const Damage damages[] = {
        {"e_lfanew past the end", 0x3C, 0xFFFFFFF0u, true},
        {"e_lfanew into the middle", 0x3C, 0x30, true},
        {"bad PE signature", at.peHeaderOffset, 0x00004551, true},
        {"unknown optional magic", at.optionalHeaderOffset, 0x0107, false},
        {"huge section count", at.peHeaderOffset + 6, 0xFFFF, false},
        {"optional header too small", at.peHeaderOffset + 20, 8, false},
        {"resource RVA outside sections", at.resourceDirEntryOffset, 0x7FFF0000u, true},
        {"resource RVA zero", at.resourceDirEntryOffset, 0, true},
        {"section raw pointer past end", at.sectionTableOffset + 20, 0x40000000u, true},
        {"data entry size 3 GiB", at.dataEntryOffset + 4, 0xC0000000u, true},
        {"data entry size 5 MiB", at.dataEntryOffset + 4, 5u * 1024 * 1024, true},
        {"data entry RVA outside", at.dataEntryOffset, 0x90000000u, true},
        {"root entry count huge", at.resourceRawOffset + 14, 0xFFFF, false},
        {"type directory loops onto itself", at.resourceRawOffset + 20, 0x80000000u, true},
        {"language entry is a directory", at.resourceRawOffset + 0x30 + 20, 0x80000030u, true},
        {"name entry is a leaf", at.resourceRawOffset + 0x18 + 20, 0x48, true},
    };
    for (const Damage& d : damages) {
      std::string bad = good;
      if (d.wide) {
        PutU32(bad, d.offset, d.value);
      } else {
        PutU16(bad, d.offset, static_cast<std::uint16_t>(d.value));
      }
      EXPECT_FALSE(Extract(bad).has_value()) << bits << "-bit: " << d.what;
    }
  }
}

TEST(DamagedProgramFiles, AHugeFileIsReadOnlyWhereTheHeadersAndTheBlockAre) {
  // 1 GiB of padding after the resource: only a few kilobytes are read.
  const auto block = SimpleBlock(u"041204B0", {{u"FileVersion", u"1.0.7"}});
  std::string pe = BuildPe(block, 64);
  const std::size_t small = pe.size();
  MemoryFileSystem files;
  files.AddFile("small", pe);
  ASSERT_TRUE(ExtractVersionBlock(*files.OpenForReading("small")).has_value());
  const std::size_t readSmall = files.bytesRead();
  EXPECT_LT(readSmall, small);
  pe.resize(64u * 1024 * 1024, '\0');
  files.AddFile("big", pe);
  ASSERT_TRUE(ExtractVersionBlock(*files.OpenForReading("big")).has_value());
  EXPECT_EQ(files.bytesRead() - readSmall, readSmall);
}

// The certificate table: what tells a signed copy from an unsigned, cut-off
// or foreign file.
CertificateTable Certificate(const std::string& bytes) {
  MemoryFileSystem files;
  files.AddFile("f", bytes);
  return FindCertificateTable(*files.OpenForReading("f"));
}

TEST(CertificateTables, OsslsigncodeOutputIsSignedAndTheInputIsNot) {
  for (const char* name : {"sample32.exe", "sample64.exe", "sample_build5_64.exe"}) {
    EXPECT_EQ(Certificate(ReadAll(Fixture(name))), CertificateTable::kNone) << name;
    EXPECT_EQ(Certificate(ReadAll(Fixture((std::string("signed/") + name).c_str()))),
              CertificateTable::kPresent)
        << name;
  }
  EXPECT_EQ(Certificate(""), CertificateTable::kNotPe);
  EXPECT_EQ(Certificate("just some text, no MZ here"), CertificateTable::kNotPe);
}

TEST(CertificateTables, NoPrefixOfASignedFileCountsAsSigned) {
  // What a reader sees of a copy that is still being written.
  for (const char* name : {"signed/sample32.exe", "signed/sample64.exe"}) {
    const std::string whole = ReadAll(Fixture(name));
    ASSERT_EQ(Certificate(whole), CertificateTable::kPresent);
    for (std::size_t n = 0; n < whole.size(); ++n) {
      ASSERT_NE(Certificate(whole.substr(0, n)), CertificateTable::kPresent) << name << " " << n;
    }
  }
}

TEST(CertificateTables, EveryFieldIsCheckedBeforeItIsBelieved) {
  const auto block = SimpleBlock(u"041204B0", {{u"FileVersion", u"1.0.1"}});
  for (int bits : {32, 64}) {
    PeLayout at;
    std::string pe = BuildPe(block, bits, &at);
    const std::size_t entry = at.resourceDirEntryOffset + 16;  // data directory 4
    const std::size_t dirCount = at.resourceDirEntryOffset - 4 - 16;
    const auto table = static_cast<std::uint32_t>(pe.size());
    // One WIN_CERTIFICATE: length 24, revision 2.0, PKCS#7, 16 bytes of data.
    std::string record(24, '\x5A');
    PutU32(record, 0, 24);
    PutU16(record, 4, 0x0200);
    PutU16(record, 6, 2);
    const std::string good = pe + record;

    struct Case {
      const char* what;
      std::uint32_t offset, size;  // data directory 4
      std::uint32_t length;        // the record's own length
      std::uint16_t type;
      std::uint32_t declared;      // number of data directories
      CertificateTable expected;
    };
    const Case cases[] = {
        {"a proper table", table, 24, 24, 2, 16, CertificateTable::kPresent},
        {"no table at all", 0, 0, 24, 2, 16, CertificateTable::kNone},
        {"only four directories declared", table, 24, 24, 2, 4, CertificateTable::kNone},
        {"size without an offset", 0, 24, 24, 2, 16, CertificateTable::kDamaged},
        {"smaller than a record header", table, 7, 24, 2, 16, CertificateTable::kDamaged},
        {"one byte past the end of the file", table, 25, 24, 2, 16, CertificateTable::kDamaged},
        {"offset and size wrap around", 0xFFFFFFF0u, 0x20, 24, 2, 16, CertificateTable::kDamaged},
        {"record longer than the table", table, 24, 25, 2, 16, CertificateTable::kDamaged},
        {"record with a header only", table, 24, 8, 2, 16, CertificateTable::kDamaged},
        {"an X.509 record, not a signature", table, 24, 24, 1, 16, CertificateTable::kDamaged},
    };
    for (const Case& c : cases) {
      std::string bytes = good;
      PutU32(bytes, entry, c.offset);
      PutU32(bytes, entry + 4, c.size);
      PutU32(bytes, table, c.length);
      PutU16(bytes, table + 6, c.type);
      PutU32(bytes, dirCount, c.declared);
      EXPECT_EQ(Certificate(bytes), c.expected) << bits << "-bit: " << c.what;
      // The version block is found either way: the two readers share the
      // header walk and neither disturbs the other.
      EXPECT_TRUE(Extract(bytes).has_value()) << bits << "-bit: " << c.what;
    }
    // An optional header too short to hold entry 4 has no table.
    std::string shortHeader = good;
    PutU16(shortHeader, at.peHeaderOffset + 20, static_cast<std::uint16_t>(entry - at.optionalHeaderOffset + 4));
    EXPECT_EQ(Certificate(shortHeader), CertificateTable::kNone) << bits;
  }
}

}  // namespace
}  // namespace parone

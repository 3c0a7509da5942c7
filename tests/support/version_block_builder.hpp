#pragma once
// Builds VS_VERSIONINFO blocks and minimal PE files around them, so tests can
// state exactly which bytes the reader is given (padding, missing NULs,
// several tables) and can damage any header field on purpose.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace parone::testing {

struct StringValue {
  std::u16string key;
  std::u16string value;
  // false: the value is stored with no characters at all, not even its NUL.
  bool withNul = true;
};

struct StringTable {
  std::u16string key;  // e.g. u"041204B0"
  std::vector<StringValue> values;
};

struct VersionBlockContents {
  std::vector<StringTable> tables;
  bool withStringFileInfo = true;
};

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContents& contents);

// A block with one table and the given key/value pairs.
std::vector<std::uint8_t> SimpleBlock(const std::u16string& tableKey,
                                      const std::vector<StringValue>& values);

struct PeLayout {
  std::uint32_t peHeaderOffset = 0;      // e_lfanew
  std::uint32_t optionalHeaderOffset = 0;
  std::uint32_t resourceDirEntryOffset = 0;  // data directory entry 2
  std::uint32_t sectionTableOffset = 0;
  std::uint32_t resourceRawOffset = 0;   // start of .rsrc in the file
  std::uint32_t dataEntryOffset = 0;     // the version resource's data entry
  std::uint32_t blockOffset = 0;         // the version block in the file
};

// A PE32 (bits 32) or PE32+ (bits 64) file with a single .rsrc section that
// holds type 16 / name 1 / language 0x412 pointing at `block`.
std::string BuildPe(const std::vector<std::uint8_t>& block, int bits, PeLayout* layout = nullptr);

void PutU16(std::string& bytes, std::size_t at, std::uint16_t value);
void PutU32(std::string& bytes, std::size_t at, std::uint32_t value);

}  // namespace parone::testing

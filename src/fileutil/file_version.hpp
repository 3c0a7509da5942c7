#pragma once
// Reads the text fields of a program file's version resource by scanning the
// raw version block for the keys it knows, and derives the version text the
// workflow records on the server. Synchronous; keeps no state between calls.
// Failures come back as Error values (stage version-read, the run-time error
// number and description of the error report); nothing is shown or thrown.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.hpp"
#include "common/tick_state.hpp"
#include "platform/file_system.hpp"

namespace parone {

// The 13 rows "Key: value" (the last "Language: name"), positions 0..12.
using VersionList = std::vector<std::string>;

inline constexpr std::string_view kVersionKeyList =
    "CompanyName;FileDescription;FileVersion;InternalName;LegalCopyright;"
    "OriginalFilename;ProductName;ProductVersion;Comments;LegalTrademarks;"
    "PrivateBuild;SpecialBuild;Language";


// The language name for the first 4 characters of a string-table key
// (upper-cased first); empty when the id is not known.
std::string GetLanguageName(std::string_view tableKey);

struct VersionScan {
  VersionList rows;
  // One per row that could not be built (that row keeps its bare key); the
  // error report shows each.
  std::vector<Error> errors;
};

// The scan over one raw version block (bytes as the version API delivers
// them).
VersionScan ScanVersionBlock(std::span<const std::uint8_t> block);

struct VersionText {
  std::string text;  // the version text, or whatever had been assigned before a failure
  // Why the version could not be read whole: no version block (13, Type
  // mismatch), a last dot beyond 32767 characters (6, Overflow), ...
  std::optional<Error> failure;
  std::vector<Error> scanErrors;  // rows of the block that could not be built
};

class FileVersionReader {
 public:
  explicit FileVersionReader(FileSystem& files) : files_(files) {}

  // nullopt ("the empty text") when the file has no version block or cannot
  // be read.
  std::optional<VersionScan> GetFileVer(const std::string& path);

  // The FileVersion value; with keepRevision its last component rewritten as
  // a plain number (1.01.0033 -> 1.01.33), without it dropped (-> 1.01).
  VersionText GetFileVerString(const std::string& path, Boolean16 keepRevision);

 private:
  FileSystem& files_;
};

// The last component rewritten with the number format "0": digits-only
// texts lose their leading zeros, anything else stays as it is.
std::string FormatWholeNumber(std::string_view text);

}  // namespace parone

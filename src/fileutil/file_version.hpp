#pragma once
// Reads the text fields of a program file's version resource by scanning the
// raw version block for the keys it knows, and derives the version text the
// workflow records on the server. Synchronous; keeps no state between calls.
// Failures are reported with the error report of this module and never
// thrown to the caller.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/tick_state.hpp"
#include "platform/file_system.hpp"
#include "platform/message_box.hpp"

namespace parone {

// The 13 rows "Key: value" (the last "Language: name"), positions 0..12.
using VersionList = std::vector<std::string>;

inline constexpr std::string_view kVersionKeyList =
    "CompanyName;FileDescription;FileVersion;InternalName;LegalCopyright;"
    "OriginalFilename;ProductName;ProductVersion;Comments;LegalTrademarks;"
    "PrivateBuild;SpecialBuild;Language";

inline constexpr const char* kFileVerClosing = ") in procedure GetFileVer of Module mdlFile";

// The language name for the first 4 characters of a string-table key
// (upper-cased first); empty when the id is not known.
std::string GetLanguageName(std::string_view tableKey);

// The scan over one raw version block (bytes as the version API delivers
// them). Failures while building a row show the error report and leave that
// row as its bare key.
VersionList ScanVersionBlock(std::span<const std::uint8_t> block, MessageBoxes& boxes);

class FileVersionReader {
 public:
  FileVersionReader(FileSystem& files, MessageBoxes& boxes) : files_(files), boxes_(boxes) {}

  // nullopt ("the empty text") when the file has no version block or cannot
  // be read; no message in that case.
  std::optional<VersionList> GetFileVer(const std::string& path);

  // The FileVersion value; with keepRevision its last component rewritten as
  // a plain number (1.01.0033 -> 1.01.33), without it dropped (-> 1.01).
  // After a failure: the error report unless hideError, and whatever had
  // been assigned so far.
  std::string GetFileVerString(const std::string& path, Boolean16 keepRevision,
                               Boolean16 hideError);

 private:
  FileSystem& files_;
  MessageBoxes& boxes_;
};

// The last component rewritten with the number format "0": digits-only
// texts lose their leading zeros, anything else stays as it is.
std::string FormatWholeNumber(std::string_view text);

}  // namespace parone

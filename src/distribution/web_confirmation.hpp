#pragma once
// Reads back over HTTP what an update client reads after a publish: the
// lastver file over the web path the version check uses (read as the check
// reads it), the size of the published file, and its bytes: the first and
// the last 64 KiB (the whole file up to 128 KiB) by Range requests, compared
// with the local file, so a lagging copy of the same size is not taken for
// the new one. A server that ignores Range is compared on its first 64 KiB.
// Blocks for at most the URL time-outs of each of its few requests; shows
// nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/system_config.hpp"
#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "transfer/url_text.hpp"

namespace parone {

struct WebConfirmation {
  std::string fileName;
  std::string lastVerName;
  std::string expectedLastVer;  // the lastver text as published (build and CR LF)
  Result<HttpAnswer> lastVer = HttpAnswer{};  // what the web served for it
  std::uint64_t expectedSize = 0;
  Result<HttpAnswer> size = HttpAnswer{};     // what the web said of the file's size

  // One part of the file's bytes as the web served it, beside the local ones.
  struct Part {
    std::uint64_t offset = 0;
    bool whole = false;                         // the part is the whole file
    std::string local;                          // the local file's bytes there
    Result<HttpAnswer> served = HttpAnswer{};   // what the web gave for them
    bool Matches() const;
  };
  std::vector<Part> parts;  // none for an empty file
  bool rangeIgnored = false;  // the server answered 200: only the first part was compared
  std::string localError;     // the local file could not be read for the comparison
  bool noLocalCopy = false;   // nothing local to compare bytes with (a rollback): size and build only

  bool LastVerMatches() const;
  bool SizeMatches() const;
  bool BytesMatch() const;
  bool Confirmed() const { return LastVerMatches() && SizeMatches() && BytesMatch(); }
  // The warning shown when the web does not serve what was published: the
  // file, and for each of the two what was expected and what was seen.
  std::string WarningText() const;
  // What went wrong, as an error of stage read-back (the first mismatch);
  // nullopt when confirmed.
  std::optional<Error> AsError() const;
};

inline constexpr std::size_t kReadBackPart = 64 * 1024;

// `lastVerText` is what was stored as the lastver file, `size` the bytes of
// the file that was stored, `localPath` the file they came from; an empty
// `localPath` compares no bytes (a rollback renames a file that has no
// local copy).
WebConfirmation ConfirmOverHttp(const SystemConfig& config, const CodePage& codePage,
                                FileSystem& files, UrlTextTimeouts timeouts,
                                const std::string& localPath, const std::string& fileName,
                                const std::string& lastVerName, const std::string& lastVerText,
                                std::uint64_t size);

}  // namespace parone

#pragma once
// Reads back over HTTP what an update client reads after a publish: the
// lastver file over the web path the version check uses, and the size of
// the published file. Blocks for at most the URL time-outs of each of its
// two or three requests; shows nothing.

#include <cstdint>
#include <optional>
#include <string>

#include "common/system_config.hpp"
#include "platform/code_page.hpp"
#include "transfer/url_text.hpp"

namespace parone {

struct WebConfirmation {
  std::string fileName;
  std::string lastVerName;
  std::string expectedLastVer;  // the lastver text as published (build and CR LF)
  Result<HttpAnswer> lastVer = HttpAnswer{};  // what the web served for it
  std::uint64_t expectedSize = 0;
  Result<HttpAnswer> size = HttpAnswer{};     // what the web said of the file's size

  bool LastVerMatches() const;
  bool SizeMatches() const;
  bool Confirmed() const { return LastVerMatches() && SizeMatches(); }
  // The warning shown when the web does not serve what was published: the
  // file, and for each of the two what was expected and what was seen.
  std::string WarningText() const;
  // What went wrong, as an error of stage read-back (the first mismatch);
  // nullopt when confirmed.
  std::optional<Error> AsError() const;
};

// `lastVerText` is what was stored as the lastver file, `size` the bytes of
// the file that was stored.
WebConfirmation ConfirmOverHttp(const SystemConfig& config, const CodePage& codePage,
                                UrlTextTimeouts timeouts, const std::string& fileName,
                                const std::string& lastVerName, const std::string& lastVerText,
                                std::uint64_t size);

}  // namespace parone

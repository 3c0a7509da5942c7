// Feeds arbitrary bytes to what the network hands the tool: an FTP server's
// SIZE reply and LIST answer, and the text of a lastver file read over HTTP.
// Besides faults the sanitizers see, it traps on a SIZE reading that changes
// with the line end the server chose.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "distribution/check_server_version.hpp"
#include "transfer/ftp_reply.hpp"
#include "transfer/url_text.hpp"

namespace {

// The server's build as the version check reads it from the served text of
// a lastver file (the first bytes as a plain number, or the last component
// of a comma-separated first line), and the way it is shown. The one place
// to change when that reading moves.
void ReadLastVerText(std::string_view served) {
  const std::string_view plain = served.substr(0, parone::kUrlTextMaxBytes);
  const bool commaRecord = parone::ComparedBuildText(served).size() != served.size();
  const double build = parone::BuildValue(commaRecord ? served : plain);
  parone::BuildValueText(build);
  parone::IsBuildNumber(served);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const auto reply = parone::ParseSizeReply(bytes);
  if (reply != parone::ParseSizeReply(std::string(bytes) + "\r\n")) __builtin_trap();

  // Up to the first NUL the listing, after it the name looked for (a NUL
  // never appears in either on the wire); without one, the name of a file
  // the tool publishes.
  const std::size_t nul = bytes.find('\0');
  const std::string_view listing = bytes.substr(0, nul);
  const std::string_view name =
      nul == std::string_view::npos ? std::string_view("Tool.Setup.exe") : bytes.substr(nul + 1);
  parone::ParseListedSize(listing, name);
  parone::ParseListedSize(bytes, "");

  ReadLastVerText(bytes);
  return 0;
}

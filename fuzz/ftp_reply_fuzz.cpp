// Feeds arbitrary bytes to what the network hands the tool: an FTP server's
// SIZE reply and LIST answer, and the text of a lastver file read over HTTP.
// Besides faults the sanitizers see, it traps on a SIZE reading that changes
// with the line end the server chose.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "distribution/server_record.hpp"
#include "transfer/ftp_reply.hpp"
#include "transfer/url_text.hpp"

namespace {

// The server's record as the version check and the race check read it: from
// an HTTP answer's body and from the file's bytes read over FTP. A text that
// reads as a build must give the same build either way, and a build text
// must read the same with a line end added.
void ReadLastVerText(std::string_view served) {
  parone::HttpAnswer answer;
  answer.status = 200;
  answer.body = std::string(served);
  const parone::ServerRecord byWeb = parone::RecordFromAnswer(answer);
  const parone::ServerRecord byFtp = parone::RecordFromFile(std::string(served));
  if (!parone::SameRecord(byWeb, byFtp)) __builtin_trap();
  byWeb.ReasonText();
  if (byWeb.kind == parone::RecordKind::kBuild && served.size() < parone::kUrlTextMaxBytes - 2 &&
      served.find_first_of("\r\n") == std::string_view::npos) {
    const auto again = parone::ReadLastVerText(std::string(served) + "\r\n");
    if (!again || *again != byWeb.build) __builtin_trap();
  }
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

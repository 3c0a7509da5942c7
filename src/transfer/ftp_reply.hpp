#pragma once
// Reading what an FTP server says back: the size in a SIZE reply and the
// size of one file in a LIST answer. Pure text functions; they never throw
// and answer nullopt for anything they cannot read with certainty.

#include <cstdint>
#include <optional>
#include <string_view>

namespace parone {

// The byte count of a "213 <size>" reply line (the whole line, code
// included); nullopt for any other code or text that is not a plain number.
std::optional<std::uint64_t> ParseSizeReply(std::string_view line);

// The size of the ordinary file `name` (its last path part, as the server's
// code page bytes) in the text of a LIST answer: a Unix "ls -l" style line
// (with or without the group column) or a DOS/IIS style line. Folders,
// links and lines about other names do not count.
std::optional<std::uint64_t> ParseListedSize(std::string_view listing, std::string_view name);

}  // namespace parone

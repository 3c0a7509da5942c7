#pragma once
// Finds the version resource of a Windows program file (PE32 or PE32+) and
// returns its bytes: the same VS_VERSIONINFO data the Windows version API
// hands out. Reads only the headers, the section table, the resource
// directory entries it walks and the resource data itself, through seeks;
// never the whole file. Never throws; malformed input is simply "no block".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/file_system.hpp"

namespace parone {

// Version blocks are kilobytes; anything claiming more is refused.
inline constexpr std::size_t kMaxVersionBlockBytes = 4u * 1024u * 1024u;

// Resource type 16, name 1 when present else the first name, first language.
std::optional<std::vector<std::uint8_t>> ExtractVersionBlock(RandomAccessFile& file);

}  // namespace parone

#pragma once
// Finds the version resource of a Windows program file (PE32 or PE32+) and
// returns its bytes: the same VS_VERSIONINFO data the Windows version API
// hands out. Reads only the headers, the section table, the resource
// directory entries it walks and the resource data itself, through seeks;
// never the whole file. Never throws; malformed input is simply "no block".
// Beside it, a look at the certificate table, to tell a signed copy from an
// unsigned, truncated or foreign one.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/file_system.hpp"

namespace parone {

// Version blocks are kilobytes; anything claiming more is refused.
inline constexpr std::size_t kMaxVersionBlockBytes = 4u * 1024u * 1024u;

// Resource type 16, name 1 (no other name counts), first language.
std::optional<std::vector<std::uint8_t>> ExtractVersionBlock(RandomAccessFile& file);

enum class CertificateTable {
  kNotPe,    // the file does not start with the headers of a PE32 or PE32+ image
  kNone,     // a PE image whose certificate table (data directory 4) is empty
  kDamaged,  // declared, but running past the end of the file (a cut-off copy)
             // or not starting with a PKCS#7 WIN_CERTIFICATE record
  kPresent,  // declared, inside the file, its first record a PKCS#7 signature
};

// Reads the headers and the first record's 8 bytes only. kPresent says the
// file carries an Authenticode signature; whether that signature is valid
// or trusted is not checked.
CertificateTable FindCertificateTable(RandomAccessFile& file);

}  // namespace parone

#pragma once
// Lowercase hexadecimal text: of bytes (digests), and of fresh random bits
// (the short names that temporary and aside files take).

#include <cstddef>
#include <string>

namespace parone {

std::string LowerHex(const unsigned char* bytes, std::size_t size);

// `digits` random lowercase hex digits, from a generator each thread seeds
// once from the system's random source, so threads never share its state.
std::string RandomHex(int digits);

}  // namespace parone

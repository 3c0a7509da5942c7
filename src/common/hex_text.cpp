#include "common/hex_text.hpp"

#include <random>

namespace parone {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

}  // namespace

std::string LowerHex(const unsigned char* bytes, std::size_t size) {
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

std::string RandomHex(int digits) {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::string out;
  std::uint64_t bits = 0;
  for (int i = 0; i < digits; ++i, bits >>= 4) {
    if (i % 16 == 0) bits = generator();
    out += kDigits[bits & 0xF];
  }
  return out;
}

}  // namespace parone

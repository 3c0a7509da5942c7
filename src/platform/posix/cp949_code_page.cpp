// POSIX implementation of the CodePage interface defined in platform/code_page.hpp (iconv).
#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/code_page.hpp"

namespace parone {
namespace {

// Converts with one iconv descriptor per call; descriptors are cheap and a
// fresh one keeps the object stateless.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in,
                                   bool replaceInvalid) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  std::vector<char> buffer(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer.data(), buffer.size() - dstLeft);
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (!replaceInvalid) {
      iconv_close(cd);
      return std::nullopt;
    }
    out += "\xEF\xBF\xBD";  // U+FFFD for the undecodable byte
    ++src;
    --srcLeft;
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::optional<std::string> Cp949CodePage::FromUtf8(std::string_view utf8) const {
  return Convert("CP949", "UTF-8", utf8, false);
}

std::string Cp949CodePage::ToUtf8(std::string_view bytes) const {
  return Convert("UTF-8", "CP949", bytes, true).value_or(std::string());
}

}  // namespace parone

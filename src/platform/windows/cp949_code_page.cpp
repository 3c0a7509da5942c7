// Windows implementation of the CodePage interface defined in platform/code_page.hpp.
#include <vector>

#include "platform/code_page.hpp"
#include "platform/windows/win32.hpp"

namespace parone {
namespace {

// Always code page 949, never CP_ACP: a Windows whose own ANSI code page is
// another must still name the Korean folder as the server stores it.
constexpr UINT kCodePage = 949;

// UTF-16 of the bytes, or nothing when a sequence does not decode.
std::optional<std::wstring> DecodeStrict(std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), size,
                                      nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n);
  return wide;
}

}  // namespace

std::optional<std::string> Cp949CodePage::FromUtf8(std::string_view utf8) const {
  const std::wstring wide = win32::Wide(utf8);
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  // No best-fit mapping ("é" would quietly become "e"): a character the code
  // page lacks must fail, as it does with iconv on Linux.
  BOOL usedDefault = FALSE;
  const int n = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                      0, nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, bytes.data(), n,
                        nullptr, &usedDefault);
  if (usedDefault) return std::nullopt;
  // U+FFFD from malformed UTF-8 has no place in code page 949 either.
  if (wide.find(L'\xFFFD') != std::wstring::npos) return std::nullopt;
  return bytes;
}

std::string Cp949CodePage::ToUtf8(std::string_view bytes) const {
  if (const auto wide = DecodeStrict(bytes)) return win32::Narrow(*wide);
  // The system would put its own default character in place of a bad byte;
  // decode piece by piece instead so that each one becomes U+FFFD.
  std::string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length =
        lead >= 0x80 && ::IsDBCSLeadByteEx(kCodePage, lead) && i + 1 < bytes.size() ? 2 : 1;
    if (const auto wide = DecodeStrict(bytes.substr(i, length))) {
      out += win32::Narrow(*wide);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace parone

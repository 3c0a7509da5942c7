// Windows implementation of the interface defined in platform/library_path.hpp.
#include "platform/library_path.hpp"

#include <vector>

#include "platform/windows/win32.hpp"

namespace parone {
namespace {

// The wide text in the ANSI code page; nullopt where a character has no
// place there (a best-fit "?" would name another file).
std::optional<std::string> InAnsiCodePage(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                         static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        bytes.data(), size, nullptr, &lossy);
  if (lossy) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<std::string> LibraryPath(const std::string& utf8Path) {
  const std::wstring wide = win32::Wide(utf8Path);
  if (auto ansi = InAnsiCodePage(wide)) return ansi;
  // A Korean user name in a profile path on a system of another code page:
  // the short name, where the volume keeps short names, is plain letters.
  std::vector<wchar_t> shortName(wide.size() + 1);
  for (;;) {
    const DWORD n = ::GetShortPathNameW(wide.c_str(), shortName.data(),
                                        static_cast<DWORD>(shortName.size()));
    if (n == 0) return std::nullopt;
    if (n < shortName.size()) return InAnsiCodePage(std::wstring(shortName.data(), n));
    shortName.resize(n);
  }
}

}  // namespace parone

// Helpers shared by the Windows implementations of the interfaces in platform/.
#include "platform/windows/win32.hpp"

#include <vector>

#include "common/text_encoding.hpp"

namespace parone::win32 {

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring LongPath(const std::string& utf8) {
  std::wstring path = Wide(utf8);
  if (path.empty() || path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
  // GetFullPathNameW resolves the current folder, "." and "..", and turns
  // "/" into "\": the \\?\ form takes the path literally and would not.
  std::vector<wchar_t> full(path.size() + MAX_PATH);
  for (;;) {
    const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                       nullptr);
    if (n == 0) return path;
    if (n < full.size()) {
      path.assign(full.data(), n);
      break;
    }
    full.resize(n + 1);
  }
  if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  if (path.size() >= 2 && path[1] == L':') return L"\\\\?\\" + path;
  return path;
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreer> owner(buffer);
  std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  const std::string number = "(" + std::to_string(code) + ")";
  return text.empty() ? "Windows error " + number : Narrow(text) + " " + number;
}

}  // namespace parone::win32

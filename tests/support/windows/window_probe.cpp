// Looks at the screen for an end-to-end test of the window program under
// wine: waits until a shown top-level window of the given window class
// exists and prints its title as UTF-8 on stdout.
//   window_probe CLASS [TIMEOUT_MS]
// Exit status 0 when it was found, 1 when none came within the time (10 s
// by default), 2 for a usage error.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

struct Search {
  std::wstring windowClass;
  HWND found = nullptr;
};

BOOL CALLBACK Look(HWND hwnd, LPARAM search) {
  auto* s = reinterpret_cast<Search*>(search);
  wchar_t name[256] = {};
  ::GetClassNameW(hwnd, name, 256);
  if (s->windowClass == name && ::IsWindowVisible(hwnd)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!argv || count < 2) return 2;
  Search search{argv[1]};
  const long timeoutMs = count > 2 ? std::wcstol(argv[2], nullptr, 10) : 10000;
  ::LocalFree(argv);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!search.found) {
    ::EnumWindows(&Look, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    if (std::chrono::steady_clock::now() > deadline) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  wchar_t title[512] = {};
  const int length = ::GetWindowTextW(search.found, title, 512);
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, title, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, title, length, utf8.data(), size, nullptr, nullptr);
  utf8 += '\n';
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
              nullptr);
  return 0;
}

// Windows part of the fake program declared in fake_program_platform.hpp.
#include <windows.h>
#include <shellapi.h>

#include "fake_program_platform.hpp"

namespace parone::testing {
namespace {

std::string Utf8(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  return text;
}

}  // namespace

std::vector<std::string> FakeProgramArguments(int, char**) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(Utf8(argv[i]));
  LocalFree(argv);
  return args;
}

std::string FakeProgramPath() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return Utf8(path.c_str());
}

}  // namespace parone::testing

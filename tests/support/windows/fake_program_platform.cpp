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

bool StartCopyOfSelf(const std::vector<std::string>& args) {
  std::wstring program(32768, L'\0');
  program.resize(GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
  std::wstring commandLine = L"\"" + program + L"\"";
  for (const std::string& arg : args) commandLine += L" " + std::wstring(arg.begin(), arg.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  // No flags: the copy stays in this process's job, if it has one.
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

long OwnProcessId() { return static_cast<long>(GetCurrentProcessId()); }

}  // namespace parone::testing

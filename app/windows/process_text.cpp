// The arguments and environment of a Windows program, declared in process_text.hpp.
#include "windows/process_text.hpp"

#include "platform/windows/win32.hpp"

#include <shellapi.h>

#include <memory>

namespace parone {

std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  const std::unique_ptr<wchar_t*, win32::LocalFreer> owner(argv);
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(win32::Narrow(argv[i]));
  return args;
}

std::optional<std::string> EnvironmentVariable(const char* name) {
  const std::wstring wideName = win32::Wide(name);
  ::SetLastError(ERROR_SUCCESS);
  const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(size, L'\0');
  const DWORD got = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  value.resize(got < size ? got : 0);
  return win32::Narrow(value);
}

}  // namespace parone

// The command line's entry point on Windows: arguments read as UTF-16 from
// the process's command line, environment variables through the wide calls,
// Korean text written to a console as UTF-16 (UTF-8 bytes when redirected),
// settings in the registry where the old tool keeps them.
#include "platform/windows/win32.hpp"

#include <shellapi.h>

#include <iostream>
#include <memory>
#include <ostream>

#include "cli_host.hpp"
#include "platform/windows/registry_settings_store.hpp"
#include "windows/console_stream.hpp"

namespace {

std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  const std::unique_ptr<wchar_t*, parone::win32::LocalFreer> owner(argv);
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(parone::win32::Narrow(argv[i]));
  return args;
}

std::optional<std::string> Environment(const char* name) {
  const std::wstring wideName = parone::win32::Wide(name);
  ::SetLastError(ERROR_SUCCESS);
  const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(size, L'\0');
  const DWORD got = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  value.resize(got < size ? got : 0);
  return parone::win32::Narrow(value);
}

}  // namespace

int main() {
  parone::ConsoleStreamBuffer outBuffer(STD_OUTPUT_HANDLE);
  parone::ConsoleStreamBuffer errBuffer(STD_ERROR_HANDLE);
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);
  err.setf(std::ios::unitbuf);  // messages and the progress bar show at once, as on stderr
  parone::RegistrySettingsStore settings;
  parone::CliHost host{Arguments(),
                       out,
                       err,
                       std::cin,
                       parone::IsConsole(::GetStdHandle(STD_INPUT_HANDLE)),
                       errBuffer.isConsole(),
                       settings,
                       Environment};
  const int status = parone::RunCliHost(host);
  out.flush();
  return status;
}

// The command line's entry point on Windows: arguments read as UTF-16 from
// the process's command line, environment variables through the wide calls,
// Korean text written to a console as UTF-16 (UTF-8 bytes when redirected),
// settings in the registry where the old tool keeps them.
#include "platform/windows/win32.hpp"

#include <iostream>
#include <ostream>

#include "cli_host.hpp"
#include "platform/windows/registry_settings_store.hpp"
#include "windows/console_stream.hpp"
#include "windows/process_text.hpp"

int main() {
  parone::ConsoleStreamBuffer outBuffer(STD_OUTPUT_HANDLE);
  parone::ConsoleStreamBuffer errBuffer(STD_ERROR_HANDLE);
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);
  err.setf(std::ios::unitbuf);  // messages and the progress bar show at once, as on stderr
  parone::RegistrySettingsStore settings;
  parone::CliHost host{parone::Arguments(),
                       out,
                       err,
                       std::cin,
                       parone::IsConsole(::GetStdHandle(STD_INPUT_HANDLE)),
                       errBuffer.isConsole(),
                       settings,
                       parone::EnvironmentVariable};
  const int status = parone::RunCliHost(host);
  out.flush();
  return status;
}

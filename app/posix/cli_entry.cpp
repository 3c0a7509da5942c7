// The command line's entry point on Linux: arguments and environment as the
// bytes the system hands over (UTF-8), settings in the per-user INI file.
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "cli_host.hpp"
#include "platform/qt/qt_settings_store.hpp"

int main(int argc, char** argv) {
  parone::QtSettingsStore settings;
  parone::CliHost host{std::vector<std::string>(argv + 1, argv + argc),
                       std::cout,
                       std::cerr,
                       std::cin,
                       isatty(0) != 0,
                       isatty(2) != 0,
                       settings,
                       [](const char* name) -> std::optional<std::string> {
                         const char* value = std::getenv(name);
                         if (!value) return std::nullopt;
                         return std::string(value);
                       }};
  return parone::RunCliHost(host);
}

#pragma once
// What the command line's two entry points differ in: how the arguments and
// the environment are read, the standard streams and whether they are
// terminals, and the settings store. app/posix/ and app/windows/ each fill
// one and call RunCliHost; the build picks the folder.

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "common/system_config.hpp"
#include "platform/settings_store.hpp"

namespace parone {

struct CliHost {
  std::vector<std::string> args;  // UTF-8, without the program's name
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool stdinIsTerminal = false;
  bool stderrIsTerminal = false;
  SettingsStore& settings;
  Environment environment;
};

// Runs the command line over the host; returns the process exit status.
int RunCliHost(CliHost& host);

}  // namespace parone

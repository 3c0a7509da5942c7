#pragma once
// The command-line front end: parses the arguments and runs a subcommand.
// Blocks until the subcommand is done; returns the process exit status.

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/file_system.hpp"

namespace parone {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeclined = 3;

struct CliContext {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  FileSystem& files;
  bool stdinIsTerminal = false;
};

int RunCli(const std::vector<std::string>& args, CliContext& context);

// `version [--json] FILE...`
int RunVersionCommand(const std::vector<std::string>& args, CliContext& context);

}  // namespace parone

#pragma once
// The command-line front end: parses the arguments and runs a subcommand
// (version, publish, check, history; each answers --help). Blocks until the
// subcommand is done; returns the process exit status.

#include <iosfwd>
#include <string>
#include <vector>

#include "common/system_config.hpp"
#include "distribution/services.hpp"
#include "transfer/url_text.hpp"

namespace parone {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeclined = 3;
inline constexpr int kExitNotConfirmed = 4;  // published, but HTTP served something else
inline constexpr int kExitUnknownServer = 5;  // check: the server's build of a file is unknown

// What the entry point hands the commands: the standard streams, the
// platform's services, the environment and what the streams are.
struct CliContext {
  CliContext(std::ostream& o, std::ostream& e, std::istream& i, PublishServices s,
             Environment env = {})
      : out(o), err(e), in(i), services(s), environment(std::move(env)) {}
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  PublishServices services;
  Environment environment;  // empty: no variable is set
  bool stdinIsTerminal = false;
  bool stderrIsTerminal = false;
  long ftpStallSeconds = 60;
  long signingPollMs = 5000;
  UrlTextTimeouts urlTimeouts;
};

// `args` without the program name. Help goes to `out` with status 0, usage
// errors (and a malformed environment variable) to `err` with status 2.
int RunCli(const std::vector<std::string>& args, CliContext& context);

}  // namespace parone

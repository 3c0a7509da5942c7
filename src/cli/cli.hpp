#pragma once
// The command-line front end: parses the arguments and runs a subcommand
// (version, publish, check; each answers --help). Blocks until the
// subcommand is done; returns the process exit status.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "common/system_config.hpp"
#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "platform/process_facts.hpp"
#include "platform/process_launcher.hpp"
#include "platform/settings_store.hpp"
#include "platform/sleeper.hpp"
#include "transfer/url_text.hpp"

namespace parone {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeclined = 3;
inline constexpr int kExitNotConfirmed = 4;  // published, but HTTP served something else

struct CliContext {
  CliContext(std::ostream& o, std::ostream& e, std::istream& i, FileSystem& f, SettingsStore& s,
             const ProcessFacts& p, const CodePage& c, ProcessLauncher& l, SystemConfig cfg,
             std::optional<std::string> server = std::nullopt)
      : out(o), err(e), in(i), files(f), settings(s), facts(p), codePage(c), launcher(l),
        config(std::move(cfg)), serverEnv(std::move(server)) {}
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  FileSystem& files;
  SettingsStore& settings;
  const ProcessFacts& facts;
  const CodePage& codePage;
  ProcessLauncher& launcher;
  SystemConfig config;                 // built-in constants
  std::optional<std::string> serverEnv;  // PARONE_DEPLOY_SERVER, when set
  bool stdinIsTerminal = false;
  bool stderrIsTerminal = false;
  long ftpStallSeconds = 60;
  Sleeper* sleeper = nullptr;  // null: really sleep
  long signingPollMs = 5000;
  UrlTextTimeouts urlTimeouts;
};

// `args` without the program name. Help goes to `out` with status 0, usage
// errors to `err` with status 2.
int RunCli(const std::vector<std::string>& args, CliContext& context);

}  // namespace parone

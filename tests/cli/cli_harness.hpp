#pragma once
// Runs the command line inside the test's process, on the real file system,
// code page, launcher and clock, with the settings, process facts,
// environment and input the test gives: its exit status and what it wrote.

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "local_server.hpp"
#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "platform/process_launcher.hpp"
#include "platform/sleeper.hpp"

namespace parone::testing {

struct CliRun {
  int status = 0;
  std::string out;
  std::string err;
};

// The environment of most tests: the demo server's password, nothing else.
inline std::optional<std::string> DemoPasswordOnly(const char* name) {
  if (std::string(name) == "PARONE_DEPLOY_FTP_PASSWORD") return kDemoPassword;
  return std::nullopt;
}

// `adjust` sets what a test needs beyond the defaults (a terminal, a store,
// time-outs) before the run. A server that stalls ends the run in 10 s.
inline CliRun RunCliHere(const std::vector<std::string>& args, SettingsStore& settings, ProcessFacts& facts,
                         Environment environment = DemoPasswordOnly,
                         const std::function<void(CliContext&)>& adjust = {},
                         const std::string& input = "") {
  std::ostringstream out, err;
  std::istringstream in(input);
  NativeFileSystem files;
  Cp949CodePage codePage;
  NativeProcessLauncher launcher;
  RealSleeper sleeper;
  CliContext context{out, err, in, PublishServices{files, settings, codePage, facts, launcher, sleeper},
                     std::move(environment)};
  context.ftpStallSeconds = 10;
  if (adjust) adjust(context);
  CliRun run;
  run.status = RunCli(args, context);
  run.out = out.str();
  run.err = err.str();
  return run;
}

}  // namespace parone::testing

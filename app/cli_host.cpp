#include "cli_host.hpp"

#include "cli/cli.hpp"

namespace parone {

int RunCliHost(CliHost& host) {
  NativeFileSystem files;
  RealProcessFacts facts;
  Cp949CodePage codePage;
  NativeProcessLauncher launcher;
  RealSleeper sleeper;
  CliContext context{host.out, host.err, host.in,
                     PublishServices{files, host.settings, codePage, facts, launcher, sleeper},
                     host.environment};
  context.stdinIsTerminal = host.stdinIsTerminal;
  context.stderrIsTerminal = host.stderrIsTerminal;
  return RunCli(host.args, context);
}

}  // namespace parone

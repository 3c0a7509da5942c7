#include "cli_host.hpp"

#include "cli/cli.hpp"

namespace parone {

int RunCliHost(CliHost& host) {
  NativeFileSystem files;
  RealProcessFacts facts;
  Cp949CodePage codePage;
  NativeProcessLauncher launcher;
  CliContext context{host.out, host.err,  host.in,  files,
                     host.settings, facts, codePage, launcher,
                     SystemConfig::Defaults(), std::nullopt};
  if (auto server = host.environment("PARONE_DEPLOY_SERVER"); server && !server->empty()) {
    context.serverEnv = std::move(server);
  }
  if (auto signing = host.environment("PARONE_DEPLOY_SIGNING_DIR"); signing && !signing->empty()) {
    ApplySigningDirOverride(context.config, *signing);
  }
  context.stdinIsTerminal = host.stdinIsTerminal;
  context.stderrIsTerminal = host.stderrIsTerminal;
  return RunCli(host.args, context);
}

}  // namespace parone

#include "cli_host.hpp"

#include "cli/cli.hpp"
#include "platform/credential_store.hpp"
#include "platform/terminal_secret.hpp"

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
  const std::unique_ptr<CredentialStore> credentials = MakeNativeCredentialStore(facts);
  context.credentials = credentials.get();
  context.readUnechoed = &ReadLineUnechoed;
  context.stdinIsTerminal = host.stdinIsTerminal;
  context.stderrIsTerminal = host.stderrIsTerminal;
  return RunCli(host.args, context);
}

}  // namespace parone

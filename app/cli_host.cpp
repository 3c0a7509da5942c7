#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "platform/qt/qt_settings_store.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  parone::NativeFileSystem files;
  parone::QtSettingsStore settings;
  parone::RealProcessFacts facts;
  parone::Cp949CodePage codePage;
  parone::NativeProcessLauncher launcher;
  parone::CliContext context{std::cout, std::cerr, std::cin, files,
                             settings,  facts,     codePage, launcher,
                             parone::SystemConfig::Defaults(), std::nullopt};
  if (const char* server = std::getenv("PARONE_DEPLOY_SERVER"); server && *server) {
    context.serverEnv = server;
  }
  if (const char* signing = std::getenv("PARONE_DEPLOY_SIGNING_DIR"); signing && *signing) {
    parone::ApplySigningDirOverride(context.config, signing);
  }
  context.stdinIsTerminal = isatty(0) != 0;
  context.stderrIsTerminal = isatty(2) != 0;
  return parone::RunCli(args, context);
}

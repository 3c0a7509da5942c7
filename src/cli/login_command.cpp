#include <CLI/CLI.hpp>

#include <istream>
#include <ostream>

#include "cli/commands.hpp"
#include "distribution/ftp_account.hpp"

namespace parone {
namespace {

// Why the store would not do what was asked, in its own words where it has
// some.
std::string StoreRefusal(CredentialStore& store, const SystemConfig& config) {
  const StoredPassword read = store.Read(config.ftpHost, config.ftpUser);
  return read.status == StoredPassword::Status::kRefused ? read.reason : "the store refused it";
}

}  // namespace

void DefineLoginOptions(CLI::App& command, LoginOptions& options, bool forLogin) {
  command.add_option("--server", options.server,
                     "the distribution server whose password it is (overrides PARONE_DEPLOY_SERVER)")
      ->type_name("HOST[:FTP-PORT[:HTTP-PORT]]");
  if (forLogin) {
    command.add_flag("--password-stdin", options.passwordStdin,
                     "read the password from the first line of stdin instead of the terminal");
  }
}

int RunLoginCommand(const LoginOptions& options, CliContext& context) {
  const std::optional<SystemConfig> config = CommandConfig(options.server, context);
  if (!config) return kExitUsage;
  const std::string account = config->ftpUser + "@" + config->ftpHost;
  std::optional<std::string> password;
  if (options.passwordStdin) {
    std::string line;
    if (std::getline(context.in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      password = std::move(line);
    }
  } else if (context.stdinIsTerminal && context.readUnechoed) {
    context.err << "FTP password for " << account << " (not shown): " << std::flush;
    password = context.readUnechoed();
  } else {
    context.err << "login reads the password at a terminal, or from stdin with --password-stdin\n";
    return kExitUsage;
  }
  if (!password || password->empty()) {
    context.err << "no password given; nothing was stored\n";
    return kExitUsage;
  }
  if (!context.credentials) {
    context.err << "there is no password store here\n";
    return kExitFailed;
  }
  if (!context.credentials->Write(config->ftpHost, config->ftpUser, *password)) {
    context.err << "the password was not stored: " << StoreRefusal(*context.credentials, *config)
                << "\n";
    return kExitFailed;
  }
  context.err << "the FTP password for " << account << " is stored\n";
  if (const auto set = context.environment ? context.environment(kPasswordVariable) : std::nullopt;
      set && !set->empty()) {
    context.err << "note: " << kPasswordVariable << " is set and is used before the stored one\n";
  }
  return kExitOk;
}

int RunLogoutCommand(const LoginOptions& options, CliContext& context) {
  const std::optional<SystemConfig> config = CommandConfig(options.server, context);
  if (!config) return kExitUsage;
  if (!context.credentials) {
    context.err << "there is no password store here\n";
    return kExitFailed;
  }
  if (!context.credentials->Erase(config->ftpHost, config->ftpUser)) {
    context.err << "the password was not removed: " << StoreRefusal(*context.credentials, *config)
                << "\n";
    return kExitFailed;
  }
  context.err << "no FTP password is stored for " << config->ftpUser << "@" << config->ftpHost
              << "\n";
  return kExitOk;
}

}  // namespace parone

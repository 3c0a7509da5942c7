#pragma once
// The subcommands of the command line: their options as parsed, the
// definition of those options for the parser, and the commands themselves.
// Internal to the command-line front end.

#include <optional>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "distribution/file_report.hpp"
#include "distribution/publish_request.hpp"

namespace CLI {
class App;
}

namespace parone {

struct VersionOptions {
  bool json = false;
  std::vector<std::string> files;
};

// What `publish` and `check` take (check: the server and the selection only).
struct RunOptions {
  std::optional<std::string> server;
  std::optional<std::string> upxPath;
  bool passive = false;
  bool active = false;
  bool yes = false;             // answers the same-build question
  bool no = false;              // declines every question
  bool allowNoVersion = false;  // answers the unreadable-version question
  bool allowDowngrade = false;  // answers the older-build question
  bool allowUnknownServer = false;  // answers the question about an unknown server build
  bool noConfirm = false;       // skips reading the publish back over HTTP
  bool json = false;            // one JSON line per file on stdout
  bool sign = false;
  bool requireTls = false;      // TLS or no publish, whatever Config/FtpTls says
  bool noTls = false;           // plain FTP, whatever Config/FtpTls says
  std::string signTimeout = "600";
  std::vector<std::string> selection;  // joined with ";" into one selection
};

// What `login` and `logout` take.
struct LoginOptions {
  std::optional<std::string> server;
  bool passwordStdin = false;  // login: the password is the first line of stdin
};

struct HistoryOptions {
  bool json = false;
  int count = 20;
  std::optional<std::string> fileName;  // only entries of this file name
};

struct RollbackOptions {
  std::optional<std::string> server;
  std::optional<std::string> to;  // the kept build to make live
  bool yes = false;               // answers the question
  bool list = false;              // only lists what is live and what is kept
  bool json = false;
  std::string name;               // the published file name
};

// `--sign-timeout`'s value: whole seconds, 0 or more; nullopt for anything
// else.
std::optional<long> ParseSignTimeoutSeconds(const std::string& text);

void DefineVersionOptions(CLI::App& command, VersionOptions& options);
// `forPublish` false defines check's options.
void DefineRunOptions(CLI::App& command, RunOptions& options, bool forPublish);
void DefineHistoryOptions(CLI::App& command, HistoryOptions& options);
void DefineRollbackOptions(CLI::App& command, RollbackOptions& options);
// `forLogin` false defines logout's options.
void DefineLoginOptions(CLI::App& command, LoginOptions& options, bool forLogin);

// The configuration a command talks to the server with: the built-in one,
// PARONE_DEPLOY_SERVER and the other variables of the environment, then
// --server. nullopt after printing why it cannot be used (exit status 2).
std::optional<SystemConfig> CommandConfig(const std::optional<std::string>& server,
                                          CliContext& context);
// Gives a request that logs in its TLS settings (Config/FtpTls; for this
// run `requireTls` or `noTls` instead) and the FTP password: from where
// FindFtpPassword looks, else typed at a terminal without echo. False after
// printing why it cannot log in (exit status 2), before anything is sent.
bool PrepareAccount(CliContext& context, PublishRequest& request, bool requireTls, bool noTls);

int RunVersionCommand(const VersionOptions& options, CliContext& context);
int RunPublishCommand(const RunOptions& options, CliContext& context);
// The version pass alone, never uploads.
int RunCheckCommand(const RunOptions& options, CliContext& context);
int RunHistoryCommand(const HistoryOptions& options, CliContext& context);
int RunRollbackCommand(const RollbackOptions& options, CliContext& context);
// Keeps the FTP password in the platform's store, or removes it.
int RunLoginCommand(const LoginOptions& options, CliContext& context);
int RunLogoutCommand(const LoginOptions& options, CliContext& context);

// The --json line of one file of a publish or a check, without its line
// end. `files` gives the size of a file that was not uploaded.
std::string ReportLine(const FileReport& report, FileSystem& files);

}  // namespace parone

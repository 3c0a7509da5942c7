#include "cli/cli.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>

#include "cli/commands.hpp"
#include "common/text_encoding.hpp"

namespace parone {
namespace {

// What the generated help cannot say: every command's synopsis in one
// place, the environment and the exit statuses.
constexpr const char* kFooter =
    "\n"
    "usage:\n"
    "  parone-deploy-cli version [--json] FILE...\n"
    "  parone-deploy-cli publish [--yes|--no] [--allow-no-version] [--allow-downgrade]\n"
    "                            [--allow-unknown-server]\n"
    "                            [--upx PATH] [--passive|--active] [--no-confirm] [--json]\n"
    "                            [--sign [--sign-timeout SECONDS]] [--require-tls|--no-tls]\n"
    "                            [--server HOST[:FTP-PORT[:HTTP-PORT]]] SELECTION...\n"
    "  parone-deploy-cli check [--json] [--server HOST[:FTP-PORT[:HTTP-PORT]]] SELECTION...\n"
    "  parone-deploy-cli history [--json] [-n N] [NAME]\n"
    "  parone-deploy-cli rollback [--to BUILD] [--yes] [--json] [--server ...] NAME\n"
    "  parone-deploy-cli rollback --list [--json] [--server ...] NAME\n"
    "  parone-deploy-cli login [--password-stdin] [--server HOST[:FTP-PORT[:HTTP-PORT]]]\n"
    "  parone-deploy-cli logout [--server HOST[:FTP-PORT[:HTTP-PORT]]]\n"
    "  parone-deploy-cli COMMAND --help\n"
    "\n"
    "publish: --yes answers the same-build question, --allow-no-version the question\n"
    "about a file whose version cannot be read, --allow-downgrade the question about\n"
    "a build older than the server's, --allow-unknown-server the question about a\n"
    "server whose build cannot be read (an error answer, no answer, no build text),\n"
    "--no declines them all; without them a\n"
    "terminal is asked, and otherwise the answer is No. --sign hands the files to the\n"
    "code-signing service first and uploads once every signed copy is back;\n"
    "--sign-timeout SECONDS (default 600) gives up the wait, and the run. Each\n"
    "published file and its lastver file are read back over HTTP (--no-confirm skips\n"
    "it); every attempt is recorded in the publish journal, which history lists.\n"
    "\n"
    "The FTP password comes from PARONE_DEPLOY_FTP_PASSWORD, else the password kept\n"
    "by login (the user's own store), else a netrc entry for the host, else the\n"
    "build; else publish and rollback ask at a terminal, and without one send\n"
    "nothing (exit 2).\n"
    "FTP goes over TLS where the server offers it (Config/FtpTls auto|require|off;\n"
    "--require-tls, --no-tls); a certificate that does not verify is refused\n"
    "before the login, and so is a host that spoke TLS before and offers none now.\n"
    "\n"
    "environment: PARONE_DEPLOY_SERVER=HOST[:FTP-PORT[:HTTP-PORT]] overrides the\n"
    "built-in server (--server overrides both); PARONE_DEPLOY_SIGNING_DIR=DIR uses\n"
    "DIR/unsigned and DIR/signed as the drop folders; PARONE_DEPLOY_FTP_PASSWORD\n"
    "is the FTP password; PARONE_DEPLOY_CA_FILE=FILE trusts the CA certificates in\n"
    "FILE (PEM) for the server's certificate (overrides Config/CaFile)\n"
    "\n"
    "exit status: 0 success, 1 some file failed, 2 usage error, 3 declined at a\n"
    "             question (check: a file would be asked about), 4 published, not\n"
    "             confirmed over HTTP, 5 (check) a server's build is unknown\n";

}  // namespace

int RunCli(const std::vector<std::string>& args, CliContext& context) {
  CLI::App app("Publishes program files to the download server for automatic updates.",
               "parone-deploy-cli");
  app.footer(kFooter);
  app.require_subcommand(1);
  const ProgramVersion own = context.services.facts.OwnVersion();
  app.set_version_flag("--version", "parone-deploy-cli " + std::to_string(own.major) + "." +
                                        std::to_string(own.minor) + "." +
                                        std::to_string(own.revision),
                       "print the program's version and exit");
  // Options are "--name" on every platform. CLI11 would otherwise read "/x"
  // as an option on Windows, where "/builds/app.exe" is a path from the
  // drive's root, and the file would be lost to a usage error. Set before
  // the commands are added: they copy it.
  app.allow_windows_style_options(false);
  // A repeated option means its last value, as a shell script that appends
  // an override expects.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  VersionOptions version;
  RunOptions publish;
  RunOptions check;
  HistoryOptions history;
  CLI::App* versionCommand =
      app.add_subcommand("version", "print the version resource of program files");
  // Subcommands would repeat the overview's footer; each says its own.
  versionCommand->footer(
      "\nexit status: 0 every file had a version block, 1 otherwise, 2 usage error\n");
  DefineVersionOptions(*versionCommand, version);
  CLI::App* publishCommand = app.add_subcommand(
      "publish", "check every file against the server, then upload each with its lastver file");
  publishCommand->footer(
      "\nexit status: 0 every file published, 1 some failed, 2 usage error (also no\n"
      "             FTP password, or settings that cannot be used),\n"
      "             3 declined at a question, 4 published, not confirmed over HTTP\n"
      "             (1 wins over 4)\n");
  DefineRunOptions(*publishCommand, publish, true);
  CLI::App* checkCommand =
      app.add_subcommand("check", "print local and server builds; never uploads");
  checkCommand->footer(
      "\nexit status: 0 every file is new to the server, 2 usage error, 3 a file\n"
      "             would be asked about (the same build, an older one, or a version\n"
      "             that cannot be read), 5 the server's build of a file is unknown\n"
      "             (an error answer, no answer, or no build text)\n");
  DefineRunOptions(*checkCommand, check, false);
  CLI::App* historyCommand = app.add_subcommand(
      "history", "list the last publishes recorded in the journal, newest first");
  historyCommand->footer(
      "\nEach entry: time (UTC), file, build, result (a declined one with what was\n"
      "asked, another with the stage where it stopped), confirmed over HTTP, user;\n"
      "control characters show escaped (\\x1b, \\r, ...).\n"
      "exit status: 0 listed (also when nothing is recorded), 1 no folder for the\n"
      "             journal, or a journal that is no file or cannot be read,\n"
      "             2 usage error\n");
  DefineHistoryOptions(*historyCommand, history);
  RollbackOptions rollback;
  CLI::App* rollbackCommand = app.add_subcommand(
      "rollback", "make a kept earlier build of a published file live again (--list: what is kept)");
  rollbackCommand->footer(
      "\nThe live file goes into the server's history folder, the kept one comes back by a\n"
      "rename and the lastver file gets its build; asks first (--yes answers), else No.\n"
      "exit status: 0 rolled back (or listed), 1 failed, 2 usage error, 3 declined,\n"
      "             4 rolled back, not confirmed over HTTP\n");
  DefineRollbackOptions(*rollbackCommand, rollback);
  LoginOptions login;
  LoginOptions logout;
  CLI::App* loginCommand = app.add_subcommand(
      "login", "keep the FTP password in this user's password store, for publish");
  loginCommand->footer(
      "\nReads the password at the terminal without showing it, or with\n"
      "--password-stdin the first line of stdin. Kept per server and account: in\n"
      "the file \"credentials\" beside the settings, readable by the user alone\n"
      "(Linux), or in the Credential Manager (Windows).\n"
      "exit status: 0 stored, 1 the store refused it, 2 usage error or no password\n");
  DefineLoginOptions(*loginCommand, login, true);
  CLI::App* logoutCommand =
      app.add_subcommand("logout", "remove the FTP password that login kept");
  logoutCommand->footer("\nexit status: 0 none is kept now, 1 the store refused, 2 usage error\n");
  DefineLoginOptions(*logoutCommand, logout, false);

  if (args.empty()) {
    context.err << app.help();
    return kExitUsage;
  }
  // CLI11 would only say that a command is required.
  const std::string& first = args.front();
  const auto commands = app.get_subcommands([&](CLI::App* c) { return c->check_name(first); });
  if (!first.starts_with('-') && first != "help" && commands.empty()) {
    context.err << "unknown command '" << EscapeForTerminal(first) << "'\n\n" << app.help();
    return kExitUsage;
  }
  // CLI11 takes the arguments last first; "help" is kept as a command.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  if (reversed.back() == "help") reversed.back() = "--help";
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e, context.out, context.err);
    return status == static_cast<int>(CLI::ExitCodes::Success) ? kExitOk : kExitUsage;
  }
  if (versionCommand->parsed()) return RunVersionCommand(version, context);
  if (publishCommand->parsed()) return RunPublishCommand(publish, context);
  if (historyCommand->parsed()) return RunHistoryCommand(history, context);
  if (rollbackCommand->parsed()) return RunRollbackCommand(rollback, context);
  if (loginCommand->parsed()) return RunLoginCommand(login, context);
  if (logoutCommand->parsed()) return RunLogoutCommand(logout, context);
  return RunCheckCommand(check, context);
}

}  // namespace parone

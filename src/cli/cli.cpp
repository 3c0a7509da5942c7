#include "cli/cli.hpp"

#include <ostream>

namespace parone {
namespace {

constexpr const char* kUsage =
    "usage: parone-deploy-cli <command> [options] ...\n"
    "\n"
    "commands:\n"
    "  version [--json] FILE...   print the version resource of program files\n"
    "                             (--json: one JSON object per file and line)\n"
    "  publish [--yes|--no] [--upx PATH] [--passive|--active]\n"
    "          [--server HOST[:FTP-PORT[:HTTP-PORT]]] SELECTION...\n"
    "                             check every file against the server, then upload\n"
    "                             each with its lastver file (arguments are joined\n"
    "                             with \";\"); --yes/--no answer the same-build question\n"
    "  check [--server ...] SELECTION...\n"
    "                             print local and server builds; never uploads\n"
    "  --help                     this text\n"
    "\n"
    "environment: PARONE_DEPLOY_SERVER=HOST[:FTP-PORT[:HTTP-PORT]] overrides the\n"
    "built-in server (--server overrides both)\n"
    "\n"
    "exit status: 0 success, 1 some file failed, 2 usage error,\n"
    "             3 declined at the same-build question (check: a build is already there)\n";

}  // namespace

int RunCli(const std::vector<std::string>& args, CliContext& context) {
  if (args.empty()) {
    context.err << kUsage;
    return kExitUsage;
  }
  const std::string& command = args.front();
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    context.out << kUsage;
    return kExitOk;
  }
  if (command == "version") return RunVersionCommand(rest, context);
  if (command == "publish") return RunPublishCommand(rest, context);
  if (command == "check") return RunCheckCommand(rest, context);
  context.err << "unknown command: " << command << "\n\n" << kUsage;
  return kExitUsage;
}

}  // namespace parone

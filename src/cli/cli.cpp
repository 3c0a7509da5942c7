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
    "  publish [--server HOST[:FTP-PORT[:HTTP-PORT]]] [--passive|--active] FILE\n"
    "                             publish one file and its lastver file by FTP\n"
    "  --help                     this text\n"
    "\n"
    "environment: PARONE_DEPLOY_SERVER=HOST[:FTP-PORT[:HTTP-PORT]] overrides the\n"
    "built-in server (--server overrides both)\n"
    "\n"
    "exit status: 0 success, 1 some file failed, 2 usage error\n";

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
  context.err << "unknown command: " << command << "\n\n" << kUsage;
  return kExitUsage;
}

}  // namespace parone

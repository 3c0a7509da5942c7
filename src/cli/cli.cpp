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
    "  --help                     this text\n"
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
  context.err << "unknown command: " << command << "\n\n" << kUsage;
  return kExitUsage;
}

}  // namespace parone

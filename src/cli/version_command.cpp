#include <ostream>

#include "cli/cli.hpp"
#include "cli/json_text.hpp"
#include "common/path_names.hpp"
#include "fileutil/file_version.hpp"
#include "platform/console/console_message_boxes.hpp"

namespace parone {

int RunVersionCommand(const std::vector<std::string>& args, CliContext& context) {
  bool json = false;
  std::vector<std::string> paths;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--json") {
      json = true;
    } else if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      context.err << "version: unknown option " << arg << "\n";
      return kExitUsage;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    context.err << "usage: parone-deploy-cli version [--json] FILE...\n";
    return kExitUsage;
  }

  ConsoleMessageBoxes boxes(context.err, context.in, QuestionPolicy::kAnswerNo);
  FileVersionReader reader(context.files, boxes);
  int status = kExitOk;
  for (const std::string& path : paths) {
    if (!context.files.FileExists(path)) {
      context.err << path << ": "
                  << (context.files.FolderExists(path) ? "is a folder" : "no such file") << "\n";
      status = kExitFailed;
    } else if (!context.files.OpenForReading(path)) {
      context.err << path << ": cannot be read\n";
      status = kExitFailed;
    }
    const auto rows = reader.GetFileVer(path);
    if (!rows) status = kExitFailed;
    const std::string version = reader.GetFileVerString(path, kTrue16, kTrue16);
    const std::string build = BuildNumberOf(version);
    if (json) {
      context.out << "{\"path\": " << JsonQuoted(path)
                  << ", \"rows\": " << JsonArray(rows ? *rows : VersionList{})
                  << ", \"version\": " << JsonQuoted(version)
                  << ", \"build\": " << JsonQuoted(build) << "}\n";
      continue;
    }
    context.out << path << "\n";
    if (!rows) {
      context.out << "  (no version block)\n";
      continue;
    }
    for (const std::string& row : *rows) context.out << "  " << row << "\n";
    context.out << "  version: " << version << "\n  build: " << build << "\n";
  }
  return status;
}

}  // namespace parone

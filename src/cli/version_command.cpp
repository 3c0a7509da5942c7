#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

#include "cli/commands.hpp"
#include "common/path_names.hpp"
#include "distribution/failure_messages.hpp"
#include "fileutil/file_version.hpp"
#include "platform/console/console_message_boxes.hpp"

namespace parone {
namespace {

// One line per file, keys in the documented order. A name that is not valid
// UTF-8 (possible on Linux) shows U+FFFD where the bad bytes were, rather
// than making the line unreadable as JSON.
std::string JsonLine(const std::string& path, const std::optional<VersionList>& rows,
                     const std::string& version, const std::string& build) {
  nlohmann::ordered_json line;
  line["path"] = path;
  line["rows"] = rows ? *rows : VersionList{};
  line["version"] = version;
  line["build"] = build;
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void DefineVersionOptions(CLI::App& command, VersionOptions& options) {
  command.add_flag("--json", options.json, "one JSON object per file and line");
  command.add_option("FILE", options.files, "program files")->required();
}

int RunVersionCommand(const VersionOptions& options, CliContext& context) {
  ConsoleMessageBoxes boxes(context.err, context.in, QuestionPolicy::kAnswerNo);
  FileSystem& files = context.services.files;
  FileVersionReader reader(files);
  int status = kExitOk;
  for (const std::string& path : options.files) {
    if (!files.FileExists(path)) {
      context.err << path << ": " << (files.FolderExists(path) ? "is a folder" : "no such file")
                  << "\n";
      status = kExitFailed;
    } else if (!files.OpenForReading(path)) {
      context.err << path << ": cannot be read\n";
      status = kExitFailed;
    }
    const auto scan = reader.GetFileVer(path);
    std::optional<VersionList> rows;
    if (scan) {
      rows = scan->rows;
      // Rows of the block that could not be built, as the error report says them.
      for (const Error& e : scan->errors) {
        const Message m = ErrorReportMessage(e, kFileVerClosing);
        boxes.Show(m.text, m.style, m.caption);
      }
    } else {
      status = kExitFailed;
    }
    const std::string version = reader.GetFileVerString(path, kTrue16).text;
    const std::string build = BuildNumberOf(version);
    if (options.json) {
      context.out << JsonLine(path, rows, version, build) << "\n";
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

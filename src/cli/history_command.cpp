#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>

#include "cli/commands.hpp"
#include "common/path_names.hpp"
#include "distribution/publish_journal.hpp"

namespace parone {
namespace {

std::string ConfirmedText(const std::optional<bool>& confirmed) {
  if (!confirmed) return "-";
  return *confirmed ? "confirmed" : "not confirmed";
}

}  // namespace

void DefineHistoryOptions(CLI::App& command, HistoryOptions& options) {
  command.add_flag("--json", options.json, "each entry as its JSON line");
  command.add_option("-n", options.count, "how many entries, newest first (default 20)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  command.add_option("NAME", options.fileName, "only the entries of this file name");
}

int RunHistoryCommand(const HistoryOptions& options, CliContext& context) {
  PublishJournal journal(context.services.files, context.services.facts);
  if (journal.CurrentPath().empty()) {
    context.err << "there is no user folder for the journal\n";
    return kExitFailed;
  }
  const JournalReading reading = ReadJournal(context.services.files, journal);
  for (const std::string& where : reading.damaged) {
    context.err << where << ": damaged, skipped\n";
  }
  int shown = 0;
  for (auto it = reading.entries.rbegin(); it != reading.entries.rend() && shown < options.count;
       ++it) {
    const JournalEntry& e = *it;
    if (options.fileName && FileNameOf(e.path) != *options.fileName) continue;
    ++shown;
    if (options.json) {
      std::string line = JournalLine(e);
      line.pop_back();  // its "\n"
      context.out << line << "\n";
      continue;
    }
    context.out << e.time << "  " << FileNameOf(e.path) << "  build "
                << (e.localBuild.empty() ? "-" : e.localBuild) << "  " << e.result << "  "
                << ConfirmedText(e.confirmed) << "  " << (e.user.empty() ? "-" : e.user) << "\n";
  }
  if (reading.entries.empty() && reading.damaged.empty()) {
    context.err << "no publish recorded in " << journal.CurrentPath() << "\n";
  }
  return kExitOk;
}

}  // namespace parone

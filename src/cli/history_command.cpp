#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>

#include "cli/commands.hpp"
#include "common/path_names.hpp"
#include "common/text_encoding.hpp"
#include "distribution/publish_journal.hpp"

namespace parone {
namespace {

constexpr int kMaxCount = 1000000;

std::string ConfirmedText(const std::optional<bool>& confirmed) {
  if (!confirmed) return "-";
  return *confirmed ? "confirmed" : "not confirmed";
}

// What a declined file was asked about, in the words of the question.
std::string DeclinedAt(const std::string& decision) {
  if (decision == "same") return "same build";
  if (decision == "older") return "older build";
  if (decision == "unreadable") return "unreadable version";
  if (decision == "unknown") return "server build unknown";
  if (decision == "new") return "asked about another file";
  if (decision == "skipped") return "not checked";
  return decision;  // a name a later version writes
}

// The result as the journal names it, and what a reader of the list asks
// next: what a declined file was asked about, where another one stopped.
std::string ResultText(const JournalEntry& e) {
  std::string detail;
  if (e.result == "declined") {
    detail = DeclinedAt(e.decision);
  } else if (e.error) {
    detail = StageName(e.error->stage);
    if (e.error->code != 0) detail += " " + std::to_string(e.error->code);
  }
  return detail.empty() ? e.result : e.result + " (" + detail + ")";
}

// A field of the listing: a journal is a file anyone may have edited, and
// a name may hold anything a file system allows; none of it may act on the
// terminal.
std::string Shown(const std::string& text) {
  return text.empty() ? "-" : EscapeForTerminal(text);
}

// Decimal digits only: CLI11 would read "010" as octal and "0x10" as hex.
// The text becomes the number's own digits for the conversion after.
std::string CheckCount(std::string& text) {
  const std::size_t digits = text.find_first_not_of('0');
  const bool wellFormed = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  if (wellFormed && digits != std::string::npos && text.size() - digits <= 7) {
    const int value = std::stoi(text.substr(digits));
    if (value <= kMaxCount) {
      text = std::to_string(value);
      return "";
    }
  }
  return "takes a whole number from 1 to " + std::to_string(kMaxCount) + ", not '" +
         EscapeForTerminal(text) + "'";
}

}  // namespace

void DefineHistoryOptions(CLI::App& command, HistoryOptions& options) {
  command.add_flag("--json", options.json, "each entry as its JSON line");
  command.add_option("-n", options.count, "how many entries, newest first (1 to 1000000, default 20)")
      ->type_name("N")
      ->transform(CLI::Validator(CheckCount, ""));
  command.add_option("NAME", options.fileName, "only the entries of this file name");
}

int RunHistoryCommand(const HistoryOptions& options, CliContext& context) {
  PublishJournal journal(context.services.files, context.services.facts);
  if (journal.CurrentPath().empty()) {
    context.err << "there is no user folder for the journal\n";
    return kExitFailed;
  }
  const JournalReading reading = ReadJournal(context.services.files, journal);
  // A part of the journal left out would make the list look complete.
  if (!reading.unreadable.empty()) {
    for (const std::string& what : reading.unreadable) {
      context.err << "cannot read the journal: " << EscapeForTerminal(what) << "\n";
    }
    return kExitFailed;
  }
  for (const std::string& where : reading.damaged) {
    context.err << EscapeForTerminal(where) << ": damaged, skipped\n";
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
    context.out << Shown(e.time) << "  " << Shown(FileNameOf(e.path)) << "  build "
                << Shown(e.localBuild) << "  " << Shown(ResultText(e)) << "  "
                << ConfirmedText(e.confirmed) << "  " << Shown(e.user) << "\n";
  }
  if (reading.entries.empty() && reading.damaged.empty()) {
    context.err << "no publish recorded in " << EscapeForTerminal(journal.CurrentPath()) << "\n";
  }
  return kExitOk;
}

}  // namespace parone

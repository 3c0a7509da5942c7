#pragma once
// The publish journal: one JSON line for every publish attempt of a file,
// from the window or the command line, in journal.jsonl in the per-user
// folder beside the settings (ProcessFacts::UserDataFolder). Each line goes
// to the file in one append, so runs at once never mix their lines, and
// begins on a line of its own when the last one was cut short. At
// 10 MiB the journal becomes journal.1.jsonl (the one previous file kept)
// and a new one begins. Calls block on the file system only; none throws.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "distribution/file_report.hpp"
#include "platform/file_system.hpp"
#include "platform/process_facts.hpp"

namespace parone {

inline constexpr std::uint64_t kJournalRotateBytes = 10ull * 1024 * 1024;

// One line of the journal.
struct JournalEntry {
  std::string time;  // UTC, "2024-05-06T07:08:09Z"
  std::string user;
  std::string machine;
  std::string tool;  // the tool's own version, "1.1.33"
  std::string path;
  std::optional<std::uint64_t> size;
  std::string sha256;
  std::string replacedSha256;  // a rollback: of the file it took down, where known
  std::string localBuild;  // what the lastver file records
  std::optional<double> serverBuild;  // the server's build before, as read
  std::string result;                 // ResultName, or "rolled_back"
  std::string note;                   // a rollback: "rolled back from 34 to 33"
  std::string decision;               // DecisionName: for a declined attempt, what was asked
  std::optional<bool> confirmed;      // nullopt: HTTP was not asked
  int attempts = 0;                   // stores begun for the file (0: none)
  double seconds = 0;
  // Why it was not published: the stage, the code and the other side's
  // text (only the three are kept in the line).
  std::optional<Error> error;
};

// "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// An entry with the time, user, machine and version of now, nothing else.
JournalEntry StampedJournalEntry(const ProcessFacts& facts);
// The entry for one attempt, with the time, user, machine and version of now.
JournalEntry JournalEntryOf(const FileReport& report, const ProcessFacts& facts);

// The JSON line, ending in "\n". Text that is not UTF-8 shows U+FFFD.
std::string JournalLine(const JournalEntry& entry);
// nullopt for a line that is no journal entry (cut off, edited, foreign).
std::optional<JournalEntry> ParseJournalLine(std::string_view line);

class PublishJournal {
 public:
  PublishJournal(FileSystem& files, const ProcessFacts& facts,
                 std::uint64_t rotateBytes = kJournalRotateBytes)
      : files_(files), facts_(facts), rotateBytes_(rotateBytes) {}

  // Appends the attempt's line, creating the folder when missing. False
  // when it could not be written (no folder, no access, a full disk).
  bool Append(const FileReport& report);
  // The same for an entry made elsewhere (a rollback).
  bool AppendEntry(const JournalEntry& entry);
  // Where it is written: "" when the user has no folder for it.
  std::string CurrentPath() const;
  std::string PreviousPath() const;

 private:
  void RotateIfFull(const std::string& folder);

  FileSystem& files_;
  const ProcessFacts& facts_;
  std::uint64_t rotateBytes_;
};

struct JournalReading {
  std::vector<JournalEntry> entries;  // oldest first: the previous file, then the current
  std::vector<std::string> damaged;   // "<path> line N" of each line that was skipped
  // "<path>: why" of each file of the journal that is there but could not
  // be read (a folder at its name, no access); its entries are not in
  // `entries`.
  std::vector<std::string> unreadable;
};

// Both files of the journal; a missing file reads as no entries. A line a
// crash cut short is damaged; an entry appended behind it without a line
// break of its own is still read.
JournalReading ReadJournal(FileSystem& files, const PublishJournal& journal);

}  // namespace parone

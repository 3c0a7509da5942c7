#include "distribution/publish_journal.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "common/hex_text.hpp"
#include "common/path_names.hpp"
#include "distribution/error_json.hpp"

namespace parone {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kCurrentName = "journal.jsonl";
constexpr const char* kPreviousName = "journal.1.jsonl";

// A name no other run picks: where this run moves a full journal before it
// becomes the previous one.
std::string TakenName() {
  return "journal." + RandomHex(16) + ".rotating";
}

// Whether the file ends in the middle of a line: a write cut short (a full
// disk, a crash, a power cut) leaves a line without its "\n".
bool EndsInsideALine(FileSystem& files, const std::string& path) {
  const auto file = files.OpenForReading(path);
  if (!file || file->Size() == 0) return false;
  char last = '\n';
  return file->ReadAt(file->Size() - 1, &last, 1) == 1 && last != '\n';
}

// Appends whole lines so that they begin on a line of their own: behind a
// cut line they would otherwise become its end, and both would be lost to
// a reader. Still one append: a run that appends between the look and the
// write has ended the cut line itself, and this one leaves an empty line,
// which readers skip.
bool AppendLines(FileSystem& files, const std::string& path, const std::string& lines) {
  return files.AppendToFile(path, EndsInsideALine(files, path) ? "\n" + lines : lines);
}

// Where a line cut short by a crash was followed by an entry without a
// line break of its own between them (as journals written before appends
// looked at the last byte are), the entry is the last object that begins
// as every journal line does. Inside a JSON string a quote is escaped, so
// this text cannot come from the middle of a value.
constexpr std::string_view kLineStart = "{\"time\":";

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

}  // namespace

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto secondsSinceEpoch = floor<seconds>(time);
  const auto day = floor<days>(secondsSinceEpoch);
  const year_month_day date{day};
  const hh_mm_ss clock{secondsSinceEpoch - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

JournalEntry StampedJournalEntry(const ProcessFacts& facts) {
  JournalEntry e;
  e.time = UtcTimeText(facts.Now());
  e.user = facts.UserName();
  e.machine = facts.MachineName();
  const ProgramVersion v = facts.OwnVersion();
  e.tool = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
  return e;
}

JournalEntry JournalEntryOf(const FileReport& report, const ProcessFacts& facts) {
  JournalEntry e = StampedJournalEntry(facts);
  e.path = report.path;
  if (report.check) {
    e.localBuild = report.check->localBuild;
    // Only a build the server really records; unknown is not 0.
    if (report.check->record.kind == RecordKind::kBuild) e.serverBuild = report.check->server;
  }
  if (report.upload) {
    e.size = report.upload->size;
    e.sha256 = report.upload->sha256;
    // The build the upload pass read (after the packer) is what went out.
    if (!report.upload->build.empty()) e.localBuild = report.upload->build;
    if (report.upload->web) e.confirmed = report.upload->web->Confirmed();
    e.attempts = report.upload->attempts;
    e.seconds = report.upload->seconds;
  }
  e.result = ResultName(report.result);
  e.decision = DecisionName(report.check);
  e.error = report.error;
  return e;
}

std::string JournalLine(const JournalEntry& e) {
  Json line;
  line["time"] = e.time;
  line["user"] = e.user;
  line["machine"] = e.machine;
  line["tool"] = e.tool;
  line["path"] = e.path;
  line["size"] = OrNull(e.size);
  line["sha256"] = e.sha256.empty() ? Json(nullptr) : Json(e.sha256);
  // Only a rollback's line has these two.
  if (!e.replacedSha256.empty()) line["replaced_sha256"] = e.replacedSha256;
  line["local_build"] = e.localBuild;
  line["server_build"] = e.serverBuild ? BuildJson(*e.serverBuild) : Json(nullptr);
  line["result"] = e.result;
  if (!e.note.empty()) line["note"] = e.note;
  line["decision"] = e.decision.empty() ? Json(nullptr) : Json(e.decision);
  line["confirmed"] = OrNull(e.confirmed);
  line["attempts"] = e.attempts;
  line["seconds"] = e.seconds;
  line["error"] = ErrorJson(e.error);
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<JournalEntry> ParseJournalLine(std::string_view text) {
  const Json line = Json::parse(text.begin(), text.end(), nullptr, false);
  if (line.is_discarded() || !line.is_object()) return std::nullopt;
  auto textOf = [&](const char* key, std::string& to, bool required) {
    const auto it = line.find(key);
    if (it == line.end() || it->is_null()) return !required;
    if (!it->is_string()) return false;
    to = it->get<std::string>();
    return true;
  };
  JournalEntry e;
  // What history shows must be there; the rest may be missing or null.
  if (!textOf("time", e.time, true) || !textOf("path", e.path, true) ||
      !textOf("result", e.result, true) || !textOf("decision", e.decision, false) ||
      !textOf("user", e.user, false) ||
      !textOf("machine", e.machine, false) || !textOf("tool", e.tool, false) ||
      !textOf("sha256", e.sha256, false) || !textOf("local_build", e.localBuild, false) ||
      !textOf("replaced_sha256", e.replacedSha256, false) || !textOf("note", e.note, false)) {
    return std::nullopt;
  }
  if (const auto it = line.find("size"); it != line.end() && !it->is_null()) {
    if (!it->is_number_unsigned()) return std::nullopt;
    e.size = it->get<std::uint64_t>();
  }
  if (const auto it = line.find("server_build"); it != line.end() && !it->is_null()) {
    if (!it->is_number()) return std::nullopt;
    e.serverBuild = it->get<double>();
  }
  if (const auto it = line.find("confirmed"); it != line.end() && !it->is_null()) {
    if (!it->is_boolean()) return std::nullopt;
    e.confirmed = it->get<bool>();
  }
  if (const auto it = line.find("attempts"); it != line.end() && it->is_number_integer()) {
    e.attempts = it->get<int>();
  }
  if (const auto it = line.find("seconds"); it != line.end() && !it->is_null()) {
    if (!it->is_number()) return std::nullopt;
    e.seconds = it->get<double>();
  }
  if (const auto it = line.find("error"); it != line.end() && it->is_object()) {
    Error error;
    const auto stage = it->find("stage");
    const auto code = it->find("code");
    const auto message = it->find("message");
    if (message != it->end() && message->is_string()) error.message = message->get<std::string>();
    if (code != it->end() && code->is_number_integer()) error.code = code->get<long>();
    if (stage != it->end() && stage->is_string()) {
      error.stage = StageNamed(stage->get<std::string>()).value_or(Stage::kInput);
    }
    e.error = std::move(error);
  }
  return e;
}

std::string PublishJournal::CurrentPath() const {
  const std::string folder = facts_.UserDataFolder();
  return folder.empty() ? "" : JoinPath(folder, kCurrentName);
}

std::string PublishJournal::PreviousPath() const {
  const std::string folder = facts_.UserDataFolder();
  return folder.empty() ? "" : JoinPath(folder, kPreviousName);
}

bool PublishJournal::Append(const FileReport& report) {
  return AppendEntry(JournalEntryOf(report, facts_));
}

bool PublishJournal::AppendEntry(const JournalEntry& entry) {
  const std::string folder = facts_.UserDataFolder();
  if (folder.empty() || !files_.CreateFolders(folder)) return false;
  const std::string current = JoinPath(folder, kCurrentName);
  RotateIfFull(folder);
  return AppendLines(files_, current, JournalLine(entry));
}

// Two runs may find the journal full at once. Each first moves the journal
// to a name of its own: only one of them can take the full file, and only
// that one makes it the previous journal. A run that took a journal another
// run has only just begun (small again) appends its lines back. So the
// full journal is never renamed over by a second rotation, and no line is
// lost; at worst a few lines land after ones written meanwhile.
void PublishJournal::RotateIfFull(const std::string& folder) {
  const std::string current = JoinPath(folder, kCurrentName);
  const auto size = files_.FileSize(current);
  if (!size || *size < rotateBytes_) return;
  const std::string previous = JoinPath(folder, kPreviousName);
  const std::string taken = JoinPath(folder, TakenName());
  if (!files_.RenameReplacing(current, taken)) return;  // another run took it first
  const auto takenSize = files_.FileSize(taken);
  if (takenSize && *takenSize >= rotateBytes_ && files_.RenameReplacing(taken, previous)) return;
  const auto lines = files_.ReadWholeFile(taken);
  if (lines && (lines->empty() || AppendLines(files_, current, *lines))) files_.DeleteFile(taken);
}

JournalReading ReadJournal(FileSystem& files, const PublishJournal& journal) {
  JournalReading reading;
  for (const std::string& path : {journal.PreviousPath(), journal.CurrentPath()}) {
    if (path.empty()) continue;
    const auto bytes = files.ReadWholeFile(path);
    if (!bytes) {
      // Missing is a journal with nothing in it yet; anything else at its
      // name would hide entries, and saying nothing would read as none.
      if (files.FolderExists(path)) {
        reading.unreadable.push_back(path + ": a folder, not a file");
      } else if (files.FileExists(path)) {
        reading.unreadable.push_back(path + ": cannot be read");
      }
      continue;
    }
    std::size_t start = 0;
    int number = 0;
    while (start < bytes->size()) {
      const auto end = bytes->find('\n', start);
      const std::string_view line(bytes->data() + start,
                                  (end == std::string::npos ? bytes->size() : end) - start);
      start = end == std::string::npos ? bytes->size() : end + 1;
      ++number;
      if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
      if (auto entry = ParseJournalLine(line)) {
        reading.entries.push_back(std::move(*entry));
        continue;
      }
      reading.damaged.push_back(path + " line " + std::to_string(number));
      const auto next = line.rfind(kLineStart);
      if (next == 0 || next == std::string_view::npos) continue;
      if (auto entry = ParseJournalLine(line.substr(next))) reading.entries.push_back(std::move(*entry));
    }
  }
  return reading;
}

}  // namespace parone

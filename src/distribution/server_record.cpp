#include "distribution/server_record.hpp"

#include "distribution/check_server_version.hpp"

namespace parone {
namespace {

// Enough of an odd body to recognise it in a message, on one line.
std::string Excerpt(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 40)) out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

ServerRecord FromText(std::string_view text) {
  ServerRecord record;
  if (const auto build = ReadLastVerText(text)) {
    record.kind = RecordKind::kBuild;
    record.build = *build;
    record.text = std::string(text);
    return record;
  }
  record.kind = RecordKind::kUnknown;
  record.reason = Error{Stage::kLastVer, CodeKind::kNone, 0, "not a build: \"" + Excerpt(text) + "\""};
  return record;
}

}  // namespace

std::optional<double> ReadLastVerText(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  if (first == text.size()) return 0.0;
  const std::string_view rest = text.substr(first);
  // The comma rule looks at the first line; a number must begin it or, for
  // a comma-separated text, its last component.
  if (!IsBuildNumber(rest)) return std::nullopt;
  const std::string_view line = rest.substr(0, rest.find_first_of("\r\n"));
  const bool commaRecord = line.find(',') != std::string_view::npos;
  // The plain reading looks at the first 20 bytes, as an update client does.
  return BuildValue(commaRecord ? line : rest.substr(0, kUrlTextMaxBytes));
}

ServerRecord RecordFromAnswer(const Result<HttpAnswer>& answer) {
  ServerRecord record;
  if (!answer) {
    record.reason = answer.error();
    record.reason->stage = Stage::kLastVer;
    return record;
  }
  if (answer->status == 404 || answer->status == 410) {
    record.kind = RecordKind::kNoRecord;
    return record;
  }
  if (!answer->ok()) {
    // An error page might begin with a number ("503 Service ...") that would
    // read as a build.
    record.reason = Error{Stage::kLastVer, CodeKind::kHttp, answer->status,
                          "HTTP " + std::to_string(answer->status)};
    return record;
  }
  return FromText(answer->body);
}

ServerRecord RecordFromFile(const std::optional<std::string>& bytes) {
  if (!bytes) {
    ServerRecord record;
    record.kind = RecordKind::kNoRecord;
    return record;
  }
  return FromText(*bytes);
}

bool SameRecord(const ServerRecord& a, const ServerRecord& b) {
  if (a.kind != b.kind) return false;
  return a.kind != RecordKind::kBuild || a.build == b.build;
}

std::string ServerRecord::ReasonText() const {
  if (!reason) return "";
  switch (reason->kind) {
    case CodeKind::kHttp:
      return "HTTP " + std::to_string(reason->code);
    case CodeKind::kCurl:
      return "응답 없음: " + reason->message;
    case CodeKind::kNone:
      if (reason->message.rfind("not a build: ", 0) == 0) {
        return "빌드 번호가 아닌 내용: " + reason->message.substr(13);
      }
      return reason->message;
    default:
      return reason->message;
  }
}

}  // namespace parone

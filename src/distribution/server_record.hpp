#pragma once
// What the server's lastver file says about a file's build, read as an
// update client reads it: a build, no record at all, or unknown. Unknown is
// never a build 0: a server that did not answer, answered an error or served
// something that is no build text has told nothing, and the question that
// follows must say so. Pure functions; they never throw.

#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "transfer/url_text.hpp"

namespace parone {

enum class RecordKind {
  kBuild,     // a lastver file with a build
  kNoRecord,  // no lastver file: HTTP 404 or 410
  kUnknown,   // anything else: see reason
};

struct ServerRecord {
  RecordKind kind = RecordKind::kUnknown;
  double build = 0;       // kBuild: the build's numeric reading
  std::string text;       // kBuild: the file's first bytes as served (for messages)
  std::optional<Error> reason;  // kUnknown: stage lastver, with the status, libcurl's code or the text served
  // What the question and the command line say of an unknown record:
  // "HTTP 503", "응답 없음: <libcurl's words>", "빌드 번호가 아닌 내용: \"<html>...\"".
  std::string ReasonText() const;
};

// The build a lastver file's text records: blanks and line ends around it
// do not count ("33", "33\n" and "33\r\n\r\n" are 33), a file of nothing
// but blanks is build 0 (what the tool writes for a file without a readable
// version), a comma-separated text counts by its last component; nullopt
// for a text that is no build (an HTML page, a word).
std::optional<double> ReadLastVerText(std::string_view text);

// The record one read of the lastver file gives.
ServerRecord RecordFromAnswer(const Result<HttpAnswer>& answer);

// The record a read over FTP gives: the file's bytes, or nullopt when the
// server has no such file.
ServerRecord RecordFromFile(const std::optional<std::string>& bytes);

// Two records that say the same about the server (the same kind, and the
// same build where both are builds).
bool SameRecord(const ServerRecord& a, const ServerRecord& b);

}  // namespace parone

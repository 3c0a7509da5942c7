#pragma once
// Compares a file's build number with the one the server records in its
// lastver file, read over HTTP. Blocks while the server is asked (bounded by
// the URL fetch's time-outs). A version that cannot be read becomes a
// question of its own instead of an error box. The server's record is a
// build, no record (HTTP 404 or 410: new whatever the local build), or
// unknown (any other answer, none at all, a body that is no build): unknown
// is asked about, never read as build 0. Within one run a web side that did
// not answer is not waited for again.

#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "distribution/run_context.hpp"
#include "distribution/server_record.hpp"

namespace parone {

// How the local build stands against the server's record.
enum class BuildComparison {
  kNew,         // greater than the server's
  kSame,        // equal: asked before uploading again
  kOlder,       // less: asked before replacing a newer build
  kUnreadable,  // the local version cannot be read: asked before uploading
  kUnknown,     // the server's record is unknown: asked before uploading
};

struct ServerVersion {
  std::string fileName;
  std::string versionText;  // the local file's version, as shown in lblVer
  std::string localBuild;   // text after the last "." of versionText
  bool versionRead = false;  // localBuild is a build number (see IsBuildNumber)
  std::string url;
  int status = 0;           // the HTTP status of the read of the lastver file; 0: no answer
  std::optional<Error> readError;  // why no answer came
  std::string serverText;   // the first bytes of the lastver file, untrimmed ("" unless 2xx)
  ServerRecord record;      // what the server's lastver file says
  double local = 0;
  // The server's build, where the record is one; 0 otherwise (for no
  // record, and where nothing is known).
  double server = 0;
  BuildComparison Comparison() const;
  // What the server was found to hold, for the command line: "" for a
  // build, "no lastver file on the server yet: HTTP 404", or why it is
  // unknown ("the server answered HTTP 503", "no answer from the server:
  // ...", "not a build: ...").
  std::string AnswerNote() const;
};

// Whether the text after the version's last "." can be recorded as a build:
// after blanks, its compared part (see ComparedBuildText) begins with a
// decimal digit. The reader's failure (empty), a missing FileVersion ("Not
// specified") or a last component such as "x" is not: recorded on the
// server, every update client would read build 0.
bool IsBuildNumber(std::string_view buildText);

// The part of a build text that is compared: its last comma-separated
// component where it holds a "," (FileVersion "5,30,23,1215" or
// "1, 0, 0, 34" has no "." and is a build text as a whole), else all of it.
// Only the first line of the text counts for the comma.
std::string_view ComparedBuildText(std::string_view buildText);

// The numeric reading of the compared part.
double BuildValue(std::string_view buildText);

// A build value as the questions show it: whole numbers without a fraction.
std::string BuildValueText(double value);

// Reads both builds and shows "버전: " + the version text. A version that
// cannot be read leaves versionRead false and is not reported here (the
// question says it); rows of the version block that could not be built
// are (the error report of GetFileVer).
ServerVersion LookUpServerVersion(const RunContext& context, const std::string& path);

// True: go on with this file. False: the user declined at a question: the
// version cannot be read (asked first, and then the only question), the
// build is already on the server, or the server's build is greater.
// `found`, when given, receives what the check found.
bool CheckServerVersion(const RunContext& context, const std::string& path,
                        ServerVersion* found = nullptr);

}  // namespace parone

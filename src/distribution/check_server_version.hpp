#pragma once
// Compares a file's build number with the one the server records in its
// lastver file, read over HTTP. Blocks while the server is asked (bounded by
// the URL fetch's time-outs). A version that cannot be read becomes a
// question of its own instead of an error box; an unreachable server simply
// reads as build 0.

#include <string>
#include <string_view>

#include "distribution/proc_upload.hpp"
#include "distribution/run_questions.hpp"

namespace parone {

struct ServerVersion {
  std::string fileName;
  std::string versionText;  // the local file's version, as shown in lblVer
  std::string localBuild;   // text after the last "." of versionText
  bool versionRead = false;  // localBuild is a build number (see IsBuildNumber)
  std::string url;
  std::string serverText;   // the first bytes of the lastver file, untrimmed
  double local = 0;
  double server = 0;
  bool Same() const { return local == server; }
};

// "http://" + host + the web path + base name + "_lastver.txt", its path in
// code page 949 bytes, percent-encoded.
std::string LastVerUrl(const SystemConfig& config, const CodePage& codePage,
                       const std::string& baseName);

// Whether the text after the version's last "." can be recorded as a build:
// after blanks, it begins with a decimal digit. The reader's failure (empty),
// a missing FileVersion ("Not specified") or a last component such as "x"
// is not: recorded on the server, every update client would read build 0.
bool IsBuildNumber(std::string_view buildText);

// Reads both builds and sets lblVer to "버전: " + the version text. Shows no
// box: a version that cannot be read leaves versionRead false.
ServerVersion LookUpServerVersion(DistributionContext& context, const std::string& path);

// True: go on with this file. False: the user declined at a question: the
// version cannot be read (asked first, and then the only question), or the
// build is already on the server.
bool CheckServerVersion(DistributionContext& context, RunQuestions& questions,
                        const std::string& path);

}  // namespace parone

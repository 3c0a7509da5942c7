#pragma once
// Compares a file's build number with the one the server records in its
// lastver file, read over HTTP. Blocks while the server is asked (bounded by
// the URL fetch's time-outs). Failures to read the version are shown by the
// version reader; an unreachable server simply reads as build 0.

#include <string>

#include "distribution/proc_upload.hpp"

namespace parone {

struct ServerVersion {
  std::string fileName;
  std::string versionText;  // the local file's version, as shown in lblVer
  std::string localBuild;   // text after the last "." of versionText
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

// Reads both builds and sets lblVer to "버전: " + the version text.
ServerVersion LookUpServerVersion(DistributionContext& context, const std::string& path);

// True: go on with this file. False: the build is already on the server and
// the user declined to upload it again.
bool CheckServerVersion(DistributionContext& context, const std::string& path);

}  // namespace parone

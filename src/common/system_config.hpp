#pragma once
// The fixed constants of the system in one place. Production code takes
// SystemConfig::Defaults(); tests and the demo build their own copy (a local
// server on a free port, a temporary drop folder) and pass it in.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace parone {

struct SystemConfig {
  std::string ftpHost;        // also the host of the HTTP read of lastver files
  std::string ftpUser;
  // The password built into the program (-DPARONE_DEPLOY_PASSWORD), "" in a
  // default build; a request carries the one the front end found.
  std::string ftpPassword;
  int ftpPort = 21;
  int httpPort = 80;          // the URL carries it only when it is not 80
  std::string remoteDir;      // relative to the FTP login directory
  std::string webPath;        // the same folder as seen over HTTP
  std::string unsignedDrop;   // code-signing hand-off folders
  std::string signedDrop;
  std::string defaultUpxPath;
  // A packer run still going after this long is ended and its file fails,
  // so a hung packer cannot block the window for ever.
  long upxTimeoutMs = 10L * 60 * 1000;

  static SystemConfig Defaults();
};

// Applies "host[:ftp-port[:http-port]]" (the PARONE_DEPLOY_SERVER variable,
// or --server). False, with the config unchanged, when the text is malformed.
bool ApplyServerOverride(SystemConfig& config, std::string_view text);

// Points the code-signing drop folders at DIR/unsigned and DIR/signed (the
// PARONE_DEPLOY_SIGNING_DIR variable). False, with the config unchanged, for
// a folder that is not absolute (it would depend on where the tool was
// started) or holds a control character.
bool ApplySigningDirOverride(SystemConfig& config, const std::string& dir);

// An environment variable's UTF-8 value; nullopt when it is not set.
using Environment = std::function<std::optional<std::string>(const char* name)>;

// The built-in constants with the overrides the environment gives:
// PARONE_DEPLOY_SERVER=host[:ftp-port[:http-port]] and
// PARONE_DEPLOY_SIGNING_DIR=DIR (an empty value counts as unset). A
// malformed value is an error naming the variable, never silently the
// built-in server: a build machine pointed at staging must not publish to
// production because of a typo.
Result<SystemConfig> LoadSystemConfig(const Environment& environment);

// What differs between the platforms the tool is built for. Defined in
// system_config_posix.cpp or system_config_windows.cpp, whichever the build
// picks.
struct PlatformConventions {
  char separator;               // joins a folder and a name in paths the tool builds
  std::string_view separators;  // characters that end a folder name in a path
  const char* unsignedDrop;     // the code-signing share's two folders
  const char* signedDrop;
  bool drivePaths;              // a drive letter begins an absolute path
  // Where a netrc file is looked for: the folder each environment variable
  // names, in turn, and in it each name in turn (nullptr: no more).
  const char* netrcFolders[2];
  const char* netrcNames[2];
};
extern const PlatformConventions kPlatform;

// Application title: caption of message boxes and settings application name.
inline constexpr const char* kAppTitle = "파로네_배포";

}  // namespace parone

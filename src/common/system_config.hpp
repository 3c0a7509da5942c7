#pragma once
// The fixed constants of the system in one place. Production code takes
// SystemConfig::Defaults(); tests and the demo build their own copy (a local
// server on a free port, a temporary drop folder) and pass it in.

#include <string>
#include <string_view>

namespace parone {

struct SystemConfig {
  std::string ftpHost;        // also the host of the HTTP read of lastver files
  std::string ftpUser;
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
// PARONE_DEPLOY_SIGNING_DIR variable).
void ApplySigningDirOverride(SystemConfig& config, const std::string& dir);

// What differs between the platforms the tool is built for. Defined in
// system_config_posix.cpp or system_config_windows.cpp, whichever the build
// picks.
struct PlatformConventions {
  char separator;               // joins a folder and a name in paths the tool builds
  std::string_view separators;  // characters that end a folder name in a path
  const char* unsignedDrop;     // the code-signing share's two folders
  const char* signedDrop;
};
extern const PlatformConventions kPlatform;

// Application title: caption of message boxes and settings application name.
inline constexpr const char* kAppTitle = "파로네_배포";

}  // namespace parone

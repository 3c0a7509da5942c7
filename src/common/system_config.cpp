#include "common/system_config.hpp"

#include <charconv>

#include "build_password.hpp"

#ifndef PARONE_DEPLOY_HOST
#error "the build passes the distribution server's host"
#endif

namespace parone {
namespace {

bool ParsePort(std::string_view text, int& port) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) {
    return false;
  }
  port = value;
  return true;
}

}  // namespace

bool ApplyServerOverride(SystemConfig& config, std::string_view text) {
  SystemConfig changed = config;
  const auto first = text.find(':');
  changed.ftpHost = std::string(text.substr(0, first));
  if (changed.ftpHost.empty()) return false;
  if (first != std::string_view::npos) {
    std::string_view rest = text.substr(first + 1);
    const auto second = rest.find(':');
    if (!ParsePort(rest.substr(0, second), changed.ftpPort)) return false;
    if (second != std::string_view::npos && !ParsePort(rest.substr(second + 1), changed.httpPort)) {
      return false;
    }
  }
  config = changed;
  return true;
}

namespace {

bool IsAbsoluteFolder(std::string_view dir) {
  if (dir.empty()) return false;
  if (kPlatform.separators.find(dir.front()) != std::string_view::npos) return true;
  const bool drive = dir.size() >= 3 && ((dir[0] >= 'A' && dir[0] <= 'Z') || (dir[0] >= 'a' && dir[0] <= 'z')) &&
                     dir[1] == ':' && kPlatform.separators.find(dir[2]) != std::string_view::npos;
  return kPlatform.drivePaths && drive;
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

bool ApplySigningDirOverride(SystemConfig& config, const std::string& dir) {
  if (!IsAbsoluteFolder(dir) || HasControlCharacter(dir)) return false;
  const char separator = kPlatform.separator;
  std::string base = dir;
  while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) base.pop_back();
  config.unsignedDrop = base + separator + "unsigned";
  config.signedDrop = base + separator + "signed";
  return true;
}

Result<SystemConfig> LoadSystemConfig(const Environment& environment) {
  SystemConfig config = SystemConfig::Defaults();
  if (auto server = environment("PARONE_DEPLOY_SERVER"); server && !server->empty()) {
    if (!ApplyServerOverride(config, *server)) {
      return Error{Stage::kInput, CodeKind::kNone, 0,
                   "PARONE_DEPLOY_SERVER=\"" + *server + "\" is not HOST[:FTP-PORT[:HTTP-PORT]]",
                   "PARONE_DEPLOY_SERVER"};
    }
  }
  if (auto signing = environment("PARONE_DEPLOY_SIGNING_DIR"); signing && !signing->empty()) {
    if (!ApplySigningDirOverride(config, *signing)) {
      return Error{Stage::kInput, CodeKind::kNone, 0,
                   "PARONE_DEPLOY_SIGNING_DIR=\"" + *signing + "\" is not an absolute folder",
                   "PARONE_DEPLOY_SIGNING_DIR"};
    }
  }
  return config;
}

SystemConfig SystemConfig::Defaults() {
  SystemConfig c;
  // The company's download server (set when configuring the build); both the
  // FTP upload and the HTTP read of the lastver files go to this one host.
  c.ftpHost = PARONE_DEPLOY_HOST;
  c.ftpUser = "sdc1";
  // Empty unless the build was given one: the front ends look for the
  // password elsewhere first (src/distribution/ftp_account.hpp).
  c.ftpPassword = kBuildPassword;
  c.ftpPort = 21;
  c.httpPort = 80;
  c.remoteDir = "public_html/download/자동업데이트_v1";
  c.webPath = "/download/자동업데이트_v1/";
  c.unsignedDrop = kPlatform.unsignedDrop;
  c.signedDrop = kPlatform.signedDrop;
  c.defaultUpxPath = "D:\\upx.exe";
  c.upxTimeoutMs = 10L * 60 * 1000;
  return c;
}

}  // namespace parone

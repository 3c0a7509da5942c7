#include "distribution/ftp_account.hpp"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "distribution/run_context.hpp"
#include "transfer/ftp_connection.hpp"

namespace parone {
namespace {

constexpr const char* kTlsHostsSection = "TlsHosts";

// Said once per run where auto found a server without TLS.
constexpr const char* kPlainNotice =
    "서버가 TLS를 제공하지 않아 암호화하지 않은 FTP로 보냅니다 (계정과 파일이 그대로 전송됩니다): ";

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The remembered host's key: a host name is the same in any case.
std::string HostKey(const SystemConfig& config) {
  return Lowered(config.ftpHost) + ":" + std::to_string(config.ftpPort);
}

std::optional<std::string> Variable(const Environment& environment, const char* name) {
  if (!environment) return std::nullopt;
  auto value = environment(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

// The tokens of a netrc text, as libcurl splits them: blanks and line ends
// separate, a token that begins with '"' runs to the next unescaped '"'
// (\n, \r, \t and \" inside), and '#' at the start of a token ends the
// line. A macro definition ("macdef NAME" and the lines after it up to an
// empty line) stands as the one token "macdef".
std::vector<std::string> NetrcTokens(std::string_view text) {
  std::vector<std::string> tokens;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (blank(c)) {
      ++i;
    } else if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '"') {
      std::string token;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
          const char e = text[++i];
          token += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
        } else {
          token += text[i];
        }
      }
      ++i;  // the closing quote
      tokens.push_back(std::move(token));
    } else {
      std::string token;
      while (i < text.size() && !blank(text[i])) token += text[i++];
      if (SameLetters(token, "macdef")) {
        // Its line, then every line up to the first empty one.
        std::size_t lineStart = text.find('\n', i);
        while (lineStart != std::string_view::npos) {
          const std::size_t lineEnd = std::min(text.find('\n', lineStart + 1), text.size());
          const std::string_view line = text.substr(lineStart + 1, lineEnd - lineStart - 1);
          if (line.find_first_not_of(" \t\r") == std::string_view::npos) break;
          lineStart = lineEnd < text.size() ? lineEnd : std::string_view::npos;
        }
        i = lineStart == std::string_view::npos ? text.size() : lineStart + 1;
      }
      tokens.push_back(std::move(token));
    }
  }
  return tokens;
}

bool ValidPin(std::string_view pin) {
  constexpr std::string_view kPrefix = "sha256//";
  std::size_t start = 0;
  while (start <= pin.size()) {
    const std::size_t end = std::min(pin.find(';', start), pin.size());
    const std::string_view part = pin.substr(start, end - start);
    if (part.size() <= kPrefix.size() || part.substr(0, kPrefix.size()) != kPrefix) return false;
    for (char c : part.substr(kPrefix.size())) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=') {
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

bool NetrcHasEntry(std::string_view text, std::string_view host, std::string_view user) {
  const std::vector<std::string> tokens = NetrcTokens(text);
  bool ours = false;      // within the entry of the host (or the default one)
  bool ourLogin = false;  // and that entry named the user
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const bool last = i + 1 == tokens.size();
    if (SameLetters(token, "machine")) {
      ours = !last && SameLetters(tokens[++i], host);
      ourLogin = false;
    } else if (SameLetters(token, "default")) {
      ours = true;
      ourLogin = false;
    } else if (SameLetters(token, "macdef")) {
      ours = false;
      ourLogin = false;
    } else if (SameLetters(token, "login") && !last) {
      ourLogin = ours && tokens[++i] == user;
    } else if (SameLetters(token, "password") && !last) {
      // libcurl takes a password only after the login it looks for.
      if (ourLogin) return true;
      ++i;
    } else if (SameLetters(token, "account") && !last) {
      ++i;
    }
  }
  return false;
}

FoundPassword FindFtpPassword(const SystemConfig& config, const Environment& environment,
                              CredentialStore* store, FileSystem& files) {
  FoundPassword found;
  if (auto password = Variable(environment, kPasswordVariable)) {
    found.source = PasswordSource::kEnvironment;
    found.password = std::move(*password);
    return found;
  }
  if (store) {
    StoredPassword stored = store->Read(config.ftpHost, config.ftpUser);
    if (stored.status == StoredPassword::Status::kRefused) {
      found.storeRefusal = std::move(stored.reason);
      return found;
    }
    if (stored.found()) {
      found.source = PasswordSource::kStore;
      found.password = std::move(stored.password);
      return found;
    }
  }
  for (const char* folderVariable : kPlatform.netrcFolders) {
    if (!folderVariable) continue;
    const auto folder = Variable(environment, folderVariable);
    if (!folder) continue;
    for (const char* name : kPlatform.netrcNames) {
      if (!name) continue;
      std::string path = *folder;
      if (kPlatform.separators.find(path.back()) == std::string_view::npos) path += kPlatform.separator;
      path += name;
      if (!files.FileExists(path)) continue;
      const auto text = files.ReadWholeFile(path);
      if (text && NetrcHasEntry(*text, config.ftpHost, config.ftpUser)) {
        found.source = PasswordSource::kNetrc;
        found.netrcFile = std::move(path);
        return found;
      }
    }
  }
  if (!config.ftpPassword.empty()) {
    found.source = PasswordSource::kBuild;
    found.password = config.ftpPassword;
  }
  return found;
}

void UsePassword(PublishRequest& request, const FoundPassword& found) {
  request.config.ftpPassword = found.source == PasswordSource::kNetrc ? "" : found.password;
  request.ftpNetrcFile = found.source == PasswordSource::kNetrc ? found.netrcFile : "";
}

std::optional<FtpTlsMode> FtpTlsModeNamed(std::string_view text) {
  if (SameLetters(text, "auto")) return FtpTlsMode::kAuto;
  if (SameLetters(text, "require")) return FtpTlsMode::kRequire;
  if (SameLetters(text, "off")) return FtpTlsMode::kOff;
  return std::nullopt;
}

Result<FtpTls> ReadFtpTls(SettingsStore& settings, const Environment& environment,
                          const SystemConfig& config) {
  FtpTls tls;
  const std::string mode = settings.GetSetting(kAppTitle, "Config", "FtpTls", "auto");
  const auto named = FtpTlsModeNamed(mode);
  if (!named) {
    return Error{Stage::kInput, CodeKind::kNone, 0,
                 "Config/FtpTls=\"" + mode + "\" is not auto, require or off", "Config/FtpTls"};
  }
  tls.mode = *named;
  tls.caFile = Variable(environment, kCaFileVariable)
                   .value_or(settings.GetSetting(kAppTitle, "Config", "CaFile", ""));
  tls.pin = settings.GetSetting(kAppTitle, "Config", "TlsPin", "");
  if (!tls.pin.empty() && !ValidPin(tls.pin)) {
    return Error{Stage::kInput, CodeKind::kNone, 0,
                 "Config/TlsPin=\"" + tls.pin + "\" is not sha256//BASE64 (several joined by \";\")",
                 "Config/TlsPin"};
  }
  tls.spokenBefore = settings.GetSetting(kAppTitle, kTlsHostsSection, HostKey(config), "") == "1";
  return tls;
}

FtpEndpoint FtpEndpointOf(const RunContext& context) {
  const PublishRequest& r = context.request;
  FtpEndpoint endpoint{r.config.ftpHost, r.config.ftpPort, r.config.ftpUser, r.config.ftpPassword,
                       r.passive, r.ftpNetrcFile, r.ftpTls};
  endpoint.tls.spokenBefore = endpoint.tls.spokenBefore || context.state.tlsSpoken;
  return endpoint;
}

void NoteFtpTls(const RunContext& context, const FtpConnection& connection) {
  const PublishRequest& r = context.request;
  if (r.ftpTls.mode != FtpTlsMode::kAuto) return;
  if (connection.tlsInUse()) {
    if (!r.ftpTls.spokenBefore && !context.state.tlsSpoken) {
      context.services.settings.SaveSetting(kAppTitle, kTlsHostsSection, HostKey(r.config), "1");
    }
    context.state.tlsSpoken = true;
  } else if (!context.state.plainNoticed) {
    context.events.Notice(kPlainNotice + connection.serverName());
    context.state.plainNoticed = true;
  }
}

}  // namespace parone

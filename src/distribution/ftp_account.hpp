#pragma once
// Who a run logs in as and how its FTP connection is protected: what the
// front ends look up before a run starts, and what the run does with it.
//
// The password comes, in this order, from the environment
// (PARONE_DEPLOY_FTP_PASSWORD), from the platform's credential store, from
// a netrc file with an entry for the host and user (read by libcurl
// itself, so the password never passes through the tool), and last from
// the password built into the program (-DPARONE_DEPLOY_PASSWORD, none by
// default). Where none is found the window asks and the command line asks
// at a terminal; nothing is sent without one.
//
// The TLS settings: Config/FtpTls (auto, the default, require or off),
// Config/CaFile (PARONE_DEPLOY_CA_FILE wins over it), Config/TlsPin, and
// the hosts that have spoken TLS before (section TlsHosts, key HOST:PORT),
// for which auto insists on TLS from then on.
//
// Reading the settings, the store and the netrc file blocks briefly;
// nothing here shows anything.

#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "common/system_config.hpp"
#include "distribution/publish_request.hpp"
#include "platform/credential_store.hpp"
#include "platform/file_system.hpp"
#include "platform/settings_store.hpp"

namespace parone {

struct RunContext;
class FtpConnection;

inline constexpr const char* kPasswordVariable = "PARONE_DEPLOY_FTP_PASSWORD";
inline constexpr const char* kCaFileVariable = "PARONE_DEPLOY_CA_FILE";

enum class PasswordSource { kNone, kEnvironment, kStore, kNetrc, kBuild, kEntered };

struct FoundPassword {
  PasswordSource source = PasswordSource::kNone;
  std::string password;   // kEnvironment, kStore, kBuild, kEntered
  std::string netrcFile;  // kNetrc: the file whose entry libcurl reads
  // The credential store may not be used, and why; the source is kNone
  // then. The search stops at such a store: a password that is kept there
  // and cannot be read is no reason to log in with another one.
  std::string storeRefusal;

  bool found() const { return source != PasswordSource::kNone; }
};

// The password for config.ftpUser on config.ftpHost, by the order above.
// `store` may be null (no store to look in).
FoundPassword FindFtpPassword(const SystemConfig& config, const Environment& environment,
                              CredentialStore* store, FileSystem& files);

// Whether a netrc text has an entry for `host` (a "machine" of that name,
// case aside, or "default") that names `user` as its login and then gives
// a password, as libcurl reads such a file (quoted tokens, "#" comments,
// macdef blocks up to an empty line).
bool NetrcHasEntry(std::string_view text, std::string_view host, std::string_view user);

// Puts what was found into the request the run takes.
void UsePassword(PublishRequest& request, const FoundPassword& found);

// Config/FtpTls's value: "auto", "require" or "off", case aside.
std::optional<FtpTlsMode> FtpTlsModeNamed(std::string_view text);

// The TLS settings of a run to `config`'s server. A value that is not of
// its form (a mode of another name, a pin that is not sha256//BASE64) is an
// error naming the setting, never a weaker default.
Result<FtpTls> ReadFtpTls(SettingsStore& settings, const Environment& environment,
                          const SystemConfig& config);

// Where the run's FTP sessions log in, and how.
FtpEndpoint FtpEndpointOf(const RunContext& context);

// After a session was opened: a host that spoke TLS under auto is
// remembered (in the settings and for the rest of the run), so that a
// plain answer later is refused as a downgrade; a server that offers no
// TLS under auto is said once per run (a notice).
void NoteFtpTls(const RunContext& context, const FtpConnection& connection);

}  // namespace parone

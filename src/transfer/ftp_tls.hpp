#pragma once
// Explicit FTPS for the FTP connection: the settings a connection is opened
// with, libcurl's options for them, and why a server was refused before the
// login.

#include <string>

#include "common/error.hpp"

namespace parone {

class CurlEasy;

// Whether the control and data connections are protected by TLS (explicit
// FTPS: AUTH TLS, then PBSZ and PROT P for the data).
enum class FtpTlsMode {
  kAuto,     // TLS where the server offers it, plain FTP where it does not
  kRequire,  // TLS or nothing: a server without it is refused before USER
  kOff,      // plain FTP
};

struct FtpTls {
  FtpTlsMode mode = FtpTlsMode::kAuto;
  // kAuto for a host that has spoken TLS before: a plain answer now is
  // refused as a downgrade, since someone on the way may have stripped it.
  bool spokenBefore = false;
  // PEM certificates of a CA to trust (UTF-8 path; "" none). With OpenSSL
  // it is trusted besides the system's certificates; Schannel checks the
  // server against this file alone when one is given.
  std::string caFile;
  // The server's public key, "sha256//BASE64" (several joined by ";"), checked
  // besides the certificate chain; "" none.
  std::string pin;
};

// `Error::code` of a CodeKind::kNone error from Open (stage connect, with
// libcurl's code 64 in transferCode): the server offers no TLS, and it was
// required.
enum FtpTlsCheck : long {
  kFtpTlsMissing = 7,    // by the mode kRequire
  kFtpTlsDowngrade = 8,  // because the host spoke TLS before
};

// Why Open refused a server before logging in to it, from the error it
// returned; kNone for an error of any other kind. The certificate's
// reasons are read from libcurl's wording of OpenSSL's and Schannel's
// verdicts.
enum class TlsRefusal {
  kNone,
  kUntrusted,     // no trusted CA issued the certificate (or it signed itself)
  kNameMismatch,  // the certificate is for another host name
  kExpired,       // the certificate is out of its validity
  kPinMismatch,   // the public key is not the pinned one
  kCertificate,   // the certificate failed its check for another reason
  kCaFile,        // the CA file given cannot be read
  kMissing,       // kFtpTlsMissing
  kDowngrade,     // kFtpTlsDowngrade
};
TlsRefusal TlsRefusalOf(const Error& error);

// Sets the TLS options on the connection's handle before it connects.
// Whatever the mode, a certificate that does not verify ends the connection
// before USER is sent. `server` ("host:port") names it in an error.
Status SetTlsOptions(CurlEasy& curl, const FtpTls& tls, const std::string& server);

}  // namespace parone

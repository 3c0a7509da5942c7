#include "transfer/ftp_tls.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string_view>

#include "platform/library_path.hpp"
#include "transfer/curl_easy.hpp"

namespace parone {
namespace {

bool Mentions(const std::string& text, std::initializer_list<const char*> words) {
  for (const char* word : words) {
    const std::string_view w(word);
    const auto found = std::search(text.begin(), text.end(), w.begin(), w.end(), [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
    if (found != text.end()) return true;
  }
  return false;
}

}  // namespace

// The TLS options of a connection. Whatever the mode, a certificate that
// does not verify ends the connection before USER is sent: libcurl never
// falls back to plain FTP after a failed handshake.
Status SetTlsOptions(CurlEasy& curl, const FtpTls& tls, const std::string& server) {
  CURL* h = curl.get();
  long use = CURLUSESSL_TRY;
  if (tls.mode == FtpTlsMode::kOff) use = CURLUSESSL_NONE;
  if (tls.mode == FtpTlsMode::kRequire || (tls.mode == FtpTlsMode::kAuto && tls.spokenBefore)) {
    use = CURLUSESSL_ALL;
  }
  curl_easy_setopt(h, CURLOPT_USE_SSL, use);
  curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  // A company CA rarely publishes a revocation list; Schannel would refuse
  // every certificate it issued for want of one. A certificate that is on
  // a list it can read is still refused.
  curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
  if (!tls.caFile.empty()) {
    const auto path = LibraryPath(tls.caFile);
    if (!path) {
      return Error{Stage::kConnect, CodeKind::kCurl, CURLE_SSL_CACERT_BADFILE,
                   "the CA file's name cannot be handed to libcurl: " + tls.caFile, server,
                   CURLE_SSL_CACERT_BADFILE};
    }
    // libcurl copies the text: the local may go.
    curl_easy_setopt(h, CURLOPT_CAINFO, path->c_str());
  }
  if (!tls.pin.empty()) curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, tls.pin.c_str());
  return {};
}

TlsRefusal TlsRefusalOf(const Error& error) {
  if (error.stage != Stage::kConnect) return TlsRefusal::kNone;
  if (error.kind == CodeKind::kNone) {
    if (error.code == kFtpTlsMissing) return TlsRefusal::kMissing;
    if (error.code == kFtpTlsDowngrade) return TlsRefusal::kDowngrade;
    return TlsRefusal::kNone;
  }
  if (error.kind != CodeKind::kCurl) return TlsRefusal::kNone;
  const std::string& text = error.message;
  switch (error.code) {
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return TlsRefusal::kPinMismatch;
    case CURLE_SSL_CACERT_BADFILE:
      return TlsRefusal::kCaFile;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
      break;
    default:
      return TlsRefusal::kNone;
  }
  // OpenSSL's verdicts and Schannel's (its own checks against a CA file,
  // or the system's SEC_E_ codes without one).
  if (Mentions(text, {"expired", "NOT_TIME_VALID", "CERT_EXPIRED"})) return TlsRefusal::kExpired;
  if (Mentions(text, {"subject name", "does not match", "match connection hostname",
                      "WRONG_PRINCIPAL", "CN_NO_MATCH"})) {
    return TlsRefusal::kNameMismatch;
  }
  if (Mentions(text, {"issuer", "self-signed", "self signed", "UNTRUSTED_ROOT", "PARTIAL_CHAIN",
                      "not trusted", "untrusted"})) {
    return TlsRefusal::kUntrusted;
  }
  if (error.code == CURLE_PEER_FAILED_VERIFICATION || Mentions(text, {"certificate", "CERT_"})) {
    return TlsRefusal::kCertificate;
  }
  return TlsRefusal::kNone;  // a handshake that failed for no reason of the certificate's
}

}  // namespace parone

#include "transfer/ftp_connection.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "platform/library_path.hpp"
#include "transfer/curl_easy.hpp"
#include "transfer/ftp_reply.hpp"

namespace parone {
namespace {

// Anything above this in a listing of one name is not a listing of one name.
constexpr std::size_t kListingLimit = 64 * 1024;

// A curl_slist of quote commands, freed with the object.
class QuoteList {
 public:
  ~QuoteList() { curl_slist_free_all(list_); }
  void Add(const std::string& command) { list_ = curl_slist_append(list_, command.c_str()); }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// One command as libcurl sent it and the reply lines that followed.
struct Exchange {
  std::string command;
  FtpReply reply;
};

bool IsFinalReplyLine(const std::string& line) {
  return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && (line.size() == 3 || line[3] == ' ');
}

std::string WithoutLineEnd(const char* data, std::size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

Error RuntimeError(Stage stage, long number, const char* description, std::string subject) {
  return Error{stage, CodeKind::kRuntime, number, description, std::move(subject)};
}

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

// The TLS options of a connection. Whatever the mode, a certificate that
// does not verify ends the connection before USER is sent: libcurl never
// falls back to plain FTP after a failed handshake.
Status SetTlsOptions(CURL* h, const FtpTls& tls, const std::string& server) {
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

// "ftp://host:port/", with "user@" where libcurl is to find the password in
// a netrc file: it looks up the entry of that user only when the URL names
// one, and a connection is reused only for the same name.
std::string BaseUrl(const std::string& hostBytes, int port, const std::string& netrcUser) {
  const std::string user = netrcUser.empty() ? "" : PercentEncodePath(netrcUser) + "@";
  return "ftp://" + user + UrlHost(hostBytes) + ":" + std::to_string(port) + "/";
}

}  // namespace

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

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

struct FtpConnection::Impl {
  const CodePage& codePage;
  FtpTimeouts timeouts;
  std::unique_ptr<CurlEasy> curl;  // the session and its connection
  std::string baseUrl;             // "ftp://host:port/"
  std::string serverName;          // "host:port"
  FtpEndpoint endpoint;            // of the last Open, for Reopen
  bool lost = false;
  bool tls = false;                  // the server accepted AUTH TLS
  std::vector<Exchange> transcript;  // of the last perform
  bool collecting = false;
  std::string listing;
  std::size_t collectLimit = kListingLimit;
  bool overflowed = false;  // more came than collectLimit
  long stopGraceMs = 0;  // how long the commands being sent outlast a stop

  Impl(const CodePage& c, FtpTimeouts t) : codePage(c), timeouts(t) {}

  CURL* handle() const { return curl->get(); }
  bool usable() const { return curl != nullptr && !lost; }

  // libcurl tells the commands it sends and the lines it reads through its
  // debug hook only; the transcript pairs them up so a refusal can be told
  // from an acceptance even where libcurl goes on regardless.
  static int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
    auto& s = *static_cast<Impl*>(self);
    if (type == CURLINFO_HEADER_OUT) {
      std::string command = WithoutLineEnd(data, size);
      if (command.rfind("PASS ", 0) == 0) command = "PASS";
      s.transcript.push_back({std::move(command), {}});
    } else if (type == CURLINFO_HEADER_IN) {
      // One line per call as libcurl does it today, but a block of lines
      // reads the same.
      std::size_t start = 0;
      while (start < size) {
        const char* end = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
        const std::size_t length =
            end ? static_cast<std::size_t>(end - data) - start + 1 : size - start;
        s.NoteReplyLine(WithoutLineEnd(data + start, length));
        start += length;
      }
    }
    return 0;
  }

  void NoteReplyLine(std::string line) {
    if (!IsFinalReplyLine(line)) {
      // A line of a multi-line reply (FEAT lists its features this way).
      if (!transcript.empty() && transcript.back().reply.code == 0) {
        transcript.back().reply.text += line + "\n";
      }
      return;
    }
    if (transcript.empty() || transcript.back().reply.code != 0) {
      transcript.push_back({});  // a greeting, or a reply to nothing we sent
    }
    FtpReply& reply = transcript.back().reply;
    reply.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    reply.line = std::move(line);
  }

  static std::size_t OnData(char* data, std::size_t size, std::size_t count, void* self) {
    auto& s = *static_cast<Impl*>(self);
    const std::size_t n = size * count;
    if (!s.collecting) return n;  // nothing else is ever downloaded
    if (s.listing.size() + n > s.collectLimit) {
      s.overflowed = true;
      return 0;
    }
    s.listing.append(data, n);
    return n;
  }

  CURLcode Perform() {
    transcript.clear();
    const auto rc = static_cast<CURLcode>(curl->Perform(stopGraceMs));
    if (rc == CURLE_OPERATION_TIMEDOUT) lost = true;
    return rc;
  }

  // The reply that refused the login, if the server refused it: to USER or
  // PASS, or a greeting that turned the client away.
  std::optional<FtpReply> LoginRefusal() const {
    for (const Exchange& e : transcript) {
      const bool login = e.command.rfind("USER ", 0) == 0 || e.command == "PASS";
      if (login && e.reply.refused()) return e.reply;
    }
    return std::nullopt;
  }

  // The reply to AUTH: 234 (or 334 to AUTH SSL) begins the handshake.
  bool TlsAccepted() const {
    for (const Exchange& e : transcript) {
      if (e.command.rfind("AUTH ", 0) == 0 && (e.reply.code == 234 || e.reply.code == 334)) return true;
    }
    return false;
  }

  // The last reply to AUTH: why there is no TLS.
  std::string AuthRefusal() const {
    for (auto it = transcript.rbegin(); it != transcript.rend(); ++it) {
      if (it->command.rfind("AUTH ", 0) == 0) return it->reply.line;
    }
    return "";
  }

  std::optional<FtpReply> GreetingRefusal() const {
    if (!transcript.empty() && transcript.front().command.empty() &&
        transcript.front().reply.refused()) {
      return transcript.front().reply;
    }
    return std::nullopt;
  }
};

FtpConnection::FinishingAfterStop::FinishingAfterStop(FtpConnection& connection)
    : impl_(*connection.impl_), previousGraceMs_(impl_.stopGraceMs) {
  impl_.stopGraceMs = kStopGraceMs;
}

FtpConnection::FinishingAfterStop::~FinishingAfterStop() { impl_.stopGraceMs = previousGraceMs_; }

FtpConnection::FtpConnection(const CodePage& codePage, FtpTimeouts timeouts)
    : impl_(std::make_unique<Impl>(codePage, timeouts)) {}

FtpConnection::~FtpConnection() { Close(); }

bool FtpConnection::isOpen() const { return impl_->curl != nullptr; }
bool FtpConnection::lost() const { return impl_->lost; }
bool FtpConnection::tlsInUse() const { return impl_->curl != nullptr && impl_->tls; }
const std::string& FtpConnection::serverName() const { return impl_->serverName; }
CurlEasy& FtpConnection::curl() { return *impl_->curl; }
int FtpConnection::Perform() { return impl_->Perform(); }
std::string FtpConnection::ErrorText(int code) const { return impl_->curl->ErrorText(code); }

std::string FtpConnection::UrlOf(const std::string& remotePath) const {
  return impl_->baseUrl + PercentEncodePath(remotePath);
}

FtpReply FtpConnection::LastReply() const {
  for (auto it = impl_->transcript.rbegin(); it != impl_->transcript.rend(); ++it) {
    if (it->reply.code != 0) return it->reply;
  }
  return {};
}

Status FtpConnection::Reopen() { return Open(FtpEndpoint(impl_->endpoint)); }

bool FtpConnection::ResumesUploads() {
  const std::vector<FtpReply> r = Send({"FEAT"});
  if (!r[0].positive()) return false;
  // Feature lines are indented and upper case by the standard; some servers
  // write them otherwise.
  std::string text = r[0].text;
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text.find("REST STREAM") != std::string::npos;
}

Status FtpConnection::Open(const FtpEndpoint& endpoint) {
  Impl& s = *impl_;
  Close();
  s.endpoint = endpoint;
  const std::string server = endpoint.host + ":" + std::to_string(endpoint.port);
  auto curl = std::make_unique<CurlEasy>();
  curl->SetStopSignal(s.timeouts.stop);
  if (!curl->valid()) {
    return Error{Stage::kConnect, CodeKind::kCurl, CURLE_FAILED_INIT,
                 curl->ErrorText(CURLE_FAILED_INIT), server, CURLE_FAILED_INIT};
  }
  const auto serverBytes = s.codePage.FromUtf8(endpoint.host);
  const auto userBytes = s.codePage.FromUtf8(endpoint.user);
  const auto passwordBytes = s.codePage.FromUtf8(endpoint.password);
  if (!serverBytes || !userBytes || !passwordBytes || HasControlCharacter(*serverBytes) ||
      endpoint.port <= 0 || endpoint.port > 65535) {
    return RuntimeError(Stage::kConnect, 5, "Invalid procedure call or argument", server);
  }

  CURL* h = curl->get();
  const bool netrc = !endpoint.netrcFile.empty();
  const std::string baseUrl = BaseUrl(*serverBytes, endpoint.port, netrc ? *userBytes : "");
  curl_easy_setopt(h, CURLOPT_URL, baseUrl.c_str());
  if (netrc) {
    const auto netrcPath = LibraryPath(endpoint.netrcFile);
    if (!netrcPath) {
      return RuntimeError(Stage::kConnect, 53, "File not found", endpoint.netrcFile);
    }
    curl_easy_setopt(h, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
    curl_easy_setopt(h, CURLOPT_NETRC_FILE, netrcPath->c_str());
  } else {
    curl_easy_setopt(h, CURLOPT_USERNAME, userBytes->c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, passwordBytes->c_str());
  }
  if (const Status tls = SetTlsOptions(h, endpoint.tls, server); !tls) return tls;
  curl_easy_setopt(h, CURLOPT_NOBODY, 1L);  // log in, transfer nothing
  // Full paths on every command, relative to the login folder: the
  // connection's current folder never changes, so quote commands can use
  // the same relative paths.
  curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
  curl_easy_setopt(h, CURLOPT_PROXY, "");  // always direct: the upload server is never behind a proxy
  if (endpoint.passive) {
    curl_easy_setopt(h, CURLOPT_FTPPORT, nullptr);
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPSV, 1L);
  } else {
    curl_easy_setopt(h, CURLOPT_FTPPORT, "-");  // the control connection's own address
  }
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, s.timeouts.connectSeconds);
  curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, s.timeouts.connectSeconds * 1000L);
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, s.timeouts.stallSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, s.timeouts.stallSeconds);
  curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 64L * 1024L);
  // Listings land in memory; without a write function libcurl would print
  // them on stdout.
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::OnData);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &s);
  // The debug hook is the one place libcurl shows every reply; with it set,
  // "verbose" prints nothing.
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &Impl::OnDebug);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);

  s.curl = std::move(curl);
  s.lost = false;
  s.tls = false;
  s.serverName = server;
  const CURLcode rc = s.Perform();
  if (rc != CURLE_OK) {
    Error error{Stage::kConnect, CodeKind::kCurl, rc, s.curl->ErrorText(rc), server, rc};
    if (rc == CURLE_USE_SSL_FAILED) {
      const bool downgrade = endpoint.tls.mode == FtpTlsMode::kAuto && endpoint.tls.spokenBefore;
      const std::string answer = s.AuthRefusal();
      error = Error{Stage::kConnect, CodeKind::kNone, downgrade ? kFtpTlsDowngrade : kFtpTlsMissing,
                    std::string(downgrade ? "the server spoke TLS before and offers none now"
                                          : "the server offers no TLS, which is required") +
                        (answer.empty() ? "" : " (AUTH: " + answer + ")"),
                    server, rc};
    } else if (const auto refusal = s.LoginRefusal()) {
      error = Error{Stage::kLogin, CodeKind::kFtp, refusal->code, refusal->line, server, rc};
    } else if (const auto greeting = s.GreetingRefusal()) {
      error = Error{Stage::kConnect, CodeKind::kFtp, greeting->code, greeting->line, server, rc};
    }
    s.curl.reset();  // the handle, session and connection go with it
    s.lost = false;
    return error;
  }
  s.baseUrl = baseUrl;
  s.tls = s.TlsAccepted();
  return {};
}

void FtpConnection::Close() {
  impl_->curl.reset();  // sends QUIT on a live connection and closes it
  impl_->baseUrl.clear();
}

std::vector<FtpReply> FtpConnection::Send(std::initializer_list<std::string> commands) {
  Impl& s = *impl_;
  std::vector<FtpReply> replies(commands.size());
  if (!s.usable()) return replies;
  QuoteList list;
  // "*": libcurl would otherwise stop at a refusal and drop the connection.
  for (const std::string& command : commands) list.Add("*" + command);
  curl_easy_setopt(s.handle(), CURLOPT_URL, s.baseUrl.c_str());
  curl_easy_setopt(s.handle(), CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(s.handle(), CURLOPT_NOBODY, 1L);
  curl_easy_setopt(s.handle(), CURLOPT_QUOTE, list.get());
  s.Perform();
  curl_easy_setopt(s.handle(), CURLOPT_QUOTE, nullptr);
  std::size_t at = 0;
  std::size_t i = 0;
  for (const std::string& command : commands) {
    for (; at < s.transcript.size(); ++at) {
      if (s.transcript[at].command == command) {
        replies[i] = s.transcript[at++].reply;
        break;
      }
    }
    ++i;
  }
  return replies;
}

RenameOutcome FtpConnection::Rename(const std::string& from, const std::string& to,
                                    FtpReply* reply) {
  const FinishingAfterStop finishing(*this);
  const std::vector<FtpReply> r = Send({"RNFR " + from, "RNTO " + to});
  if (reply) *reply = r[0].refused() ? r[0] : r[1];
  if (r[1].positive()) return RenameOutcome::kDone;
  // RNTO after a refused RNFR is answered "bad sequence": a refusal too.
  return r[1].code == 0 ? RenameOutcome::kLost : RenameOutcome::kRefused;
}

void FtpConnection::Remove(const std::string& path) {
  const FinishingAfterStop finishing(*this);
  Send({"DELE " + path});
}

Result<std::string> FtpConnection::ListOne(const std::string& path) {
  Impl& s = *impl_;
  if (!s.usable()) {
    return Error{Stage::kSizeCheck, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT,
                 "the connection was lost", path, CURLE_OPERATION_TIMEDOUT};
  }
  const std::string request = "LIST " + path;
  curl_easy_setopt(s.handle(), CURLOPT_URL, s.baseUrl.c_str());  // a folder URL: a listing
  curl_easy_setopt(s.handle(), CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(s.handle(), CURLOPT_NOBODY, 0L);
  curl_easy_setopt(s.handle(), CURLOPT_CUSTOMREQUEST, request.c_str());
  s.listing.clear();
  s.collecting = true;
  s.collectLimit = kListingLimit;
  const CURLcode rc = s.Perform();
  s.collecting = false;
  curl_easy_setopt(s.handle(), CURLOPT_CUSTOMREQUEST, nullptr);
  curl_easy_setopt(s.handle(), CURLOPT_NOBODY, 1L);
  if (rc != CURLE_OK) {
    const FtpReply last = LastReply();
    if (last.refused()) return Error{Stage::kSizeCheck, CodeKind::kFtp, last.code, last.line, path, rc};
    return Error{Stage::kSizeCheck, CodeKind::kCurl, rc, s.curl->ErrorText(rc), path, rc};
  }
  return s.listing;
}

Result<bool> FtpConnection::Exists(const std::string& path, const std::string& name) {
  const std::vector<FtpReply> r = Send({"TYPE I", "SIZE " + path});
  if (r[1].code == 0) {
    return Error{Stage::kSizeCheck, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT, "no reply to SIZE",
                 path, CURLE_OPERATION_TIMEDOUT};
  }
  if (r[1].code == 213) return true;
  if (r[1].code == 550) return false;
  // No usable SIZE: a listing of the name says whether it is there.
  const auto text = ListOne(path);
  if (text) return ParseListedSize(*text, name).has_value();
  const Error& e = text.error();
  if (e.kind == CodeKind::kFtp && e.code == 550) return false;
  return e;
}

bool FtpConnection::MakeFolder(const std::string& path) {
  const std::vector<FtpReply> r = Send({"MKD " + path});
  if (r[0].code == 257) return true;
  if (r[0].code == 0) return false;
  return ListNames(path).ok();
}

Result<std::vector<std::string>> FtpConnection::ListNames(const std::string& folder) {
  Impl& s = *impl_;
  if (!s.usable()) {
    return Error{Stage::kRename, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT, "the connection was lost",
                 folder, CURLE_OPERATION_TIMEDOUT};
  }
  // A folder URL ends in "/": libcurl lists it.
  const std::string url = UrlOf(folder) + "/";
  curl_easy_setopt(s.handle(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(s.handle(), CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(s.handle(), CURLOPT_NOBODY, 0L);
  curl_easy_setopt(s.handle(), CURLOPT_DIRLISTONLY, 1L);
  s.listing.clear();
  s.collecting = true;
  s.collectLimit = kListingLimit;
  s.overflowed = false;
  const CURLcode rc = s.Perform();
  s.collecting = false;
  curl_easy_setopt(s.handle(), CURLOPT_DIRLISTONLY, 0L);
  curl_easy_setopt(s.handle(), CURLOPT_NOBODY, 1L);
  if (rc != CURLE_OK) {
    const FtpReply last = LastReply();
    if (last.refused()) return Error{Stage::kRename, CodeKind::kFtp, last.code, last.line, folder, rc};
    return Error{Stage::kRename, CodeKind::kCurl, rc, s.curl->ErrorText(rc), folder, rc};
  }
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < s.listing.size()) {
    std::size_t end = s.listing.find('\n', start);
    if (end == std::string::npos) end = s.listing.size();
    std::string name = s.listing.substr(start, end - start);
    start = end + 1;
    while (!name.empty() && name.back() == '\r') name.pop_back();
    if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (!name.empty() && name != "." && name != "..") names.push_back(std::move(name));
  }
  return names;
}

Result<std::optional<std::string>> FtpConnection::Retrieve(const std::string& path,
                                                           const std::string& name,
                                                           std::size_t maxBytes) {
  Impl& s = *impl_;
  if (!s.usable()) {
    return Error{Stage::kStore, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT, "the connection was lost",
                 path, CURLE_OPERATION_TIMEDOUT};
  }
  // Asked before RETR: libcurl opens the data connection before it learns
  // that the file is missing and then drops it unused, and a server may
  // answer that close with a late "226" that the next command would take
  // for its own reply (pyftpdlib over TLS does, whenever the handshake got
  // through in time). A missing lastver file is the usual case of a first
  // publish.
  const auto there = Exists(path, name);
  if (!there) {
    Error error = there.error();
    error.stage = Stage::kStore;
    return error;
  }
  if (!*there) return std::optional<std::string>();
  const std::string url = UrlOf(path);
  curl_easy_setopt(s.handle(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(s.handle(), CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(s.handle(), CURLOPT_NOBODY, 0L);
  s.listing.clear();
  s.collecting = true;
  s.collectLimit = maxBytes;
  s.overflowed = false;
  const CURLcode rc = s.Perform();
  s.collecting = false;
  curl_easy_setopt(s.handle(), CURLOPT_NOBODY, 1L);
  if (rc == CURLE_OK) return std::optional<std::string>(std::move(s.listing));
  if (rc == CURLE_WRITE_ERROR && s.overflowed) {
    return Error{Stage::kStore, CodeKind::kNone, 0,
                 "larger than " + std::to_string(maxBytes) + " bytes", path, rc};
  }
  const FtpReply last = LastReply();
  if (last.refused()) return Error{Stage::kStore, CodeKind::kFtp, last.code, last.line, path, rc};
  return Error{Stage::kStore, CodeKind::kCurl, rc, s.curl->ErrorText(rc), path, rc};
}

Result<std::uint64_t> FtpConnection::SizeOf(const std::string& path, const std::string& name) {
  // SIZE counts bytes as stored only in binary mode.
  const std::vector<FtpReply> r = Send({"TYPE I", "SIZE " + path});
  if (r[1].code == 0) {
    return Error{Stage::kSizeCheck, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT,
                 "no reply to SIZE", path, CURLE_OPERATION_TIMEDOUT};
  }
  if (r[1].code == 213) {
    if (const auto stored = ParseSizeReply(r[1].line)) return *stored;
    return Error{Stage::kSizeCheck, CodeKind::kFtp, r[1].code, r[1].line, path};
  }
  // No usable SIZE (not implemented, or refused for a reason of its own):
  // the listing of that one name says the same.
  const auto text = ListOne(path);
  if (!text) return text.error();
  if (const auto listed = ParseListedSize(*text, name)) return *listed;
  return Error{Stage::kSizeCheck, CodeKind::kFtp, r[1].code,
               r[1].line + " (and no size for it in the listing)", path};
}

}  // namespace parone

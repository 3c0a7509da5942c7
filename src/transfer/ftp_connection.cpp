#include "transfer/ftp_connection.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <initializer_list>

#include "platform/library_path.hpp"
#include "transfer/curl_easy.hpp"
#include "transfer/ftp_connection_impl.hpp"
#include "transfer/ftp_reply.hpp"

namespace parone {
namespace {

// A curl_slist of quote commands, freed with the object.
class QuoteList {
 public:
  ~QuoteList() { curl_slist_free_all(list_); }
  void Add(const std::string& command) { list_ = curl_slist_append(list_, command.c_str()); }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

Error RuntimeError(Stage stage, long number, const char* description, std::string subject) {
  return Error{stage, CodeKind::kRuntime, number, description, std::move(subject)};
}

// "ftp://host:port/", with "user@" where libcurl is to find the password in
// a netrc file: it looks up the entry of that user only when the URL names
// one, and a connection is reused only for the same name.
std::string BaseUrl(const std::string& hostBytes, int port, const std::string& netrcUser) {
  const std::string user = netrcUser.empty() ? "" : PercentEncodePath(netrcUser) + "@";
  return "ftp://" + user + UrlHost(hostBytes) + ":" + std::to_string(port) + "/";
}

}  // namespace

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

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

FtpReply FtpConnection::LastReply() const { return impl_->LastReply(); }

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
  if (const Status tls = SetTlsOptions(*curl, endpoint.tls, server); !tls) return tls;
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

}  // namespace parone

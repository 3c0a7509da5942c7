#include "transfer/ftp_connection.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>

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

}  // namespace

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
  std::vector<Exchange> transcript;  // of the last perform
  bool collecting = false;
  std::string listing;
  std::size_t collectLimit = kListingLimit;
  bool overflowed = false;  // more came than collectLimit

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
    const auto rc = static_cast<CURLcode>(curl->Perform());
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

  std::optional<FtpReply> GreetingRefusal() const {
    if (!transcript.empty() && transcript.front().command.empty() &&
        transcript.front().reply.refused()) {
      return transcript.front().reply;
    }
    return std::nullopt;
  }
};

FtpConnection::FtpConnection(const CodePage& codePage, FtpTimeouts timeouts)
    : impl_(std::make_unique<Impl>(codePage, timeouts)) {}

FtpConnection::~FtpConnection() { Close(); }

bool FtpConnection::isOpen() const { return impl_->curl != nullptr; }
bool FtpConnection::lost() const { return impl_->lost; }
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
  const std::string baseUrl =
      "ftp://" + UrlHost(*serverBytes) + ":" + std::to_string(endpoint.port) + "/";
  curl_easy_setopt(h, CURLOPT_URL, baseUrl.c_str());
  curl_easy_setopt(h, CURLOPT_USERNAME, userBytes->c_str());
  curl_easy_setopt(h, CURLOPT_PASSWORD, passwordBytes->c_str());
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
  s.serverName = server;
  const CURLcode rc = s.Perform();
  if (rc != CURLE_OK) {
    Error error{Stage::kConnect, CodeKind::kCurl, rc, s.curl->ErrorText(rc), server, rc};
    if (const auto refusal = s.LoginRefusal()) {
      error = Error{Stage::kLogin, CodeKind::kFtp, refusal->code, refusal->line, server, rc};
    } else if (const auto greeting = s.GreetingRefusal()) {
      error = Error{Stage::kConnect, CodeKind::kFtp, greeting->code, greeting->line, server, rc};
    }
    s.curl.reset();  // the handle, session and connection go with it
    s.lost = false;
    return error;
  }
  s.baseUrl = baseUrl;
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
  const std::vector<FtpReply> r = Send({"RNFR " + from, "RNTO " + to});
  if (reply) *reply = r[0].refused() ? r[0] : r[1];
  if (r[1].positive()) return RenameOutcome::kDone;
  // RNTO after a refused RNFR is answered "bad sequence": a refusal too.
  return r[1].code == 0 ? RenameOutcome::kLost : RenameOutcome::kRefused;
}

void FtpConnection::Remove(const std::string& path) { Send({"DELE " + path}); }

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
  if (last.code == 550) {
    // 550 also refuses a file that is there; only a server that says the
    // same to SIZE has no such file.
    const auto there = Exists(path, name);
    if (there && !*there) return std::optional<std::string>();
  }
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

#pragma once
// Inside the FTP connection, shared by the files that implement it (the
// connection and its commands; the queries about remote files). Not for use
// outside the transfer library.

#include <curl/curl.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transfer/curl_easy.hpp"
#include "transfer/ftp_connection.hpp"

namespace parone {
namespace ftp_detail {

// Anything above this in a listing of one name is not a listing of one name.
inline constexpr std::size_t kListingLimit = 64 * 1024;

// One command as libcurl sent it and the reply lines that followed.
struct Exchange {
  std::string command;
  FtpReply reply;
};

inline bool IsFinalReplyLine(const std::string& line) {
  return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && (line.size() == 3 || line[3] == ' ');
}

inline std::string WithoutLineEnd(const char* data, std::size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

}  // namespace ftp_detail

struct FtpConnection::Impl {
  const CodePage& codePage;
  FtpTimeouts timeouts;
  std::unique_ptr<CurlEasy> curl;  // the session and its connection
  std::string baseUrl;             // "ftp://host:port/"
  std::string serverName;          // "host:port"
  FtpEndpoint endpoint;            // of the last Open, for Reopen
  bool lost = false;
  bool tls = false;                  // the server accepted AUTH TLS
  std::vector<ftp_detail::Exchange> transcript;  // of the last perform
  bool collecting = false;
  std::string listing;
  std::size_t collectLimit = ftp_detail::kListingLimit;
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
      std::string command = ftp_detail::WithoutLineEnd(data, size);
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
        s.NoteReplyLine(ftp_detail::WithoutLineEnd(data + start, length));
        start += length;
      }
    }
    return 0;
  }

  void NoteReplyLine(std::string line) {
    if (!ftp_detail::IsFinalReplyLine(line)) {
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
    for (const ftp_detail::Exchange& e : transcript) {
      const bool login = e.command.rfind("USER ", 0) == 0 || e.command == "PASS";
      if (login && e.reply.refused()) return e.reply;
    }
    return std::nullopt;
  }

  // The reply to AUTH: 234 (or 334 to AUTH SSL) begins the handshake.
  bool TlsAccepted() const {
    for (const ftp_detail::Exchange& e : transcript) {
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

  // The last reply the server gave in the last perform; code 0 for none.
  FtpReply LastReply() const {
    for (auto it = transcript.rbegin(); it != transcript.rend(); ++it) {
      if (it->reply.code != 0) return it->reply;
    }
    return {};
  }

  // Downloads `url` (a listing where it names a folder, or `command` is
  // given instead of the transfer) into `listing`, at most `limit` bytes.
  CURLcode Collect(const std::string& url, std::size_t limit, bool namesOnly,
                   const std::string& command = "") {
    curl_easy_setopt(handle(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle(), CURLOPT_NOBODY, 0L);
    curl_easy_setopt(handle(), CURLOPT_DIRLISTONLY, namesOnly ? 1L : 0L);
    if (!command.empty()) curl_easy_setopt(handle(), CURLOPT_CUSTOMREQUEST, command.c_str());
    listing.clear();
    collecting = true;
    collectLimit = limit;
    overflowed = false;
    const CURLcode rc = Perform();
    collecting = false;
    if (!command.empty()) curl_easy_setopt(handle(), CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(handle(), CURLOPT_DIRLISTONLY, 0L);
    curl_easy_setopt(handle(), CURLOPT_NOBODY, 1L);
    return rc;
  }

  // A failed perform as an error of `stage`: the server's refusal where it
  // refused, else libcurl's words.
  Error FailureOf(Stage stage, CURLcode rc, const std::string& subject) const {
    const FtpReply last = LastReply();
    if (last.refused()) return Error{stage, CodeKind::kFtp, last.code, last.line, subject, rc};
    return Error{stage, CodeKind::kCurl, rc, curl->ErrorText(rc), subject, rc};
  }

  // What every command on a lost connection returns at once.
  static Error Lost(Stage stage, const std::string& subject) {
    return Error{stage, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT, "the connection was lost", subject,
                 CURLE_OPERATION_TIMEDOUT};
  }
};

}  // namespace parone

#pragma once
// HTTP reads of the download side, as an update client makes them: the
// agent "VB OpenUrl", always from the origin server (no cache on the way),
// redirects followed, time-outs on the connect and on the whole request.
// Every call blocks until the server has answered or a time-out struck, and
// shows nothing.
//
// OpenUrlText is the read the version check has always made: at most the
// first 20 bytes of the body, decoded from code page 949; every failure
// gives the empty text, and the HTTP status is not looked at, so an error
// answer gives the start of its error page. FetchUrlText makes the same
// read and also says what the server answered; ProbeUrlSize asks for the
// size of a resource without downloading it.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/code_page.hpp"

namespace parone {

inline constexpr std::size_t kUrlTextMaxBytes = 20;

struct UrlTextTimeouts {
  long connectSeconds = 5;  // a dead host must not hang the run
  long totalSeconds = 10;   // nor a server that accepts and never answers
};

// What the server answered to one request, or why no answer came.
struct UrlAnswer {
  int status = 0;       // HTTP status of the final answer; 0: none came
  std::string failure;  // without an answer: libcurl's wording of why
  bool answered() const { return status != 0; }
  bool ok() const { return status >= 200 && status < 300; }
  // "HTTP 404", or "응답 없음 (...)" with the failure.
  std::string Describe() const;
};

struct UrlTextResult {
  UrlAnswer answer;
  std::string text;  // the body's first bytes, whatever the status; "" without an answer
};

// `url` is UTF-8; anything beyond ASCII in it travels in code page 949.
std::string OpenUrlText(const std::string& url, const CodePage& codePage,
                        UrlTextTimeouts timeouts = {});

// At most `maxBytes` of the body. A body cut short by a failure counts as
// no answer.
UrlTextResult FetchUrlText(const std::string& url, const CodePage& codePage,
                           UrlTextTimeouts timeouts = {}, std::size_t maxBytes = kUrlTextMaxBytes);

struct UrlSizeResult {
  UrlAnswer answer;
  std::optional<std::uint64_t> length;  // Content-Length of a 2xx answer, when it gave one
  bool byGet = false;                   // HEAD was refused; a GET answered instead
};

// A HEAD request; where the server refuses HEAD (405 or 501), a GET that is
// broken off as soon as the headers are in, so no body is downloaded.
UrlSizeResult ProbeUrlSize(const std::string& url, const CodePage& codePage,
                           UrlTextTimeouts timeouts = {});

}  // namespace parone

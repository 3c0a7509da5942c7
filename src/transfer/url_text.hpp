#pragma once
// HTTP reads of the download side, as an update client makes them: the
// agent "VB OpenUrl", always from the origin server (no cache on the way),
// redirects followed, time-outs on the connect and on the whole request.
// Every call blocks until the server has answered or a time-out struck, and
// shows nothing.
//
// An answer is a value whatever its status (a 404 is a finding, not a
// failure); only a server that did not answer at all is an Error: kind curl,
// libcurl's code and wording, the URL as subject, and the stage the caller
// names.

#include <cstdint>
#include <optional>
#include <string>

#include "common/error.hpp"
#include "common/stop_signal.hpp"
#include "platform/code_page.hpp"

namespace parone {

inline constexpr std::size_t kUrlTextMaxBytes = 20;

struct UrlTextTimeouts {
  long connectSeconds = 5;  // a dead host must not hang the run
  long totalSeconds = 10;   // nor a server that accepts and never answers
  // Ends the read at once when requested (no answer, libcurl's code 42);
  // null: only the time-outs end it.
  const StopSignal* stop = nullptr;
};

struct HttpAnswer {
  int status = 0;    // of the final answer, after redirects
  std::string body;  // its first bytes, whatever the status (decoded from code page 949 by FetchUrlText)
  std::optional<std::uint64_t> length;  // Content-Length of a 2xx answer to ProbeUrlSize, when given
  bool byGet = false;  // ProbeUrlSize: HEAD was refused, a GET answered instead
  bool ok() const { return status >= 200 && status < 300; }
};

// "HTTP 404", or "응답 없음 (<libcurl's wording>)" for a read that got no answer.
std::string DescribeAnswer(const Result<HttpAnswer>& answer);

// At most `maxBytes` of the body. `url` is UTF-8; anything beyond ASCII in
// it travels in code page 949. A body cut short by a failure counts as no
// answer.
Result<HttpAnswer> FetchUrlText(const std::string& url, const CodePage& codePage,
                                UrlTextTimeouts timeouts = {},
                                std::size_t maxBytes = kUrlTextMaxBytes,
                                Stage stage = Stage::kLastVer);

// One part of a resource's bytes, as they are (no code page): Range
// "bytes=offset-(offset+length-1)", at most `length` bytes kept. A server
// that ignores Range answers 200 with the body from its first byte; the
// caller sees the status and takes what came as the start of the file.
Result<HttpAnswer> FetchUrlRange(const std::string& url, const CodePage& codePage,
                                 UrlTextTimeouts timeouts, std::uint64_t offset,
                                 std::size_t length, Stage stage = Stage::kReadBack);

// The read the version check has always made: at most the first 20 bytes of
// the body, whatever the status; the empty text when no answer came.
std::string OpenUrlText(const std::string& url, const CodePage& codePage,
                        UrlTextTimeouts timeouts = {});

// A HEAD request; where the server refuses HEAD (405 or 501), a GET that is
// broken off as soon as the headers are in, so no body is downloaded.
Result<HttpAnswer> ProbeUrlSize(const std::string& url, const CodePage& codePage,
                                UrlTextTimeouts timeouts = {}, Stage stage = Stage::kReadBack);

}  // namespace parone

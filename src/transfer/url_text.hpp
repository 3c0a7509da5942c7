#pragma once
// Fetches the beginning of an HTTP resource's body as text: at most the
// first 20 bytes, decoded from code page 949. Blocks until the server has
// answered or a time-out struck; every failure gives the empty text and
// shows nothing. The HTTP status is not looked at, so an error answer gives
// the start of its error page.

#include <string>

#include "platform/code_page.hpp"

namespace parone {

inline constexpr std::size_t kUrlTextMaxBytes = 20;

struct UrlTextTimeouts {
  long connectSeconds = 5;  // a dead host must not hang the run
  long totalSeconds = 10;   // nor a server that accepts and never answers
};

// `url` is UTF-8; anything beyond ASCII in it travels in code page 949.
std::string OpenUrlText(const std::string& url, const CodePage& codePage,
                        UrlTextTimeouts timeouts = {});

}  // namespace parone

#include "transfer/curl_easy.hpp"

#include <curl/curl.h>

namespace parone {
namespace {

// libcurl wants one global initialisation before the first handle.
void GlobalInitOnce() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

}  // namespace

CurlEasy::CurlEasy() {
  GlobalInitOnce();
  handle_ = curl_easy_init();
  if (handle_) {
    curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  }
}

CurlEasy::~CurlEasy() {
  if (handle_) curl_easy_cleanup(handle_);
}

std::string CurlEasy::ErrorText(int code) const {
  if (errorBuffer_[0] != '\0') return errorBuffer_;
  return curl_easy_strerror(static_cast<CURLcode>(code));
}

std::string PercentEncodePath(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    const bool plain = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                       (u >= '0' && u <= '9') || u == '-' || u == '.' || u == '_' ||
                       u == '~' || u == '/';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0x0F];
    }
  }
  return out;
}

std::string UrlHost(const std::string& host) {
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

}  // namespace parone

#pragma once
// A libcurl easy handle with its error buffer always attached, and the URL
// helpers the transfers share. Not thread-safe; one owner at a time.

#include <string>
#include <string_view>

typedef void CURL;
typedef void CURLM;

namespace parone {

class CurlEasy {
 public:
  CurlEasy();
  ~CurlEasy();
  CurlEasy(const CurlEasy&) = delete;
  CurlEasy& operator=(const CurlEasy&) = delete;

  bool valid() const { return handle_ != nullptr; }
  CURL* get() const { return handle_; }
  // Runs one transfer with the options set, as curl_easy_perform does, and
  // returns its CURLcode; blocks until it ends. The connection stays open
  // for the next transfer on this handle.
  int Perform();
  // libcurl's own wording of the last failure, or its generic text for code.
  std::string ErrorText(int code) const;
  void ClearError() { errorBuffer_[0] = '\0'; }

 private:
  CURL* handle_ = nullptr;
  CURLM* multi_ = nullptr;  // drives the transfers and keeps the connection
  char errorBuffer_[256] = {};
};

// Percent-encodes every byte except unreserved characters and "/", so that
// code page bytes and characters such as blank, "#", "?" and "%" reach the
// server as they are.
std::string PercentEncodePath(std::string_view bytes);

// "host" or "[v6]" for use in a URL authority.
std::string UrlHost(const std::string& host);

}  // namespace parone

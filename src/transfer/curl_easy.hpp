#pragma once
// A libcurl easy handle with its error buffer always attached, and the URL
// helpers the transfers share. Not thread-safe; one owner at a time.

#include <string>
#include <string_view>

#include "common/stop_signal.hpp"

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
  // for the next transfer on this handle. A stop of the signal given to
  // SetStopSignal ends it within a tenth of a second with
  // CURLE_ABORTED_BY_CALLBACK (a transfer cut off so closes its connection;
  // the next Perform makes a new one); `stopGraceMs` lets it run on for that
  // long after the stop.
  int Perform(long stopGraceMs = 0);
  // The signal every later Perform watches; null for none. It must outlive
  // the handle's transfers.
  void SetStopSignal(const StopSignal* stop);
  // The stop has been given, and the transfer under way has had its grace.
  bool stopDue() const { return stop_ && stop_->requestedFor(stopGraceMs_); }
  // libcurl's own wording of the last failure, or its generic text for code.
  std::string ErrorText(int code) const;
  void ClearError() { errorBuffer_[0] = '\0'; }

 private:
  CURL* handle_ = nullptr;
  CURLM* multi_ = nullptr;  // drives the transfers and keeps the connection
  const StopSignal* stop_ = nullptr;
  long stopGraceMs_ = 0;  // of the transfer under way
  char errorBuffer_[256] = {};
};

// Percent-encodes every byte except unreserved characters and "/", so that
// code page bytes and characters such as blank, "#", "?" and "%" reach the
// server as they are.
std::string PercentEncodePath(std::string_view bytes);

// "host" or "[v6]" for use in a URL authority.
std::string UrlHost(const std::string& host);

}  // namespace parone

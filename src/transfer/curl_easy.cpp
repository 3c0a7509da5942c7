#include "transfer/curl_easy.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace parone {
namespace {

// The longest a transfer waits without looking whether libcurl has work.
constexpr long kLongestIdleWaitMs = 100;

// libcurl wants one global initialisation before the first handle.
void GlobalInitOnce() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

int StopDueCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const CurlEasy*>(self)->stopDue() ? 1 : 0;
}

}  // namespace

void CurlEasy::SetStopSignal(const StopSignal* stop) {
  stop_ = stop;
  if (!handle_) return;
  // libcurl waits for some replies inside one call (the server's answer to
  // a finished upload), where the loop below cannot look; it calls the
  // progress function about once a second meanwhile, and a non-zero return
  // ends the wait.
  curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, stop ? 0L : 1L);
  curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, stop ? &StopDueCallback : nullptr);
  curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, this);
}

CurlEasy::CurlEasy() {
  GlobalInitOnce();
  handle_ = curl_easy_init();
  if (handle_) {
    curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  }
}

CurlEasy::~CurlEasy() {
  // The multi handle holds the connection: cleaning it up says goodbye to
  // the server (QUIT on FTP) before the easy handle goes.
  if (multi_) curl_multi_cleanup(multi_);
  if (handle_) curl_easy_cleanup(handle_);
}

int CurlEasy::Perform(long stopGraceMs) {
  if (!handle_) return CURLE_FAILED_INIT;
  stopGraceMs_ = stopGraceMs;
  if (!multi_) multi_ = curl_multi_init();
  if (!multi_ || curl_multi_add_handle(multi_, handle_) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
  // curl_easy_perform waits up to a second whenever libcurl names no timer,
  // and after reading a passive-mode reply in the same step that sent its
  // command, libcurl 7.88 names none although the data connection is due
  // at once: every upload stood still for a second. Waits here start at a
  // millisecond after any activity and grow while nothing happens.
  long idleWaitMs = 1;
  int running = 1;
  bool stopped = false;
  CURLMcode status = CURLM_OK;
  while (status == CURLM_OK) {
    // Looked at between waits of at most kLongestIdleWaitMs, so a stop
    // never waits for a server that does not answer.
    if (stopDue()) {
      stopped = true;
      break;
    }
    status = curl_multi_perform(multi_, &running);
    if (status != CURLM_OK || running == 0) break;
    long timerMs = -1;
    curl_multi_timeout(multi_, &timerMs);
    const long waitMs = timerMs >= 0 ? std::min(timerMs, idleWaitMs) : idleWaitMs;
    int active = 0;
    status = curl_multi_poll(multi_, nullptr, 0, static_cast<int>(waitMs), &active);
    idleWaitMs = active > 0 ? 1 : std::min(idleWaitMs * 2, kLongestIdleWaitMs);
  }
  CURLcode result = status == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
  if (stopped) {
    result = CURLE_ABORTED_BY_CALLBACK;
    std::strncpy(errorBuffer_, "the transfer was stopped", sizeof errorBuffer_ - 1);
  }
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (!stopped && message->msg == CURLMSG_DONE && message->easy_handle == handle_) {
      result = message->data.result;
    }
  }
  curl_multi_remove_handle(multi_, handle_);
  return static_cast<int>(result);
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

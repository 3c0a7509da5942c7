#include "transfer/url_text.hpp"

#include <curl/curl.h>

#include "transfer/curl_easy.hpp"

namespace parone {
namespace {

struct Collected {
  std::string bytes;
};

// Keeps the first 20 bytes and then stops the transfer: returning less than
// was offered makes libcurl end with CURLE_WRITE_ERROR, which is the normal
// outcome here, so a huge or endless body is never downloaded.
std::size_t Collect(char* data, std::size_t size, std::size_t count, void* self) {
  auto& out = static_cast<Collected*>(self)->bytes;
  const std::size_t offered = size * count;
  const std::size_t room = kUrlTextMaxBytes - out.size();
  const std::size_t take = offered < room ? offered : room;
  out.append(data, take);
  return take;  // less than offered: stop here
}

class HeaderList {
 public:
  ~HeaderList() { curl_slist_free_all(list_); }
  void Add(const char* header) { list_ = curl_slist_append(list_, header); }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace

std::string OpenUrlText(const std::string& url, const CodePage& codePage,
                        UrlTextTimeouts timeouts) {
  const auto urlBytes = codePage.FromUtf8(url);
  if (!urlBytes) return "";
  CurlEasy curl;
  if (!curl.valid()) return "";
  CURL* h = curl.get();
  HeaderList headers;
  // Always from the origin server, never from a cache on the way.
  headers.Add("Cache-Control: no-cache");
  headers.Add("Pragma: no-cache");
  curl_easy_setopt(h, CURLOPT_URL, urlBytes->c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "VB OpenUrl");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, timeouts.totalSeconds);
  Collected collected;
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &collected);
  const CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK && rc != CURLE_WRITE_ERROR) return "";
  return codePage.ToUtf8(collected.bytes);
}

}  // namespace parone

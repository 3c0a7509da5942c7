#include "transfer/url_text.hpp"

#include <curl/curl.h>

#include "transfer/curl_easy.hpp"

namespace parone {
namespace {

struct Collected {
  std::string bytes;
  std::size_t limit = kUrlTextMaxBytes;
};

// Keeps the first bytes and then stops the transfer: returning less than
// was offered makes libcurl end with CURLE_WRITE_ERROR, which is the normal
// outcome here, so a huge or endless body is never downloaded.
std::size_t Collect(char* data, std::size_t size, std::size_t count, void* self) {
  auto& out = *static_cast<Collected*>(self);
  const std::size_t offered = size * count;
  const std::size_t room = out.limit - out.bytes.size();
  const std::size_t take = offered < room ? offered : room;
  out.bytes.append(data, take);
  return take;  // less than offered: stop here
}

// Refuses the first byte of a body: the transfer ends once the headers are in.
std::size_t RefuseBody(char*, std::size_t, std::size_t, void*) { return 0; }

class HeaderList {
 public:
  ~HeaderList() { curl_slist_free_all(list_); }
  void Add(const char* header) { list_ = curl_slist_append(list_, header); }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// The options every read of the download side shares.
void SetUpRequest(CURL* h, const std::string& urlBytes, HeaderList& headers,
                  UrlTextTimeouts timeouts) {
  // Always from the origin server, never from a cache on the way.
  headers.Add("Cache-Control: no-cache");
  headers.Add("Pragma: no-cache");
  curl_easy_setopt(h, CURLOPT_URL, urlBytes.c_str());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "VB OpenUrl");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, timeouts.totalSeconds);
}

int Status(CURL* h) {
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  return static_cast<int>(status);
}

UrlAnswer NoAnswer(std::string failure) { return {0, std::move(failure)}; }

}  // namespace

std::string UrlAnswer::Describe() const {
  if (answered()) return "HTTP " + std::to_string(status);
  return "응답 없음 (" + failure + ")";
}

UrlTextResult FetchUrlText(const std::string& url, const CodePage& codePage,
                           UrlTextTimeouts timeouts, std::size_t maxBytes) {
  const auto urlBytes = codePage.FromUtf8(url);
  if (!urlBytes) return {NoAnswer("URL을 코드 페이지 949로 바꿀 수 없습니다"), ""};
  CurlEasy curl;
  if (!curl.valid()) return {NoAnswer(curl.ErrorText(CURLE_FAILED_INIT)), ""};
  CURL* h = curl.get();
  HeaderList headers;
  SetUpRequest(h, *urlBytes, headers, timeouts);
  Collected collected;
  collected.limit = maxBytes;
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &collected);
  const CURLcode rc = curl_easy_perform(h);
  // A write error is the read stopping itself (or an empty limit), once an
  // answer is in.
  if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && Status(h) != 0)) {
    return {NoAnswer(curl.ErrorText(rc)), ""};
  }
  return {{Status(h), ""}, codePage.ToUtf8(collected.bytes)};
}

std::string OpenUrlText(const std::string& url, const CodePage& codePage,
                        UrlTextTimeouts timeouts) {
  return FetchUrlText(url, codePage, timeouts).text;
}

UrlSizeResult ProbeUrlSize(const std::string& url, const CodePage& codePage,
                           UrlTextTimeouts timeouts) {
  const auto urlBytes = codePage.FromUtf8(url);
  if (!urlBytes) return {NoAnswer("URL을 코드 페이지 949로 바꿀 수 없습니다"), std::nullopt, false};
  UrlSizeResult result;
  for (const bool byGet : {false, true}) {
    CurlEasy curl;
    if (!curl.valid()) return {NoAnswer(curl.ErrorText(CURLE_FAILED_INIT)), std::nullopt, byGet};
    CURL* h = curl.get();
    HeaderList headers;
    SetUpRequest(h, *urlBytes, headers, timeouts);
    curl_easy_setopt(h, CURLOPT_NOBODY, byGet ? 0L : 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &RefuseBody);
    const CURLcode rc = curl_easy_perform(h);
    result.byGet = byGet;
    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && Status(h) != 0)) {
      result.answer = NoAnswer(curl.ErrorText(rc));
      return result;
    }
    result.answer = {Status(h), ""};
    // Some servers and proxies answer only GET: 405 Method Not Allowed, or
    // 501 Not Implemented from older ones.
    if (!byGet && (result.answer.status == 405 || result.answer.status == 501)) continue;
    curl_off_t length = -1;
    // curl_off_t, not long: files over 2 GiB on 32-bit builds.
    if (result.answer.ok() && curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length >= 0) {
      result.length = static_cast<std::uint64_t>(length);
    }
    return result;
  }
  return result;
}

}  // namespace parone

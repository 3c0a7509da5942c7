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
void SetUpRequest(CurlEasy& curl, const std::string& urlBytes, HeaderList& headers,
                  UrlTextTimeouts timeouts) {
  CURL* h = curl.get();
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
  curl.SetStopSignal(timeouts.stop);
}

int HttpStatus(CURL* h) {
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  return static_cast<int>(status);
}

Error NoAnswer(Stage stage, CURLcode rc, std::string text, const std::string& url) {
  return Error{stage, CodeKind::kCurl, static_cast<long>(rc), std::move(text), url, static_cast<long>(rc)};
}

// One GET, its body as the server sent it (at most `limit` bytes), from
// `offset` on when a range is asked for.
Result<HttpAnswer> FetchBytes(const std::string& url, const CodePage& codePage,
                              UrlTextTimeouts timeouts, std::size_t limit, Stage stage,
                              std::optional<std::uint64_t> offset) {
  const auto urlBytes = codePage.FromUtf8(url);
  if (!urlBytes) {
    return NoAnswer(stage, CURLE_URL_MALFORMAT, "URL을 코드 페이지 949로 바꿀 수 없습니다", url);
  }
  CurlEasy curl;
  if (!curl.valid()) return NoAnswer(stage, CURLE_FAILED_INIT, curl.ErrorText(CURLE_FAILED_INIT), url);
  CURL* h = curl.get();
  HeaderList headers;
  SetUpRequest(curl, *urlBytes, headers, timeouts);
  std::string range;
  if (offset) {
    range = std::to_string(*offset) + "-" + std::to_string(*offset + (limit > 0 ? limit - 1 : 0));
    curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
  }
  Collected collected;
  collected.limit = limit;
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &collected);
  const auto rc = static_cast<CURLcode>(curl.Perform());
  // A write error is the read stopping itself (or an empty limit), once an
  // answer is in.
  if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && HttpStatus(h) != 0)) {
    return NoAnswer(stage, rc, curl.ErrorText(rc), url);
  }
  HttpAnswer answer;
  answer.status = HttpStatus(h);
  answer.body = std::move(collected.bytes);
  return answer;
}

}  // namespace

std::string DescribeAnswer(const Result<HttpAnswer>& answer) {
  if (answer) return "HTTP " + std::to_string(answer->status);
  return "응답 없음 (" + answer.error().message + ")";
}

Result<HttpAnswer> FetchUrlText(const std::string& url, const CodePage& codePage,
                                UrlTextTimeouts timeouts, std::size_t maxBytes, Stage stage) {
  auto answer = FetchBytes(url, codePage, timeouts, maxBytes, stage, std::nullopt);
  if (answer) answer->body = codePage.ToUtf8(answer->body);
  return answer;
}

Result<HttpAnswer> FetchUrlRange(const std::string& url, const CodePage& codePage,
                                 UrlTextTimeouts timeouts, std::uint64_t offset,
                                 std::size_t length, Stage stage) {
  return FetchBytes(url, codePage, timeouts, length, stage, offset);
}

std::string OpenUrlText(const std::string& url, const CodePage& codePage,
                        UrlTextTimeouts timeouts) {
  const auto answer = FetchUrlText(url, codePage, timeouts);
  return answer ? answer->body : std::string();
}

Result<HttpAnswer> ProbeUrlSize(const std::string& url, const CodePage& codePage,
                                UrlTextTimeouts timeouts, Stage stage) {
  const auto urlBytes = codePage.FromUtf8(url);
  if (!urlBytes) {
    return NoAnswer(stage, CURLE_URL_MALFORMAT, "URL을 코드 페이지 949로 바꿀 수 없습니다", url);
  }
  HttpAnswer answer;
  for (const bool byGet : {false, true}) {
    CurlEasy curl;
    if (!curl.valid()) return NoAnswer(stage, CURLE_FAILED_INIT, curl.ErrorText(CURLE_FAILED_INIT), url);
    CURL* h = curl.get();
    HeaderList headers;
    SetUpRequest(curl, *urlBytes, headers, timeouts);
    curl_easy_setopt(h, CURLOPT_NOBODY, byGet ? 0L : 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &RefuseBody);
    const auto rc = static_cast<CURLcode>(curl.Perform());
    answer.byGet = byGet;
    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && HttpStatus(h) != 0)) {
      return NoAnswer(stage, rc, curl.ErrorText(rc), url);
    }
    answer.status = HttpStatus(h);
    // Some servers and proxies answer only GET: 405 Method Not Allowed, or
    // 501 Not Implemented from older ones.
    if (!byGet && (answer.status == 405 || answer.status == 501)) continue;
    curl_off_t length = -1;
    // curl_off_t, not long: files over 2 GiB on 32-bit builds.
    if (answer.ok() &&
        curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length >= 0) {
      answer.length = static_cast<std::uint64_t>(length);
    }
    return answer;
  }
  return answer;
}

}  // namespace parone

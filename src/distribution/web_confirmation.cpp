#include "distribution/web_confirmation.hpp"

#include "distribution/web_urls.hpp"

namespace parone {
namespace {

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

}  // namespace

bool WebConfirmation::LastVerMatches() const {
  // The web read sees at most the first 20 bytes, as the version check does.
  return lastVer && lastVer->ok() && lastVer->body == expectedLastVer.substr(0, kUrlTextMaxBytes);
}

bool WebConfirmation::SizeMatches() const {
  return size && size->ok() && size->length && *size->length == expectedSize;
}

std::optional<Error> WebConfirmation::AsError() const {
  if (!lastVer) return lastVer.error();
  if (!lastVer->ok()) {
    return Error{Stage::kReadBack, CodeKind::kHttp, lastVer->status, "HTTP " + std::to_string(lastVer->status), lastVerName};
  }
  if (!LastVerMatches()) {
    return Error{Stage::kReadBack, CodeKind::kNone, 0,
                 "the web serves \"" + WithoutLineEnd(lastVer->body) + "\" instead of build " +
                     WithoutLineEnd(expectedLastVer),
                 lastVerName};
  }
  if (!size) return size.error();
  if (!size->ok()) {
    return Error{Stage::kReadBack, CodeKind::kHttp, size->status, "HTTP " + std::to_string(size->status), fileName};
  }
  if (!SizeMatches()) {
    return Error{Stage::kReadBack, CodeKind::kNone, 0,
                 size->length ? "the web serves " + std::to_string(*size->length) + " bytes instead of " +
                                    std::to_string(expectedSize)
                              : std::string("the web gives no size (no Content-Length)"),
                 fileName};
  }
  return std::nullopt;
}

std::string WebConfirmation::WarningText() const {
  std::string build = WithoutLineEnd(expectedLastVer);
  if (build.empty()) build = "(없음)";
  std::string text = "배포한 파일을 웹에서 확인하지 못했습니다.\r\n\r\n" + fileName + "\r\n\r\n";
  text += lastVerName + ": 빌드 " + build;
  if (LastVerMatches()) {
    text += " (일치)";
  } else if (lastVer && lastVer->ok()) {
    text += " 대신 \"" + WithoutLineEnd(lastVer->body) + "\"";
  } else {
    text += " 대신 " + DescribeAnswer(lastVer);
  }
  text += "\r\n" + fileName + ": " + std::to_string(expectedSize) + "바이트";
  if (SizeMatches()) {
    text += " (일치)";
  } else if (size && size->ok() && size->length) {
    text += " 대신 " + std::to_string(*size->length) + "바이트";
  } else if (size && size->ok()) {
    text += " 대신 크기를 알 수 없음 (" + DescribeAnswer(size) + ", Content-Length 없음)";
  } else {
    text += " 대신 " + DescribeAnswer(size);
  }
  return text +
         "\r\n\r\n업로드는 끝났지만 업데이트 클라이언트는 위와 같이 받습니다. "
         "웹 서버의 폴더 연결이나 캐시를 확인하세요.";
}

WebConfirmation ConfirmOverHttp(const SystemConfig& config, const CodePage& codePage,
                                UrlTextTimeouts timeouts, const std::string& fileName,
                                const std::string& lastVerName, const std::string& lastVerText,
                                std::uint64_t size) {
  WebConfirmation c;
  c.fileName = fileName;
  c.lastVerName = lastVerName;
  c.expectedLastVer = lastVerText;
  c.expectedSize = size;
  c.lastVer = FetchUrlText(WebUrl(config, codePage, lastVerName), codePage, timeouts,
                           kUrlTextMaxBytes, Stage::kReadBack);
  c.size = ProbeUrlSize(WebUrl(config, codePage, fileName), codePage, timeouts, Stage::kReadBack);
  return c;
}

}  // namespace parone

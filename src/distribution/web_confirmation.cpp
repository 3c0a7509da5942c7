#include "distribution/web_confirmation.hpp"

#include "distribution/check_server_version.hpp"

namespace parone {
namespace {

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

}  // namespace

bool WebConfirmation::LastVerMatches() const {
  // The web read sees at most the first 20 bytes, as the version check does.
  return lastVer.answer.ok() && lastVer.text == expectedLastVer.substr(0, kUrlTextMaxBytes);
}

bool WebConfirmation::SizeMatches() const {
  return size.answer.ok() && size.length && *size.length == expectedSize;
}

std::string WebConfirmation::WarningText() const {
  std::string build = WithoutLineEnd(expectedLastVer);
  if (build.empty()) build = "(없음)";
  std::string text = "배포한 파일을 웹에서 확인하지 못했습니다.\r\n\r\n" + fileName + "\r\n\r\n";
  text += lastVerName + ": 빌드 " + build;
  if (LastVerMatches()) {
    text += " (일치)";
  } else if (lastVer.answer.ok()) {
    text += " 대신 \"" + WithoutLineEnd(lastVer.text) + "\"";
  } else {
    text += " 대신 " + lastVer.answer.Describe();
  }
  text += "\r\n" + fileName + ": " + std::to_string(expectedSize) + "바이트";
  if (SizeMatches()) {
    text += " (일치)";
  } else if (size.answer.ok() && size.length) {
    text += " 대신 " + std::to_string(*size.length) + "바이트";
  } else if (size.answer.ok()) {
    text += " 대신 크기를 알 수 없음 (" + size.answer.Describe() + ", Content-Length 없음)";
  } else {
    text += " 대신 " + size.answer.Describe();
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
  c.lastVer = FetchUrlText(WebUrl(config, codePage, lastVerName), codePage, timeouts);
  c.size = ProbeUrlSize(WebUrl(config, codePage, fileName), codePage, timeouts);
  return c;
}

}  // namespace parone

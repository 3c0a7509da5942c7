#include "distribution/web_confirmation.hpp"

#include <algorithm>

#include "distribution/server_record.hpp"
#include "distribution/web_urls.hpp"

namespace parone {
namespace {

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

// "first 64 KiB", "last 64 KiB", "whole file": which part a message means.
std::string PartName(const WebConfirmation::Part& part) {
  if (part.whole) return "whole file";
  return (part.offset > 0 ? "last " : "first ") + std::to_string(part.local.size() / 1024) + " KiB";
}

std::string PartText(const WebConfirmation::Part& part) {
  if (part.whole) return "파일 전체";
  return (part.offset > 0 ? "끝 " : "처음 ") + std::to_string(part.local.size() / 1024) + " KiB";
}

}  // namespace

bool WebConfirmation::LastVerMatches() const {
  // Read as the version check reads it: "33", "33" LF and "33" CR LF are
  // the same build.
  const ServerRecord served = RecordFromAnswer(lastVer);
  const auto expected = ReadLastVerText(expectedLastVer);
  return served.kind == RecordKind::kBuild && expected && served.build == *expected;
}

bool WebConfirmation::Part::Matches() const {
  // A 200 is the body from the file's first byte: good for the first part only.
  const bool fitting = served && (served->status == 206 || (served->status == 200 && offset == 0));
  return fitting && served->body == local;
}

bool WebConfirmation::BytesMatch() const {
  if (!localError.empty()) return false;
  return std::all_of(parts.begin(), parts.end(), [](const Part& p) { return p.Matches(); });
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
  if (!localError.empty()) {
    return Error{Stage::kReadBack, CodeKind::kNone, 0,
                 "the local file could not be read to compare: " + localError, fileName};
  }
  for (const Part& part : parts) {
    if (!part.served) return part.served.error();
    if (!part.Matches()) {
      return Error{Stage::kReadBack, CodeKind::kNone, 0,
                   "the web serves other bytes (" + PartName(part) + ")", fileName};
    }
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
  if (!localError.empty()) {
    text += "\r\n" + fileName + ": 내용을 비교할 로컬 파일을 읽지 못했습니다 (" + localError + ")";
  }
  for (const Part& part : parts) {
    if (part.Matches()) continue;
    text += "\r\n" + fileName + ": ";
    if (!part.served || (part.served->status != 206 && part.served->status != 200)) {
      text += PartText(part) + " 대신 " + DescribeAnswer(part.served);
    } else {
      text += PartText(part) + "의 내용이 다릅니다 (웹 서버가 다른 바이트를 보냅니다)";
    }
  }
  if (noLocalCopy) text += "\r\n" + fileName + ": 로컬 사본이 없어 내용은 비교하지 않았습니다";
  return text + "\r\n\r\n" +
         (noLocalCopy ? "서버의 파일은 바뀌었지만" : "업로드는 끝났지만") +
         " 업데이트 클라이언트는 위와 같이 받습니다. 웹 서버의 폴더 연결이나 캐시를 확인하세요.";
}

WebConfirmation ConfirmOverHttp(const SystemConfig& config, const CodePage& codePage,
                                FileSystem& files, UrlTextTimeouts timeouts,
                                const std::string& localPath, const std::string& fileName,
                                const std::string& lastVerName, const std::string& lastVerText,
                                std::uint64_t size) {
  WebConfirmation c;
  c.fileName = fileName;
  c.lastVerName = lastVerName;
  c.expectedLastVer = lastVerText;
  c.expectedSize = size;
  c.lastVer = FetchUrlText(WebUrl(config, codePage, lastVerName), codePage, timeouts,
                           kUrlTextMaxBytes, Stage::kReadBack);
  const std::string fileUrl = WebUrl(config, codePage, fileName);
  c.size = ProbeUrlSize(fileUrl, codePage, timeouts, Stage::kReadBack);
  c.noLocalCopy = localPath.empty();
  // Bytes are compared only where the size already agrees: otherwise the
  // size says enough, and a wrong file is not downloaded.
  if (size == 0 || !c.SizeMatches() || c.noLocalCopy) return c;
  auto local = files.OpenForReading(localPath);
  if (!local || local->Size() != size) {
    c.localError = localPath;
    return c;
  }
  // The whole file where it is small, else its first and its last bytes.
  std::vector<std::pair<std::uint64_t, std::size_t>> wanted;
  if (size <= 2 * kReadBackPart) {
    wanted.push_back({0, static_cast<std::size_t>(size)});
  } else {
    wanted.push_back({0, kReadBackPart});
    wanted.push_back({size - kReadBackPart, kReadBackPart});
  }
  for (const auto& [offset, length] : wanted) {
    WebConfirmation::Part part;
    part.offset = offset;
    part.whole = wanted.size() == 1;
    part.local.resize(length);
    if (local->ReadAt(offset, part.local.data(), length) != length) {
      c.localError = localPath;
      return c;
    }
    part.served = FetchUrlRange(fileUrl, codePage, timeouts, offset, length);
    const bool fromStart = part.served && part.served->status == 200;
    c.parts.push_back(std::move(part));
    // A server that ignores Range sends the file from its first byte: the
    // first part was compared on that, and asking for the end would download
    // the whole file.
    if (fromStart && wanted.size() > 1) {
      c.rangeIgnored = true;
      break;
    }
  }
  return c;
}

}  // namespace parone

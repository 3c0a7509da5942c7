#include "distribution/check_server_version.hpp"

#include <cmath>
#include <cstdio>

#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "distribution/failure_messages.hpp"
#include "distribution/web_urls.hpp"
#include "fileutil/file_version.hpp"
#include "transfer/url_text.hpp"

namespace parone {
namespace {

// Enough for the first line of a comma-separated build ("10, 20, 3000,
// 12345" and its line end pass the 20 bytes the plain reading looks at).
constexpr std::size_t kServerReadBytes = 64;

}  // namespace

std::string_view ComparedBuildText(std::string_view buildText) {
  const std::string_view line = buildText.substr(0, buildText.find_first_of("\r\n"));
  const auto comma = line.rfind(',');
  if (comma == std::string_view::npos) return buildText;
  return line.substr(comma + 1);
}

double BuildValue(std::string_view buildText) { return NumericValue(ComparedBuildText(buildText)); }

std::string BuildValueText(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

BuildComparison ServerVersion::Comparison() const {
  if (!versionRead) return BuildComparison::kUnreadable;
  switch (record.kind) {
    case RecordKind::kNoRecord:
      return BuildComparison::kNew;
    case RecordKind::kUnknown:
      return BuildComparison::kUnknown;
    case RecordKind::kBuild:
      break;
  }
  if (local == server) return BuildComparison::kSame;
  return local > server ? BuildComparison::kNew : BuildComparison::kOlder;
}

std::string ServerVersion::AnswerNote() const {
  switch (record.kind) {
    case RecordKind::kBuild:
      return "";
    case RecordKind::kNoRecord:
      return "no lastver file on the server yet: HTTP " + std::to_string(status);
    case RecordKind::kUnknown:
      break;
  }
  if (status != 0 && !(status >= 200 && status < 300)) {
    return "the server answered HTTP " + std::to_string(status);
  }
  if (!record.reason || record.reason->kind == CodeKind::kCurl) {
    return "no answer from the server: " + (record.reason ? record.reason->message : std::string());
  }
  return record.reason->message;
}

ServerVersion LookUpServerVersion(const RunContext& c, const std::string& path) {
  const PublishServices& s = c.services;
  ServerVersion v;
  v.fileName = FileNameOf(path);
  FileVersionReader reader(s.files);
  // The reader's own error report would only precede the question that says
  // the same in the user's words; rows it could not build are reported.
  const VersionText version = reader.GetFileVerString(path, kTrue16);
  for (const Error& e : version.scanErrors) c.Show(ErrorReportMessage(e, kFileVerClosing));
  v.versionText = version.text;
  c.events.VersionShown("버전: " + v.versionText);
  v.localBuild = BuildNumberOf(v.versionText);
  v.versionRead = IsBuildNumber(v.localBuild);
  v.url = LastVerUrl(c.request.config, s.codePage, BaseNameOf(path));
  v.local = BuildValue(v.localBuild);
  if (c.state.webSilent) {
    // A web side that gave no answer for an earlier file is not waited for
    // again in this run: the wait would only multiply.
    v.readError = c.state.webSilent;
    v.record.reason = c.state.webSilent;
    return v;
  }
  const auto fetched = FetchUrlText(v.url, s.codePage, c.request.urlTimeouts, kServerReadBytes);
  if (fetched) {
    v.status = fetched->status;
  } else {
    v.readError = fetched.error();
    c.state.webSilent = fetched.error();
    c.events.Notice("웹 서버가 응답하지 않습니다 (" + fetched.error().message +
                    "). 이번 실행의 나머지 파일은 서버의 빌드를 다시 묻지 않습니다.");
  }
  v.record = RecordFromAnswer(fetched);
  if (v.record.kind == RecordKind::kBuild) {
    v.serverText = fetched->body.substr(0, kUrlTextMaxBytes);
    v.server = v.record.build;
  }
  return v;
}

bool IsBuildNumber(std::string_view buildText) {
  const std::string_view compared = ComparedBuildText(buildText);
  const auto first = compared.find_first_not_of(" \t\n");
  return first != std::string_view::npos && compared[first] >= '0' && compared[first] <= '9';
}

bool CheckServerVersion(const RunContext& c, const std::string& path, ServerVersion* found) {
  const ServerVersion v = LookUpServerVersion(c, path);
  if (found) *found = v;
  switch (v.Comparison()) {
    case BuildComparison::kNew:
      return true;
    case BuildComparison::kUnreadable:
      // Uploading would replace the server's recorded build with a line that
      // reads as 0. Whoever allows that has also answered for the build, so
      // the same-build question (an unreadable build often "equals" a
      // missing record) is not asked on top.
      return c.Ask(QuestionKind::kUnreadableVersion,
                           "파일의 버전을 읽을 수 없습니다. 그래도 업로드하시겠습니까?\r\n"
                           "(서버에 기록된 빌드 번호가 비워집니다)\r\n\r\n" +
                               v.fileName);
    case BuildComparison::kSame:
      return c.Ask(
          QuestionKind::kSameBuild,
          "이미 올라간 파일의 버전과 같습니다. 그래도 다시 업로드하시겠습니까?\r\n\r\n" + v.fileName);
    case BuildComparison::kUnknown:
      // Nothing is known of what is live: publishing might replace a newer
      // build, so the user decides, knowing why nothing is known.
      return c.Ask(QuestionKind::kUnknownServer,
                   "서버의 빌드를 확인할 수 없습니다 (" + v.record.ReasonText() +
                       "). 그래도 업로드하시겠습니까?\r\n\r\n" + v.fileName);
    case BuildComparison::kOlder:
      // Update clients would be handed the older build as the newest.
      return c.Ask(QuestionKind::kOlderBuild,
                           "서버의 빌드(" + BuildValueText(v.server) + ")보다 낮은 빌드(" +
                               BuildValueText(v.local) +
                               ")입니다. 그래도 업로드하시겠습니까?\r\n\r\n" + v.fileName);
  }
  return false;
}

}  // namespace parone

#include "distribution/check_server_version.hpp"

#include <cmath>
#include <cstdio>

#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "fileutil/file_version.hpp"
#include "transfer/curl_easy.hpp"

namespace parone {
namespace {

// Enough for the first line of a comma-separated build ("10, 20, 3000,
// 12345" and its line end pass the 20 bytes the plain reading looks at).
constexpr std::size_t kServerReadBytes = 64;

}  // namespace

std::string WebUrl(const SystemConfig& config, const CodePage& codePage, const std::string& name) {
  const std::string path = config.webPath + name;
  // A name the code page cannot hold is not on the server under any name the
  // upload could have given it; its UTF-8 bytes simply find nothing.
  const std::string bytes = codePage.FromUtf8(path).value_or(path);
  std::string url = "http://" + UrlHost(config.ftpHost);
  if (config.httpPort != 80) url += ":" + std::to_string(config.httpPort);
  return url + PercentEncodePath(bytes);
}

std::string LastVerUrl(const SystemConfig& config, const CodePage& codePage,
                       const std::string& baseName) {
  return WebUrl(config, codePage, baseName + "_lastver.txt");
}

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
  if (local == server) return BuildComparison::kSame;
  return local > server ? BuildComparison::kNew : BuildComparison::kOlder;
}

std::string ServerVersion::AnswerNote() const {
  if (answer.ok()) return "";
  if (answer.status == 404) return "no lastver file on the server yet: HTTP 404";
  if (answer.answered()) return "the server answered HTTP " + std::to_string(answer.status);
  return "no answer from the server: " + answer.failure;
}

ServerVersion LookUpServerVersion(DistributionContext& c, const std::string& path) {
  ServerVersion v;
  v.fileName = FileNameOf(path);
  FileVersionReader reader(c.files, c.boxes);
  // The reader's own error box would only precede the question that says
  // the same in the user's words.
  v.versionText = reader.GetFileVerString(path, kTrue16, kTrue16);
  c.view.SetLblVer("버전: " + v.versionText);
  v.localBuild = BuildNumberOf(v.versionText);
  v.versionRead = IsBuildNumber(v.localBuild);
  v.url = LastVerUrl(c.config, c.codePage, BaseNameOf(path));
  UrlTextResult fetched = FetchUrlText(v.url, c.codePage, c.urlTimeouts, kServerReadBytes);
  v.answer = fetched.answer;
  // An error answer is no record: its page might begin with a number
  // ("404 Not Found") that would read as a build.
  const std::string served = v.answer.ok() ? fetched.text : "";
  v.serverText = served.substr(0, kUrlTextMaxBytes);
  v.local = BuildValue(v.localBuild);
  // The plain reading looks at the first 20 bytes, as ever; a comma-separated
  // record at its first line.
  const bool commaRecord = ComparedBuildText(served).size() != served.size();
  v.server = BuildValue(commaRecord ? served : v.serverText);
  return v;
}

bool IsBuildNumber(std::string_view buildText) {
  const std::string_view compared = ComparedBuildText(buildText);
  const auto first = compared.find_first_not_of(" \t\n");
  return first != std::string_view::npos && compared[first] >= '0' && compared[first] <= '9';
}

bool CheckServerVersion(DistributionContext& c, RunQuestions& questions, const std::string& path,
                        ServerVersion* found) {
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
      return questions.Ask(RunQuestion::kUnreadableVersion,
                           "파일의 버전을 읽을 수 없습니다. 그래도 업로드하시겠습니까?\r\n"
                           "(서버에 기록된 빌드 번호가 비워집니다)\r\n\r\n" +
                               v.fileName);
    case BuildComparison::kSame:
      return questions.Ask(
          RunQuestion::kSameBuild,
          "이미 올라간 파일의 버전과 같습니다. 그래도 다시 업로드하시겠습니까?\r\n\r\n" + v.fileName);
    case BuildComparison::kOlder:
      // Update clients would be handed the older build as the newest.
      return questions.Ask(RunQuestion::kOlderBuild,
                           "서버의 빌드(" + BuildValueText(v.server) + ")보다 낮은 빌드(" +
                               BuildValueText(v.local) +
                               ")입니다. 그래도 업로드하시겠습니까?\r\n\r\n" + v.fileName);
  }
  return false;
}

}  // namespace parone

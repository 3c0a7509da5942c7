#include "distribution/check_server_version.hpp"

#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "fileutil/file_version.hpp"
#include "transfer/curl_easy.hpp"

namespace parone {

std::string LastVerUrl(const SystemConfig& config, const CodePage& codePage,
                       const std::string& baseName) {
  const std::string path = config.webPath + baseName + "_lastver.txt";
  // A name the code page cannot hold is not on the server under any name the
  // upload could have given it; its UTF-8 bytes simply find nothing.
  const std::string bytes = codePage.FromUtf8(path).value_or(path);
  std::string url = "http://" + UrlHost(config.ftpHost);
  if (config.httpPort != 80) url += ":" + std::to_string(config.httpPort);
  return url + PercentEncodePath(bytes);
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
  v.serverText = OpenUrlText(v.url, c.codePage, c.urlTimeouts);
  v.local = NumericValue(v.localBuild);
  v.server = NumericValue(v.serverText);
  return v;
}

bool IsBuildNumber(std::string_view buildText) {
  const auto first = buildText.find_first_not_of(" \t\n");
  return first != std::string_view::npos && buildText[first] >= '0' && buildText[first] <= '9';
}

bool CheckServerVersion(DistributionContext& c, RunQuestions& questions, const std::string& path) {
  const ServerVersion v = LookUpServerVersion(c, path);
  if (!v.versionRead) {
    // Uploading would replace the server's recorded build with a line that
    // reads as 0. Whoever allows that has also answered for the build, so
    // the same-build question (an unreadable build often "equals" a missing
    // record) is not asked on top.
    return questions.Ask(RunQuestion::kUnreadableVersion,
                         "파일의 버전을 읽을 수 없습니다. 그래도 업로드하시겠습니까?\r\n"
                         "(서버에 기록된 빌드 번호가 비워집니다)\r\n\r\n" +
                             v.fileName);
  }
  if (!v.Same()) return true;
  return questions.Ask(
      RunQuestion::kSameBuild,
      "이미 올라간 파일의 버전과 같습니다. 그래도 다시 업로드하시겠습니까?\r\n\r\n" + v.fileName);
}

}  // namespace parone

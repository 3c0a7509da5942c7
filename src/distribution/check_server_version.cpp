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
  v.versionText = reader.GetFileVerString(path, kTrue16, kFalse16);
  c.view.SetLblVer("버전: " + v.versionText);
  v.localBuild = BuildNumberOf(v.versionText);
  v.url = LastVerUrl(c.config, c.codePage, BaseNameOf(path));
  v.serverText = OpenUrlText(v.url, c.codePage, c.urlTimeouts);
  v.local = NumericValue(v.localBuild);
  v.server = NumericValue(v.serverText);
  return v;
}

bool CheckServerVersion(DistributionContext& c, const std::string& path) {
  const ServerVersion v = LookUpServerVersion(c, path);
  if (!v.Same()) return true;
  const int answer = c.boxes.Show(
      "이미 올라간 파일의 버전과 같습니다. 그래도 다시 업로드하시겠습니까?\r\n\r\n" + v.fileName,
      kStyleQuestionYesNo);
  return answer != kAnswerNo;
}

}  // namespace parone

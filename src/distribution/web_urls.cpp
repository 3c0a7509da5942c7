#include "distribution/web_urls.hpp"

#include "transfer/curl_easy.hpp"

namespace parone {

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

}  // namespace parone

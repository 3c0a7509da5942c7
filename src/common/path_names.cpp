#include "common/path_names.hpp"

#include "common/system_config.hpp"

namespace parone {

std::size_t LastSeparator(std::string_view path) {
  return path.find_last_of(kPlatform.separators);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  const auto sep = LastSeparator(out);
  if (!out.empty() && sep != out.size() - 1) {
    out += sep == std::string::npos ? kPlatform.separator : out[sep];
  }
  out += name;
  return out;
}

std::string FileNameOf(std::string_view path) {
  const auto sep = LastSeparator(path);
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string BaseNameOf(std::string_view path) {
  const std::string name = FileNameOf(path);
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string BuildNumberOf(std::string_view versionText) {
  const auto dot = versionText.rfind('.');
  return std::string(dot == std::string_view::npos ? versionText
                                                   : versionText.substr(dot + 1));
}

}  // namespace parone

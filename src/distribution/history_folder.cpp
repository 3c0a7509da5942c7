#include "distribution/history_folder.hpp"

namespace parone {
namespace {

std::string_view ExtensionOf(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? std::string_view() : fileName.substr(dot);
}

}  // namespace

std::string HistoryFolderOf(std::string_view remoteDir, std::string_view fileName) {
  return std::string(remoteDir) + "/" + kHistoryFolder + "/" + std::string(fileName);
}

std::string HistoryFileName(std::string_view fileName, std::string_view buildText) {
  return std::string(buildText) + std::string(ExtensionOf(fileName));
}

std::optional<double> HistoryBuildOf(std::string_view historyName, std::string_view fileName) {
  const std::string_view extension = ExtensionOf(fileName);
  if (historyName.size() <= extension.size() || !historyName.ends_with(extension)) return std::nullopt;
  const std::string_view digits = historyName.substr(0, historyName.size() - extension.size());
  // More than 15 digits would not survive the double a build is compared as.
  if (digits.size() > 15 || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  double build = 0;
  for (char c : digits) build = build * 10 + (c - '0');
  return build;
}

}  // namespace parone

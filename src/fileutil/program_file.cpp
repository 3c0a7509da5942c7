#include "fileutil/program_file.hpp"

#include "fileutil/file_version.hpp"

namespace parone {

ProgramFileFacts InspectProgramFile(FileSystem& files, const std::string& path) {
  ProgramFileFacts facts;
  const auto file = files.OpenForReading(path);
  if (!file) return facts;
  facts.readable = true;
  facts.certificate = FindCertificateTable(*file);
  if (!facts.isPe()) return facts;
  FileVersionReader reader(files);
  if (auto scan = reader.GetFileVer(path)) {
    constexpr std::string_view kPrefix = "FileVersion: ";
    const std::string& row = scan->rows[2];
    facts.scanErrors = std::move(scan->errors);
    facts.fileVersion = row.starts_with(kPrefix) ? row.substr(kPrefix.size()) : row;
  }
  return facts;
}

std::string FileVersionForDisplay(const std::optional<std::string>& fileVersion) {
  return fileVersion ? *fileVersion : "(없음)";
}

}  // namespace parone

#pragma once
// What the packer step and the signing hand-off compare before and after
// another program has had a file: is it still a program file, with the same
// FileVersion, and does it carry a signature. Blocks while it reads the
// headers and the version block (never the whole file).

#include <optional>
#include <string>

#include <vector>

#include "common/error.hpp"
#include "fileutil/pe_version_block.hpp"
#include "platform/file_system.hpp"

namespace parone {

struct ProgramFileFacts {
  bool readable = false;  // false: missing, a folder, or still held open by its writer
  CertificateTable certificate = CertificateTable::kNotPe;
  // The FileVersion value as stored ("1.01.0033", "Not specified" when the
  // key is missing); nullopt when the file has no version block.
  std::optional<std::string> fileVersion;
  std::vector<Error> scanErrors;  // rows of the version block that could not be built

  bool isPe() const { return certificate != CertificateTable::kNotPe; }
};

// Never fails towards the caller: what cannot be read is said in the facts.
ProgramFileFacts InspectProgramFile(FileSystem& files, const std::string& path);

// The version for a message: the stored value, or "(없음)" without a block.
std::string FileVersionForDisplay(const std::optional<std::string>& fileVersion);

}  // namespace parone

#include "fileutil/copy_file_checked.hpp"

namespace parone {

bool CopyFileChecked(FileSystem& files, const std::string& from,
                     const std::string& to, const std::function<bool()>& tryAgain) {
  while (!files.CopyFileReplacing(from, to)) {
    if (!tryAgain()) return false;
  }
  return true;
}

}  // namespace parone

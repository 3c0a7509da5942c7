// POSIX implementation of the interface defined in platform/library_path.hpp.
#include "platform/library_path.hpp"

namespace parone {

// File names are bytes here, and the tool's are UTF-8 already.
std::optional<std::string> LibraryPath(const std::string& utf8Path) { return utf8Path; }

}  // namespace parone

#pragma once
// Copies a file, replacing the destination, and insists: after a failed copy
// it asks `tryAgain` (which tells the user "Error copying File" and asks, or
// decides by a policy) and tries again for as long as it says so. Blocks
// until a copy succeeded or the caller gave up.

#include <functional>
#include <string>

#include "platform/file_system.hpp"

namespace parone {

// True when a copy succeeded; false when `tryAgain` returned false after a
// failure (nothing else is left behind than what the failed copy left).
bool CopyFileChecked(FileSystem& files, const std::string& from,
                     const std::string& to, const std::function<bool()>& tryAgain);

}  // namespace parone

#pragma once
// Copies a file, replacing the destination, and insists: after a failed copy
// it shows "Error copying File" and tries again for as long as `tryAgain`
// says so. Blocks until a copy succeeded or the caller gave up.

#include <functional>
#include <string>

#include "platform/file_system.hpp"
#include "platform/message_box.hpp"

namespace parone {

// True when a copy succeeded; false when `tryAgain` returned false after a
// failure (nothing else is left behind than what the failed copy left).
bool CopyFileChecked(FileSystem& files, MessageBoxes& boxes, const std::string& from,
                     const std::string& to, const std::function<bool()>& tryAgain);

}  // namespace parone

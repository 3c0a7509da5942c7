#pragma once
// The web side's URLs of published names, as an update client fetches them.

#include <string>

#include "common/system_config.hpp"
#include "platform/code_page.hpp"

namespace parone {

// "http://" + host + the web path + name, its path in code page 949 bytes,
// percent-encoded.
std::string WebUrl(const SystemConfig& config, const CodePage& codePage, const std::string& name);
// WebUrl of base name + "_lastver.txt".
std::string LastVerUrl(const SystemConfig& config, const CodePage& codePage,
                       const std::string& baseName);

}  // namespace parone

#pragma once
// Minimal JSON string quoting for the CLI's one-object-per-line output.

#include <string>
#include <string_view>
#include <vector>

namespace parone {

// A quoted JSON string; control characters escaped, UTF-8 passed through.
std::string JsonQuoted(std::string_view text);
std::string JsonArray(const std::vector<std::string>& texts);

}  // namespace parone

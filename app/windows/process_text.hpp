#pragma once
// What a Windows program is given, as UTF-8: its arguments (read as UTF-16
// from the process's command line) and its environment. Shared by the
// command line's and the window's entry points.

#include <optional>
#include <string>
#include <vector>

namespace parone {

// The arguments without the program's name, split by CommandLineToArgvW: a
// quoted argument with blanks arrives whole, without its quotes.
std::vector<std::string> Arguments();

// An environment variable's value; nullopt when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);

}  // namespace parone

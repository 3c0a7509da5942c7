#pragma once
// What a test changes about its own process: environment variables, which
// programs it starts inherit.

#include <string>

namespace parone::testing {

// Sets (or with an empty value, clears) a variable of this process's
// environment, UTF-8 on every platform.
void SetEnvironment(const std::string& name, const std::string& value);

}  // namespace parone::testing

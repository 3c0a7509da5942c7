#pragma once
// What a test changes about its own process: environment variables, which
// programs it starts inherit; and whether another process still runs.

#include <string>

namespace parone::testing {

// Sets (or with an empty value, clears) a variable of this process's
// environment, UTF-8 on every platform.
void SetEnvironment(const std::string& name, const std::string& value);

// The process with this id is running: it exists and has not ended (a
// Linux zombie, ended but not yet reaped, does not count).
bool ProcessIsRunning(long pid);

}  // namespace parone::testing

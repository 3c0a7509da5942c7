#pragma once
// Starts a program with a parameter text and blocks until it has ended, or
// until its time limit has passed (then it is ended by force). The
// parameter text follows the Windows command-line rules (see
// common/command_line.hpp), so a quoted path with blanks stays one argument.
// Shows nothing: a program that cannot be started is said in the result.

#include <cstdint>
#include <string>

#include "common/command_line.hpp"
#include "common/tick_state.hpp"
#include "platform/process_launcher.hpp"

namespace parone {

// `timeoutMs` 0 waits as long as the program runs; a requested `stop` ends
// the program at once. The result says whether it started, whether it timed
// out or was stopped, and its exit status; the described procedure looks at
// none of it, the packer step does.
LaunchResult ShellAndWait(ProcessLauncher& launcher, const std::string& program, std::intptr_t ownerWindow,
                          const std::string& parameters, const std::string& workingFolder,
                          Boolean16 hidden, Boolean16 minimised, long timeoutMs = 0,
                          const StopSignal* stop = nullptr);

}  // namespace parone

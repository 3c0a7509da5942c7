#pragma once
// Starting another program and waiting for it. Run blocks the calling
// thread until the program has ended, its time limit has passed or a stop
// was requested (then the program is ended by force); the program inherits
// the standard streams.

#include <cstdint>
#include <string>

#include "common/stop_signal.hpp"

namespace parone {

// The show command for the started program's window, where the platform has
// windows for it; ignored elsewhere.
enum class ShowCommand { kHide = 0, kShow = 5, kShowMinimisedNoActivate = 7 };

struct LaunchRequest {
  std::string program;
  // The parameter text as the program's command line after its name, by the
  // Windows rules (quotes group, see SplitWindowsCommandLine). Windows hands
  // it over as it is; elsewhere it is split into arguments by those rules.
  std::string parameters;
  std::string workingFolder;
  ShowCommand show = ShowCommand::kShow;
  std::intptr_t ownerWindow = 0;  // parent of dialogs the platform shows; 0 for none
  long timeoutMs = 0;             // 0: wait as long as the program runs
  // Ends the program (and the wait) within a tenth of a second when requested.
  const StopSignal* stop = nullptr;
};

struct LaunchResult {
  bool started = false;
  std::string error;      // why it could not be started, when it could not
  bool timedOut = false;  // it ran past the time limit and was ended
  bool stopped = false;   // a stop was requested while it ran, and it was ended
  int exitCode = -1;      // the program's exit status; -1 when it did not exit by itself
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  virtual LaunchResult Run(const LaunchRequest& request) = 0;
};

// The platform's own launcher. A time-out ends the program and what it
// started: on Linux posix_spawn and waitpid, the program in a process group
// of its own; on Windows ShellExecuteExW ("open") and WaitForSingleObject,
// the program in a job object of the run's own, which also ends whatever
// the program left running when Run returns.
class NativeProcessLauncher final : public ProcessLauncher {
 public:
  LaunchResult Run(const LaunchRequest& request) override;
};

}  // namespace parone

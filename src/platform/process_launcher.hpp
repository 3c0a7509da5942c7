#pragma once
// Starting another program and waiting for it. Run blocks the calling
// thread until the program has ended (there is no time-out, as a packer run
// may take long); the program inherits the standard streams.

#include <string>
#include <vector>

namespace parone {

// The show command for the started program's window, where the platform has
// windows for it; ignored elsewhere.
enum class ShowCommand { kHide = 0, kShow = 5, kShowMinimisedNoActivate = 7 };

struct LaunchResult {
  bool started = false;
  std::string error;  // why it could not be started, when it could not
  int exitCode = -1;  // informative only; callers do not act on it
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  virtual LaunchResult Run(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingFolder, ShowCommand show) = 0;
};

// posix_spawn with the working folder changed in the child, then waitpid.
class PosixProcessLauncher final : public ProcessLauncher {
 public:
  LaunchResult Run(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingFolder, ShowCommand show) override;
};

}  // namespace parone

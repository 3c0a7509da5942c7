#include "fileutil/shell_and_wait.hpp"

namespace parone {

LaunchResult ShellAndWait(ProcessLauncher& launcher, const std::string& program, std::intptr_t ownerWindow,
                          const std::string& parameters, const std::string& workingFolder,
                          Boolean16 hidden, Boolean16 minimised, long timeoutMs,
                          const StopSignal* stop) {
  LaunchRequest request;
  request.program = program;
  request.parameters = parameters;
  request.workingFolder = workingFolder;
  request.ownerWindow = ownerWindow;
  request.timeoutMs = timeoutMs;
  request.stop = stop;
  if (IsTrue(hidden)) {
    request.show = ShowCommand::kHide;
  } else if (IsTrue(minimised)) {
    request.show = ShowCommand::kShowMinimisedNoActivate;
  }
  return launcher.Run(request);
}

}  // namespace parone

#include "fileutil/shell_and_wait.hpp"

namespace parone {

LaunchResult ShellAndWait(ProcessLauncher& launcher, MessageBoxes& boxes,
                          const std::string& program, std::intptr_t ownerWindow,
                          const std::string& parameters, const std::string& workingFolder,
                          Boolean16 hidden, Boolean16 minimised, long timeoutMs) {
  LaunchRequest request;
  request.program = program;
  request.parameters = parameters;
  request.workingFolder = workingFolder;
  request.ownerWindow = ownerWindow;
  request.timeoutMs = timeoutMs;
  if (IsTrue(hidden)) {
    request.show = ShowCommand::kHide;
  } else if (IsTrue(minimised)) {
    request.show = ShowCommand::kShowMinimisedNoActivate;
  }
  const LaunchResult result = launcher.Run(request);
  if (!result.started) {
    boxes.Show("프로그램을 실행할 수 없습니다: " + program + "\r\n" + result.error, kStyleWarning);
  }
  return result;
}

}  // namespace parone

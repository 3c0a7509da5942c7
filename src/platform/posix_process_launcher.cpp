#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/process_launcher.hpp"

extern char** environ;

namespace parone {

LaunchResult PosixProcessLauncher::Run(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const std::string& workingFolder, ShowCommand) {
  LaunchResult result;
  // posix_spawn reports a missing or non-executable program only through
  // the child's exit status, so check first to give the user the reason.
  if (access(program.c_str(), X_OK) != 0) {
    result.error = std::strerror(errno);
    return result;
  }
  std::vector<std::string> args;
  args.push_back(program);
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!workingFolder.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  }
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.error = std::strerror(rc);
    return result;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      result.error = std::strerror(errno);
      return result;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    // The child could not change into the working folder or exec the program.
    result.error = "the program could not be started in " + workingFolder;
    return result;
  }
  result.started = true;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace parone

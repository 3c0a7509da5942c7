// POSIX implementation of the ProcessLauncher interface defined in platform/process_launcher.hpp.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "common/command_line.hpp"
#include "platform/process_launcher.hpp"

extern char** environ;

namespace parone {
namespace {

// Waits for the child; after `timeoutMs` (0: never), or once `stop` is
// requested, ends its whole process group and reaps it. False when waitpid
// itself failed.
bool WaitFor(pid_t pid, long timeoutMs, const StopSignal* stop, int& status, LaunchResult& result) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Without a limit or a stop to watch, one blocking wait does.
  const bool polling = timeoutMs > 0 || stop != nullptr;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    const pid_t done = waitpid(pid, &status, polling ? WNOHANG : 0);
    if (done == pid) return true;
    if (done < 0 && errno != EINTR) return false;
    if (polling && done == 0) {
      const bool timedOut = timeoutMs > 0 && Clock::now() >= deadline;
      if (timedOut || StopRequested(stop)) {
        kill(-pid, SIGKILL);
        (timedOut ? result.timedOut : result.stopped) = true;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return true;
      }
      // Short pauses first so quick programs return at once, then at most
      // 50 ms of polling delay on long ones.
      std::this_thread::sleep_for(pause);
      if (pause < std::chrono::milliseconds(50)) pause *= 2;
    }
  }
}

}  // namespace

LaunchResult NativeProcessLauncher::Run(const LaunchRequest& request) {
  LaunchResult result;
  // posix_spawn reports a missing or non-executable program only through
  // the child's exit status, so check first to give the user the reason.
  if (access(request.program.c_str(), X_OK) != 0) {
    result.error = std::strerror(errno);
    return result;
  }
  std::vector<std::string> args = SplitWindowsCommandLine(request.parameters);
  args.insert(args.begin(), request.program);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!request.workingFolder.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, request.workingFolder.c_str());
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so that ending it on a time-out ends its children.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = -1;
  const int rc =
      posix_spawn(&pid, request.program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.error = std::strerror(rc);
    return result;
  }
  int status = 0;
  if (!WaitFor(pid, request.timeoutMs, request.stop, status, result)) {
    result.error = std::strerror(errno);
    return result;
  }
  const bool ended = result.timedOut || result.stopped;
  if (!ended && WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    // The child could not change into the working folder or exec the program.
    result.error = "the program could not be started in " + request.workingFolder;
    return result;
  }
  result.started = true;
  result.exitCode = !ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace parone

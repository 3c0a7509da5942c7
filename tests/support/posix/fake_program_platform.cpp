// POSIX part of the fake program declared in fake_program_platform.hpp.
#include "fake_program_platform.hpp"

#include <spawn.h>
#include <unistd.h>

#include <filesystem>

extern char** environ;

namespace parone::testing {

std::vector<std::string> FakeProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::string FakeProgramPath() {
  return std::filesystem::read_symlink("/proc/self/exe").string();
}

bool StartCopyOfSelf(const std::vector<std::string>& args) {
  std::string program = FakeProgramPath();
  std::vector<std::string> words = args;
  std::vector<char*> argv{program.data()};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  // No attributes: the copy stays in this process's group. Nobody waits
  // for it; once this process has ended, the system reaps it.
  return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

long OwnProcessId() { return static_cast<long>(getpid()); }

}  // namespace parone::testing

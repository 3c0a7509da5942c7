// POSIX part of the fake program declared in fake_program_platform.hpp.
#include "fake_program_platform.hpp"

#include <filesystem>

namespace parone::testing {

std::vector<std::string> FakeProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::string FakeProgramPath() {
  return std::filesystem::read_symlink("/proc/self/exe").string();
}

}  // namespace parone::testing

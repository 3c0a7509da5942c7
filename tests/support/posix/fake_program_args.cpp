// POSIX part of the fake program declared in fake_program.hpp.
#include "fake_program.hpp"

namespace parone::testing {

std::vector<std::string> FakeProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace parone::testing

// POSIX part of the helpers declared in test_process.hpp.
#include <cstdlib>

#include "test_process.hpp"

namespace parone::testing {

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value.c_str(), 1);
  }
}

}  // namespace parone::testing

// POSIX part of the helpers declared in test_process.hpp.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "test_process.hpp"

namespace parone::testing {

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value.c_str(), 1);
  }
}

bool ProcessIsRunning(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::stringstream stat;
  stat << in.rdbuf();
  const std::string text = stat.str();
  // "pid (name) S ...": the state follows the name, which may hold blanks
  // and parentheses itself. An orphan killed with its group stays a zombie
  // until whatever adopted it reaps it, which some containers never do.
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return false;
  const char state = text[close + 2];
  return state != 'Z' && state != 'X';
}

}  // namespace parone::testing

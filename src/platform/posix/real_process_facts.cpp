// POSIX implementation of the ProcessFacts interface defined in platform/process_facts.hpp.
#include <unistd.h>

#include <array>

#include "platform/process_facts.hpp"

#ifndef PARONE_VERSION_MAJOR
#error "the build passes the program version"
#endif

namespace parone {

std::string RealProcessFacts::OwnFolder() const {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  std::string path(buffer.data(), static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

ProgramVersion RealProcessFacts::OwnVersion() const {
  return {PARONE_VERSION_MAJOR, PARONE_VERSION_MINOR, PARONE_VERSION_PATCH};
}

}  // namespace parone

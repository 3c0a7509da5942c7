// POSIX implementation of the ProcessFacts interface defined in platform/process_facts.hpp,
// and XdgConfigHome (platform/posix/xdg_config_home.hpp), the folder the
// tool's own folder shares with the settings file.
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "common/path_names.hpp"
#include "platform/posix/xdg_config_home.hpp"
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

namespace {

// The account's entry in the user database (name and home folder); empty
// texts when there is none.
struct Account {
  std::string name;
  std::string home;
};

Account ThisAccount() {
  std::vector<char> buffer(16 * 1024);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
  return {found->pw_name ? found->pw_name : "", found->pw_dir ? found->pw_dir : ""};
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::string RealProcessFacts::UserName() const {
  std::string name = ThisAccount().name;
  // Containers often run under an id the user database does not know.
  if (name.empty()) name = Environment("USER");
  if (name.empty()) name = Environment("LOGNAME");
  return name;
}

std::string RealProcessFacts::MachineName() const {
  std::array<char, 256> buffer{};
  if (gethostname(buffer.data(), buffer.size() - 1) != 0) return "";
  return buffer.data();
}

std::string XdgConfigHome() {
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') {
    std::string home = Environment("HOME");
    if (home.empty()) home = ThisAccount().home;
    if (home.empty()) return "";
    config = JoinPath(home, ".config");
  }
  while (config.size() > 1 && config.back() == '/') config.pop_back();
  return config;
}

std::string RealProcessFacts::UserDataFolder() const {
  const std::string config = XdgConfigHome();
  return config.empty() ? "" : JoinPath(config, "파로네_배포");
}

std::chrono::system_clock::time_point RealProcessFacts::Now() const {
  return std::chrono::system_clock::now();
}

}  // namespace parone

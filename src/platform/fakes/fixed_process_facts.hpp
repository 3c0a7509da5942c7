#pragma once
// Process facts chosen by the test: folder, version, user, machine, data
// folder and clock. It never looks at the real executable, the system or the
// real time; the clock stands still unless the test moves it.

#include <chrono>
#include <string>

#include "platform/process_facts.hpp"

namespace parone {

class FixedProcessFacts final : public ProcessFacts {
 public:
  explicit FixedProcessFacts(std::string folder, ProgramVersion version = {1, 1, 33})
      : folder_(std::move(folder)), version_(version) {}
  std::string OwnFolder() const override { return folder_; }
  ProgramVersion OwnVersion() const override { return version_; }
  std::string UserName() const override { return userName; }
  std::string MachineName() const override { return machineName; }
  std::string UserDataFolder() const override { return userDataFolder; }
  std::chrono::system_clock::time_point Now() const override { return now; }

  std::string userName = "tester";
  std::string machineName = "BUILD-PC";
  std::string userDataFolder;  // "": the user has no such folder
  // 2024-05-06T07:08:09Z
  std::chrono::system_clock::time_point now{std::chrono::seconds(1714979289)};

 private:
  std::string folder_;
  ProgramVersion version_;
};

}  // namespace parone

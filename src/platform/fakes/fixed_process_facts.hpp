#pragma once
// Process facts with a folder and version chosen by the test. It never looks
// at the real executable.

#include <string>

#include "platform/process_facts.hpp"

namespace parone {

class FixedProcessFacts final : public ProcessFacts {
 public:
  explicit FixedProcessFacts(std::string folder, ProgramVersion version = {1, 1, 33})
      : folder_(std::move(folder)), version_(version) {}
  std::string OwnFolder() const override { return folder_; }
  ProgramVersion OwnVersion() const override { return version_; }

 private:
  std::string folder_;
  ProgramVersion version_;
};

}  // namespace parone

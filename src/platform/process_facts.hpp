#pragma once
// Facts about the running program: its own folder (where the executable
// lies, without a trailing separator) and its version.

#include <string>

namespace parone {

struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

class ProcessFacts {
 public:
  virtual ~ProcessFacts() = default;
  virtual std::string OwnFolder() const = 0;
  virtual ProgramVersion OwnVersion() const = 0;
};

// Reads the folder from /proc/self/exe (Linux) and the version the build
// was configured with.
class RealProcessFacts final : public ProcessFacts {
 public:
  std::string OwnFolder() const override;
  ProgramVersion OwnVersion() const override;
};

}  // namespace parone

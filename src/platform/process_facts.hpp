#pragma once
// Facts about the running program: its own folder (where the executable
// lies, without a trailing separator) and its version, and about where it
// runs: who, on which machine, when, and the per-user folder for its own
// files. None of the calls blocks for long or fails: what the system will
// not say comes back empty.

#include <chrono>
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
  // The logged-in user's name; "" when the system will not say.
  virtual std::string UserName() const = 0;
  // The machine's name; "" when the system will not say.
  virtual std::string MachineName() const = 0;
  // The per-user folder for the tool's own files, beside its settings:
  // $XDG_CONFIG_HOME/파로네_배포 (else ~/.config/파로네_배포) on Linux,
  // %APPDATA%\파로네_배포 on Windows. Not created here; "" when the user has
  // no such place.
  virtual std::string UserDataFolder() const = 0;
  // The current time (the system clock, UTC).
  virtual std::chrono::system_clock::time_point Now() const = 0;
};

// Reads the folder from /proc/self/exe (Linux) or the module's path
// (Windows), the version the build was configured with (or the program's
// version resource), and the user, machine and folder from the system.
class RealProcessFacts final : public ProcessFacts {
 public:
  std::string OwnFolder() const override;
  ProgramVersion OwnVersion() const override;
  std::string UserName() const override;
  std::string MachineName() const override;
  std::string UserDataFolder() const override;
  std::chrono::system_clock::time_point Now() const override;
};

}  // namespace parone

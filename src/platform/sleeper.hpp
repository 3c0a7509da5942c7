#pragma once
// Sleeping the calling thread, behind an interface so that waits can be
// driven by a fake clock in tests.

namespace parone {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  // Blocks the calling thread for `milliseconds`.
  virtual void SleepMs(long milliseconds) = 0;
};

class RealSleeper final : public Sleeper {
 public:
  void SleepMs(long milliseconds) override;
};

}  // namespace parone

#pragma once
// A request to stop a run, given on one thread (the window's, when the user
// stops) and looked at by the waits of another (a transfer, a sleep, a
// started program). Once given it stays; a new run takes a new signal.
// Thread-safe; nothing here blocks.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace parone {

class StopSignal {
 public:
  void Request() {
    std::int64_t none = kNotRequested;
    requestedAtMs_.compare_exchange_strong(none, NowMs());
  }
  bool requested() const { return requestedAtMs_.load() != kNotRequested; }
  // Requested at least `graceMs` ago. The work a stop lets finish (taking
  // away what the stopped transfer left, completing a pair of renames) asks
  // this, so that it cannot hold the end of the run for longer.
  bool requestedFor(long graceMs) const {
    const std::int64_t at = requestedAtMs_.load();
    return at != kNotRequested && NowMs() - at >= graceMs;
  }

 private:
  static constexpr std::int64_t kNotRequested = -1;
  static std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::atomic<std::int64_t> requestedAtMs_{kNotRequested};
};

// False for no signal at all: a run nobody can stop.
inline bool StopRequested(const StopSignal* stop) { return stop && stop->requested(); }

}  // namespace parone

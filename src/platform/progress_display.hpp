#pragma once
// Where a transfer reports how far it has come: bytes handed over so far out
// of the file's total. Called on the transferring thread, often (for every
// buffer libcurl takes); a display draws only when what it shows changes.

#include <cstdint>

namespace parone {

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  // A count lower than the last one, or another total, begins a new transfer.
  virtual void SetBytes(std::uint64_t sent, std::uint64_t total) = 0;
  // The transfer failed on the way and is tried again: attempt `attempt`
  // of `attempts` further ones, from byte `offset` (0: from the start).
  virtual void Retrying(int attempt, int attempts, std::uint64_t offset) {
    static_cast<void>(attempt);
    static_cast<void>(attempts);
    static_cast<void>(offset);
  }
};

}  // namespace parone

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
};

}  // namespace parone

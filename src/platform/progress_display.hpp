#pragma once
// A progress bar: a maximum and a current value, both single precision as
// the window's control holds them. Setting a value must repaint (or redraw
// the terminal bar) at once, since transfers block the caller's thread.

#include <cstdint>

namespace parone {

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  virtual float Max() const = 0;
  virtual void SetMax(float max) = 0;
  virtual float Value() const = 0;
  virtual void SetValue(float value) = 0;
  // The true share of a transfer: bytes handed over so far out of `total`.
  // The window's bar shows only the block count above; a display that can
  // show bytes, speed and time left (the terminal's) uses this.
  virtual void SetBytes(std::uint64_t /*sent*/, std::uint64_t /*total*/) {}
};

}  // namespace parone

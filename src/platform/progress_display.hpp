#pragma once
// A progress bar: a maximum and a current value, both single precision as
// the window's control holds them. Setting a value must repaint (or redraw
// the terminal bar) at once, since transfers block the caller's thread.

namespace parone {

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  virtual float Max() const = 0;
  virtual void SetMax(float max) = 0;
  virtual float Value() const = 0;
  virtual void SetValue(float value) = 0;
};

}  // namespace parone

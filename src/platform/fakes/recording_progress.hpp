#pragma once
// A progress display that remembers every value it was given. It never
// draws anything.

#include <vector>

#include "platform/progress_display.hpp"

namespace parone {

class RecordingProgress final : public ProgressDisplay {
 public:
  explicit RecordingProgress(float max = 100) : max_(max) {}
  float Max() const override { return max_; }
  void SetMax(float max) override {
    max_ = max;
    maxes_.push_back(max);
  }
  float Value() const override { return value_; }
  void SetValue(float value) override {
    value_ = value;
    values_.push_back(value);
  }
  const std::vector<float>& values() const { return values_; }
  const std::vector<float>& maxes() const { return maxes_; }

 private:
  float max_;
  float value_ = 0;
  std::vector<float> values_;
  std::vector<float> maxes_;
};

}  // namespace parone

#pragma once
// A progress bar drawn on one terminal line ("\r[#####.....]  50%"), redrawn
// only when the shown percentage changes, so a transfer of many blocks costs
// a few hundred writes at most. Draws nothing when `enabled` is false (the
// output is not a terminal) but still keeps its values.

#include <iosfwd>
#include <string>

#include "platform/progress_display.hpp"

namespace parone {

class TerminalProgress final : public ProgressDisplay {
 public:
  TerminalProgress(std::ostream& out, bool enabled, std::string label = {});
  ~TerminalProgress() override;
  float Max() const override { return max_; }
  void SetMax(float max) override;
  float Value() const override { return value_; }
  void SetValue(float value) override;
  // Ends the bar's line, if one was drawn.
  void Finish();

 private:
  void Draw();
  std::ostream& out_;
  bool enabled_;
  std::string label_;
  float max_ = 100;  // the window's progress bar starts at 0..100 as well
  float value_ = 0;
  int shownPercent_ = -1;
  bool drawn_ = false;
};

}  // namespace parone

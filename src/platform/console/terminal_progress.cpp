// Console implementation of the ProgressDisplay interface defined in platform/progress_display.hpp.
#include "platform/console/terminal_progress.hpp"

#include <algorithm>
#include <ostream>

namespace parone {

TerminalProgress::TerminalProgress(std::ostream& out, bool enabled, std::string label)
    : out_(out), enabled_(enabled), label_(std::move(label)) {}

TerminalProgress::~TerminalProgress() { Finish(); }

void TerminalProgress::SetMax(float max) {
  max_ = max;
  Draw();
}

void TerminalProgress::SetValue(float value) {
  value_ = value;
  Draw();
}

void TerminalProgress::Draw() {
  if (!enabled_) return;
  const float ratio = max_ > 0 ? std::clamp(value_ / max_, 0.0f, 1.0f) : 0.0f;
  const int percent = static_cast<int>(ratio * 100.0f);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  constexpr int kWidth = 40;
  const int filled = percent * kWidth / 100;
  out_ << '\r' << label_ << '[' << std::string(static_cast<std::size_t>(filled), '#')
       << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] ";
  out_.width(3);
  out_ << percent << '%' << std::flush;
  drawn_ = true;
}

void TerminalProgress::Finish() {
  if (drawn_) out_ << '\n' << std::flush;
  drawn_ = false;
  shownPercent_ = -1;
}

}  // namespace parone

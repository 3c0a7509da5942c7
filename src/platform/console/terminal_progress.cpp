// Console implementation of the ProgressDisplay interface defined in platform/progress_display.hpp.
#include "platform/console/terminal_progress.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace parone {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);
constexpr int kBarWidth = 24;

std::string Bar(int percent) {
  const int filled = percent * kBarWidth / 100;
  return '[' + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] ";
}

std::string Percent(int percent) {
  char text[8];
  std::snprintf(text, sizeof text, "%3d%%", percent);
  return text;
}

}  // namespace

std::string ByteCountText(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%.0f B", bytes);
  } else {
    // Three significant digits, rounded down so 1023.9 KiB never shows as 1024.
    const int decimals = bytes < 10 ? 2 : bytes < 100 ? 1 : 0;
    const double scale = std::pow(10.0, decimals);
    std::snprintf(text, sizeof text, "%.*f %s", decimals, std::floor(bytes * scale) / scale,
                  kUnits[unit]);
  }
  return text;
}

std::string DurationText(std::uint64_t seconds) {
  auto twoDigits = [](std::uint64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  const std::uint64_t h = seconds / 3600;
  const std::uint64_t m = seconds / 60 % 60;
  const std::string ms = twoDigits(seconds % 60);
  if (h > 0) return std::to_string(h) + ":" + twoDigits(m) + ":" + ms;
  return std::to_string(m) + ":" + ms;
}

TerminalProgress::TerminalProgress(std::ostream& out, bool enabled, std::string label,
                                   SteadyNow now)
    : out_(out), enabled_(enabled), label_(std::move(label)), now_(std::move(now)) {
  if (!now_) now_ = [] { return Clock::now(); };
}

TerminalProgress::~TerminalProgress() { Finish(); }

void TerminalProgress::SetBytes(std::uint64_t sent, std::uint64_t total) {
  const Clock::time_point now = now_();
  if (!bytesSeen_ || sent < sent_ || total != total_) {
    // A new transfer: its speed counts from here, on a line of its own.
    if (bytesSeen_ && drawn_) Finish();
    bytesSeen_ = true;
    bytesDone_ = false;
    total_ = total;
    startSent_ = sent;
    start_ = now;
    shownPercent_ = -1;
  }
  sent_ = sent;
  if (!enabled_ || bytesDone_) return;
  const int percent =
      total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(sent, total) * 100 / total);
  const bool done = sent >= total;
  if (!done && percent == shownPercent_ && now - lastDraw_ < kRedrawEvery) return;
  shownPercent_ = percent;
  lastDraw_ = now;
  DrawBytes(now);
  if (done) {
    bytesDone_ = true;
    Finish();
  }
}

void TerminalProgress::DrawBytes(Clock::time_point now) {
  std::string line = Bar(shownPercent_) + Percent(shownPercent_) + "  " +
                     ByteCountText(static_cast<double>(sent_)) + " / " +
                     ByteCountText(static_cast<double>(total_));
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double speed = seconds > 0 ? static_cast<double>(sent_ - startSent_) / seconds : 0;
  if (speed > 0) {
    line += "  " + ByteCountText(speed) + "/s";
    const double left = static_cast<double>(total_ > sent_ ? total_ - sent_ : 0) / speed;
    line += "  " + DurationText(static_cast<std::uint64_t>(std::ceil(left))) + " left";
  }
  Put(line);
}

void TerminalProgress::Put(const std::string& line) {
  const std::string text = label_ + line;
  out_ << '\r' << text;
  if (text.size() < drawnLength_) out_ << std::string(drawnLength_ - text.size(), ' ');
  out_ << std::flush;
  drawnLength_ = std::max(drawnLength_, text.size());
  drawn_ = true;
}

void TerminalProgress::Finish() {
  if (drawn_) out_ << '\n' << std::flush;
  drawn_ = false;
  drawnLength_ = 0;
  shownPercent_ = -1;
}

}  // namespace parone

#pragma once
// A progress bar drawn on one terminal line. Fed with byte counts
// (SetBytes) it shows the true share sent, the bytes, the speed and the time
// left:
//   [############............]  50%  512 MiB / 1.00 GiB  85.3 MiB/s  0:06 left
// It redraws only when the shown percentage changes or a quarter of a second
// has passed since the last drawing, so a transfer of many blocks costs a few
// hundred writes at most, and it ends its line once all bytes are sent.
// Draws nothing when `enabled` is false (the output is not a terminal).

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "platform/progress_display.hpp"

namespace parone {

// The clock the speed is measured with; tests pass their own.
using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

class TerminalProgress final : public ProgressDisplay {
 public:
  // An empty `now` means std::chrono::steady_clock.
  TerminalProgress(std::ostream& out, bool enabled, std::string label = {}, SteadyNow now = {});
  ~TerminalProgress() override;
  // A count lower than the last one, or another total, starts a new transfer.
  void SetBytes(std::uint64_t sent, std::uint64_t total) override;
  // Ends the bar's line, if one was drawn and not yet ended.
  void Finish();

 private:
  void DrawBytes(std::chrono::steady_clock::time_point now);
  void Put(const std::string& line);
  std::ostream& out_;
  bool enabled_;
  std::string label_;
  SteadyNow now_;
  int shownPercent_ = -1;
  bool drawn_ = false;            // a bar's line is open
  std::size_t drawnLength_ = 0;   // of the open line, to blank what a shorter one leaves
  // Byte counts of the current transfer.
  bool bytesSeen_ = false;
  bool bytesDone_ = false;        // the final line of this transfer is drawn and ended
  std::uint64_t sent_ = 0;
  std::uint64_t total_ = 0;
  std::uint64_t startSent_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// "512 B", "1.50 KiB", "12.3 MiB", "512 GiB": three significant digits.
std::string ByteCountText(double bytes);
// "0:06", "12:34", "1:02:03".
std::string DurationText(std::uint64_t seconds);

}  // namespace parone

#pragma once
// The window's controls as the command line fills them: the UPX path and
// the passive tick from the settings (or the options), never closing after
// sending, and a terminal progress bar on stderr.

#include <string>

#include "distribution/distribution_view.hpp"
#include "platform/console/terminal_progress.hpp"

namespace parone {

class ConsoleView final : public DistributionView {
 public:
  ConsoleView(std::string upxPath, int passive, std::ostream& err, bool drawProgress)
      : upxPath_(std::move(upxPath)), passive_(passive), progress_(err, drawProgress) {}
  std::string Text1() override { return upxPath_; }
  int ChkPassive() override { return passive_; }
  int chkSuccUnload() override { return 0; }
  ProgressDisplay& ProgressBar1() override { return progress_; }
  void Unload() override {}
  void YieldToWindow() override {}
  TerminalProgress& progress() { return progress_; }

 private:
  std::string upxPath_;
  int passive_;
  TerminalProgress progress_;
};

}  // namespace parone

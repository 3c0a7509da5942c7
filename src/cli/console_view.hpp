#pragma once
// The window's controls as the command line fills them: the selection from
// the arguments, the UPX path and the passive tick from the settings (or the
// options), never closing after sending, labels as lines on stderr and a
// terminal progress bar, whose line every printed label first ends.

#include <ostream>
#include <string>

#include "distribution/distribution_view.hpp"
#include "platform/console/terminal_progress.hpp"

namespace parone {

struct ConsoleControls {
  std::string selection;
  std::string upxPath;
  int passive = 1;
  int codeSigning = 0;
};

class ConsoleView final : public DistributionView {
 public:
  ConsoleView(ConsoleControls controls, std::ostream& err, bool drawProgress,
              SteadyNow now = {})
      : controls_(std::move(controls)), err_(err), progress_(err, drawProgress, {}, std::move(now)) {}
  std::string cmbLocalFullPath() override { return controls_.selection; }
  void FocusCmbLocalFullPath() override {}
  int chkCodeSigning() override { return controls_.codeSigning; }
  void SetLblVer(const std::string& caption) override {
    progress_.Finish();
    err_ << caption << "\n";
  }
  void SetLblWaitingVisible(bool visible) override {
    if (!visible) return;
    progress_.Finish();
    err_ << "서명된 파일을 기다리는 중...\n" << std::flush;
  }
  std::string Text1() override { return controls_.upxPath; }
  int ChkPassive() override { return controls_.passive; }
  int chkSuccUnload() override { return 0; }
  ProgressDisplay& ProgressBar1() override { return progress_; }
  void Unload() override {}
  void YieldToWindow() override { progress_.Finish(); }
  void Notice(const std::string& text) override {
    progress_.Finish();
    err_ << text << "\n" << std::flush;
  }
  TerminalProgress& progress() { return progress_; }

 private:
  ConsoleControls controls_;
  std::ostream& err_;
  TerminalProgress progress_;
};

}  // namespace parone

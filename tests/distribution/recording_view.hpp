#pragma once
// The window's controls for workflow tests: values set by the test, calls
// recorded. It never shows anything and a yield does nothing but count.

#include <string>

#include "distribution/distribution_view.hpp"
#include "platform/fakes/recording_progress.hpp"

namespace parone {

class RecordingView final : public DistributionView {
 public:
  std::string Text1() override { return upxPath; }
  int ChkPassive() override { return passive; }
  int chkSuccUnload() override { return closeAfterSending; }
  ProgressDisplay& ProgressBar1() override { return progress; }
  void Unload() override { ++unloads; }
  void YieldToWindow() override { ++yields; }

  std::string upxPath = "/nonexistent/upx";
  int passive = 1;
  int closeAfterSending = 0;
  RecordingProgress progress;
  int unloads = 0;
  int yields = 0;
};

}  // namespace parone

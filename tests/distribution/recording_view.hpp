#pragma once
// The window's controls for workflow tests: values set by the test, calls
// recorded. It never shows anything and a yield does nothing but count.

#include <string>
#include <vector>

#include "distribution/distribution_view.hpp"
#include "platform/fakes/recording_progress.hpp"

namespace parone {

class RecordingView final : public DistributionView {
 public:
  std::string cmbLocalFullPath() override { return selection; }
  void FocusCmbLocalFullPath() override { ++focusCalls; }
  int chkCodeSigning() override { return codeSigning; }
  void SetLblVer(const std::string& caption) override { lblVer.push_back(caption); }
  void SetLblWaitingVisible(bool visible) override { waitingShown.push_back(visible); }
  std::string Text1() override { return upxPath; }
  int ChkPassive() override { return passive; }
  int chkSuccUnload() override { return closeAfterSending; }
  ProgressDisplay& ProgressBar1() override { return progress; }
  void Unload() override { ++unloads; }
  void YieldToWindow() override { ++yields; }
  void Notice(const std::string& text) override { notices.push_back(text); }

  std::string selection;
  int focusCalls = 0;
  int codeSigning = 0;
  std::vector<std::string> lblVer;
  std::vector<bool> waitingShown;
  std::string upxPath = "/nonexistent/upx";
  int passive = 1;
  int closeAfterSending = 0;
  RecordingProgress progress;
  int unloads = 0;
  int yields = 0;
  std::vector<std::string> notices;
};

}  // namespace parone

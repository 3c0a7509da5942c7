#pragma once
// The window's controls as the distribution workflow sees them. The window
// and the command line both implement it; tests record it. Calls come from
// the one thread that runs the workflow and must not block, except
// YieldToWindow, which processes the window's pending events once.

#include <cstdint>
#include <string>

#include "platform/progress_display.hpp"

namespace parone {

class DistributionView {
 public:
  virtual ~DistributionView() = default;
  virtual std::string cmbLocalFullPath() = 0;  // the selection text
  virtual void FocusCmbLocalFullPath() = 0;
  virtual int chkCodeSigning() = 0;            // tick state: sign before uploading when exactly 1
  virtual void SetLblVer(const std::string& caption) = 0;
  virtual void SetLblWaitingVisible(bool visible) = 0;
  virtual std::string Text1() = 0;             // path of the UPX program
  virtual int ChkPassive() = 0;                // tick state: passive FTP when exactly 1
  virtual int chkSuccUnload() = 0;             // tick state: close the window after sending
  virtual ProgressDisplay& ProgressBar1() = 0;
  // Closes the main window as its close button does.
  virtual void Unload() = 0;
  virtual void YieldToWindow() = 0;
  // A remark for a log, not for the user's attention (the window shows
  // nothing; the command line prints it on stderr).
  virtual void Notice(const std::string& /*text*/) {}
  // The owner of dialogs a started program may show; 0 without a window.
  virtual std::intptr_t WindowHandle() { return 0; }
};

}  // namespace parone

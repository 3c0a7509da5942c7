#pragma once
// Hands the selected files to the code-signing service through its two drop
// folders and waits until every signed copy is back in place of its local
// file. Blocks the calling thread for the whole wait (polling every 5 s);
// the window is painted once, after the waiting label is shown.
//
// Unlike a plain copy-back, a local file is only ever replaced by renaming a
// complete signed copy over it, and a signed copy is deleted only after that
// worked, so a failure never loses the only signed copy. A selection with
// two files of the same name is refused (they would share a drop name), and
// the user can give up a copy that keeps failing or a wait that never ends:
// giving up ends the run before any upload, with the local files unchanged.

#include <string>
#include <vector>

#include "distribution/distribution_run.hpp"
#include "platform/error_report.hpp"
#include "platform/sleeper.hpp"

namespace parone {

// Where the hand-off asks whether to go on.
class SigningWayOut {
 public:
  virtual ~SigningWayOut() = default;
  // After a failed copy into the unsigned folder: try it again?
  virtual bool RetryCopy(const std::string& from, const std::string& to) = 0;
  // Before every sleep of the wait: `waitedMs` is the time waited so far.
  virtual bool KeepWaiting(long waitedMs) = 0;
};

inline constexpr long kSigningPollMs = 5000;
inline constexpr const char* kCodeSigningClosing = ") in procedure CodeSigning of Form FrmMain";

class DropFolderSigning final : public CodeSigningHandOff {
 public:
  DropFolderSigning(DistributionContext& context, Sleeper& sleeper, SigningWayOut& wayOut,
                    long pollMs = kSigningPollMs)
      : context_(context), sleeper_(sleeper), wayOut_(wayOut), pollMs_(pollMs) {}

  // True when every file that exists has been replaced by its signed copy.
  bool CodeSigning(const std::vector<std::string>& paths) override;

  // How many times the last hand-off looked for the signed copies.
  std::size_t lastPollCount() const { return polls_; }

 private:
  bool Submit(const std::vector<std::string>& paths);
  bool WaitForSignedCopies(const std::vector<std::string>& paths);
  bool TakeBack(const std::vector<std::string>& paths);
  void Report(const ErrorInfo& error);

  DistributionContext& context_;
  Sleeper& sleeper_;
  SigningWayOut& wayOut_;
  long pollMs_;
  std::size_t polls_ = 0;
};

}  // namespace parone

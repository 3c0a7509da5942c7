#pragma once
// Hands the selected files to the code-signing service through its two drop
// folders and waits until every signed copy is back in place of its local
// file. Blocks the calling thread for the whole wait (polling every 5 s);
// the window is painted once, after the waiting label is shown.
//
// A file of the right name in the signed folder is not yet a signed copy:
// it counts as arrived only when its size has not changed since the
// previous poll (the service is done writing it), it is a program file with
// the FileVersion of the file submitted now, and it carries a signature. A
// copy that fails the last two (empty, cut off, unsigned, another build
// left from an earlier run) is reported once, with its name and the reason,
// and the wait goes on for a proper one. The copy put in place of the local
// file is checked again after it was copied, since the service may replace
// the file in the signed folder at any time.
//
// A local file is only ever replaced by renaming a complete, checked copy
// over it, and a signed copy is deleted only after that worked, so a failure
// never loses the only signed copy. A selection with two files of the same
// name is refused (they would share a drop name), and the user can give up a
// copy that keeps failing or a wait that never ends: giving up ends the run
// before any upload, with the local files unchanged, and takes the unsigned
// copies of this hand-off back out of the unsigned folder, so that the
// service does not sign them later for nobody.
//
// UPX runs over each file before it is handed over (afterwards it would
// break the signature). A file whose packer failed is not handed over; it
// is listed by DroppedPaths and the others go on.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "distribution/run_context.hpp"
#include "platform/error_report.hpp"

namespace parone {

// Where the hand-off asks whether to go on.
class SigningWayOut {
 public:
  virtual ~SigningWayOut() = default;
  // After a failed copy into the unsigned folder: try it again?
  virtual bool RetryCopy(const std::string& from, const std::string& to) = 0;
  // Before every sleep of the wait: `waitedMs` is the time waited so far.
  virtual bool KeepWaiting(long waitedMs) = 0;
  // How long the coming sleep lasts, at most `pollMs`; a way out with a
  // deadline shortens the last one so that the final look falls on it.
  virtual long NextSleepMs(long waitedMs, long pollMs) {
    static_cast<void>(waitedMs);
    return pollMs;
  }
};

// The way out the request's signing policy gives: questions where it asks,
// a deadline and a number of silent retries where it does not (a build
// machine has nobody to ask).
class PolicyWayOut final : public SigningWayOut {
 public:
  explicit PolicyWayOut(const RunContext& context) : c_(context) {}
  bool RetryCopy(const std::string& from, const std::string& to) override;
  bool KeepWaiting(long waitedMs) override;
  long NextSleepMs(long waitedMs, long pollMs) override;

 private:
  const RunContext& c_;
  int copyRetries_ = 0;
};

class DropFolderSigning final {
 public:
  // Polls every request.signing.pollMs, sleeping with the services' sleeper.
  DropFolderSigning(const RunContext& context, SigningWayOut& wayOut)
      : context_(context), wayOut_(wayOut), pollMs_(context.request.signing.pollMs) {}

  // True when every file that exists and was handed over has been replaced
  // by its signed copy (files listed by DroppedPaths were not handed over).
  bool CodeSigning(const std::vector<std::string>& paths);
  // The paths of the last hand-off whose packer failed (already reported).
  const std::vector<std::string>& DroppedPaths() const { return dropped_; }
  // Why the last hand-off returned false (stage signing, or packer).
  const std::optional<Error>& lastError() const { return error_; }

  // How many times the last hand-off looked for the signed copies.
  std::size_t lastPollCount() const { return polls_; }

 private:
  // One file on its way through the drop folders.
  struct Handed {
    std::string path;
    std::string unsignedCopy;
    std::string signedCopy;
    std::optional<std::string> fileVersion;  // of the file submitted
    bool submitted = false;  // a copy into the unsigned folder was begun
    std::optional<std::uint64_t> lastSize;  // of the signed copy at the previous poll
    std::string lastRejection;              // reported already: size and reason
  };

  bool Submit(std::vector<Handed>& handed);
  bool WaitForSignedCopies(std::vector<Handed>& handed);
  bool Arrived(Handed& item);
  bool TakeBack(std::vector<Handed>& handed);
  void WithdrawUnsignedCopies(const std::vector<Handed>& handed);
  void Report(const ErrorInfo& error);
  bool Fail(std::string why);

  const RunContext& context_;
  SigningWayOut& wayOut_;
  long pollMs_;
  std::size_t polls_ = 0;
  std::vector<std::string> dropped_;
  std::optional<Error> error_;
};

}  // namespace parone

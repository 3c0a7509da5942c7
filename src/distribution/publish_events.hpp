#pragma once
// What a run tells the front end that started it, and the one thing it asks.
// The run calls these on its own thread, in order; they report and return
// (the window draws, the command line prints, tests record). Ask is the only
// call that returns something: it blocks until the user (or the front end's
// policy) has answered.

#include <cstdint>
#include <string>

#include "platform/message_box.hpp"

namespace parone {

struct FileReport;

enum class QuestionKind {
  kSameBuild,          // the server already records this build: upload again?
  kUnreadableVersion,  // the file's version cannot be read: upload anyway?
  kOlderBuild,         // the server records a greater build: replace it with this older one?
  kUnknownServer,      // nothing is known of the server's build: upload anyway?
  kRetryCopy,          // a copy into the signing drop folder failed: try again?
  kKeepWaiting,        // the signed copies are long in coming: keep waiting?
  kRollback,           // make a kept build live again in place of the live one?
};

// A Yes/No question with the question icon and No as default (style 292).
struct Question {
  QuestionKind kind;
  std::string text;  // the whole question as the user sees it (lines joined by CR LF)
};

// A message box the run shows: style 0 (OK only) or 48 (warning).
struct Message {
  std::string text;
  int style = kStyleOkOnly;
  std::string caption = kAppTitle;
};

class PublishEvents {
 public:
  virtual ~PublishEvents() = default;

  // lblVer: "버전: " and the version of the file being looked at.
  virtual void VersionShown(const std::string& caption) = 0;
  // The file's upload has handed over `sent` of its `total` bytes.
  virtual void Progress(std::uint64_t sent, std::uint64_t total) = 0;
  // The upload failed on the way and is tried again: "재시도 n/3", resumed
  // from byte `offset` (0: from the start).
  virtual void Retrying(int attempt, int attempts, std::uint64_t offset) = 0;
  // lblWaiting: the run waits for the signed copies (shown), or no longer.
  virtual void WaitingShown(bool shown) = 0;
  virtual void Show(const Message& message) = 0;
  // True for Yes. Only questions the request leaves open come here.
  virtual bool Ask(const Question& question) = 0;
  // A question the request answered in advance (`reason` says by what,
  // e.g. the command-line flag): for a log, nothing to answer.
  virtual void Answered(const Question& question, bool yes, const std::string& reason) = 0;
  // A remark for a log, not for the user's attention (the window shows
  // nothing; the command line prints it on stderr).
  virtual void Notice(const std::string& text) = 0;
  // One file's attempt is over, whatever its result.
  virtual void FileFinished(const FileReport& report) = 0;
  // The run is at a point where a window may process its pending messages
  // (after the waiting label is shown, after a UPX step). Never blocks long.
  virtual void Pulse() {}
};

}  // namespace parone

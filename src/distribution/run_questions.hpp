#pragma once
// The questions a run asks before anything is signed or uploaded. The
// workflow says which kind of question it is and what to show; the front end
// decides how it is answered: the window (and tests) with a Yes/No message
// box, the command line from its flags or a terminal. Ask blocks until
// answered.

#include <string>

#include "platform/message_box.hpp"

namespace parone {

enum class RunQuestion {
  kSameBuild,          // the server already records this build: upload again?
  kUnreadableVersion,  // the file's version cannot be read: upload anyway?
  kOlderBuild,         // the server records a greater build: replace it with this older one?
};

class RunQuestions {
 public:
  virtual ~RunQuestions() = default;
  // True: go on with the file. `text` is the whole question as the user
  // sees it (lines joined by CR LF).
  virtual bool Ask(RunQuestion kind, const std::string& text) = 0;
};

// Every kind as a Yes/No box with the question icon and No as default
// (style 292), captioned with the application title. Only No declines.
class MessageBoxQuestions final : public RunQuestions {
 public:
  explicit MessageBoxQuestions(MessageBoxes& boxes) : boxes_(boxes) {}
  bool Ask(RunQuestion kind, const std::string& text) override;

 private:
  MessageBoxes& boxes_;
};

}  // namespace parone

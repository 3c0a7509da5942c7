#pragma once
// The command line's answers to the run's questions, per kind: --no
// declines every one; the flag of a kind (--yes for the same build,
// --allow-no-version for an unreadable version, --allow-downgrade for a
// build older than the server's) answers that kind Yes and no other; anything left is asked at the terminal when there is one, and
// is otherwise No, the questions' default. Ask blocks only at a terminal.

#include <set>

#include "distribution/run_questions.hpp"
#include "platform/console/console_message_boxes.hpp"

namespace parone {

struct ConsoleAnswers {
  bool declineAll = false;
  std::set<RunQuestion> allowed;  // answered Yes by their flags
  bool askTerminal = false;
};

// The flag that answers the kind with Yes.
const char* FlagAnswering(RunQuestion kind);

class ConsoleQuestions final : public RunQuestions {
 public:
  // `boxes` prints the question (and reads the terminal's answer).
  ConsoleQuestions(ConsoleMessageBoxes& boxes, ConsoleAnswers answers)
      : boxes_(boxes), answers_(std::move(answers)) {}
  bool Ask(RunQuestion kind, const std::string& text) override;

 private:
  ConsoleMessageBoxes& boxes_;
  ConsoleAnswers answers_;
};

}  // namespace parone

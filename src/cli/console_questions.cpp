#include "cli/console_questions.hpp"

#include <string>

namespace parone {

const char* FlagAnswering(RunQuestion kind) {
  switch (kind) {
    case RunQuestion::kSameBuild:
      return "--yes";
    case RunQuestion::kUnreadableVersion:
      return "--allow-no-version";
    case RunQuestion::kOlderBuild:
      return "--allow-downgrade";
  }
  return "";
}

bool ConsoleQuestions::Ask(RunQuestion kind, const std::string& text) {
  if (answers_.declineAll) {
    return boxes_.Ask(text, kAppTitle, QuestionPolicy::kAnswerNo, "--no") == kAnswerYes;
  }
  if (answers_.allowed.contains(kind)) {
    return boxes_.Ask(text, kAppTitle, QuestionPolicy::kAnswerYes, FlagAnswering(kind)) ==
           kAnswerYes;
  }
  if (answers_.askTerminal) {
    return boxes_.Ask(text, kAppTitle, QuestionPolicy::kAskTerminal, "") == kAnswerYes;
  }
  // Nobody to ask: say which flag would have answered.
  return boxes_.Ask(text, kAppTitle, QuestionPolicy::kAnswerNo,
                    std::string(FlagAnswering(kind)) + " answers Yes") == kAnswerYes;
}

}  // namespace parone

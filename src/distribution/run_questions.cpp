#include "distribution/run_questions.hpp"

namespace parone {

bool MessageBoxQuestions::Ask(RunQuestion /*kind*/, const std::string& text) {
  return boxes_.Show(text, kStyleQuestionYesNo) != kAnswerNo;
}

}  // namespace parone

#include <gtest/gtest.h>

#include <sstream>

#include "cli/console_questions.hpp"

namespace parone {
namespace {

constexpr RunQuestion kSame = RunQuestion::kSameBuild;
constexpr RunQuestion kUnreadable = RunQuestion::kUnreadableVersion;

struct Case {
  ConsoleAnswers answers;
  RunQuestion kind;
  const char* typed;  // what a terminal would type, when there is one
  bool goOn;
  const char* answerLine;
};

TEST(ConsoleQuestions, EachFlagAnswersItsOwnKindAndNoneOther) {
  const Case cases[] = {
      // --yes: the same build only.
      {{false, {kSame}, false}, kSame, "", true, "-> Yes (--yes)\n"},
      {{false, {kSame}, false}, kUnreadable, "", false, "-> No (--allow-no-version answers Yes)\n"},
      // --allow-no-version: the unreadable version only.
      {{false, {kUnreadable}, false}, kUnreadable, "", true, "-> Yes (--allow-no-version)\n"},
      {{false, {kUnreadable}, false}, kSame, "", false, "-> No (--yes answers Yes)\n"},
      // --no declines every kind, even one a flag would allow and even at a terminal.
      {{true, {}, true}, kSame, "y\n", false, "-> No (--no)\n"},
      {{true, {kUnreadable}, true}, kUnreadable, "y\n", false, "-> No (--no)\n"},
      // No flag for the kind: a terminal is asked, Enter is No.
      {{false, {kSame}, true}, kUnreadable, "y\n", true, "[y/N] "},
      {{false, {}, true}, kSame, "\n", false, "[y/N] "},
      // Neither a flag nor a terminal: No.
      {{false, {}, false}, kSame, "y\n", false, "-> No (--yes answers Yes)\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream err;
    std::istringstream in(c.typed);
    ConsoleMessageBoxes boxes(err, in, QuestionPolicy::kAnswerNo);
    ConsoleQuestions questions(boxes, c.answers);
    EXPECT_EQ(questions.Ask(c.kind, "질문\r\n\r\na.exe"), c.goOn) << c.answerLine;
    EXPECT_EQ(err.str(), std::string("[파로네_배포] 질문\n\na.exe\n") + c.answerLine);
  }
}

}  // namespace
}  // namespace parone

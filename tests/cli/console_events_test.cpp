#include <gtest/gtest.h>

#include <sstream>

#include "cli/console_events.hpp"

namespace parone {
namespace {

constexpr QuestionKind kSame = QuestionKind::kSameBuild;
constexpr QuestionKind kUnreadable = QuestionKind::kUnreadableVersion;

TEST(ConsoleEvents, QuestionsAreAnsweredAtTheTerminalOrNoWithTheFlagThatWouldSayYes) {
  struct Case {
    bool terminal;
    QuestionKind kind;
    const char* typed;  // what a terminal would type, when there is one
    bool yes;
    const char* answerLine;
  };
  const Case cases[] = {
      // No terminal: No, naming the flag of that kind.
      {false, kSame, "y\n", false, "-> No (--yes answers Yes)\n"},
      {false, kUnreadable, "y\n", false, "-> No (--allow-no-version answers Yes)\n"},
      {false, QuestionKind::kOlderBuild, "", false, "-> No (--allow-downgrade answers Yes)\n"},
      // A kind no flag answers says nothing more.
      {false, QuestionKind::kRetryCopy, "", false, "-> No\n"},
      // A terminal is asked; Enter is No.
      {true, kUnreadable, "y\n", true, "[y/N] "},
      {true, kSame, "\n", false, "[y/N] "},
  };
  for (const Case& c : cases) {
    std::ostringstream err;
    std::istringstream in(c.typed);
    ConsoleEvents events(err, in, c.terminal, false);
    EXPECT_EQ(events.Ask(Question{c.kind, "질문\r\n\r\na.exe"}), c.yes) << c.answerLine;
    EXPECT_EQ(err.str(), std::string("[파로네_배포] 질문\n\na.exe\n") + c.answerLine);
  }
}

TEST(ConsoleEvents, AnAnswerGivenByAFlagIsPrintedWithTheFlagAndNothingIsRead) {
  std::ostringstream err;
  std::istringstream in("n\n");
  ConsoleEvents events(err, in, true, false);
  events.Answered(Question{kSame, "질문"}, true, "--yes");
  events.Answered(Question{kUnreadable, "질문"}, false, "--no");
  EXPECT_EQ(err.str(), "[파로네_배포] 질문\n-> Yes (--yes)\n[파로네_배포] 질문\n-> No (--no)\n");
  EXPECT_EQ(in.tellg(), 0);  // the terminal's answer was not taken
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/console/console_message_boxes.hpp"
#include "platform/console/terminal_progress.hpp"

namespace parone {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kMiB = 1024 * 1024;

// A clock the test moves by hand.
struct FakeClock {
  Clock::time_point now{};
  SteadyNow Function() {
    return [this] { return now; };
  }
  void Advance(milliseconds by) { now += by; }
};

// What the terminal shows last: the text after the last "\r" of its last line.
std::string LastDrawing(const std::string& out) {
  std::string line = out;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  line = line.substr(line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n') + 1);
  return line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1);
}

long Count(const std::string& text, char c) { return std::count(text.begin(), text.end(), c); }

TEST(TerminalProgress, AGigabyteEndsAtAHundredPercentOnItsOwnLineWithFewRedraws) {
  std::ostringstream out;
  FakeClock clock;
  TerminalProgress bar(out, true, {}, clock.Function());
  const std::uint64_t total = 1024 * kMiB;
  for (std::uint64_t sent = 0; sent <= total; sent += 64 * 1024) {
    bar.SetBytes(sent, total);
    clock.Advance(milliseconds(1));  // 16 s in all
  }
  const std::string text = out.str();
  EXPECT_EQ(LastDrawing(text).rfind("[########################] 100%  1.00 GiB / 1.00 GiB", 0), 0u)
      << LastDrawing(text);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(Count(text, '\n'), 1);
  // 16384 reports: drawn at each new percent and four times a second at most.
  EXPECT_LE(Count(text, '\r'), 101 + 16 * 4 + 2);
  EXPECT_GE(Count(text, '\r'), 100);
}

TEST(TerminalProgress, SpeedAndTimeLeftFollowTheClock) {
  std::ostringstream out;
  FakeClock clock;
  TerminalProgress bar(out, true, {}, clock.Function());
  bar.SetBytes(0, 1000 * kMiB);
  clock.Advance(milliseconds(2000));
  bar.SetBytes(200 * kMiB, 1000 * kMiB);
  EXPECT_EQ(LastDrawing(out.str()),
            "[####....................]  20%  200 MiB / 1000 MiB  100 MiB/s  0:08 left");

  // The same percentage again within a quarter of a second is not redrawn;
  // after it, the new figures are.
  const auto before = out.str().size();
  clock.Advance(milliseconds(100));
  bar.SetBytes(201 * kMiB, 1000 * kMiB);
  EXPECT_EQ(out.str().size(), before);
  clock.Advance(milliseconds(200));
  bar.SetBytes(202 * kMiB, 1000 * kMiB);
  EXPECT_NE(out.str().size(), before);
  EXPECT_NE(LastDrawing(out.str()).find("202 MiB / 1000 MiB"), std::string::npos);
}

TEST(TerminalProgress, AMessageEndsTheBarsLineFirstAndTheBarGoesOnBelowIt) {
  std::ostringstream out;
  std::istringstream in;
  FakeClock clock;
  TerminalProgress bar(out, true, {}, clock.Function());
  ConsoleMessageBoxes boxes(out, in, QuestionPolicy::kAnswerNo, &bar);
  bar.SetBytes(0, 4 * kMiB);
  bar.SetBytes(kMiB, 4 * kMiB);
  boxes.Show("Error copying File", kStyleOkOnly);
  bar.SetBytes(2 * kMiB, 4 * kMiB);
  bar.Finish();
  const std::string text = out.str();
  EXPECT_NE(text.find(" 25%  1.00 MiB / 4.00 MiB\n[파로네_배포] Error copying File\n\r["), std::string::npos)
      << text;
  EXPECT_EQ(text.back(), '\n');
  // Nothing drawn: a message needs no line ended before it.
  std::ostringstream quiet;
  TerminalProgress idle(quiet, true);
  ConsoleMessageBoxes plain(quiet, in, QuestionPolicy::kAnswerNo, &idle);
  plain.Show("배포완료", kStyleOkOnly);
  EXPECT_EQ(quiet.str(), "[파로네_배포] 배포완료\n");
}

TEST(TerminalProgress, EachTransferGetsItsOwnLineAndItsOwnSpeed) {
  std::ostringstream out;
  FakeClock clock;
  TerminalProgress bar(out, true, {}, clock.Function());
  bar.SetBytes(0, 10 * kMiB);
  clock.Advance(milliseconds(1000));
  bar.SetBytes(10 * kMiB, 10 * kMiB);
  bar.SetBytes(10 * kMiB, 10 * kMiB);  // repeated: not drawn again
  const std::string first = out.str();
  EXPECT_EQ(Count(first, '\n'), 1);
  EXPECT_NE(first.find("10.0 MiB/s"), std::string::npos);
  clock.Advance(milliseconds(60'000));  // a pause between files does not slow the next
  bar.SetBytes(0, 2 * kMiB);
  clock.Advance(milliseconds(1000));
  bar.SetBytes(kMiB, 2 * kMiB);
  EXPECT_EQ(LastDrawing(out.str()),
            "[############............]  50%  1.00 MiB / 2.00 MiB  1.00 MiB/s  0:01 left");
}

TEST(TerminalProgress, WithoutATerminalNothingIsDrawn) {
  std::ostringstream out;
  TerminalProgress bar(out, false);
  bar.SetBytes(5, 10);
  bar.SetBytes(10, 10);
  bar.Finish();
  EXPECT_EQ(out.str(), "");
}

TEST(ProgressTexts, BytesWithThreeDigitsAndDurationsInMinutesOrHours) {
  const std::pair<double, const char*> sizes[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {1024, "1.00 KiB"},
      {1536, "1.50 KiB"},
      {1024.0 * 1024 - 1, "1023 KiB"},  // rounded down, never "1024 KiB"
      {12.34 * kMiB, "12.3 MiB"},
      {1024.0 * kMiB, "1.00 GiB"},
  };
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(ByteCountText(bytes), text) << bytes;
  EXPECT_EQ(DurationText(0), "0:00");
  EXPECT_EQ(DurationText(6), "0:06");
  EXPECT_EQ(DurationText(754), "12:34");
  EXPECT_EQ(DurationText(3723), "1:02:03");
}

TEST(ConsoleMessageBoxes, QuestionsAreAnsweredByPolicyOrTheTerminal) {
  struct Case {
    QuestionPolicy policy;
    const char* typed;  // what the terminal gets
    const char* reason;
    int answer;
    const char* printed;  // after the question's own line
  };
  const Case cases[] = {
      {QuestionPolicy::kAnswerYes, "", "--yes", kAnswerYes, "-> Yes (--yes)\n"},
      {QuestionPolicy::kAnswerNo, "y\n", "--no", kAnswerNo, "-> No (--no)\n"},  // not read
      {QuestionPolicy::kAnswerNo, "", "", kAnswerNo, "-> No\n"},
      {QuestionPolicy::kAskTerminal, "y\n", "", kAnswerYes, "[y/N] "},
      {QuestionPolicy::kAskTerminal, "yes\n", "", kAnswerYes, "[y/N] "},
      {QuestionPolicy::kAskTerminal, "\n", "", kAnswerNo, "[y/N] "},  // Enter: the default
      {QuestionPolicy::kAskTerminal, "", "", kAnswerNo, "[y/N] "},    // end of input
      {QuestionPolicy::kAskTerminal, "n\n", "", kAnswerNo, "[y/N] "},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    std::istringstream in(c.typed);
    ConsoleMessageBoxes boxes(out, in, QuestionPolicy::kAnswerNo);
    EXPECT_EQ(boxes.Ask("다시?\r\n\r\na.exe", "캡션", c.policy, c.reason), c.answer) << c.typed;
    EXPECT_EQ(out.str(), std::string("[캡션] 다시?\n\na.exe\n") + c.printed) << c.typed;
  }
  // Show answers a Yes/No box by the constructor's policy.
  std::ostringstream out;
  std::istringstream in;
  ConsoleMessageBoxes yes(out, in, QuestionPolicy::kAnswerYes);
  EXPECT_EQ(yes.Show("?", kStyleQuestionYesNo), kAnswerYes);
  EXPECT_EQ(yes.Show("!", kStyleWarning), kAnswerOk);
}

}  // namespace
}  // namespace parone

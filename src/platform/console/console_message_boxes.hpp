#pragma once
// Message boxes for the command line: the caption and text go to stderr; a
// Yes/No question is answered by the policy the caller chose (a flag, or the
// terminal when one is attached). Show blocks only while asking a terminal.
// Every message first ends the line of a progress bar being drawn.

#include <iosfwd>
#include <string_view>

#include "platform/message_box.hpp"

namespace parone {

class TerminalProgress;

enum class QuestionPolicy { kAnswerYes, kAnswerNo, kAskTerminal };

class ConsoleMessageBoxes final : public MessageBoxes {
 public:
  // `in` is read only under kAskTerminal; an empty or unreadable answer is
  // No, the question's default button. `progress`, when given, is the bar
  // drawn on the same stream.
  ConsoleMessageBoxes(std::ostream& err, std::istream& in, QuestionPolicy policy,
                      TerminalProgress* progress = nullptr);
  using MessageBoxes::Show;
  // Yes/No questions (style 292) follow the constructor's policy.
  int Show(std::string_view text, int style, std::string_view caption) override;

  // Prints a Yes/No question and answers it by `policy`; `reason` (the flag
  // that decided, or a hint) is printed beside a decided answer.
  int Ask(std::string_view text, std::string_view caption, QuestionPolicy policy,
          std::string_view reason);

 private:
  void Print(std::string_view text, std::string_view caption);
  std::ostream& err_;
  std::istream& in_;
  QuestionPolicy policy_;
  TerminalProgress* progress_;
};

}  // namespace parone

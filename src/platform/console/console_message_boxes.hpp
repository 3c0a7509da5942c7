#pragma once
// Message boxes for the command line: the caption and text go to stderr; a
// Yes/No question is answered by the policy the caller chose (a flag, or the
// terminal when one is attached). Show blocks only while asking a terminal.

#include <iosfwd>

#include "platform/message_box.hpp"

namespace parone {

enum class QuestionPolicy { kAnswerYes, kAnswerNo, kAskTerminal };

class ConsoleMessageBoxes final : public MessageBoxes {
 public:
  // `in` is read only under kAskTerminal; an empty or unreadable answer is
  // No, the question's default button.
  ConsoleMessageBoxes(std::ostream& err, std::istream& in, QuestionPolicy policy);
  using MessageBoxes::Show;
  int Show(std::string_view text, int style, std::string_view caption) override;

 private:
  std::ostream& err_;
  std::istream& in_;
  QuestionPolicy policy_;
};

}  // namespace parone

// Console implementation of the MessageBoxes interface defined in platform/message_box.hpp.
#include "platform/console/console_message_boxes.hpp"

#include <istream>
#include <ostream>
#include <string>

namespace parone {
namespace {

// Message texts use CR LF between lines; a terminal wants plain LF.
std::string ForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

ConsoleMessageBoxes::ConsoleMessageBoxes(std::ostream& err, std::istream& in,
                                         QuestionPolicy policy)
    : err_(err), in_(in), policy_(policy) {}

int ConsoleMessageBoxes::Show(std::string_view text, int style, std::string_view caption) {
  err_ << "[" << caption << "] " << ForTerminal(text) << "\n";
  if (style != kStyleQuestionYesNo) {
    err_.flush();
    return kAnswerOk;
  }
  switch (policy_) {
    case QuestionPolicy::kAnswerYes:
      err_ << "-> Yes (--yes)\n";
      return kAnswerYes;
    case QuestionPolicy::kAnswerNo:
      err_ << "-> No\n";
      return kAnswerNo;
    case QuestionPolicy::kAskTerminal:
      break;
  }
  err_ << "[y/N] " << std::flush;
  std::string answer;
  if (!std::getline(in_, answer)) return kAnswerNo;
  return (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") ? kAnswerYes
                                                                                : kAnswerNo;
}

}  // namespace parone

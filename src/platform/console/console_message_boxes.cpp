// Console implementation of the MessageBoxes interface defined in platform/message_box.hpp.
#include "platform/console/console_message_boxes.hpp"

#include <istream>
#include <ostream>
#include <string>

#include "platform/console/terminal_progress.hpp"

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
                                         QuestionPolicy policy, TerminalProgress* progress)
    : err_(err), in_(in), policy_(policy), progress_(progress) {}

void ConsoleMessageBoxes::Print(std::string_view text, std::string_view caption) {
  if (progress_) progress_->Finish();
  err_ << "[" << caption << "] " << ForTerminal(text) << "\n";
}

int ConsoleMessageBoxes::Show(std::string_view text, int style, std::string_view caption) {
  if (style == kStyleQuestionYesNo) {
    return Ask(text, caption, policy_, policy_ == QuestionPolicy::kAnswerYes ? "--yes" : "");
  }
  Print(text, caption);
  err_.flush();
  return kAnswerOk;
}

int ConsoleMessageBoxes::Ask(std::string_view text, std::string_view caption,
                             QuestionPolicy policy, std::string_view reason) {
  Print(text, caption);
  const std::string why = reason.empty() ? "" : " (" + std::string(reason) + ")";
  switch (policy) {
    case QuestionPolicy::kAnswerYes:
      err_ << "-> Yes" << why << "\n" << std::flush;
      return kAnswerYes;
    case QuestionPolicy::kAnswerNo:
      err_ << "-> No" << why << "\n" << std::flush;
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

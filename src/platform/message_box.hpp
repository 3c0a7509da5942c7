#pragma once
// Modal message boxes. Show blocks until the user (or the front end's policy)
// has answered and returns the button pressed.

#include <string>
#include <string_view>

#include "common/system_config.hpp"

namespace parone {

// The styles the tool uses.
enum MessageStyle : int {
  kStyleOkOnly = 0,          // OK, no icon
  kStyleWarning = 48,        // OK with the exclamation icon
  kStyleQuestionYesNo = 292  // Yes/No, question icon, No is the default button
};

enum MessageAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual int Show(std::string_view text, int style, std::string_view caption) = 0;

  // Captioned with the application title.
  int Show(std::string_view text, int style) { return Show(text, style, kAppTitle); }
};

}  // namespace parone

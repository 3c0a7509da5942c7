#pragma once
// Records every box shown and answers questions from a script. It never
// blocks and never shows anything; a question with no scripted answer left
// gets No, the default button.

#include <deque>
#include <string>
#include <vector>

#include "platform/message_box.hpp"

namespace parone {

struct ShownBox {
  std::string text;
  int style = 0;
  std::string caption;
};

class RecordingMessageBoxes final : public MessageBoxes {
 public:
  using MessageBoxes::Show;
  int Show(std::string_view text, int style, std::string_view caption) override;

  void AnswerNextQuestion(int answer) { answers_.push_back(answer); }
  const std::vector<ShownBox>& shown() const { return shown_; }
  void Clear() { shown_.clear(); }

 private:
  std::vector<ShownBox> shown_;
  std::deque<int> answers_;
};

}  // namespace parone

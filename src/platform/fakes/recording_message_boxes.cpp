// Recording implementation of the MessageBoxes interface defined in platform/message_box.hpp.
#include "platform/fakes/recording_message_boxes.hpp"

namespace parone {

int RecordingMessageBoxes::Show(std::string_view text, int style, std::string_view caption) {
  shown_.push_back({std::string(text), style, std::string(caption)});
  if (style != kStyleQuestionYesNo) return kAnswerOk;
  if (answers_.empty()) return kAnswerNo;
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

}  // namespace parone

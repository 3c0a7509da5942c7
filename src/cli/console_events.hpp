#pragma once
// The run's events on a terminal (or a log): the version and messages as
// lines on stderr ("[caption] text"), the upload's progress as a terminal
// bar whose line every printed text first ends, and questions answered from
// the terminal when there is one, else No, the questions' default, with the
// flag that would have answered Yes named beside it.

#include <ostream>
#include <string>

#include "distribution/publish_events.hpp"
#include "platform/console/console_message_boxes.hpp"
#include "platform/console/terminal_progress.hpp"

namespace parone {

// The flag that answers the kind with Yes ("" for a kind no flag answers).
const char* FlagAnswering(QuestionKind kind);

class ConsoleEvents final : public PublishEvents {
 public:
  // `in` is read only when `askTerminal`; `drawProgress` when stderr is a terminal.
  ConsoleEvents(std::ostream& err, std::istream& in, bool askTerminal, bool drawProgress)
      : err_(err), progress_(err, drawProgress),
        boxes_(err, in, askTerminal ? QuestionPolicy::kAskTerminal : QuestionPolicy::kAnswerNo,
               &progress_),
        askTerminal_(askTerminal) {}

  void VersionShown(const std::string& caption) override {
    progress_.Finish();
    err_ << caption << "\n";
  }
  void Progress(std::uint64_t sent, std::uint64_t total) override { progress_.SetBytes(sent, total); }
  void Retrying(int attempt, int attempts, std::uint64_t offset) override {
    progress_.Finish();
    err_ << "재시도 " << attempt << "/" << attempts
         << (offset > 0 ? " (" + ByteCountText(static_cast<double>(offset)) + "부터 이어서)"
                        : std::string(" (처음부터)"))
         << "\n" << std::flush;
  }
  void WaitingShown(bool shown) override {
    if (!shown) return;
    progress_.Finish();
    err_ << "서명된 파일을 기다리는 중...\n" << std::flush;
  }
  void Show(const Message& message) override {
    boxes_.Show(message.text, message.style, message.caption);
  }
  bool Ask(const Question& question) override {
    if (askTerminal_) {
      return boxes_.Ask(question.text, kAppTitle, QuestionPolicy::kAskTerminal, "") == kAnswerYes;
    }
    // Nobody to ask: say which flag would have answered.
    const std::string flag = FlagAnswering(question.kind);
    return boxes_.Ask(question.text, kAppTitle, QuestionPolicy::kAnswerNo,
                      flag.empty() ? "" : flag + " answers Yes") == kAnswerYes;
  }
  void Answered(const Question& question, bool yes, const std::string& reason) override {
    boxes_.Ask(question.text, kAppTitle, yes ? QuestionPolicy::kAnswerYes : QuestionPolicy::kAnswerNo,
               reason);
  }
  void Notice(const std::string& text) override {
    progress_.Finish();
    err_ << text << "\n" << std::flush;
  }
  void FileFinished(const FileReport&) override {}
  void Pulse() override { progress_.Finish(); }

  TerminalProgress& progress() { return progress_; }

 private:
  std::ostream& err_;
  TerminalProgress progress_;
  ConsoleMessageBoxes boxes_;
  bool askTerminal_;
};

}  // namespace parone

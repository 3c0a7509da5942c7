#pragma once
// The run's events for tests: what the run reports is recorded; messages
// and questions go to a RecordingMessageBoxes, so they read as the boxes a
// window would show and questions take its scripted answers. It never shows
// anything and never blocks.

#include <string>
#include <utility>
#include <vector>

#include "distribution/file_report.hpp"
#include "distribution/publish_events.hpp"
#include "platform/fakes/recording_message_boxes.hpp"

namespace parone {

class RecordingEvents final : public PublishEvents {
 public:
  explicit RecordingEvents(RecordingMessageBoxes& boxes) : boxes_(boxes) {}

  void VersionShown(const std::string& caption) override { lblVer.push_back(caption); }
  void Progress(std::uint64_t sent, std::uint64_t total) override { progress.emplace_back(sent, total); }
  void WaitingShown(bool shown) override { waitingShown.push_back(shown); }
  void Retrying(int attempt, int attempts, std::uint64_t offset) override {
    retries.push_back({attempt, attempts, offset});
  }
  void Show(const Message& message) override { boxes_.Show(message.text, message.style, message.caption); }
  bool Ask(const Question& question) override {
    asked.push_back(question.kind);
    return boxes_.Show(question.text, kStyleQuestionYesNo) == kAnswerYes;
  }
  void Answered(const Question& question, bool yes, const std::string& reason) override {
    answered.push_back({question.kind, yes, reason});
  }
  void Notice(const std::string& text) override { notices.push_back(text); }
  void FileFinished(const FileReport& report) override { finished.push_back(report); }
  void Pulse() override { ++pulses; }

  struct PresetSeen {
    QuestionKind kind;
    bool yes;
    std::string reason;
  };
  std::vector<std::string> lblVer;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
  std::vector<bool> waitingShown;
  struct Retry {
    int attempt;
    int attempts;
    std::uint64_t offset;
  };
  std::vector<Retry> retries;
  std::vector<QuestionKind> asked;
  std::vector<PresetSeen> answered;
  std::vector<std::string> notices;
  std::vector<FileReport> finished;
  int pulses = 0;

 private:
  RecordingMessageBoxes& boxes_;
};

}  // namespace parone

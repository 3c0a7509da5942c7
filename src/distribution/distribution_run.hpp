#pragma once
// The run over a selection: the version pass (every file checked against the
// server, in order; a refusal ends everything), the signing pass when
// chkCodeSigning is exactly 1, and the upload pass, which always goes
// through every entry. Blocks the calling thread for the whole run.
//
// Empty entries of the selection (a doubled or trailing ";") take part in no
// pass; a selection of nothing else is refused like an empty one.
//
// A run asked to start while one is under way (the window yields during a
// run, so the button can be clicked again) does nothing. With several
// entries and close-after-sending ticked, every entry is still processed and
// the window closes once the run has ended, unless a publish was not
// confirmed over HTTP: its warning must stay in view.
//
// Every file the upload pass reaches is recorded in the publish journal,
// when one is given; a journal that cannot be written costs one notice per
// run and nothing else.

#include <string>
#include <vector>

#include "distribution/file_report.hpp"
#include "distribution/proc_upload.hpp"
#include "distribution/publish_journal.hpp"
#include "distribution/run_questions.hpp"

namespace parone {

// Hands the files to the code-signing service and waits until the signed
// copies are back in place. False ends the run before anything is uploaded.
class CodeSigningHandOff {
 public:
  virtual ~CodeSigningHandOff() = default;
  virtual bool CodeSigning(const std::vector<std::string>& paths) = 0;
  // Paths the last hand-off left out because their own step before signing
  // failed (reported there): never signed, so never to be uploaded.
  virtual std::vector<std::string> DroppedPaths() const { return {}; }
};

enum class RunStatus {
  kEmptySelection,  // "보낼파일을 선택하세요." was shown
  kDeclined,        // the user declined at a question of the version pass
  kSigningFailed,   // the hand-off returned false (or none is available)
  kCompleted,       // the upload pass went through every entry
  kAlreadyRunning,  // a nested start, ignored
  kAborted,         // an unexpected failure ended the run (reported)
};

struct RunOutcome {
  RunStatus status = RunStatus::kCompleted;
  std::vector<std::string> entries;     // the non-empty entries, in order
  std::vector<UploadOutcome> uploads;  // one per entry, when the upload pass ran
  std::vector<FileReport> reports{};   // one per entry, whatever happened
  bool AllPublished() const;
  // Every file published, some not confirmed over HTTP.
  bool AnyUnconfirmed() const;
};

inline constexpr const char* kRunClosing = ") in procedure cmdDistribute_Click of Form Form1";

// The selection text cut at every ";": nothing trimmed, empty entries kept.
std::vector<std::string> SplitSelection(const std::string& selection);

// The entries the passes work on: SplitSelection without the empty ones.
std::vector<std::string> SelectedPaths(const std::string& selection);

// The per-file steps the run drives; the workflow's own below, fakes in tests.
class DistributionSteps {
 public:
  virtual ~DistributionSteps() = default;
  // `found` receives what the check found.
  virtual bool CheckServerVersion(const std::string& path, ServerVersion& found) = 0;
  // `view` is the one to report through (the run defers closing the window).
  virtual UploadOutcome ProcUpload(const std::string& path, bool runUpx,
                                   DistributionView& view) = 0;
};

// `questions` answers what the version pass asks.
class WorkflowSteps final : public DistributionSteps {
 public:
  WorkflowSteps(DistributionContext& context, RunQuestions& questions)
      : context_(context), questions_(questions) {}
  bool CheckServerVersion(const std::string& path, ServerVersion& found) override;
  UploadOutcome ProcUpload(const std::string& path, bool runUpx, DistributionView& view) override;

 private:
  DistributionContext& context_;
  RunQuestions& questions_;
};

class DistributionRun {
 public:
  // `signing` may be null: a ticked signing option then says that no
  // hand-off is available and ends the run instead of uploading unsigned.
  // `journal` may be null: nothing is recorded.
  DistributionRun(DistributionView& view, MessageBoxes& boxes, DistributionSteps& steps,
                  CodeSigningHandOff* signing, PublishJournal* journal = nullptr)
      : view_(view), boxes_(boxes), steps_(steps), signing_(signing), journal_(journal) {}

  RunOutcome Run();
  bool running() const { return running_; }

 private:
  RunOutcome RunGuarded();
  void Record(const FileReport& report, bool& warned);
  DistributionView& view_;
  MessageBoxes& boxes_;
  DistributionSteps& steps_;
  CodeSigningHandOff* signing_;
  PublishJournal* journal_;
  bool running_ = false;
};

}  // namespace parone

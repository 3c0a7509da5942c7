#pragma once
// The run over a request's selection: the version pass (every file checked
// against the server, in order; a refusal ends everything), the signing pass
// when the request asks for it, and the upload pass, which always goes
// through every entry. Blocks the calling thread for the whole run and
// reports through the events port as it goes.
//
// A run asked to start while one is under way (a window processes its
// messages during a run, so the button can be pressed again) does nothing.
// With several entries and close-after-sending, every entry is still
// processed and the outcome asks the window to close once the run has
// ended, unless a publish was not confirmed over HTTP: its warning must stay
// in view.
//
// Every file's attempt is recorded in the publish journal, when one is
// given; a journal that cannot be written costs one notice per run and
// nothing else.
//
// A run the front end stops (PublishRequest::stop) ends at once: the
// transfer or wait under way is cut off, whatever the stopped file left on
// the server under its temporary names is removed and its published names
// stay as they were, nothing more is shown or asked, and no further file is
// begun. The file under way and those after it are reported (and
// journalled) as stopped, with an error of stage stopped; a file already
// published stays so, as does one whose renames had begun when the stop
// came: they finish, so that the pair is never half replaced.

#include <optional>
#include <string>
#include <vector>

#include "distribution/check_server_version.hpp"
#include "distribution/file_report.hpp"
#include "distribution/proc_upload.hpp"
#include "distribution/publish_journal.hpp"
#include "distribution/run_context.hpp"

namespace parone {

enum class RunStatus {
  kEmptySelection,  // "보낼파일을 선택하세요." was shown
  kInputError,      // a selected path names no file (said); nothing was asked or sent
  kDeclined,        // the user declined at a question of the version pass
  kSigningFailed,   // the code-signing hand-off gave up
  kCompleted,       // the upload pass went through every entry
  kAlreadyRunning,  // a nested start, ignored
  kAborted,         // an unexpected failure ended the run (reported)
  kStopped,         // the front end stopped the run
};

struct RunOutcome {
  RunStatus status = RunStatus::kCompleted;
  std::vector<std::string> entries;     // the request's entries, in order
  std::vector<UploadOutcome> uploads;  // one per entry, when the upload pass ran
  std::vector<FileReport> reports{};   // one per entry, whatever happened
  // A publish asked for the window to close (close-after-sending), and no
  // warning of the run must stay in view.
  bool closeWindow = false;
  bool AllPublished() const;
  // Every file published, some not confirmed over HTTP.
  bool AnyUnconfirmed() const;
};

// The selection text cut at every ";": nothing trimmed, empty entries kept.
std::vector<std::string> SplitSelection(const std::string& selection);

// The entries the passes work on: SplitSelection without the empty ones.
std::vector<std::string> SelectedPaths(const std::string& selection);

// What the code-signing pass did.
struct SigningOutcome {
  bool ok = false;                    // every file handed over is signed and back in place
  std::vector<std::string> dropped;  // files whose own step before signing failed (reported)
  std::optional<Error> error;        // why it gave up
};

// The per-file steps the run drives: the workflow's own (WorkflowSteps),
// fakes in tests.
class DistributionSteps {
 public:
  virtual ~DistributionSteps() = default;
  // `found` receives what the check found. False: declined.
  virtual bool CheckServerVersion(const RunContext& context, const std::string& path,
                                  ServerVersion& found) = 0;
  virtual SigningOutcome CodeSigning(const RunContext& context,
                                     const std::vector<std::string>& paths) = 0;
  // `seen`: what the version pass found for the file (null: nothing).
  virtual UploadOutcome ProcUpload(const RunContext& context, const std::string& path,
                                   bool runUpx, const ServerRecord* seen) = 0;
};

class WorkflowSteps final : public DistributionSteps {
 public:
  bool CheckServerVersion(const RunContext& context, const std::string& path,
                          ServerVersion& found) override;
  SigningOutcome CodeSigning(const RunContext& context, const std::vector<std::string>& paths) override;
  UploadOutcome ProcUpload(const RunContext& context, const std::string& path, bool runUpx,
                           const ServerRecord* seen) override;
};

class DistributionRun {
 public:
  // `steps` null: the workflow's own. `journal` null: nothing is recorded.
  // Everything given must outlive the run object.
  DistributionRun(PublishServices& services, PublishEvents& events,
                  PublishJournal* journal = nullptr, DistributionSteps* steps = nullptr)
      : services_(services), events_(events), journal_(journal),
        steps_(steps ? *steps : ownSteps_) {}

  RunOutcome Run(const PublishRequest& request);
  bool running() const { return running_; }

 private:
  RunOutcome RunGuarded(const RunContext& context);
  void Finish(const RunContext& context, FileReport& report, bool& warned);
  PublishServices& services_;
  PublishEvents& events_;
  PublishJournal* journal_;
  WorkflowSteps ownSteps_;
  DistributionSteps& steps_;
  bool running_ = false;
};

}  // namespace parone

#include "distribution/distribution_run.hpp"

#include <algorithm>
#include <new>

#include "common/tick_state.hpp"
#include "distribution/check_server_version.hpp"
#include "platform/error_report.hpp"

namespace parone {
namespace {

// Passes every control through but holds back closing the window until the
// whole upload pass is done, so later entries are not dropped.
class DeferredUnloadView final : public DistributionView {
 public:
  explicit DeferredUnloadView(DistributionView& inner) : inner_(inner) {}
  std::string cmbLocalFullPath() override { return inner_.cmbLocalFullPath(); }
  void FocusCmbLocalFullPath() override { inner_.FocusCmbLocalFullPath(); }
  int chkCodeSigning() override { return inner_.chkCodeSigning(); }
  void SetLblVer(const std::string& caption) override { inner_.SetLblVer(caption); }
  void SetLblWaitingVisible(bool visible) override { inner_.SetLblWaitingVisible(visible); }
  std::string Text1() override { return inner_.Text1(); }
  int ChkPassive() override { return inner_.ChkPassive(); }
  int chkSuccUnload() override { return inner_.chkSuccUnload(); }
  ProgressDisplay& ProgressBar1() override { return inner_.ProgressBar1(); }
  void Unload() override { unloadRequested_ = true; }
  void YieldToWindow() override { inner_.YieldToWindow(); }
  void Notice(const std::string& text) override { inner_.Notice(text); }
  std::intptr_t WindowHandle() override { return inner_.WindowHandle(); }
  bool unloadRequested() const { return unloadRequested_; }

 private:
  DistributionView& inner_;
  bool unloadRequested_ = false;
};

}  // namespace

bool WorkflowSteps::CheckServerVersion(const std::string& path, ServerVersion& found) {
  return parone::CheckServerVersion(context_, questions_, path, &found);
}

UploadOutcome WorkflowSteps::ProcUpload(const std::string& path, bool runUpx,
                                        DistributionView& view) {
  const DistributionContext& c = context_;
  DistributionContext withView{view,       c.boxes, c.files,    c.settings,
                               c.codePage, c.facts, c.launcher, c.config,
                               c.ftpTimeouts, c.urlTimeouts, c.confirmOverHttp};
  return parone::ProcUpload(withView, path, runUpx);
}

bool RunOutcome::AllPublished() const {
  if (status != RunStatus::kCompleted) return false;
  for (const UploadOutcome& u : uploads) {
    if (!u.published) return false;
  }
  return true;
}

bool RunOutcome::AnyUnconfirmed() const {
  return std::any_of(uploads.begin(), uploads.end(),
                     [](const UploadOutcome& u) { return u.Unconfirmed(); });
}

std::vector<std::string> SplitSelection(const std::string& selection) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (;;) {
    const auto cut = selection.find(';', start);
    entries.push_back(selection.substr(start, cut == std::string::npos ? cut : cut - start));
    if (cut == std::string::npos) break;
    start = cut + 1;
  }
  return entries;
}

std::vector<std::string> SelectedPaths(const std::string& selection) {
  std::vector<std::string> entries = SplitSelection(selection);
  std::erase(entries, std::string());
  return entries;
}

RunOutcome DistributionRun::Run() {
  if (running_) return {RunStatus::kAlreadyRunning, {}, {}};
  running_ = true;
  RunOutcome outcome;
  try {
    outcome = RunGuarded();
  } catch (const std::bad_alloc&) {
    ShowErrorReport(boxes_, errors::OutOfMemory(), kRunClosing);
    outcome.status = RunStatus::kAborted;
  } catch (const std::exception& e) {
    ShowErrorReport(boxes_, {440, e.what()}, kRunClosing);
    outcome.status = RunStatus::kAborted;
  }
  running_ = false;
  return outcome;
}

RunOutcome DistributionRun::RunGuarded() {
  DistributionView& view = view_;
  RunOutcome outcome;
  // An empty entry names no file: checked, it would meet a missing record
  // and ask a question about nothing; uploaded, it could only fail.
  outcome.entries = SelectedPaths(view.cmbLocalFullPath());
  if (outcome.entries.empty()) {
    boxes_.Show("보낼파일을 선택하세요.", kStyleOkOnly);
    view.FocusCmbLocalFullPath();
    outcome.status = RunStatus::kEmptySelection;
    return outcome;
  }
  // Failed unless a pass says otherwise: a run that ends early has
  // published nothing.
  for (const std::string& entry : outcome.entries) {
    outcome.reports.push_back({entry, std::nullopt, std::nullopt, PublishResult::kFailed});
  }

  for (FileReport& report : outcome.reports) {
    ServerVersion found;
    const bool goOn = steps_.CheckServerVersion(report.path, found);
    report.check = std::move(found);
    if (!goOn) {
      for (FileReport& r : outcome.reports) r.result = PublishResult::kDeclined;
      outcome.status = RunStatus::kDeclined;
      return outcome;
    }
  }

  bool signedBeforeUpload = false;
  if (IsTicked(view.chkCodeSigning())) {
    if (!signing_) {
      boxes_.Show("전자서명 기능을 사용할 수 없습니다. 파일을 올리지 않았습니다.",
                          kStyleWarning);
      outcome.status = RunStatus::kSigningFailed;
      return outcome;
    }
    if (!signing_->CodeSigning(outcome.entries)) {
      outcome.status = RunStatus::kSigningFailed;
      return outcome;
    }
    signedBeforeUpload = true;
  }

  // When the files were signed, the hand-off has already run UPX over them
  // (after signing it would break the signature), so the upload pass skips it.
  DeferredUnloadView deferred(view);
  const std::vector<std::string> dropped =
      signedBeforeUpload ? signing_->DroppedPaths() : std::vector<std::string>{};
  bool warned = false;
  for (FileReport& report : outcome.reports) {
    const std::string& entry = report.path;
    if (std::find(dropped.begin(), dropped.end(), entry) != dropped.end()) {
      // Its packer failed before signing (reported there), so it was never
      // signed: it fails like a failed upload and the next file goes on.
      boxes_.Show("배포 실패!!", kStyleOkOnly);
      outcome.uploads.push_back({});
    } else {
      outcome.uploads.push_back(steps_.ProcUpload(entry, !signedBeforeUpload, deferred));
    }
    report.upload = outcome.uploads.back();
    report.result = ResultOf(outcome.uploads.back());
    Record(report, warned);
  }
  outcome.status = RunStatus::kCompleted;
  if (deferred.unloadRequested() && !outcome.AnyUnconfirmed()) view.Unload();
  return outcome;
}

void DistributionRun::Record(const FileReport& report, bool& warned) {
  if (!journal_ || journal_->Append(report) || warned) return;
  warned = true;
  const std::string path = journal_->CurrentPath();
  view_.Notice("배포 기록을 남기지 못했습니다: " +
               (path.empty() ? std::string("기록할 사용자 폴더가 없습니다") : path));
}

}  // namespace parone

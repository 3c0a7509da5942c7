#include "distribution/distribution_run.hpp"

#include <algorithm>
#include <new>

#include "distribution/code_signing.hpp"
#include "distribution/failure_messages.hpp"

namespace parone {

bool WorkflowSteps::CheckServerVersion(const RunContext& context, const std::string& path,
                                       ServerVersion& found) {
  return parone::CheckServerVersion(context, path, &found);
}

SigningOutcome WorkflowSteps::CodeSigning(const RunContext& context,
                                          const std::vector<std::string>& paths) {
  PolicyWayOut wayOut(context);
  DropFolderSigning signing(context, wayOut);
  SigningOutcome outcome;
  outcome.ok = signing.CodeSigning(paths);
  outcome.dropped = signing.DroppedPaths();
  outcome.error = signing.lastError();
  return outcome;
}

UploadOutcome WorkflowSteps::ProcUpload(const RunContext& context, const std::string& path,
                                        bool runUpx, const ServerRecord* seen) {
  return parone::ProcUpload(context, path, runUpx, seen);
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

RunOutcome DistributionRun::Run(const PublishRequest& given) {
  if (running_) return {RunStatus::kAlreadyRunning, {}, {}};
  running_ = true;
  // Every wait of the run watches the stop: the transfers through their
  // time-outs, the sleeps and the packer through the context.
  PublishRequest request = given;
  request.ftpTimeouts.stop = given.stop;
  request.urlTimeouts.stop = given.stop;
  const RunContext context{request, services_, events_};
  RunOutcome outcome;
  try {
    outcome = RunGuarded(context);
  } catch (const std::bad_alloc&) {
    context.Show(ErrorReportMessage(Error{Stage::kInput, CodeKind::kRuntime, 7, "Out of memory"},
                                    kRunClosing));
    outcome.status = RunStatus::kAborted;
  } catch (const std::exception& e) {
    context.Show(
        ErrorReportMessage(Error{Stage::kInput, CodeKind::kRuntime, 440, e.what()}, kRunClosing));
    outcome.status = RunStatus::kAborted;
  }
  running_ = false;
  return outcome;
}

namespace {

Error StoppedError(const std::string& path) {
  return Error{Stage::kStopped, CodeKind::kNone, 0, "stopped by the user", path};
}

}  // namespace

RunOutcome DistributionRun::RunGuarded(const RunContext& context) {
  const PublishRequest& request = context.request;
  RunOutcome outcome;
  bool warned = false;  // the journal's notice is said once per run
  // Stopped: every file from `first` on was not finished, and is recorded
  // so.
  auto stoppedFrom = [&](std::size_t first) {
    for (std::size_t i = first; i < outcome.reports.size(); ++i) {
      FileReport& r = outcome.reports[i];
      r.result = PublishResult::kStopped;
      r.error = StoppedError(r.path);
      Finish(context, r, warned);
    }
    outcome.status = RunStatus::kStopped;
    return outcome;
  };
  // An empty entry names no file: checked, it would meet a missing record
  // and ask a question about nothing; uploaded, it could only fail.
  outcome.entries = request.entries;
  std::erase(outcome.entries, std::string());
  if (outcome.entries.empty()) {
    context.Show("보낼파일을 선택하세요.");
    outcome.status = RunStatus::kEmptySelection;
    return outcome;
  }
  // Failed unless a pass says otherwise: a run that ends early has
  // published nothing.
  for (const std::string& entry : outcome.entries) {
    outcome.reports.push_back({entry, std::nullopt, std::nullopt, PublishResult::kFailed});
  }

  // A path that names no file is said at once, before any question: asked
  // about its version first, the user would answer for a file that is not
  // there.
  std::string missing;
  for (FileReport& report : outcome.reports) {
    FileSystem& files = context.services.files;
    if (files.FileExists(report.path)) continue;
    const bool folder = files.FolderExists(report.path);
    report.error = Error{Stage::kInput, CodeKind::kNone, 0,
                         folder ? "a folder, not a file" : "no such file", report.path};
    missing += "\r\n" + report.path + (folder ? " (폴더)" : "");
  }
  if (!missing.empty()) {
    context.Show("배포할 파일이 없습니다. 아무것도 올리지 않았습니다.\r\n" + missing, kStyleWarning);
    for (FileReport& report : outcome.reports) {
      if (!report.error) {
        report.error = Error{Stage::kInput, CodeKind::kNone, 0,
                             "not sent: another selected path names no file", report.path};
      }
      Finish(context, report, warned);
    }
    outcome.status = RunStatus::kInputError;
    return outcome;
  }

  for (FileReport& report : outcome.reports) {
    ServerVersion found;
    const bool goOn = steps_.CheckServerVersion(context, report.path, found);
    report.check = std::move(found);
    if (context.stopped()) return stoppedFrom(0);
    if (!goOn) {
      // Every attempt is recorded, a declined one too: which file was asked
      // about is in its report.
      for (FileReport& r : outcome.reports) {
        r.result = PublishResult::kDeclined;
        Finish(context, r, warned);
      }
      outcome.status = RunStatus::kDeclined;
      return outcome;
    }
  }

  std::vector<std::string> dropped;
  if (request.sign) {
    SigningOutcome signing = steps_.CodeSigning(context, outcome.entries);
    if (context.stopped()) return stoppedFrom(0);
    if (!signing.ok) {
      for (FileReport& r : outcome.reports) {
        r.error = signing.error;
        Finish(context, r, warned);
      }
      outcome.status = RunStatus::kSigningFailed;
      return outcome;
    }
    dropped = std::move(signing.dropped);
  }

  // When the files were signed, the hand-off has already run UPX over them
  // (after signing it would break the signature), so the upload pass skips it.
  bool closeRequested = false;
  for (std::size_t i = 0; i < outcome.reports.size(); ++i) {
    FileReport& report = outcome.reports[i];
    const std::string& entry = report.path;
    if (std::find(dropped.begin(), dropped.end(), entry) != dropped.end()) {
      // Its packer failed before signing (reported there), so it was never
      // signed: it fails like a failed upload and the next file goes on.
      context.Show("배포 실패!!");
      UploadOutcome failed;
      failed.error = Error{Stage::kPacker, CodeKind::kNone, 0, "the packer failed before signing", entry};
      outcome.uploads.push_back(std::move(failed));
    } else {
      const ServerRecord* seen = report.check ? &report.check->record : nullptr;
      outcome.uploads.push_back(steps_.ProcUpload(context, entry, !request.sign, seen));
    }
    const UploadOutcome& upload = outcome.uploads.back();
    closeRequested = closeRequested || upload.closeRequested;
    report.upload = upload;
    report.result = ResultOf(upload);
    report.error = upload.error;
    // What the stop cut off is the stop's doing, not a failure of its own.
    if (context.stopped() && !upload.published) {
      report.result = PublishResult::kStopped;
      report.error = StoppedError(entry);
    }
    Finish(context, report, warned);
    if (context.stopped()) return stoppedFrom(i + 1);
  }
  outcome.status = RunStatus::kCompleted;
  outcome.closeWindow = closeRequested && !outcome.AnyUnconfirmed();
  return outcome;
}

void DistributionRun::Finish(const RunContext& context, FileReport& report, bool& warned) {
  context.events.FileFinished(report);
  if (!journal_ || journal_->Append(report) || warned) return;
  warned = true;
  const std::string path = journal_->CurrentPath();
  context.events.Notice("배포 기록을 남기지 못했습니다: " +
                        (path.empty() ? std::string("기록할 사용자 폴더가 없습니다") : path));
}

}  // namespace parone

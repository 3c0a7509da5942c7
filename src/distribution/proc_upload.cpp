#include "distribution/proc_upload.hpp"

#include <chrono>
#include <new>

#include "common/hex_text.hpp"
#include "common/path_names.hpp"
#include "distribution/failure_messages.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/ftp_account.hpp"
#include "distribution/recent_files.hpp"
#include "distribution/upx_step.hpp"
#include "fileutil/file_version.hpp"
#include "transfer/ftp_session.hpp"

namespace parone {
namespace {

// Said once per file on the console, never in a box: the publish worked,
// only without the protection of the temporary name.
constexpr const char* kStoredOverNotice =
    "FTP 계정에 이름 바꾸기 권한이 없어 임시 이름을 거치지 않고 배포 파일에 바로 덮어썼습니다.";

// The upload's progress as the run reports it.
class ProgressEvents final : public ProgressDisplay {
 public:
  explicit ProgressEvents(PublishEvents& events) : events_(events) {}
  void SetBytes(std::uint64_t sent, std::uint64_t total) override { events_.Progress(sent, total); }
  void Retrying(int attempt, int attempts, std::uint64_t offset) override {
    events_.Retrying(attempt, attempts, offset);
  }

 private:
  PublishEvents& events_;
};

std::string RecordText(const ServerRecord& record) {
  switch (record.kind) {
    case RecordKind::kBuild:
      return "빌드 " + BuildValueText(record.build);
    case RecordKind::kNoRecord:
      return "버전파일 없음";
    case RecordKind::kUnknown:
      break;
  }
  return "알 수 없음 (" + record.ReasonText() + ")";
}

// What is live after a publish of the pair failed, for the user.
std::string LiveText(const PairOutcome& pair, const std::string& finalPath) {
  switch (pair.live) {
    case LivePair::kNew:
    case LivePair::kOld:
      return "서버의 게시 파일은 바뀌지 않았습니다: 이전 파일과 버전파일이 그대로 있습니다.";
    case LivePair::kMixed:
      return "서버에는 새 파일과 이전 버전파일이 게시되어 있습니다.\r\n이전 파일: " +
             (pair.asideName.empty() ? pair.keptCopy : pair.asideName);
    case LivePair::kDamaged:
      return "서버의 게시 파일이 온전하지 않습니다: " + finalPath +
             "\r\n이전 파일은 이 컴퓨터의 " + pair.keptCopy + " 에 보관되어 있습니다.";
    case LivePair::kMissing:
      return "서버에 게시된 파일이 없습니다. 이전 파일은 " + pair.asideName + " 에 있습니다.";
    case LivePair::kUnknown:
      return "서버와의 연결이 끊겨 무엇이 게시되어 있는지 확인하지 못했습니다.\r\n이전 파일은 " +
             finalPath + " 또는 " + pair.asideName + " 에 있습니다.";
  }
  return "";
}

// Both files go to temporary names and are checked there before either
// published name changes. Then the lastver file is read again over FTP, the
// truth the publish replaces: if another publisher changed it since the
// version pass, nothing is renamed. Then the pair goes live as one
// transaction (FtpSession::PublishPair). Every failure is reported and
// recorded in `out`.
bool PublishBoth(const RunContext& c, FtpSession& ftp, ProgressDisplay& progress,
                 const std::string& path, const std::string& lastVerName,
                 const std::string& lastVerText, const ServerRecord* seen, UploadOutcome& out) {
  const std::string& remoteDir = c.request.config.remoteDir;
  auto fail = [&](const Error& error, const std::string& name, const std::string& conclusion) {
    c.Show(FtpUploadMessage(error, remoteDir + "/" + name));
    c.Show(conclusion);
    out.error = error;
    // Whatever went wrong with the lastver file is recorded as its stage.
    if (name == lastVerName && error.stage != Stage::kInput) out.error->stage = Stage::kLastVer;
    return false;
  };
  const std::string fileName = FileNameOf(path);
  auto program = ftp.StageFile(path, remoteDir, "", &progress);
  if (!program) return fail(program.error(), fileName, "배포 실패!!");
  out.size = program->size();
  out.sha256 = program->sha256();
  out.attempts = program->attempts();
  // The lastver bytes come from this run, not from the shared copy in temp/,
  // which another run of the tool may have rewritten meanwhile.
  auto lastVer = ftp.StageText(lastVerText, remoteDir, lastVerName);
  if (!lastVer) {
    ftp.Discard(*program);
    return fail(lastVer.error(), lastVerName, "배포 실패!!");
  }
  auto discardBoth = [&] {
    ftp.Discard(*program);
    ftp.Discard(*lastVer);
  };

  const std::string& livePath = lastVer->finalPath();
  auto live = ftp.connection().Retrieve(livePath, livePath.substr(livePath.rfind('/') + 1), 64 * 1024);
  if (!live) {
    discardBoth();
    return fail(live.error(), lastVerName, "배포 실패!!");
  }
  const ServerRecord now = RecordFromFile(*live);
  if (seen && seen->kind != RecordKind::kUnknown && !SameRecord(*seen, now)) {
    discardBoth();
    c.Show("다른 배포가 서버의 버전을 바꾸었습니다. 아무것도 바꾸지 않았습니다.\r\n\r\n" + fileName +
               "\r\n확인할 때: " + RecordText(*seen) + "\r\n지금 서버: " + RecordText(now),
           kStyleWarning);
    out.raced = true;
    out.error = Error{Stage::kLastVer, CodeKind::kNone, 0,
                      "another publisher changed the lastver file: now " +
                          (now.kind == RecordKind::kBuild ? "build " + BuildValueText(now.build)
                                                          : std::string("none")),
                      remoteDir + "/" + lastVerName};
    return false;
  }

  // A stop before the renames leaves both published names as they were;
  // once begun, the transaction finishes (kStopGraceMs), so that a stop never
  // leaves the pair half replaced.
  if (c.stopped()) {
    discardBoth();
    return fail(Error{Stage::kStopped, CodeKind::kNone, 0, "stopped by the user"}, fileName,
                "배포 실패!!");
  }
  // The replaced program file is kept on the server under the build it was,
  // for a rollback.
  HistoryPlan history;
  history.folder = HistoryFolderOf(remoteDir, fileName);
  history.name = HistoryFileName(
      fileName, now.kind == RecordKind::kBuild ? BuildValueText(now.build) : "unknown-" + RandomHex(6));
  const FtpConnection::FinishingAfterStop finishing(ftp.connection());
  const std::string keepFolder = LocalLastVerPath(c.services.facts, "");
  const PairOutcome pair = ftp.PublishPair(*program, *lastVer, *live,
                                           keepFolder.substr(0, keepFolder.size() - 1), &history);
  if (pair.ok()) {
    out.historyKept = pair.historyKept;
    if (pair.historyError && !c.state.historyNoticeGiven) {
      c.state.historyNoticeGiven = true;
      c.events.Notice("바뀐 이전 빌드를 서버에 보관하지 못했습니다 (" + pair.historyError->message +
                      "). 배포는 그대로 합니다.");
    }
    return true;
  }
  discardBoth();
  const bool lastVerFailed = pair.error->stage == Stage::kLastVer;
  const bool stranded = pair.live == LivePair::kMissing;
  const std::string finalPath = remoteDir + "/" + fileName;
  return fail(*pair.error, lastVerFailed ? lastVerName : fileName,
              std::string(lastVerFailed ? "버전파일 배포 실패!!" : "배포 실패!!") +
                  (stranded ? "" : "\r\n\r\n" + LiveText(pair, finalPath)));
}

UploadOutcome Upload(const RunContext& c, const std::string& path, bool runUpx,
                     const ServerRecord* seen) {
  const PublishServices& s = c.services;
  const PublishRequest& r = c.request;
  // The packer rewrites the file, so the version is read after it ran.
  if (runUpx) {
    if (auto packed = RunUpxStep(c, path); !packed) {
      c.Show("배포 실패!!");
      UploadOutcome out;
      out.error = packed.error();
      return out;
    }
  }
  FileVersionReader reader(s.files);
  UploadOutcome out;
  const VersionText version = reader.GetFileVerString(path, kTrue16);
  for (const Error& e : version.scanErrors) c.Show(ErrorReportMessage(e, kFileVerClosing));
  // A version that cannot be read was asked about in the version pass and
  // the user chose to go on: the reader's own "Error 13" box would only
  // repeat it in the words of a failure.
  out.versionText = version.text;
  out.build = BuildNumberOf(out.versionText);
  const std::string& build = out.build;
  const std::string lastVerName = BaseNameOf(path) + "_lastver.txt";
  const std::string lastVerPath = LocalLastVerPath(s.facts, lastVerName);
  const std::string lastVerText = build + "\r\n";

  // Written before any connection is made; a missing temp folder ends the
  // upload here. Replaced whole, so a run reading it never sees a part, and
  // never written through a link someone left there.
  if (!s.files.WriteFileAtomically(lastVerPath, lastVerText)) {
    const Error error{Stage::kLastVer, CodeKind::kRuntime, 76, "Path not found", lastVerPath};
    c.Show(ErrorReportMessage(error, kProcUploadClosing));
    out.error = error;
    return out;
  }

  FtpSession ftp(s.files, s.codePage, r.ftpTimeouts, &s.sleeper);
  if (const Status opened = ftp.FTP_Open(FtpEndpointOf(c)); !opened) {
    c.Show(FtpOpenMessage(opened.error()));
    out.error = opened.error();
    return out;
  }
  NoteFtpTls(c, ftp.connection());
  out.result = true;
  ProgressEvents progress(c.events);
  const auto start = std::chrono::steady_clock::now();
  out.published = PublishBoth(c, ftp, progress, path, lastVerName, lastVerText, seen, out);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (ftp.renameUnavailable()) c.events.Notice(kStoredOverNotice);
  ftp.FTP_Close();

  AddRecentFile(s.settings, path);
  if (!out.published) return out;
  if (r.confirmOverHttp) {
    // What the update clients will be handed: a wrong mapping from the FTP
    // folder to the web, a cache on the way or an old copy shows here, not
    // in the users' complaints.
    out.web = ConfirmOverHttp(r.config, s.codePage, s.files, r.urlTimeouts, path, FileNameOf(path),
                              lastVerName, lastVerText, out.size.value_or(0));
    if (!out.web->Confirmed()) {
      // The upload itself succeeded and stays; the window stays open so
      // the user sees this.
      out.error = out.web->AsError();
      c.Show(out.web->WarningText(), kStyleWarning);
      return out;
    }
  }
  if (r.closeAfterSending) {
    out.closeRequested = true;
  } else {
    c.Show("배포완료");
  }
  return out;
}

}  // namespace

std::string LocalLastVerPath(const ProcessFacts& facts, const std::string& lastVerName) {
  std::string folder = facts.OwnFolder();
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder + kPlatform.separator + "temp" + kPlatform.separator + lastVerName;
}

UploadOutcome ProcUpload(const RunContext& context, const std::string& path, bool runUpx,
                         const ServerRecord* seen) {
  Error error;
  try {
    return Upload(context, path, runUpx, seen);
  } catch (const std::bad_alloc&) {
    error = Error{Stage::kStore, CodeKind::kRuntime, 7, "Out of memory", path};
  } catch (const std::exception& e) {
    error = Error{Stage::kStore, CodeKind::kRuntime, 440, e.what(), path};
  }
  context.Show(ErrorReportMessage(error, kProcUploadClosing));
  UploadOutcome out;
  out.error = error;
  return out;
}

}  // namespace parone

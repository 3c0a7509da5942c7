#include "distribution/proc_upload.hpp"

#include <chrono>
#include <new>

#include "common/path_names.hpp"
#include "common/tick_state.hpp"
#include "distribution/recent_files.hpp"
#include "distribution/upx_step.hpp"
#include "fileutil/file_version.hpp"
#include "platform/error_report.hpp"

namespace parone {
namespace {

// Said once per file on the console, never in a box: the publish worked,
// only without the protection of the temporary name.
constexpr const char* kStoredOverNotice =
    "FTP 계정에 이름 바꾸기 권한이 없어 임시 이름을 거치지 않고 배포 파일에 바로 덮어썼습니다.";

// Both files go to temporary names and are checked there before either
// published name changes; then the program file is renamed in, then its
// lastver file, so the version the server records never runs ahead of the
// program file. Returns true when both are in place; every failure has been
// shown. The staged file's size and digest go into `out`.
bool PublishBoth(DistributionContext& c, FtpSession& ftp, const std::string& path,
                 const std::string& lastVerName, const std::string& lastVerText,
                 UploadOutcome& out) {
  auto program = ftp.StageFile(path, c.config.remoteDir, "", &c.view.ProgressBar1());
  if (!program) {
    c.boxes.Show("배포 실패!!", kStyleOkOnly);
    return false;
  }
  out.size = program->size();
  out.sha256 = program->sha256();
  // The lastver bytes come from this run, not from the shared copy in temp/,
  // which another run of the tool may have rewritten meanwhile.
  auto lastVer = ftp.StageText(lastVerText, c.config.remoteDir, lastVerName);
  if (!lastVer || !ftp.Publish(*program)) {
    // Nothing published: both names on the server are as they were.
    ftp.Discard(*program);
    if (lastVer) ftp.Discard(*lastVer);
    c.boxes.Show("배포 실패!!", kStyleOkOnly);
    return false;
  }
  if (!ftp.Publish(*lastVer)) {
    ftp.Discard(*lastVer);
    c.boxes.Show("버전파일 배포 실패!!", kStyleOkOnly);
    return false;
  }
  return true;
}

UploadOutcome Upload(DistributionContext& c, const std::string& path, bool runUpx) {
  // The packer rewrites the file, so the version is read after it ran.
  if (runUpx && !RunUpxStep(c, path)) {
    c.boxes.Show("배포 실패!!", kStyleOkOnly);
    return {};
  }
  FileVersionReader reader(c.files, c.boxes);
  UploadOutcome out;
  out.versionText = reader.GetFileVerString(path, kTrue16, kFalse16);
  out.build = BuildNumberOf(out.versionText);
  const std::string& build = out.build;
  const std::string lastVerName = BaseNameOf(path) + "_lastver.txt";
  const std::string lastVerPath = LocalLastVerPath(c.facts, lastVerName);
  const std::string lastVerText = build + "\r\n";

  // Written before any connection is made; a missing temp folder ends the
  // upload here. Replaced whole, so a run reading it never sees a part, and
  // never written through a link someone left there.
  if (!c.files.WriteFileAtomically(lastVerPath, lastVerText)) {
    ShowErrorReport(c.boxes, errors::PathNotFound(), kProcUploadClosing);
    return out;
  }

  FtpSession ftp(c.boxes, c.files, c.codePage, c.ftpTimeouts);
  if (!ftp.FTP_Open(c.config.ftpHost, c.config.ftpUser, c.config.ftpPassword, c.config.ftpPort,
                    c.view.ChkPassive())) {
    return out;
  }
  out.result = true;
  const auto start = std::chrono::steady_clock::now();
  out.published = PublishBoth(c, ftp, path, lastVerName, lastVerText, out);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (ftp.renameUnavailable()) c.view.Notice(kStoredOverNotice);
  ftp.FTP_Close();

  AddRecentFile(c.settings, path);
  if (!out.published) return out;
  if (c.confirmOverHttp) {
    // What the update clients will be handed: a wrong mapping from the FTP
    // folder to the web, a cache on the way or an old copy shows here, not
    // in the users' complaints.
    out.web = ConfirmOverHttp(c.config, c.codePage, c.urlTimeouts, FileNameOf(path), lastVerName,
                              lastVerText, out.size.value_or(0));
    if (!out.web->Confirmed()) {
      // The upload itself succeeded and stays; the window stays open so
      // the user sees this.
      c.boxes.Show(out.web->WarningText(), kStyleWarning);
      return out;
    }
  }
  if (IsTicked(c.view.chkSuccUnload())) {
    c.view.Unload();
  } else {
    c.boxes.Show("배포완료", kStyleOkOnly);
  }
  return out;
}

}  // namespace

std::string LocalLastVerPath(const ProcessFacts& facts, const std::string& lastVerName) {
  std::string folder = facts.OwnFolder();
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder + kPlatform.separator + "temp" + kPlatform.separator + lastVerName;
}

UploadOutcome ProcUpload(DistributionContext& context, const std::string& path, bool runUpx) {
  try {
    return Upload(context, path, runUpx);
  } catch (const std::bad_alloc&) {
    ShowErrorReport(context.boxes, errors::OutOfMemory(), kProcUploadClosing);
  } catch (const std::exception& e) {
    ShowErrorReport(context.boxes, {440, e.what()}, kProcUploadClosing);
  }
  return {};
}

}  // namespace parone

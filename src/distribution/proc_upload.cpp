#include "distribution/proc_upload.hpp"

#include <new>

#include "common/path_names.hpp"
#include "common/tick_state.hpp"
#include "distribution/recent_files.hpp"
#include "distribution/upx_step.hpp"
#include "fileutil/file_version.hpp"
#include "platform/error_report.hpp"

namespace parone {
namespace {

UploadOutcome Upload(DistributionContext& c, const std::string& path, bool runUpx) {
  FileVersionReader reader(c.files, c.boxes);
  const std::string build = BuildNumberOf(reader.GetFileVerString(path, kTrue16, kFalse16));
  const std::string lastVerName = BaseNameOf(path) + "_lastver.txt";
  const std::string lastVerPath = LocalLastVerPath(c.facts, lastVerName);

  if (runUpx) RunUpxStep(c, path);

  // Written before any connection is made; a missing temp folder ends the
  // upload here.
  if (!c.files.WriteFile(lastVerPath, build + "\r\n")) {
    ShowErrorReport(c.boxes, errors::PathNotFound(), kProcUploadClosing);
    return {};
  }

  FtpSession ftp(c.boxes, c.files, c.codePage, c.ftpTimeouts);
  if (!ftp.FTP_Open(c.config.ftpHost, c.config.ftpUser, c.config.ftpPassword, c.config.ftpPort,
                    c.view.ChkPassive())) {
    return {};
  }
  bool success = false;
  if (ftp.FTP_UPLoad(path, c.config.remoteDir, "", &c.view.ProgressBar1())) {
    if (ftp.FTP_UPLoad(lastVerPath, c.config.remoteDir, "", nullptr)) {
      success = true;
    } else {
      c.boxes.Show("버전파일 배포 실패!!", kStyleOkOnly);
    }
  } else {
    c.boxes.Show("배포 실패!!", kStyleOkOnly);
  }
  ftp.FTP_Close();

  AddRecentFile(c.settings, path);
  if (success) {
    if (IsTicked(c.view.chkSuccUnload())) {
      c.view.Unload();
    } else {
      c.boxes.Show("배포완료", kStyleOkOnly);
    }
  }
  return {true, success};
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

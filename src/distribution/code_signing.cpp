#include "distribution/code_signing.hpp"

#include <map>

#include "common/path_names.hpp"
#include "distribution/upx_step.hpp"
#include "fileutil/copy_file_checked.hpp"
#include "platform/error_report.hpp"

namespace parone {
namespace {

std::string FoldedAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

void DropFolderSigning::Report(const ErrorInfo& error) {
  ShowErrorReport(context_.boxes, error, kCodeSigningClosing);
}

bool DropFolderSigning::CodeSigning(const std::vector<std::string>& selection) {
  polls_ = 0;
  // Empty entries and files that do not exist take no part in any pass; a
  // path listed twice is handed over once.
  std::vector<std::string> paths;
  // The drop folders are shared by name; on the share, names differ only
  // when they differ beyond letter case.
  std::map<std::string, std::string> byName;
  for (const std::string& path : selection) {
    if (path.empty() || !context_.files.FileExists(path)) continue;
    const std::string name = FoldedAscii(FileNameOf(path));
    const auto [it, fresh] = byName.emplace(name, path);
    if (fresh) {
      paths.push_back(path);
    } else if (it->second != path) {
      context_.boxes.Show("같은 이름의 파일을 함께 서명할 수 없습니다. 한 번에 하나씩 배포하세요.\r\n\r\n" +
                              it->second + "\r\n" + path,
                          kStyleWarning);
      return false;
    }
  }

  DistributionView& view = context_.view;
  view.SetLblWaitingVisible(true);
  view.YieldToWindow();
  // UPX rewrites the file and would break a signature made before it, so it
  // runs now, and the upload pass leaves signed files alone.
  for (const std::string& path : paths) RunUpxStep(context_, path);
  const bool ok = Submit(paths) && WaitForSignedCopies(paths) && TakeBack(paths);
  view.SetLblWaitingVisible(false);
  return ok;
}

bool DropFolderSigning::Submit(const std::vector<std::string>& paths) {
  FileSystem& files = context_.files;
  for (const std::string& path : paths) {
    const std::string dropped = JoinPath(context_.config.unsignedDrop, FileNameOf(path));
    if (files.FileExists(dropped) && !files.DeleteFile(dropped)) {
      Report(errors::PermissionDenied());  // the copy below replaces it where it can
    }
    const bool copied = CopyFileChecked(files, context_.boxes, path, dropped,
                                        [&] { return wayOut_.RetryCopy(path, dropped); });
    if (!copied) return false;
  }
  return true;
}

bool DropFolderSigning::WaitForSignedCopies(const std::vector<std::string>& paths) {
  long waited = 0;
  for (;;) {
    ++polls_;
    bool all = true;
    if (!context_.files.FolderExists(context_.config.signedDrop)) {
      Report(errors::PathNotFound());  // at every poll, until the share is back
      all = false;
    } else {
      for (const std::string& path : paths) {
            if (!context_.files.FileExists(JoinPath(context_.config.signedDrop, FileNameOf(path)))) {
          all = false;
          break;
        }
      }
    }
    if (all) return true;
    if (!wayOut_.KeepWaiting(waited)) return false;
    sleeper_.SleepMs(pollMs_);
    waited += pollMs_;
  }
}

bool DropFolderSigning::TakeBack(const std::vector<std::string>& paths) {
  FileSystem& files = context_.files;
  bool allReplaced = true;
  for (const std::string& path : paths) {
    const std::string signedCopy = JoinPath(context_.config.signedDrop, FileNameOf(path));
    // The signed copy goes next to the local file first, then is renamed
    // over it: the local file is never missing and never half written.
    const std::string staged = path + ".signed-tmp";
    if (!files.CopyFileReplacing(signedCopy, staged)) {
      Report(errors::DeviceIo());
      files.DeleteFile(staged);
      allReplaced = false;
      continue;
    }
    if (!files.RenameReplacing(staged, path)) {
      Report(errors::PermissionDenied());
      files.DeleteFile(staged);
      allReplaced = false;
      continue;
    }
    if (!files.DeleteFile(signedCopy)) Report(errors::PermissionDenied());
  }
  // A file that kept its unsigned content must not be published as if it
  // had been signed.
  return allReplaced;
}

}  // namespace parone

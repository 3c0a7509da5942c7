#include "distribution/code_signing.hpp"

#include <algorithm>
#include <map>

#include "common/path_names.hpp"
#include "distribution/failure_messages.hpp"
#include "distribution/upx_step.hpp"
#include "fileutil/copy_file_checked.hpp"
#include "fileutil/program_file.hpp"
#include "platform/error_report.hpp"

namespace parone {
namespace {

std::string FoldedAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Empty when `copy` is a proper signed copy of a file whose FileVersion is
// `submitted`, else the reason, for the user.
std::string Rejection(const ProgramFileFacts& copy, const std::optional<std::string>& submitted) {
  if (!copy.readable) return "파일을 열 수 없습니다.";
  switch (copy.certificate) {
    case CertificateTable::kNotPe:
      return "프로그램 파일(PE)이 아닙니다. 비어 있거나 손상된 파일입니다.";
    case CertificateTable::kNone:
      return "전자서명이 없습니다.";
    case CertificateTable::kDamaged:
      return "서명 부분이 잘렸거나 손상되었습니다. 아직 쓰는 중이거나 잘린 파일입니다.";
    case CertificateTable::kPresent:
      break;
  }
  if (copy.fileVersion != submitted) {
    return "버전이 다릅니다: 보낸 파일 " + FileVersionForDisplay(submitted) + ", 서명된 파일 " +
           FileVersionForDisplay(copy.fileVersion) + ". 이전 배포에서 남은 파일일 수 있습니다.";
  }
  return {};
}

}  // namespace

bool PolicyWayOut::RetryCopy(const std::string& from, const std::string& to) {
  const int retries = c_.request.signing.copyRetries;
  if (retries < 0) {
    return c_.Ask(QuestionKind::kRetryCopy,
                  "파일을 복사하지 못했습니다. 다시 시도하시겠습니까?\r\n\r\n" + from + "\r\n-> " +
                      to + "\r\n\r\n(아니요: 배포를 중단합니다)");
  }
  if (copyRetries_++ >= retries) {
    c_.events.Notice("copying " + from + " to " + to + " keeps failing; giving up");
    return false;
  }
  return c_.Sleep(1000);
}

bool PolicyWayOut::KeepWaiting(long waitedMs) {
  if (c_.stopped()) return false;
  const SigningPolicy& p = c_.request.signing;
  if (p.timeoutMs && waitedMs >= *p.timeoutMs) {
    c_.events.Notice("no signed files after " + std::to_string(*p.timeoutMs / 1000) +
                     " s (--sign-timeout); nothing was uploaded");
    return false;
  }
  if (p.askEveryMs <= 0 || waitedMs == 0 || waitedMs % p.askEveryMs != 0) return true;
  return c_.Ask(QuestionKind::kKeepWaiting,
                "서명된 파일을 " + std::to_string(waitedMs / 60000) +
                    "분째 기다리고 있습니다. 계속 기다리시겠습니까?\r\n\r\n"
                    "(아니요: 배포를 중단합니다. 파일은 바뀌지 않습니다)");
}

// The last sleep ends on the deadline, so the last look is made there.
long PolicyWayOut::NextSleepMs(long waitedMs, long pollMs) {
  const SigningPolicy& p = c_.request.signing;
  return p.timeoutMs ? std::min(pollMs, *p.timeoutMs - waitedMs) : pollMs;
}

void DropFolderSigning::Report(const ErrorInfo& error) {
  context_.Show(ErrorReportMessage(
      Error{Stage::kSigning, CodeKind::kRuntime, error.number, error.description}, kCodeSigningClosing));
}

bool DropFolderSigning::Fail(std::string why) {
  if (!error_) error_ = Error{Stage::kSigning, CodeKind::kNone, 0, std::move(why)};
  return false;
}

bool DropFolderSigning::CodeSigning(const std::vector<std::string>& selection) {
  polls_ = 0;
  dropped_.clear();
  error_.reset();
  FileSystem& files = context_.services.files;
  const SystemConfig& config = context_.request.config;
  // Empty entries and files that do not exist take no part in any pass; a
  // path listed twice is handed over once.
  std::vector<std::string> paths;
  // The drop folders are shared by name; on the share, names differ only
  // when they differ beyond letter case.
  std::map<std::string, std::string> byName;
  for (const std::string& path : selection) {
    if (path.empty() || !files.FileExists(path)) continue;
    const std::string name = FoldedAscii(FileNameOf(path));
    const auto [it, fresh] = byName.emplace(name, path);
    if (fresh) {
      paths.push_back(path);
    } else if (it->second != path) {
      context_.Show("같은 이름의 파일을 함께 서명할 수 없습니다. 한 번에 하나씩 배포하세요.\r\n\r\n" +
                        it->second + "\r\n" + path,
                    kStyleWarning);
      return Fail("two files of the same name cannot be signed together");
    }
  }

  PublishEvents& events = context_.events;
  events.WaitingShown(true);
  events.Pulse();
  // UPX rewrites the file and would break a signature made before it, so it
  // runs now, and the upload pass leaves signed files alone. A file whose
  // packer failed stays out; the others go on.
  std::vector<Handed> handed;
  for (const std::string& path : paths) {
    if (!RunUpxStep(context_, path)) {
      dropped_.push_back(path);
      continue;
    }
    Handed item;
    item.path = path;
    item.unsignedCopy = JoinPath(config.unsignedDrop, FileNameOf(path));
    item.signedCopy = JoinPath(config.signedDrop, FileNameOf(path));
    item.fileVersion = InspectProgramFile(files, path).fileVersion;
    handed.push_back(std::move(item));
  }
  bool ok = true;
  if (!handed.empty()) {
    ok = Submit(handed) && WaitForSignedCopies(handed);
    if (!ok) {
      WithdrawUnsignedCopies(handed);
    } else {
      ok = TakeBack(handed);
    }
  }
  events.WaitingShown(false);
  return ok;
}

bool DropFolderSigning::Submit(std::vector<Handed>& handed) {
  FileSystem& files = context_.services.files;
  for (Handed& item : handed) {
    if (files.FileExists(item.unsignedCopy) && !files.DeleteFile(item.unsignedCopy)) {
      Report(errors::PermissionDenied());  // the copy below replaces it where it can
    }
    // Whatever lies there from now on is ours, a part of a failed copy too.
    item.submitted = true;
    const bool copied = CopyFileChecked(files, item.path, item.unsignedCopy, [&] {
      context_.Show("Error copying File");
      return wayOut_.RetryCopy(item.path, item.unsignedCopy);
    });
    if (!copied) return Fail("could not copy " + item.path + " to " + item.unsignedCopy);
  }
  return true;
}

bool DropFolderSigning::WaitForSignedCopies(std::vector<Handed>& handed) {
  long waited = 0;
  for (;;) {
    ++polls_;
    bool all = true;
    if (!context_.services.files.FolderExists(context_.request.config.signedDrop)) {
      Report(errors::PathNotFound());  // at every poll, until the share is back
      all = false;
    } else {
      // Every copy is looked at on every poll, so that each one's size is
      // known one poll later.
      for (Handed& item : handed) {
        if (!Arrived(item)) all = false;
      }
    }
    if (all) return true;
    if (!wayOut_.KeepWaiting(waited)) {
      return Fail("no signed copies after " + std::to_string(waited / 1000) + " s");
    }
    const long sleep = std::clamp(wayOut_.NextSleepMs(waited, pollMs_), 1L, pollMs_);
    context_.Sleep(sleep);
    waited += sleep;
  }
}

bool DropFolderSigning::Arrived(Handed& item) {
  FileSystem& files = context_.services.files;
  const std::optional<std::uint64_t> size = files.FileSize(item.signedCopy);
  const bool settled = size && size == item.lastSize;
  item.lastSize = size;
  if (!settled) return false;  // not there, or still being written

  const ProgramFileFacts copy = InspectProgramFile(files, item.signedCopy);
  // The service may still hold the file open; that is not a verdict yet.
  if (!copy.readable) return false;
  const std::string reason = Rejection(copy, item.fileVersion);
  if (reason.empty()) return true;
  const std::string seen = std::to_string(*size) + " " + reason;
  if (seen != item.lastRejection) {
    item.lastRejection = seen;
    context_.Show("서명된 파일로 받을 수 없습니다: " + item.signedCopy + "\r\n" + reason +
                      "\r\n\r\n제대로 서명된 파일을 계속 기다립니다.",
                  kStyleWarning);
  }
  return false;
}

bool DropFolderSigning::TakeBack(std::vector<Handed>& handed) {
  FileSystem& files = context_.services.files;
  bool allReplaced = true;
  for (const Handed& item : handed) {
    // The signed copy goes next to the local file first, then is renamed
    // over it: the local file is never missing and never half written.
    const std::string staged = item.path + ".signed-tmp";
    if (!files.CopyFileReplacing(item.signedCopy, staged)) {
      Report(errors::DeviceIo());
      files.DeleteFile(staged);
      allReplaced = false;
      continue;
    }
    // What was checked in the signed folder may have been replaced since;
    // what goes in place of the local file is what counts.
    const std::string reason =
        Rejection(InspectProgramFile(files, staged), item.fileVersion);
    if (!reason.empty()) {
      context_.Show("서명된 파일로 받을 수 없습니다: " + item.signedCopy + "\r\n" + reason +
                        "\r\n\r\n" + item.path + " 파일은 바꾸지 않았습니다.",
                    kStyleWarning);
      files.DeleteFile(staged);
      allReplaced = false;
      continue;
    }
    if (!files.RenameReplacing(staged, item.path)) {
      Report(errors::PermissionDenied());
      files.DeleteFile(staged);
      allReplaced = false;
      continue;
    }
    if (!files.DeleteFile(item.signedCopy)) Report(errors::PermissionDenied());
  }
  // A file that kept its unsigned content must not be published as if it
  // had been signed.
  return allReplaced || Fail("a signed copy could not be put in place of its file");
}

void DropFolderSigning::WithdrawUnsignedCopies(const std::vector<Handed>& handed) {
  FileSystem& files = context_.services.files;
  for (const Handed& item : handed) {
    if (item.submitted && files.FileExists(item.unsignedCopy) &&
        !files.DeleteFile(item.unsignedCopy)) {
      Report(errors::PermissionDenied());
    }
  }
}

}  // namespace parone

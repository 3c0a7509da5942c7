#include "transfer/ftp_session.hpp"

#include <cstring>

#include <cstdint>

#include "common/path_names.hpp"
#include "transfer/ftp_names.hpp"
#include "transfer/ftp_store.hpp"

namespace parone {

using ftp_detail::MemoryFile;
using ftp_detail::RenameError;
using ftp_detail::ShortName;
using ftp_detail::Stranded;

FtpStagedFile::FtpStagedFile(FtpStagedFile&&) noexcept = default;
FtpStagedFile& FtpStagedFile::operator=(FtpStagedFile&&) noexcept = default;
FtpStagedFile::~FtpStagedFile() = default;

FtpSession::FtpSession(FileSystem& files, const CodePage& codePage, FtpTimeouts timeouts,
                       Sleeper* sleeper)
    : files_(files), codePage_(codePage), timeouts_(timeouts), sleeper_(sleeper),
      connection_(codePage, timeouts) {}

FtpSession::~FtpSession() { FTP_Close(); }

bool FtpSession::isOpen() const { return connection_.isOpen(); }
bool FtpSession::connectionLost() const { return connection_.lost(); }
bool FtpSession::renameUnavailable() const { return cannotRename_; }

Status FtpSession::FTP_Open(const FtpEndpoint& endpoint) {
  cannotRename_ = false;
  return connection_.Open(endpoint);
}

void FtpSession::FTP_Close() { connection_.Close(); }

Result<std::pair<std::string, std::string>> FtpSession::RemoteNames(const std::string& remoteDir,
                                                                    const std::string& name) const {
  const auto dirBytes = codePage_.FromUtf8(remoteDir);
  const auto nameBytes = codePage_.FromUtf8(name);
  if (!dirBytes || !nameBytes) {
    return Error{Stage::kInput, CodeKind::kNone, kFtpNotInCodePage,
                 "the remote path cannot be written in code page 949", remoteDir + "/" + name};
  }
  if (HasControlCharacter(*dirBytes) || HasControlCharacter(*nameBytes)) {
    return Error{Stage::kInput, CodeKind::kNone, kFtpControlCharacter,
                 "the remote path holds a control character", remoteDir + "/" + name};
  }
  return std::make_pair(*dirBytes, *nameBytes);
}

Result<FtpStagedFile> FtpSession::Stage(std::unique_ptr<RandomAccessFile> file,
                                        const std::string& folder, const std::string& name,
                                        ProgressDisplay* progress) {
  FtpStagedFile staged;
  staged.folder_ = folder;
  staged.finalName_ = name;
  const std::string shortName = ShortName(".part");
  staged.temporaryPath_ = folder + "/" + shortName;
  staged.finalPath_ = folder + "/" + name;
  staged.size_ = file->Size();
  staged.progress_ = progress;
  staged.source_ = std::move(file);
  // A build of hundreds of megabytes is not lost to one dropped connection:
  // a transient failure is tried again a few times, resumed where possible;
  // a refusal is final at once.
  // A connection already lost before this store is not brought back here:
  // whatever stalled it may stall again.
  const std::size_t retries = connection_.lost() ? 0 : timeouts_.retryDelaysMs.size();
  std::uint64_t offset = 0;
  Result<StoredBytes> stored = Error{};
  for (std::size_t attempt = 0;; ++attempt) {
    staged.attempts_ = static_cast<int>(attempt) + 1;
    stored = StoreFile(connection_, *staged.source_, staged.temporaryPath_, progress, true, offset);
    if (stored || !IsTransient(stored.error()) || attempt == retries) break;
    if (sleeper_) sleeper_->SleepMs(timeouts_.retryDelaysMs[attempt]);
    if (connection_.lost() || !connection_.Send({"NOOP"})[0].positive()) {
      if (!connection_.Reopen()) continue;  // counts as an attempt: the next try reopens again
    }
    offset = 0;
    if (connection_.ResumesUploads()) {
      const auto held = connection_.SizeOf(staged.temporaryPath_, shortName);
      if (held && *held <= staged.size_) offset = *held;
    }
    if (progress) progress->Retrying(static_cast<int>(attempt) + 1, static_cast<int>(retries), offset);
  }
  if (!stored) {
    connection_.Remove(staged.temporaryPath_);
    return stored.error();
  }
  staged.sha256_ = stored->sha256;
  // A 226 only says the server took the data; a full disk or a quota may
  // have kept less.
  const auto held = connection_.SizeOf(staged.temporaryPath_, shortName);
  if (!held || *held != staged.size_) {
    Error error = held ? Error{Stage::kSizeCheck, CodeKind::kNone, 0,
                               "the server holds " + std::to_string(*held) + " bytes of " +
                                   std::to_string(staged.size_) + " sent",
                               codePage_.ToUtf8(staged.temporaryPath_)}
                       : held.error();
    connection_.Remove(staged.temporaryPath_);
    return error;
  }
  staged.pending_ = true;
  return staged;
}

Result<FtpStagedFile> FtpSession::StageFile(const std::string& localPath,
                                            const std::string& remoteDir,
                                            const std::string& remoteName,
                                            ProgressDisplay* progress) {
  std::string name = remoteName;
  if (name.empty()) {
    if (LastSeparator(localPath) == std::string::npos) {
      return Error{Stage::kInput, CodeKind::kNone, kFtpNoFileName,
                   "no file name in the local path", localPath};
    }
    name = FileNameOf(localPath);
  }
  if (!isOpen()) {
    return Error{Stage::kInput, CodeKind::kRuntime, 5, "Invalid procedure call or argument", localPath};
  }
  // The local file is opened before anything happens on the server, so a
  // file that cannot be read never disturbs what is published.
  auto file = files_.OpenForReading(localPath);
  if (!file) {
    return files_.FileExists(localPath)
               ? Error{Stage::kInput, CodeKind::kRuntime, 70, "Permission denied", localPath}
               : Error{Stage::kInput, CodeKind::kRuntime, 53, "File not found", localPath};
  }
  const auto names = RemoteNames(remoteDir, name);
  if (!names) return names.error();
  return Stage(std::move(file), names->first, names->second, progress);
}

Result<FtpStagedFile> FtpSession::StageText(const std::string& bytes, const std::string& remoteDir,
                                            const std::string& remoteName) {
  if (remoteName.empty()) {
    return Error{Stage::kInput, CodeKind::kNone, kFtpNoFileName, "no remote name", remoteDir};
  }
  if (!isOpen()) {
    return Error{Stage::kInput, CodeKind::kRuntime, 5, "Invalid procedure call or argument", remoteName};
  }
  const auto names = RemoteNames(remoteDir, remoteName);
  if (!names) return names.error();
  return Stage(std::make_unique<MemoryFile>(bytes), names->first, names->second, nullptr);
}

// The staged file in place of the final one, which has a whole file under it
// at every moment but the one between two renames. A refusal of both the
// rename and the move-aside comes back as stage rename with code 0 and
// kind none: this server cannot rename at all.
Status FtpSession::Replace(const FtpStagedFile& staged) {
  const std::string& temp = staged.temporaryPath_;
  const std::string& final = staged.finalPath_;
  FtpReply reply;
  switch (connection_.Rename(temp, final, &reply)) {
    case RenameOutcome::kDone:
      return {};
    case RenameOutcome::kLost:
      return RenameError(reply, codePage_.ToUtf8(final));
    case RenameOutcome::kRefused:
      break;
  }
  // Servers that will not rename over an existing name: move the old file
  // out of the way, not delete it, until the new one is in.
  const std::string aside = staged.folder_ + "/" + ShortName(".old");
  FtpReply asideReply;
  switch (connection_.Rename(final, aside, &asideReply)) {
    case RenameOutcome::kDone:
      break;
    case RenameOutcome::kLost:
      return RenameError(asideReply, codePage_.ToUtf8(final));
    case RenameOutcome::kRefused:
      return Error{Stage::kRename, CodeKind::kNone, 0, "the server refuses every rename",
                   codePage_.ToUtf8(final)};
  }
  FtpReply inReply;
  switch (connection_.Rename(temp, final, &inReply)) {
    case RenameOutcome::kDone:
      connection_.Remove(aside);  // a leftover copy of the old file is harmless
      return {};
    case RenameOutcome::kRefused:
      if (connection_.Rename(aside, final) != RenameOutcome::kDone) return Stranded(aside, codePage_);
      return RenameError(inReply, codePage_.ToUtf8(final));
    case RenameOutcome::kLost:
      return Stranded(aside, codePage_);
  }
  return RenameError(inReply, codePage_.ToUtf8(final));
}

Status FtpSession::Publish(FtpStagedFile& staged) {
  if (!staged.pending_ || !connection_.isOpen() || connection_.lost()) {
    return Error{Stage::kRename, CodeKind::kNone, kFtpNotStaged, "nothing staged to publish",
                 codePage_.ToUtf8(staged.finalPath_)};
  }
  if (!cannotRename_) {
    const Status replaced = Replace(staged);
    if (replaced) {
      staged.pending_ = false;
      return {};
    }
    const Error& e = replaced.error();
    const bool cannotRename = e.stage == Stage::kRename && e.kind == CodeKind::kNone && e.code == 0;
    if (!cannotRename) return replaced;
    cannotRename_ = true;
  }
  // An account that may not rename: what remains is to store over the
  // published name, as a plain upload does, and check what arrived.
  auto stored = StoreFile(connection_, *staged.source_, staged.finalPath_, staged.progress_, false);
  if (!stored) return stored.error();
  const auto held = connection_.SizeOf(staged.finalPath_, staged.finalName_);
  if (!held) return held.error();
  if (*held != staged.size_) {
    return Error{Stage::kSizeCheck, CodeKind::kNone, 0,
                 "the server holds " + std::to_string(*held) + " bytes of " +
                     std::to_string(staged.size_) + " sent",
                 codePage_.ToUtf8(staged.finalPath_)};
  }
  connection_.Remove(staged.temporaryPath_);
  staged.pending_ = false;
  return {};
}

void FtpSession::Discard(FtpStagedFile& staged) {
  if (!staged.pending_) return;
  connection_.Remove(staged.temporaryPath_);
  staged.pending_ = false;
}

Status FtpSession::FTP_UPLoad(const std::string& localPath, const std::string& remoteDir,
                              const std::string& remoteName, ProgressDisplay* progress) {
  auto staged = StageFile(localPath, remoteDir, remoteName, progress);
  if (!staged) return staged.error();
  const Status published = Publish(*staged);
  if (!published) Discard(*staged);
  return published;
}

}  // namespace parone

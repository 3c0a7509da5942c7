#pragma once
// The publish policy on one logged-in FTP session: what the update clients
// read is never a part of a file. Publishing one file goes in three steps:
//   stage    store the file under a short temporary name in the remote folder
//            and check that the server holds all of its bytes;
//   publish  rename it over the final name (moving the old file aside first
//            where the server will not rename over it, and back on failure);
//   discard  remove a staged file that is not to be published.
// FTP_UPLoad does all three for one file. Every call blocks until the server
// has answered (bounded by the connection's time-outs); nothing is shown:
// failures come back as Error values (see ftp_connection.hpp, ftp_store.hpp
// and FtpCheck below).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/error.hpp"
#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "platform/progress_display.hpp"
#include "platform/sleeper.hpp"
#include "transfer/ftp_connection.hpp"

namespace parone {

// `Error::code` of a CodeKind::kNone error from this module: which of its
// own checks failed.
enum FtpCheck : long {
  kFtpNoFileName = 1,       // stage input: no remote name, and none in the local path
  kFtpNotInCodePage = 2,    // stage input: the remote path cannot travel in code page 949
  kFtpControlCharacter = 3, // stage input: the remote path would end a command line early
  kFtpOldFileAside = 4,     // stage rename: the published file is left under `subject` only
  kFtpNotStaged = 5,        // stage rename: nothing staged to publish (or the connection is gone)
  kFtpCannotKeep = 6,       // stage store: the live file could not be kept before storing over it
};

// What is live under the published names after PublishPair.
enum class LivePair {
  kNew,      // the new program file and its lastver file
  kOld,      // the old pair, as before (or nothing, where nothing was there)
  kMixed,    // the new program file with the old lastver file
  kDamaged,  // the program file under its name is not whole (see keptCopy)
  kMissing,  // no program file under its name (see asideName)
  kUnknown,  // the connection was lost in the middle: the old file is under its name or asideName
};

// Where a replaced program file is kept instead of being deleted: a folder
// beside the published files and the name it gets there (UTF-8, remote).
struct HistoryPlan {
  std::string folder;    // e.g. "public_html/download/자동업데이트_v1/.history/Tool.Setup.exe"
  std::string name;      // e.g. "34.exe": the replaced build and the file's extension
  std::size_t keep = 3;  // how many are kept there: the highest builds
};

struct PairOutcome {
  LivePair live = LivePair::kOld;
  std::optional<Error> error;  // why the new pair is not live
  std::string asideName;       // the old program file's remote name, where it is not back (UTF-8)
  std::string keptCopy;        // the local copy of the old program file, where the server's is lost
  bool historyKept = false;    // the replaced program file went into the history folder
  std::optional<Error> historyError;  // why it could not (it was deleted as before)
  bool ok() const { return !error; }
};

// A file held on the server under its temporary name, with all its bytes,
// waiting to be published or discarded on the session that staged it. It
// keeps its source open: a server that cannot rename gets the file stored
// again, straight over its final name.
class FtpStagedFile {
 public:
  FtpStagedFile(FtpStagedFile&&) noexcept;
  FtpStagedFile& operator=(FtpStagedFile&&) noexcept;
  ~FtpStagedFile();

  // Remote paths as sent to the server (code page bytes).
  const std::string& temporaryPath() const { return temporaryPath_; }
  const std::string& finalPath() const { return finalPath_; }
  std::uint64_t size() const { return size_; }
  // SHA-256 of the bytes sent to the temporary name, as they were handed to
  // the connection (lowercase hex; "" where the crypto library failed).
  const std::string& sha256() const { return sha256_; }
  // The temporary file is (as far as this session knows) still on the server.
  bool pending() const { return pending_; }
  // How many times its store was begun (1 without a retry).
  int attempts() const { return attempts_; }

 private:
  friend class FtpSession;
  FtpStagedFile() = default;
  std::unique_ptr<RandomAccessFile> source_;
  ProgressDisplay* progress_ = nullptr;
  std::string folder_;  // the remote folder and final name, in the server's code page
  std::string finalName_;
  std::string temporaryPath_;
  std::string finalPath_;
  std::uint64_t size_ = 0;
  std::string sha256_;
  bool pending_ = false;
  int attempts_ = 0;
};

class FtpSession {
 public:
  // `sleeper` waits between the attempts of a store that failed on the way
  // (FtpTimeouts::retryDelaysMs); null: no waiting.
  FtpSession(FileSystem& files, const CodePage& codePage, FtpTimeouts timeouts = {},
             Sleeper* sleeper = nullptr);
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // Connects and logs in (stage connect or login on failure).
  Status FTP_Open(const FtpEndpoint& endpoint);

  // Stores the local file as remoteDir + "/" + remoteName (relative to the
  // login folder; an empty remote name takes the local file name),
  // reporting its progress to `progress` when given: stage, then publish; a
  // failure leaves the published file as it was (except where the server
  // cannot rename, see Publish) and removes the temporary one.
  Status FTP_UPLoad(const std::string& localPath, const std::string& remoteDir,
                    const std::string& remoteName, ProgressDisplay* progress);

  // Uploads the local file to a temporary name beside remoteDir/remoteName
  // (empty remote name: the local file name) and checks its size on the
  // server (SIZE, or a listing of that one name where SIZE is missing). A
  // transient failure on the way (see IsTransient) is tried again after each
  // of the timeouts' retry delays, on a new connection where the old one is
  // gone, resuming where the server holds part of the file and lists
  // REST STREAM, else from the start; `progress` hears of each retry. On
  // failure the temporary file is already removed (unless the connection
  // died). A local file that cannot be opened is stage input, run-time
  // error 53 or 70. `progress` must outlive the staged file.
  Result<FtpStagedFile> StageFile(const std::string& localPath, const std::string& remoteDir,
                                  const std::string& remoteName, ProgressDisplay* progress);
  // The same for bytes held in memory, stored as remoteDir/remoteName.
  Result<FtpStagedFile> StageText(const std::string& bytes, const std::string& remoteDir,
                                  const std::string& remoteName);

  // Renames the staged file over its final name. Where the server refuses,
  // the old file is renamed aside, the staged one renamed in, and only then
  // the old one deleted (put back under its name if the second rename
  // fails; if that fails too, the error is kFtpOldFileAside naming the
  // aside path). A server that refuses the first rename and the move-aside
  // as well cannot rename at all: the file is then stored straight over the
  // final name and its size checked (renameUnavailable() turns true, and
  // later publishes on this session go that way at once). On failure the
  // staged file is still pending (call Discard).
  Status Publish(FtpStagedFile& staged);

  // Puts a staged program file and its staged lastver file live as one
  // transaction: the old program file is moved aside (never deleted) until
  // the new lastver file is in place; if the lastver file cannot be put in
  // place, the old program file comes back and the old lastver stays, so the
  // live pair is old or new, never half. The lastver file is small and its
  // old text is known (`oldLastVer`, nullopt: there was none): where it
  // cannot be renamed in either way it is stored straight, and put back the
  // same way. An account that may not rename gets both stored straight over
  // their names, after the live program file was kept (downloaded) into
  // `keepFolder`, from where it is stored back if the new one does not
  // arrive whole. The outcome says what is live when it failed.
  // With `history`, a replaced program file is moved there instead of being
  // deleted once the new pair is live, and the folder pruned to the plan's
  // number of files; where that cannot be done (no folders, no renames) it
  // is deleted and the outcome says why.
  PairOutcome PublishPair(FtpStagedFile& program, FtpStagedFile& lastVer,
                          const std::optional<std::string>& oldLastVer,
                          const std::string& keepFolder, const HistoryPlan* history = nullptr);

  // Puts a staged lastver file over its name: renamed over it, or the old
  // one moved aside and the new one renamed in, or, where the server renames
  // neither way, stored straight. `oldLastVer` is the text it replaces
  // (nullopt: there was none). On failure the old lastver file is live
  // again (or none, where there was none) and the staged one still pending,
  // unless the error's message says the old text could not be stored back.
  Status PlaceLastVer(FtpStagedFile& lastVer, const std::optional<std::string>& oldLastVer);

  // Moves the file at `aside` (code page bytes) into the plan's history
  // folder under the plan's name, making the folder where missing and
  // replacing a file of that name there, then keeps only the plan's number
  // of the highest builds. On failure `aside` is where it was.
  Status KeepInHistory(const std::string& aside, const HistoryPlan& plan);

  // Removes a pending staged file from the server; quietly, since a
  // leftover temporary file harms nothing that is published. Does nothing
  // once the connection is lost.
  void Discard(FtpStagedFile& staged);

  void FTP_Close();

  bool isOpen() const;
  // A time-out ended the connection; nothing more is sent.
  bool connectionLost() const;
  // The server refused every rename: files went straight over their names.
  bool renameUnavailable() const;
  FtpConnection& connection() { return connection_; }

 private:
  Result<FtpStagedFile> Stage(std::unique_ptr<RandomAccessFile> file, const std::string& folder,
                              const std::string& name, ProgressDisplay* progress);
  Result<std::pair<std::string, std::string>> RemoteNames(const std::string& remoteDir,
                                                          const std::string& name) const;
  Status Replace(const FtpStagedFile& staged);
  Status StoreOver(RandomAccessFile& source, const std::string& path, const std::string& name,
                   ProgressDisplay* progress);
  PairOutcome StoreStraightPair(FtpStagedFile& program, FtpStagedFile& lastVer,
                                const std::optional<std::string>& oldLastVer,
                                const std::string& keepFolder);

  FileSystem& files_;
  const CodePage& codePage_;
  FtpTimeouts timeouts_;
  Sleeper* sleeper_;
  FtpConnection connection_;
  bool cannotRename_ = false;
};

}  // namespace parone

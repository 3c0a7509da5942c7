#pragma once
// The tool's FTP client: one logged-in session at a time, reused by every
// upload until it is closed. Built on libcurl. Every call blocks the caller
// until the server has answered (bounded by the time-outs below); failures
// are shown in this module's own message boxes and the caller gets false.
//
// Publishing goes in three steps, so that what the update clients read is
// never a part of a file:
//   stage    store the file under a short temporary name in the remote folder
//            and check that the server holds all of its bytes;
//   publish  rename it over the final name (moving the old file aside first
//            where the server will not rename over it, and back on failure);
//   discard  remove a staged file that is not to be published.
// FTP_UPLoad does all three for one file.
//
// After a time-out the connection counts as dead: nothing more is sent on
// the session (no clean-up either) and every later call fails at once.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "platform/message_box.hpp"
#include "platform/progress_display.hpp"

namespace parone {

struct FtpTimeouts {
  long connectSeconds = 15;  // TCP connect, and the server's connect-back in active mode
  long stallSeconds = 60;    // no progress, or no reply, for this long fails the transfer
};

inline constexpr std::size_t kFtpBlockSize = 1024;

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
};

class FtpSession {
 public:
  FtpSession(MessageBoxes& boxes, FileSystem& files, const CodePage& codePage,
             FtpTimeouts timeouts = {});
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // Connects and logs in. Passive mode only when `passive` is exactly 1.
  bool FTP_Open(const std::string& server, const std::string& user,
                const std::string& password, int port, int passive);

  // Stores the local file as remoteDir + "/" + remoteName (relative to the
  // login folder; an empty remote name takes the local file name), in
  // 1024-byte blocks, advancing `progress` when given: stage, then publish;
  // a failure leaves the published file as it was (except where the server
  // cannot rename, see Publish) and removes the temporary one.
  bool FTP_UPLoad(const std::string& localPath, const std::string& remoteDir,
                  const std::string& remoteName, ProgressDisplay* progress);

  // Uploads the local file to a temporary name beside remoteDir/remoteName
  // (empty remote name: the local file name) and checks its size on the
  // server (SIZE, or a listing of that one name where SIZE is missing).
  // nullopt after a message box; the temporary file is then already removed
  // (unless the connection died). `progress` must outlive the staged file.
  std::optional<FtpStagedFile> StageFile(const std::string& localPath, const std::string& remoteDir,
                                         const std::string& remoteName, ProgressDisplay* progress);
  // The same for bytes held in memory, stored as remoteDir/remoteName.
  std::optional<FtpStagedFile> StageText(const std::string& bytes, const std::string& remoteDir,
                                         const std::string& remoteName);

  // Renames the staged file over its final name. Where the server refuses,
  // the old file is renamed aside, the staged one renamed in, and only then
  // the old one deleted (put back under its name if the second rename
  // fails). A server that refuses the first rename and the move-aside as
  // well cannot rename at all: the file is then stored straight over the
  // final name and its size checked (renameUnavailable() turns true, and
  // later publishes on this session go that way at once). False after a
  // message box; the staged file is then still pending (call Discard).
  bool Publish(FtpStagedFile& staged);

  // Removes a pending staged file from the server; quietly, since a
  // leftover temporary file harms nothing that is published. Does nothing
  // once the connection is dead.
  void Discard(FtpStagedFile& staged);

  void FTP_Close();

  bool isOpen() const;
  // A time-out ended the connection; nothing more is sent.
  bool connectionLost() const;
  // The server refused every rename: files went straight over their names.
  bool renameUnavailable() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace parone

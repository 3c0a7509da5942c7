#pragma once
// The tool's FTP client: one logged-in session at a time, reused by every
// upload until it is closed. Built on libcurl. Every call blocks the caller
// until the server has answered (bounded by the time-outs below); failures
// are shown in this module's own message boxes and the caller gets false.
//
// An upload is stored under a temporary name in the remote directory and
// renamed over the final name only after the server accepted all the data,
// so a failed or interrupted upload never leaves a truncated published file.

#include <cstdint>
#include <memory>
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
  // 1024-byte blocks, advancing `progress` when given.
  bool FTP_UPLoad(const std::string& localPath, const std::string& remoteDir,
                  const std::string& remoteName, ProgressDisplay* progress);

  void FTP_Close();

  bool isOpen() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace parone

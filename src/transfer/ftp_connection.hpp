#pragma once
// One logged-in FTP control connection on libcurl, and the server's replies
// to the commands sent on it. Every call blocks until the server has
// answered, bounded by the time-outs; nothing is shown, failures come back
// as Error values with the server's reply line or libcurl's wording.
//
// Paths are sent as given (the server's code page bytes), relative to the
// login folder: the connection's current folder never changes.
//
// After a time-out the connection counts as lost: nothing more is sent on
// it (no clean-up either), since a server that stalled once may stall
// again and double the wait; every later command fails at once.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "common/stop_signal.hpp"
#include "platform/code_page.hpp"
#include "transfer/ftp_tls.hpp"

namespace parone {

class CurlEasy;

struct FtpTimeouts {
  long connectSeconds = 15;  // TCP connect, and the server's connect-back in active mode
  long stallSeconds = 60;    // no progress, or no reply, for this long fails the transfer
  // Waits before the attempts that follow a transient failure of a store;
  // their number is the number of further attempts.
  std::vector<long> retryDelaysMs = {1000, 4000, 10000};
  // Ends the command or transfer under way at once when requested (libcurl's
  // code 42), except renames and removals, which get kStopGraceMs more (see
  // FtpConnection); null: only the time-outs end a wait.
  const StopSignal* stop = nullptr;
};

// How long after a stop a rename or a removal may still run: what a stopped
// publish leaves on the server is cleared away, and a pair of renames that
// has begun is completed rather than left half done.
inline constexpr long kStopGraceMs = 5000;

// Where and as whom to log in (UTF-8; sent in the server's code page).
struct FtpEndpoint {
  std::string host;
  int port = 21;
  std::string user;
  std::string password;
  bool passive = true;
  // A netrc file whose entry for this host and user gives the password,
  // read by libcurl itself; `password` is not used then. "" for none.
  std::string netrcFile{};
  FtpTls tls{};
};

// The server's final reply to one command; code 0 when none came.
struct FtpReply {
  int code = 0;
  std::string line;
  std::string text;  // every line of a multi-line reply before the final one, LF-separated
  bool positive() const { return code >= 200 && code < 300; }
  bool refused() const { return code >= 400; }
};

enum class RenameOutcome { kDone, kRefused, kLost };

class FtpConnection {
  struct Impl;

 public:
  // While one lives, what is sent on the connection outlasts a stop by
  // kStopGraceMs: work that must not be left half done (the renames that
  // put a pair in place, the removal of what a stopped publish left)
  // finishes. Scopes nest.
  class FinishingAfterStop {
   public:
    explicit FinishingAfterStop(FtpConnection& connection);
    ~FinishingAfterStop();
    FinishingAfterStop(const FinishingAfterStop&) = delete;
    FinishingAfterStop& operator=(const FinishingAfterStop&) = delete;

   private:
    Impl& impl_;
    long previousGraceMs_;
  };

  FtpConnection(const CodePage& codePage, FtpTimeouts timeouts);
  ~FtpConnection();
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  // Connects and logs in. A refused login is stage login with the server's
  // reply; anything else that keeps the session from opening is stage
  // connect, among it a TLS refusal (TlsRefusalOf), which comes before USER
  // and PASS are sent. Closes what was open before.
  Status Open(const FtpEndpoint& endpoint);
  // Closes and opens the connection again to the endpoint of the last Open,
  // after a connection was lost or cut.
  Status Reopen();
  // The server resumes an upload where it was cut: FEAT lists "REST STREAM".
  bool ResumesUploads();
  // Says goodbye (QUIT) on a live connection and closes it.
  void Close();

  bool isOpen() const;
  bool lost() const;
  // The open connection speaks TLS (the server accepted AUTH TLS).
  bool tlsInUse() const;
  // "host:port" of the open connection, for messages.
  const std::string& serverName() const;

  // Sends the commands one after the other, each whatever the reply to the
  // one before, and returns the final reply to each (code 0: none came).
  std::vector<FtpReply> Send(std::initializer_list<std::string> commands);
  // RNFR + RNTO. `reply` receives the reply that decided. A stop lets it
  // run on for kStopGraceMs.
  RenameOutcome Rename(const std::string& from, const std::string& to, FtpReply* reply = nullptr);
  // DELE, quietly: a leftover harms nothing that is published. A stop lets
  // it run on for kStopGraceMs, on a new connection where the stopped
  // transfer took the old one with it.
  void Remove(const std::string& path);
  // The size the server gives for `path` (SIZE, or a listing of that one
  // name where SIZE is missing or refused). `name` is the last part of the
  // path as the listing shows it. Error stage size-check when neither
  // gives a size.
  Result<std::uint64_t> SizeOf(const std::string& path, const std::string& name);

  // Whether the server has a file at `path` (SIZE, or a listing of that one
  // name where SIZE is missing). An error when neither says.
  Result<bool> Exists(const std::string& path, const std::string& name);
  // MKD. True when the folder was made or is there already (the listing of
  // it answers).
  bool MakeFolder(const std::string& path);
  // The names in a folder (NLST), without any folder part the server adds.
  Result<std::vector<std::string>> ListNames(const std::string& folder);
  // RETR: the file's bytes, or nullopt when the server has no such file
  // (as Exists says, asked first). More than `maxBytes` is an error (stage
  // store): nothing is cut short.
  Result<std::optional<std::string>> Retrieve(const std::string& path, const std::string& name,
                                              std::size_t maxBytes);

  // For the transfers built on this connection (ftp_store.cpp): the URL of
  // a remote path, the easy handle with the session's options, and one
  // perform on it. Perform marks the connection lost on a time-out.
  std::string UrlOf(const std::string& remotePath) const;
  CurlEasy& curl();
  int Perform();
  // The last reply of the last perform, and what libcurl said of its failure.
  FtpReply LastReply() const;
  std::string ErrorText(int code) const;

 private:
  Result<std::string> ListOne(const std::string& path);
  std::unique_ptr<Impl> impl_;
};

// A name that would end an FTP command line early (CR, LF, NUL, ...).
bool HasControlCharacter(const std::string& text);

}  // namespace parone

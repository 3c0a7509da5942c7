#pragma once
// Storing one file's bytes on an open FTP connection: as many bytes as
// libcurl has room for in one read, the progress reported as bytes handed
// over, and the SHA-256 of exactly those bytes computed beside the transfer.
// Blocks until the server has answered the transfer or the stall time-out
// of the connection struck.

#include <cstdint>
#include <string>

#include "common/error.hpp"
#include "platform/file_system.hpp"
#include "platform/progress_display.hpp"
#include "transfer/ftp_connection.hpp"

namespace parone {

inline constexpr std::size_t kFtpBlockSize = 1024;

struct StoredBytes {
  std::uint64_t size = 0;
  std::string sha256;  // lowercase hex; "" when not asked for or the crypto library failed
};

// Stores `file` as `remotePath` (server code page bytes). The server's final
// reply counts: anything but its acceptance of all the data is an error,
// except a refusal after every byte was sent where the server turns out to
// hold all of them (its size is asked: a 552 sent after the data).
// Stage folder when the server would not take the file at all (a missing
// folder, no data connection, a connection already lost), stage store when
// the bytes did not all arrive (the local file could not be read: run-time
// error 57). `progress` may be null. `offset` > 0 resumes a store the server
// holds that many bytes of: the rest is appended (APPE), and the digest is
// still of the whole file.
Result<StoredBytes> StoreFile(FtpConnection& connection, RandomAccessFile& file,
                              const std::string& remotePath, ProgressDisplay* progress,
                              bool hash, std::uint64_t offset = 0);

// A failure worth another attempt: the connection reset or cut, a data
// connection that could not be made or stalled, or the server's 421, 425,
// 426, 450, 451. A refusal (530, 550, 552, 553, ...) or a local file that
// cannot be read is not.
bool IsTransient(const Error& error);

}  // namespace parone

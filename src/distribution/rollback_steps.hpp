#pragma once
// The steps a rollback is made of, shared by rollback.cpp (the listing and
// the renames) and rollback_run.cpp (the run around them). Not for use
// outside.

#include <optional>
#include <string>

#include "distribution/rollback.hpp"

namespace parone {

// One published file's names on the server: UTF-8 for messages and the
// code page bytes that are sent.
struct RemoteFile {
  std::string folder, name, lastVerName, path, lastVerPath, history;
  std::string folderBytes, nameBytes, lastVerNameBytes, pathBytes, lastVerPathBytes, historyBytes;
};

// What the renames left: the pair that is live, and whether the server had
// changed since the listing (nothing was renamed then).
struct RestoreOutcome {
  PairOutcome pair;
  bool raced = false;
  ServerRecord now;  // the live lastver file as read before the renames
};

// Stage input errors: a name that is no file name (kRollbackBadName), one
// that cannot travel in the code page (kFtpNotInCodePage).
Result<RemoteFile> RemoteFileOf(const SystemConfig& config, const CodePage& codePage,
                                const std::string& fileName);
Status OpenSession(const RunContext& context, FtpSession& ftp);
Result<HistoryListing> ReadListing(FtpConnection& connection, const CodePage& codePage,
                                   const RemoteFile& file);
// On an open session: checks that the server is still as `agreed`, then
// makes `target` live with its lastver text.
RestoreOutcome RestoreKept(FtpSession& ftp, const CodePage& codePage, const RemoteFile& file,
                           const HistoryListing& agreed, const KeptBuild& target);

}  // namespace parone

#pragma once
// Making a kept build of a published file live again: what is live and what
// the history folder keeps (history_folder.hpp), the choice of the build to
// restore, and the rollback itself as one transaction on the FTP server.
// The live program file goes into the history under its build, the kept one
// comes back under the published name by a rename (nothing is uploaded but
// the lastver text), the lastver file gets the restored build, and the web
// side is read back as after a publish: the lastver build and the file's
// size (there is no local copy whose bytes could be compared).
//
// Every call blocks until the servers have answered (bounded by the
// request's time-outs). RunRollback reports through the run's events: its
// one question (QuestionKind::kRollback, No by default) and its messages.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"
#include "distribution/publish_journal.hpp"
#include "distribution/run_context.hpp"
#include "distribution/server_record.hpp"
#include "distribution/web_confirmation.hpp"
#include "transfer/ftp_session.hpp"

namespace parone {

// `Error::code` of a CodeKind::kNone error of stage input from this module:
// why no rollback can be made.
enum RollbackCheck : long {
  kRollbackBadName = 1,      // the name is empty or has a folder part
  kRollbackLiveUnknown = 2,  // the live lastver file records no build
  kRollbackNothingKept = 3,  // the history folder holds no build of the file
  kRollbackNotKept = 4,      // the build asked for is not kept
  kRollbackAlreadyLive = 5,  // the build asked for is the live one
  kRollbackNoneOlder = 6,    // no kept build is older than the live one (and none was asked for)
};

// One file the history folder keeps.
struct KeptBuild {
  double build = 0;
  std::string path;  // remote, UTF-8: <remote dir>/.history/<name>/<build><ext>
  std::uint64_t size = 0;
};

// What the server holds of one published file, read over FTP.
struct HistoryListing {
  std::string fileName;                   // the published name
  std::string livePath;                   // <remote dir>/<name>, UTF-8
  std::string historyFolder;              // <remote dir>/.history/<name>, UTF-8
  ServerRecord live;                      // the live lastver file (no record: none there)
  std::optional<std::uint64_t> liveSize;  // nullopt: no program file under the name
  std::vector<KeptBuild> kept;            // highest build first
};

// Connects, reads what is live and what is kept, and closes. Shows nothing:
// a failure (connect, login, a read the server refused) is the Error.
Result<HistoryListing> ListKeptBuilds(const RunContext& context, const std::string& fileName);

// The warning that says why the listing could not be read.
Message ListingFailureMessage(const Error& error, const std::string& fileName);

// The build to restore: `to` where given (it must be kept and not live),
// else the highest kept build below the live one, so that a second
// rollback goes further back instead of bringing the replaced build back.
// Errors are stage input with a RollbackCheck code.
Result<KeptBuild> ChooseRollbackTarget(const HistoryListing& listing, std::optional<double> to);

enum class RollbackResult {
  kRolledBack,    // the kept build and its lastver are live (and confirmed over HTTP, when asked)
  kDeclined,      // the question was answered No
  kFailed,        // nothing changed, or the previous pair was put back (see live)
  kNotConfirmed,  // live, but HTTP served something else
  kRaced,         // the server changed since the listing; nothing was renamed
};

// "rolled_back", "declined", "failed", "not_confirmed", "raced".
const char* RollbackResultName(RollbackResult result);

struct RollbackReport {
  std::string fileName;
  std::optional<HistoryListing> listing;  // nullopt: the server could not be read
  std::optional<KeptBuild> target;
  RollbackResult result = RollbackResult::kFailed;
  // What is live after the transaction: kNew the kept build and its
  // lastver, kOld the pair that was live before; the others as for a
  // publish (asideName says where the file that was live is).
  LivePair live = LivePair::kOld;
  std::string asideName;
  bool historyKept = false;         // the file that was live went into the history
  std::optional<Error> historyError;
  std::optional<WebConfirmation> web;  // what HTTP served afterwards, when asked
  std::optional<Error> error;          // why it is not rolled back (or not confirmed)
  // SHA-256 of the restored file and of the replaced one, as the journal
  // knows them from earlier lines of this machine; "" where it does not.
  std::string sha256;
  std::string replacedSha256;
  double seconds = 0;  // from the first rename to the lastver file in place
};

// Lists, chooses the build (`to` as for ChooseRollbackTarget), asks, makes
// it live on a new connection (the server must still be as listed), reads
// it back over HTTP when the request asks for that, and appends the attempt
// to `journal` when given (every attempt that got as far as a choice,
// declined and failed ones too). If a step fails, the pair that was live
// before is put back, and the message says what is live.
RollbackReport RunRollback(const RunContext& context, const std::string& fileName,
                           std::optional<double> to, PublishJournal* journal);

// The journal's line for an attempt.
JournalEntry RollbackJournalEntry(const RollbackReport& report, const ProcessFacts& facts);

}  // namespace parone

#pragma once
// Publishes one file: runs the packer over it (when asked), reads its
// version, writes its lastver file into the tool's temp folder, stages the
// file and its lastver text on the FTP server and renames the file and then
// the lastver file into place, records the path among the recent files,
// reads both back over HTTP as an update client would, and reports the
// outcome. Blocks until done; every failure has been reported through the
// run's events when it returns, and is in the outcome as an Error.

#include <cstdint>
#include <optional>
#include <string>

#include "common/error.hpp"
#include "distribution/history_folder.hpp"
#include "distribution/run_context.hpp"
#include "distribution/server_record.hpp"
#include "distribution/web_confirmation.hpp"

namespace parone {

struct UploadOutcome {
  bool result = false;     // the FTP session was opened
  bool published = false;  // the file and its lastver file are both on the server
  std::string versionText{};             // read before the upload (after the packer)
  std::string build{};                   // what the lastver file records
  std::optional<std::uint64_t> size{};   // bytes sent, once the file was staged
  std::string sha256{};                  // of those bytes, as sent ("" when not staged)
  int attempts = 0;                      // stores begun for the file (more than 1: retried)
  double seconds = 0;                    // from the file's first byte to both names in place
  std::optional<WebConfirmation> web{};  // what HTTP served after the publish, when asked
  std::optional<Error> error{};          // why it is not published, or not confirmed
  bool closeRequested = false;           // published with close-after-sending: close, no "배포완료"
  bool raced = false;                    // another publisher changed the lastver file meanwhile
  bool historyKept = false;              // the replaced program file was kept for a rollback

  // Published, and HTTP was asked and served something else.
  bool Unconfirmed() const { return published && web && !web->Confirmed(); }
};

// `runUpx` false skips the UPX step (it already ran before code signing).
// `seen` is what the version pass found on the server: when the lastver file
// holds something else by the time both files are staged, another publisher
// came between, and nothing is renamed (unknown and null: not compared).
// A failed packer ends the file with "배포 실패!!" before any connection.
// A publish that HTTP does not confirm stays as it is; a warning box (style
// 48) says what the web served instead of "배포완료", and the window is not
// closed.
UploadOutcome ProcUpload(const RunContext& context, const std::string& path, bool runUpx = true,
                         const ServerRecord* seen = nullptr);

// <tool folder>/temp/<base>_lastver.txt
std::string LocalLastVerPath(const ProcessFacts& facts, const std::string& lastVerName);

}  // namespace parone

#pragma once
// What a run found and did for one file of its selection: the version
// pass's finding, the upload pass's outcome, and the result in one word.
// The command line prints it (--json), the journal records it.

#include <optional>
#include <string>

#include "distribution/check_server_version.hpp"
#include "distribution/proc_upload.hpp"

namespace parone {

enum class PublishResult {
  kPublished,     // both names in place (and confirmed over HTTP, when asked)
  kDeclined,      // the run ended at a question before anything was uploaded
  kFailed,        // not published (the failure was shown)
  kNotConfirmed,  // published, but HTTP served something else
  kChecked,       // looked at by `check`, which never uploads
  kRaced,         // another publisher changed the server's lastver meanwhile; nothing renamed
  kStopped,       // the user stopped the run before it was published
};

struct FileReport {
  std::string path;
  std::optional<ServerVersion> check;   // nullopt: the version pass did not reach it
  std::optional<UploadOutcome> upload;  // nullopt: the upload pass did not reach it
  PublishResult result = PublishResult::kFailed;
  std::optional<Error> error{};         // why it is not published (or not confirmed)
};

// "published", "declined", "failed", "not_confirmed", "checked", "raced",
// "stopped".
const char* ResultName(PublishResult result);

// "new", "same", "older", "unreadable", "unknown", or "skipped" when not checked.
const char* DecisionName(const std::optional<ServerVersion>& check);

PublishResult ResultOf(const UploadOutcome& upload);

}  // namespace parone

#include "distribution/file_report.hpp"

namespace parone {

const char* ResultName(PublishResult result) {
  switch (result) {
    case PublishResult::kPublished:
      return "published";
    case PublishResult::kDeclined:
      return "declined";
    case PublishResult::kFailed:
      return "failed";
    case PublishResult::kNotConfirmed:
      return "not_confirmed";
    case PublishResult::kChecked:
      return "checked";
    case PublishResult::kRaced:
      return "raced";
    case PublishResult::kStopped:
      return "stopped";
  }
  return "failed";
}

const char* DecisionName(const std::optional<ServerVersion>& check) {
  if (!check) return "skipped";
  switch (check->Comparison()) {
    case BuildComparison::kNew:
      return "new";
    case BuildComparison::kSame:
      return "same";
    case BuildComparison::kOlder:
      return "older";
    case BuildComparison::kUnreadable:
      return "unreadable";
    case BuildComparison::kUnknown:
      return "unknown";
  }
  return "unreadable";
}

PublishResult ResultOf(const UploadOutcome& upload) {
  if (upload.raced) return PublishResult::kRaced;
  if (!upload.published) return PublishResult::kFailed;
  return upload.Unconfirmed() ? PublishResult::kNotConfirmed : PublishResult::kPublished;
}

}  // namespace parone

#include <nlohmann/json.hpp>

#include "cli/commands.hpp"
#include "common/path_names.hpp"
#include "distribution/error_json.hpp"

namespace parone {

using Json = nlohmann::ordered_json;

// Keys in the documented order; a value nothing gave is null. Names that are
// not UTF-8 (possible on Linux) show U+FFFD where the bad bytes were.
std::string ReportLine(const FileReport& report, FileSystem& files) {
  const std::optional<ServerVersion>& check = report.check;
  const std::optional<UploadOutcome>& upload = report.upload;
  Json line;
  line["path"] = report.path;
  line["file"] = FileNameOf(report.path);
  std::optional<std::uint64_t> size = upload ? upload->size : std::nullopt;
  if (!size) size = files.FileSize(report.path);
  line["size"] = size ? Json(*size) : Json(nullptr);
  line["sha256"] = upload && !upload->sha256.empty() ? Json(upload->sha256) : Json(nullptr);
  // The upload pass reads the version again after the packer; that is what
  // went out.
  const bool uploadRead = upload && !upload->versionText.empty();
  if (uploadRead || check) {
    line["version"] = uploadRead ? upload->versionText : check->versionText;
    line["local_build"] = uploadRead ? upload->build : check->localBuild;
  } else {
    line["version"] = nullptr;
    line["local_build"] = nullptr;
  }
  // null where the server records no build, or nothing is known.
  line["server_build"] =
      check && check->record.kind == RecordKind::kBuild ? BuildJson(check->server) : Json(nullptr);
  line["server_status"] = check && check->status != 0 ? Json(check->status) : Json(nullptr);
  line["server_error"] =
      check && check->readError ? Json(check->readError->message) : Json(nullptr);
  line["decision"] = DecisionName(check);
  line["result"] = ResultName(report.result);
  const double seconds = upload ? upload->seconds : 0;
  line["seconds"] = seconds;
  line["bytes_per_second"] =
      upload && upload->size && seconds > 0 ? static_cast<double>(*upload->size) / seconds : 0.0;
  line["confirmed"] = upload && upload->web ? Json(upload->web->Confirmed()) : Json(nullptr);
  line["error"] = ErrorJson(report.error);
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace parone

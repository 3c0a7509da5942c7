#pragma once
// Values as the --json lines and the journal write them: an Error as
// {"stage":"login","code":530,"message":"530 Login incorrect."}, or null; a
// build as a whole number where it is one.
// Only for files that use nlohmann-json already (the journal, the command line).

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <optional>

#include "common/error.hpp"

namespace parone {

inline nlohmann::ordered_json ErrorJson(const std::optional<Error>& error) {
  if (!error) return nullptr;
  nlohmann::ordered_json json;
  json["stage"] = StageName(error->stage);
  json["code"] = error->code;
  json["message"] = error->message;
  return json;
}

// "33", not "33.0"; a build beyond whole doubles stays as it is.
inline nlohmann::ordered_json BuildJson(double build) {
  if (std::isfinite(build) && build == std::floor(build) && std::fabs(build) < 9e15) {
    return nlohmann::ordered_json(static_cast<std::int64_t>(build));
  }
  return nlohmann::ordered_json(build);
}

}  // namespace parone

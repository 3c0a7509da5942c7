#pragma once
// An Error as the --json lines and the journal write it:
// {"stage":"login","code":530,"message":"530 Login incorrect."}, or null.
// Only for files that use nlohmann-json already (the journal, the command line).

#include <nlohmann/json.hpp>

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

}  // namespace parone

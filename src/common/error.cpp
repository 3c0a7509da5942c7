#include "common/error.hpp"

namespace parone {

const char* StageName(Stage stage) {
  switch (stage) {
    case Stage::kInput:
      return "input";
    case Stage::kConnect:
      return "connect";
    case Stage::kLogin:
      return "login";
    case Stage::kFolder:
      return "folder";
    case Stage::kStore:
      return "store";
    case Stage::kSizeCheck:
      return "size-check";
    case Stage::kRename:
      return "rename";
    case Stage::kLastVer:
      return "lastver";
    case Stage::kReadBack:
      return "read-back";
    case Stage::kVersionRead:
      return "version-read";
    case Stage::kPacker:
      return "packer";
    case Stage::kSigning:
      return "signing";
    case Stage::kJournal:
      return "journal";
    case Stage::kStopped:
      return "stopped";
  }
  return "input";
}

std::optional<Stage> StageNamed(std::string_view name) {
  for (int i = 0; i <= static_cast<int>(Stage::kStopped); ++i) {
    const auto stage = static_cast<Stage>(i);
    if (name == StageName(stage)) return stage;
  }
  return std::nullopt;
}

}  // namespace parone

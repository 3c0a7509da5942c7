#include "distribution/recent_files.hpp"

#include <utility>

#include "common/system_config.hpp"

namespace parone {
namespace {

constexpr const char* kSection = "RecentFiles";

std::string ReadKey(SettingsStore& store, int n) {
  return store.GetSetting(kAppTitle, kSection, std::to_string(n), "");
}

void WriteKey(SettingsStore& store, int n, const std::string& value) {
  store.SaveSetting(kAppTitle, kSection, std::to_string(n), value);
}

}  // namespace

void AddRecentFile(SettingsStore& store, const std::string& entry) {
  const std::string first = ReadKey(store, 1);
  if (first == entry) return;

  // Key of an earlier copy of entry, 0 when the list holds none.
  int earlierCopy = 0;
  for (int n = 1; n <= kRecentFilesKeyLimit; ++n) {
    const std::string value = n == 1 ? first : ReadKey(store, n);
    if (value.empty()) break;
    if (value == entry) {
      earlierCopy = n;
      break;
    }
  }

  // Move down from the top; the copy, if any, is overwritten by the entry
  // above it and nothing below it moves.
  std::string carried = first;
  for (int n = 2; n <= kRecentFilesKeyLimit && !carried.empty(); ++n) {
    std::string old = ReadKey(store, n);
    WriteKey(store, n, carried);
    if (n == earlierCopy) break;
    carried = std::move(old);
  }

  WriteKey(store, 1, entry);
}

std::vector<std::string> ReadRecentFiles(SettingsStore& store) {
  std::vector<std::string> entries;
  for (int n = 1; n <= kRecentFilesKeyLimit; ++n) {
    std::string value = ReadKey(store, n);
    if (value.empty()) break;
    entries.push_back(std::move(value));
  }
  return entries;
}

}  // namespace parone

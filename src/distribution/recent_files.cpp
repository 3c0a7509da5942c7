#include "distribution/recent_files.hpp"

#include <unordered_map>
#include <utility>

#include "common/system_config.hpp"

namespace parone {
namespace {

constexpr const char* kSection = "RecentFiles";

// The section as read once: key text to value. Lookups of keys that are not
// there give the empty text, as GetSetting with an empty default would.
class RecentKeys {
 public:
  explicit RecentKeys(SettingsStore& store) {
    for (auto& [key, value] : store.GetAllSettings(kAppTitle, kSection)) {
      values_.emplace(std::move(key), std::move(value));
    }
  }
  const std::string& operator[](int n) const {
    static const std::string kEmpty;
    const auto it = values_.find(std::to_string(n));
    return it == values_.end() ? kEmpty : it->second;
  }

 private:
  std::unordered_map<std::string, std::string> values_;
};

}  // namespace

void AddRecentFile(SettingsStore& store, const std::string& entry) {
  // One read of the list and one save of the changed keys: the moves below
  // only ever read keys they have not written yet, so working on the copy
  // read at the start gives the same keys as reading and writing one by one.
  const RecentKeys keys(store);
  if (keys[1] == entry) return;

  // Key of an earlier copy of entry, 0 when the list holds none.
  int earlierCopy = 0;
  for (int n = 1; n <= kRecentFilesKeyLimit; ++n) {
    const std::string& value = keys[n];
    if (value.empty()) break;
    if (value == entry) {
      earlierCopy = n;
      break;
    }
  }

  // Move down from the top; the copy, if any, is overwritten by the entry
  // above it and nothing below it moves.
  SettingsStore::KeyValues writes;
  std::string carried = keys[1];
  for (int n = 2; n <= kRecentFilesKeyLimit && !carried.empty(); ++n) {
    std::string old = keys[n];
    writes.emplace_back(std::to_string(n), std::move(carried));
    if (n == earlierCopy) break;
    carried = std::move(old);
  }
  writes.emplace_back("1", entry);
  store.SaveSettings(kAppTitle, kSection, writes);
}

std::vector<std::string> ReadRecentFiles(SettingsStore& store) {
  const RecentKeys keys(store);
  std::vector<std::string> entries;
  for (int n = 1; n <= kRecentFilesKeyLimit; ++n) {
    const std::string& value = keys[n];
    if (value.empty()) break;
    entries.push_back(value);
  }
  return entries;
}

}  // namespace parone

#pragma once
// In-memory implementation of the SettingsStore interface defined in
// platform/settings_store.hpp, for tests. It never touches the disk or the
// user's real settings, never fails and never blocks; keys compare exactly
// (case matters). Every SaveSetting is recorded in order so a test can check
// what was written, and whether anything was; Set pre-fills without
// recording. Not thread-safe.

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/settings_store.hpp"

namespace parone {

struct SettingWrite {
  std::string app;
  std::string section;
  std::string key;
  std::string value;
  bool operator==(const SettingWrite&) const = default;
};
std::ostream& operator<<(std::ostream& out, const SettingWrite& write);

class MemorySettingsStore final : public SettingsStore {
 public:
  std::string GetSetting(const std::string& app, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override;
  void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                   const std::string& value) override;
  KeyValues GetAllSettings(const std::string& app, const std::string& section) override;
  // Records one write per key, and counts one save.
  void SaveSettings(const std::string& app, const std::string& section,
                    const KeyValues& values) override;

  void Set(const std::string& app, const std::string& section, const std::string& key,
           const std::string& value);
  bool Has(const std::string& app, const std::string& section, const std::string& key) const;
  std::optional<std::string> Value(const std::string& app, const std::string& section,
                                   const std::string& key) const;
  // Key to value for every key present in one section of one application.
  std::map<std::string, std::string> Section(const std::string& app,
                                             const std::string& section) const;
  const std::vector<SettingWrite>& writes() const { return writes_; }
  void ClearWrites() {
    writes_.clear();
    saves_ = 0;
    reads_ = 0;
  }
  // How many times the store was saved (SaveSetting or SaveSettings) and
  // read (GetSetting or GetAllSettings), since the last ClearWrites.
  std::size_t saves() const { return saves_; }
  std::size_t reads() const { return reads_; }

 private:
  using Address = std::tuple<std::string, std::string, std::string>;
  std::map<Address, std::string> values_;
  std::vector<SettingWrite> writes_;
  std::size_t saves_ = 0;
  std::size_t reads_ = 0;
};

}  // namespace parone

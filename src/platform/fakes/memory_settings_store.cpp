// In-memory implementation of the SettingsStore interface defined in platform/settings_store.hpp.
#include "platform/fakes/memory_settings_store.hpp"

namespace parone {

std::ostream& operator<<(std::ostream& out, const SettingWrite& write) {
  return out << write.app << " [" << write.section << "] " << write.key << "=\"" << write.value
             << '"';
}

std::string MemorySettingsStore::GetSetting(const std::string& app, const std::string& section,
                                            const std::string& key,
                                            const std::string& defaultValue) {
  ++reads_;
  const auto it = values_.find({app, section, key});
  return it == values_.end() ? defaultValue : it->second;
}

void MemorySettingsStore::SaveSetting(const std::string& app, const std::string& section,
                                      const std::string& key, const std::string& value) {
  ++saves_;
  writes_.push_back({app, section, key, value});
  values_[{app, section, key}] = value;
}

SettingsStore::KeyValues MemorySettingsStore::GetAllSettings(const std::string& app,
                                                             const std::string& section) {
  ++reads_;
  KeyValues all;
  for (auto& [key, value] : Section(app, section)) all.emplace_back(key, value);
  return all;
}

void MemorySettingsStore::SaveSettings(const std::string& app, const std::string& section,
                                       const KeyValues& values) {
  ++saves_;
  for (const auto& [key, value] : values) {
    writes_.push_back({app, section, key, value});
    values_[{app, section, key}] = value;
  }
}

void MemorySettingsStore::Set(const std::string& app, const std::string& section,
                              const std::string& key, const std::string& value) {
  values_[{app, section, key}] = value;
}

bool MemorySettingsStore::Has(const std::string& app, const std::string& section,
                              const std::string& key) const {
  return values_.count({app, section, key}) != 0;
}

std::optional<std::string> MemorySettingsStore::Value(const std::string& app,
                                                      const std::string& section,
                                                      const std::string& key) const {
  const auto it = values_.find({app, section, key});
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::map<std::string, std::string> MemorySettingsStore::Section(
    const std::string& app, const std::string& section) const {
  std::map<std::string, std::string> keys;
  for (auto it = values_.lower_bound({app, section, ""});
       it != values_.end() && std::get<0>(it->first) == app && std::get<1>(it->first) == section;
       ++it) {
    keys[std::get<2>(it->first)] = it->second;
  }
  return keys;
}

}  // namespace parone

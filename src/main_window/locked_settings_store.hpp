#pragma once
// A settings store that the window's thread and its run's thread share: the
// window saves the UPX path and Passive Mode as they change while the run
// records its recent files. Each call holds a lock for its duration, so the
// store underneath sees one caller at a time.

#include <mutex>
#include <string>

#include "platform/settings_store.hpp"

namespace parone {

class LockedSettingsStore final : public SettingsStore {
 public:
  explicit LockedSettingsStore(SettingsStore& store) : store_(store) {}

  std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                         const std::string& defaultValue) override {
    const std::lock_guard lock(mutex_);
    return store_.GetSetting(app, section, key, defaultValue);
  }
  void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                   const std::string& value) override {
    const std::lock_guard lock(mutex_);
    store_.SaveSetting(app, section, key, value);
  }
  KeyValues GetAllSettings(const std::string& app, const std::string& section) override {
    const std::lock_guard lock(mutex_);
    return store_.GetAllSettings(app, section);
  }
  void SaveSettings(const std::string& app, const std::string& section,
                    const KeyValues& values) override {
    const std::lock_guard lock(mutex_);
    store_.SaveSettings(app, section, values);
  }

 private:
  SettingsStore& store_;
  std::mutex mutex_;
};

}  // namespace parone

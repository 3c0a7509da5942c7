#pragma once
// Windows implementation of the SettingsStore interface defined in platform/settings_store.hpp.
//
// Settings in the current user's registry, where the old tool keeps them:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>,
// one REG_SZ value per key ("Config" / "UpxPath", "RecentFiles" / "1", ...).
// A user who switches tools keeps the UPX path, passive mode and recent
// files, and the old tool reads what this one writes.
//
// Every call opens the section's key and closes it again; the registry has
// the value before SaveSetting returns. A value of another type than REG_SZ
// (or REG_EXPAND_SZ, read unexpanded) reads as missing. Failures are not
// reported to the caller. Calls from several threads are safe.

#include <string>

#include "platform/settings_store.hpp"

namespace parone {

class RegistrySettingsStore final : public SettingsStore {
 public:
  // `root`: the key under HKEY_CURRENT_USER that holds one key per
  // application name; tests pass a key of their own.
  explicit RegistrySettingsStore(std::string root = "Software\\VB and VBA Program Settings")
      : root_(std::move(root)) {}

  std::string GetSetting(const std::string& app, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override;
  void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                   const std::string& value) override;
  // One open of the section's key, however many values.
  KeyValues GetAllSettings(const std::string& app, const std::string& section) override;
  void SaveSettings(const std::string& app, const std::string& section,
                    const KeyValues& values) override;

 private:
  std::string SectionPath(const std::string& app, const std::string& section) const;
  std::string root_;
};

}  // namespace parone

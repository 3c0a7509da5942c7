#pragma once
// Per-user text settings addressed by application name, section and key.
// A missing key gives the caller's default; a present empty value gives "".
// Calls block briefly on the store's file; they never fail towards the caller.

#include <string>
#include <utility>
#include <vector>

namespace parone {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::string GetSetting(const std::string& app, const std::string& section,
                                 const std::string& key, const std::string& defaultValue) = 0;
  virtual void SaveSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& value) = 0;

  using KeyValues = std::vector<std::pair<std::string, std::string>>;
  // Every key of one section with its value (order unspecified); empty when
  // the section does not exist. One read of the store, however many keys.
  virtual KeyValues GetAllSettings(const std::string& app, const std::string& section) = 0;
  // Writes several keys of one section in one save of the store, in order;
  // costs about the same as one SaveSetting, not one per key.
  virtual void SaveSettings(const std::string& app, const std::string& section,
                            const KeyValues& values) = 0;
};

}  // namespace parone

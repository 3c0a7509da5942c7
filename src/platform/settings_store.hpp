#pragma once
// Per-user text settings addressed by application name, section and key.
// A missing key gives the caller's default; a present empty value gives "".
// Calls block briefly on the store's file; they never fail towards the caller.

#include <string>

namespace parone {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::string GetSetting(const std::string& app, const std::string& section,
                                 const std::string& key, const std::string& defaultValue) = 0;
  virtual void SaveSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& value) = 0;
};

}  // namespace parone

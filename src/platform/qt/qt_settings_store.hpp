#pragma once
// Qt implementation of the SettingsStore interface defined in platform/settings_store.hpp.
//
// Settings kept in one INI file per application name, through QSettings
// (QtCore only; no QCoreApplication needs to exist). Without a folder the file
// is the per-user one, <app>.ini in the XDG configuration folder
// (XdgConfigHome: $XDG_CONFIG_HOME when absolute, else ~/.config, looked up
// at every call), which holds the journal's folder too; with a folder it is
// <folder>/<app>.ini. Missing folders are created on the first save.
//
// Every call opens the file afresh and SaveSetting has the file on disk
// before it returns (QSettings replaces it atomically), so a tool killed
// later loses nothing it saved. Calls block on the file and on its lock
// against other processes. QSettings objects may be used in different threads
// at once even on the same file, so one store may be shared between threads.
// A file that cannot be written is not reported to the caller. Texts are
// UTF-8; invalid bytes become U+FFFD.

#include <optional>
#include <string>
#include <utility>

#include "platform/settings_store.hpp"

namespace parone {

class QtSettingsStore final : public SettingsStore {
 public:
  explicit QtSettingsStore(std::optional<std::string> folder = std::nullopt)
      : folder_(std::move(folder)) {}

  // Key path is section + "/" + key; a missing key (or one holding Qt's
  // invalid marker) gives defaultValue, a present empty one gives "".
  std::string GetSetting(const std::string& app, const std::string& section,
                         const std::string& key, const std::string& defaultValue) override;
  void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                   const std::string& value) override;
  KeyValues GetAllSettings(const std::string& app, const std::string& section) override;
  // One open of the file and one sync, whatever the number of keys.
  void SaveSettings(const std::string& app, const std::string& section,
                    const KeyValues& values) override;

 private:
  std::optional<std::string> folder_;
};

}  // namespace parone

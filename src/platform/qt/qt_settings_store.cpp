// Qt implementation of the SettingsStore interface defined in platform/settings_store.hpp.
#include "platform/qt/qt_settings_store.hpp"

#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "common/path_names.hpp"
#include "platform/posix/xdg_config_home.hpp"

namespace parone {
namespace {

std::unique_ptr<QSettings> OpenSettings(const std::optional<std::string>& folder,
                                        const std::string& app) {
  // Qt would take a relative XDG_CONFIG_HOME from the current folder, where
  // the journal's folder ignores it: the folder comes from the one rule
  // both follow.
  const std::string config = folder ? *folder : XdgConfigHome();
  if (!config.empty()) {
    return std::make_unique<QSettings>(QString::fromStdString(JoinPath(config, app + ".ini")),
                                       QSettings::IniFormat);
  }
  // No home folder: wherever Qt puts <config>/<app>.ini (organisation =
  // app, no application part).
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QString::fromStdString(app));
}

QString KeyPath(const std::string& section, const std::string& key) {
  return QString::fromStdString(section + "/" + key);
}

// We always write quoted text, but a hand-edited unquoted value with commas
// reads back as a list; its items are the text between the commas.
std::string TextOf(const QVariant& value) {
  if (value.metaType().id() == QMetaType::QStringList) {
    return value.toStringList().join(QLatin1Char(',')).toStdString();
  }
  return value.toString().toStdString();
}

}  // namespace

std::string QtSettingsStore::GetSetting(const std::string& app, const std::string& section,
                                        const std::string& key,
                                        const std::string& defaultValue) {
  const auto settings = OpenSettings(folder_, app);
  const QVariant value = settings->value(KeyPath(section, key));
  if (!value.isValid()) return defaultValue;
  return TextOf(value);
}

SettingsStore::KeyValues QtSettingsStore::GetAllSettings(const std::string& app,
                                                         const std::string& section) {
  const auto settings = OpenSettings(folder_, app);
  KeyValues all;
  settings->beginGroup(QString::fromStdString(section));
  for (const QString& key : settings->childKeys()) {
    const QVariant value = settings->value(key);
    if (value.isValid()) all.emplace_back(key.toStdString(), TextOf(value));
  }
  settings->endGroup();
  return all;
}

void QtSettingsStore::SaveSettings(const std::string& app, const std::string& section,
                                   const KeyValues& values) {
  const auto settings = OpenSettings(folder_, app);
  for (const auto& [key, value] : values) {
    settings->setValue(KeyPath(section, key), QString::fromStdString(value));
  }
  settings->sync();
}

void QtSettingsStore::SaveSetting(const std::string& app, const std::string& section,
                                  const std::string& key, const std::string& value) {
  const auto settings = OpenSettings(folder_, app);
  settings->setValue(KeyPath(section, key), QString::fromStdString(value));
  // The tool may be killed at any moment; do not leave the write to the
  // destructor or an event loop.
  settings->sync();
}

}  // namespace parone

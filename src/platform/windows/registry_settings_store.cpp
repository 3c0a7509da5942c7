// Windows implementation of the SettingsStore interface defined in platform/settings_store.hpp.
#include "platform/windows/registry_settings_store.hpp"

#include <optional>
#include <vector>

#include "platform/windows/win32.hpp"

namespace parone {
namespace {

using win32::UniqueRegKey;

UniqueRegKey OpenSection(const std::wstring& path, REGSAM access) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return UniqueRegKey(key);
}

UniqueRegKey CreateSection(const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return UniqueRegKey(key);
}

// The text of a string value's data: up to its first NUL, which the data may
// lack when another program wrote it.
std::string TextOf(const std::vector<BYTE>& data, DWORD size) {
  const auto* units = reinterpret_cast<const wchar_t*>(data.data());
  std::wstring text(units, size / sizeof(wchar_t));
  if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
  return win32::Narrow(text);
}

std::optional<std::string> QueryText(HKEY key, const std::wstring& name) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  // The value may grow between the two calls; ask again with the new size.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<BYTE> data(size + sizeof(wchar_t));
    DWORD got = size;
    const LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &got);
    if (status == ERROR_MORE_DATA) {
      size = got;
      continue;
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    return TextOf(data, got);
  }
  return std::nullopt;
}

void SetText(HKEY key, const std::string& name, const std::string& value) {
  const std::wstring wideName = win32::Wide(name);
  const std::wstring wideValue = win32::Wide(value);
  // REG_SZ with its terminating NUL counted, as the old tool wrote them.
  ::RegSetValueExW(key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wideValue.c_str()),
                   static_cast<DWORD>((wideValue.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

std::string RegistrySettingsStore::SectionPath(const std::string& app,
                                               const std::string& section) const {
  return root_ + "\\" + app + "\\" + section;
}

std::string RegistrySettingsStore::GetSetting(const std::string& app, const std::string& section,
                                              const std::string& key,
                                              const std::string& defaultValue) {
  const UniqueRegKey opened = OpenSection(win32::Wide(SectionPath(app, section)), KEY_QUERY_VALUE);
  if (!opened) return defaultValue;
  return QueryText(opened.get(), win32::Wide(key)).value_or(defaultValue);
}

void RegistrySettingsStore::SaveSetting(const std::string& app, const std::string& section,
                                        const std::string& key, const std::string& value) {
  const UniqueRegKey created = CreateSection(win32::Wide(SectionPath(app, section)));
  if (created) SetText(created.get(), key, value);
}

SettingsStore::KeyValues RegistrySettingsStore::GetAllSettings(const std::string& app,
                                                               const std::string& section) {
  KeyValues all;
  const UniqueRegKey opened = OpenSection(win32::Wide(SectionPath(app, section)), KEY_QUERY_VALUE);
  if (!opened) return all;
  DWORD count = 0;
  DWORD longestName = 0;
  DWORD longestData = 0;
  if (::RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
    return all;
  }
  std::vector<wchar_t> name(longestName + 1);
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD index = 0; index < count; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LSTATUS status = ::RegEnumValueW(opened.get(), index, name.data(), &nameLength, nullptr,
                                           &type, data.data(), &dataSize);
    if (status == ERROR_MORE_DATA) {
      // Changed since RegQueryInfoKeyW: read this one on its own.
      const std::wstring named(name.data(), nameLength);
      if (auto text = QueryText(opened.get(), named)) {
        all.emplace_back(win32::Narrow(named), std::move(*text));
      }
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    all.emplace_back(win32::Narrow(std::wstring_view(name.data(), nameLength)),
                     TextOf(data, dataSize));
  }
  return all;
}

void RegistrySettingsStore::SaveSettings(const std::string& app, const std::string& section,
                                         const KeyValues& values) {
  const UniqueRegKey created = CreateSection(win32::Wide(SectionPath(app, section)));
  if (!created) return;
  for (const auto& [key, value] : values) SetText(created.get(), key, value);
}

}  // namespace parone

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/windows/registry_settings_store.hpp"
#include "platform/windows/win32.hpp"

namespace parone {
namespace {

const std::string kApp = "파로네_배포";

// A key of the test's own under HKEY_CURRENT_USER, removed afterwards; the
// store keeps <root>\<app>\<section> below it as below the real root.
class RegistrySettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = "Software\\parone-deploy tests\\" + std::to_string(::GetCurrentProcessId()) + "." +
            info->name();
    Remove();
  }
  void TearDown() override { Remove(); }
  void Remove() { ::RegDeleteTreeW(HKEY_CURRENT_USER, win32::Wide(root_).c_str()); }

  std::wstring SectionKey(const std::string& section) const {
    return win32::Wide(root_ + "\\" + kApp + "\\" + section);
  }
  // Writes a value the way another program might.
  void PutRaw(const std::string& section, const std::wstring& name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, SectionKey(section).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const win32::UniqueRegKey owner(key);
    ASSERT_EQ(::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  std::string root_;
};

TEST_F(RegistrySettingsStoreTest, MissingKeysGiveTheDefaultAndPresentEmptyValuesGiveEmptyText) {
  RegistrySettingsStore store(root_);
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "1", "dflt"), "dflt");  // no key at all yet
  store.SaveSetting(kApp, "RecentFiles", "1", "");
  store.SaveSetting(kApp, "RecentFiles", "2", "C:\\빌드\\파로네 \"최종\".exe");
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "1", "dflt"), "");
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "2", "dflt"), "C:\\빌드\\파로네 \"최종\".exe");
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "3", "dflt"), "dflt");
  EXPECT_EQ(store.GetSetting(kApp, "Config", "1", "dflt"), "dflt");
  EXPECT_EQ(store.GetSetting("other app", "RecentFiles", "2", "dflt"), "dflt");
}

TEST_F(RegistrySettingsStoreTest, ValuesAreStringsNamedByKeyUnderAppAndSectionAsTheOldToolKeepsThem) {
  RegistrySettingsStore(root_).SaveSetting(kApp, "Config", "UpxPath", "D:\\도구\\upx.exe");
  wchar_t data[64] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, SectionKey("Config").c_str(), L"UpxPath",
                           RRF_RT_ANY, &type, data, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(data), win32::Wide("D:\\도구\\upx.exe"));
  EXPECT_EQ(size, (std::wstring(data).size() + 1) * sizeof(wchar_t));  // with its NUL
}

TEST_F(RegistrySettingsStoreTest, ValuesOtherProgramsWroteAreReadAsFarAsTheyAreText) {
  const std::wstring noNul = L"C:\\a.exe";
  const std::wstring early = std::wstring(L"C:\\b.exe\0junk", 13);
  const DWORD number = 1;
  // A string stored without its terminating NUL reads whole.
  PutRaw("RecentFiles", L"1", REG_SZ, noNul.data(), static_cast<DWORD>(noNul.size() * 2));
  // Data past an embedded NUL is not part of the text.
  PutRaw("RecentFiles", L"2", REG_SZ, early.data(), static_cast<DWORD>(early.size() * 2));
  // A value of another type is no text setting: the default applies.
  PutRaw("Config", L"PassiveMode", REG_DWORD, &number, sizeof number);
  RegistrySettingsStore store(root_);
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "1", ""), "C:\\a.exe");
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "2", ""), "C:\\b.exe");
  EXPECT_EQ(store.GetSetting(kApp, "Config", "PassiveMode", "1"), "1");
  EXPECT_TRUE(store.GetAllSettings(kApp, "Config").empty());
}

TEST_F(RegistrySettingsStoreTest, ASectionIsWrittenAndReadWholeWithKoreanText) {
  RegistrySettingsStore store(root_);
  EXPECT_TRUE(store.GetAllSettings(kApp, "RecentFiles").empty());  // no such key
  SettingsStore::KeyValues written;
  for (int n = 1; n <= 12; ++n) {
    written.emplace_back(std::to_string(n), "C:\\빌드 " + std::to_string(n) + "\\파로네.exe");
  }
  written.emplace_back("첫째", std::string(3000, 'x'));  // longer than any other value
  store.SaveSettings(kApp, "RecentFiles", written);
  auto read = store.GetAllSettings(kApp, "RecentFiles");
  std::sort(read.begin(), read.end());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(read, written);
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "7", ""), "C:\\빌드 7\\파로네.exe");
}

}  // namespace
}  // namespace parone

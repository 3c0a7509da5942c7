#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/process_facts.hpp"
#include "platform/qt/qt_settings_store.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

std::string MakeTempFolder(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

// Qt fixes the per-user config folder at its first use in the process, so the
// redirect must be in place before any test runs and stay for all of them;
// otherwise the default-location test would write into the real ~/.config.
struct UserConfigRedirect {
  UserConfigRedirect() : folder(MakeTempFolder("parone_user_config_")) {
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  }
  ~UserConfigRedirect() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  std::string folder;
};
const UserConfigRedirect userConfig;

const std::string kApp = "파로네_배포";

class QtSettingsStoreTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.empty()); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::string folder_ = MakeTempFolder("parone_settings_test_");
};

TEST_F(QtSettingsStoreTest, MissingKeysGiveTheDefaultAndPresentEmptyValuesGiveEmptyText) {
  QtSettingsStore store(folder_);
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "1", "dflt"), "dflt");  // no file yet
  store.SaveSetting(kApp, "RecentFiles", "1", "");
  store.SaveSetting(kApp, "RecentFiles", "2", "C:\\out\\a, b.exe");
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "1", "dflt"), "");
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "2", "dflt"), "C:\\out\\a, b.exe");
  EXPECT_EQ(store.GetSetting(kApp, "RecentFiles", "3", "dflt"), "dflt");
  EXPECT_EQ(store.GetSetting(kApp, "Other", "1", "dflt"), "dflt");
  EXPECT_EQ(store.GetSetting("other app", "RecentFiles", "2", ""), "");
}

TEST_F(QtSettingsStoreTest, KoreanTextAndDigitKeysSurviveOnDiskInTheGivenFolder) {
  {
    QtSettingsStore writer(folder_);
    writer.SaveSetting(kApp, "최근파일", "첫째", "C:\\빌드\\파로네.exe");
    for (int n = 1; n <= 12; ++n) {
      writer.SaveSetting(kApp, "RecentFiles", std::to_string(n), "file" + std::to_string(n));
    }
  }
  const fs::path file = fs::u8path(folder_ + "/" + kApp + ".ini");
  ASSERT_TRUE(fs::is_regular_file(file));

  // A copy under a new folder cannot be served from anything Qt holds in
  // memory, so what it reads back was on disk.
  const std::string copyFolder = folder_ + "/copy";
  fs::create_directory(copyFolder);
  fs::copy_file(file, fs::u8path(copyFolder + "/" + kApp + ".ini"));
  for (const std::string& folder : {folder_, copyFolder}) {
    QtSettingsStore reader(folder);
    EXPECT_EQ(reader.GetSetting(kApp, "최근파일", "첫째", ""), "C:\\빌드\\파로네.exe") << folder;
    for (int n = 1; n <= 12; ++n) {
      EXPECT_EQ(reader.GetSetting(kApp, "RecentFiles", std::to_string(n), ""),
                "file" + std::to_string(n))
          << folder << " key " << n;
    }
  }
}

TEST_F(QtSettingsStoreTest, WithoutAFolderTheFileIsThePerUserOneNamedAfterTheApplication) {
  ASSERT_FALSE(userConfig.folder.empty());
  QtSettingsStore store;
  store.SaveSetting(kApp, "RecentFiles", "1", "x.exe");
  EXPECT_TRUE(fs::is_regular_file(fs::u8path(userConfig.folder + "/" + kApp + ".ini")));
  EXPECT_EQ(QtSettingsStore(userConfig.folder).GetSetting(kApp, "RecentFiles", "1", ""), "x.exe");
}

// The journal's folder ignores a relative XDG_CONFIG_HOME
// (tests/platform/process_facts_test.cpp); the settings must stay beside it.
TEST_F(QtSettingsStoreTest, ARelativeXdgConfigHomeIsIgnoredAndTheFileStaysBesideTheJournalsFolder) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  const fs::path savedCurrent = fs::current_path();
  fs::current_path(folder_);  // where a relative value would lead
  setenv("HOME", (folder_ + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", "relative-config", 1);
  QtSettingsStore().SaveSetting(kApp, "Config", "UpxPath", "/opt/upx");
  const std::string journalFolder = RealProcessFacts().UserDataFolder();
  setenv("XDG_CONFIG_HOME", userConfig.folder.c_str(), 1);
  setenv("HOME", savedHome.c_str(), 1);
  fs::current_path(savedCurrent);

  EXPECT_EQ(journalFolder, folder_ + "/home/.config/" + kApp);
  EXPECT_EQ(QtSettingsStore(folder_ + "/home/.config").GetSetting(kApp, "Config", "UpxPath", ""),
            "/opt/upx");
  EXPECT_FALSE(fs::exists(fs::path(folder_) / "relative-config"));
}

}  // namespace
}  // namespace parone

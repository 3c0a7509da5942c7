#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/system_config.hpp"
#include "platform/process_facts.hpp"
#include "test_process.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(RealProcessFacts, NamesTheUserAndTheMachine) {
  RealProcessFacts facts;
  EXPECT_NE(facts.UserName(), "");
  EXPECT_NE(facts.MachineName(), "");
}

TEST(RealProcessFacts, TheUserDataFolderLiesInTheFolderTheUserPointsTheSettingsTo) {
  // XDG_CONFIG_HOME on Linux, APPDATA on Windows; each platform reads its own.
  const std::string config = Utf8(fs::temp_directory_path() / "parone_config");
  testing::SetEnvironment("XDG_CONFIG_HOME", config);
  testing::SetEnvironment("APPDATA", config);
  RealProcessFacts facts;
  EXPECT_EQ(facts.UserDataFolder(), config + kPlatform.separator + "파로네_배포");
}

// The settings store takes the same folder (tests/platform/qt_settings_store_test.cpp).
TEST(RealProcessFacts, ARelativeXdgConfigHomeIsIgnoredForTheHomeFolder) {
  struct Case {
    const char* xdgConfigHome;
    const char* home;
    const char* folder;
  };
  const Case cases[] = {
      {"relative/config", "/home/someone", "/home/someone/.config/파로네_배포"},
      {"./config", "/home/someone", "/home/someone/.config/파로네_배포"},
      {"~/.config", "/home/someone", "/home/someone/.config/파로네_배포"},  // no shell expands it
      {"", "/home/someone/", "/home/someone/.config/파로네_배포"},
      {"/srv/config//", "/home/someone", "/srv/config/파로네_배포"},
      {"/", "/home/someone", "/파로네_배포"},
      {"relative", "/", "/.config/파로네_배포"},
  };
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  RealProcessFacts facts;
  for (const Case& c : cases) {
    testing::SetEnvironment("XDG_CONFIG_HOME", c.xdgConfigHome);
    testing::SetEnvironment("HOME", c.home);
    EXPECT_EQ(facts.UserDataFolder(), c.folder) << c.xdgConfigHome << " " << c.home;
  }
  testing::SetEnvironment("XDG_CONFIG_HOME", "");
  testing::SetEnvironment("HOME", savedHome);
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

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

TEST(RealProcessFacts, ARelativeXdgConfigHomeIsIgnoredForTheHomeFolder) {
  testing::SetEnvironment("XDG_CONFIG_HOME", "relative/config");
  testing::SetEnvironment("HOME", "/home/someone");
  RealProcessFacts facts;
  EXPECT_EQ(facts.UserDataFolder(), "/home/someone/.config/파로네_배포");
}

}  // namespace
}  // namespace parone

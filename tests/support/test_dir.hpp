#pragma once
// A fresh folder per test under the system's temp folder, named after the
// process and the running test so parallel test runs never share one.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace parone::testing {

inline std::filesystem::path FreshTestDir(const std::string& prefix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string test = info ? std::string(info->test_suite_name()) + "." + info->name() : "suite";
  const auto dir = std::filesystem::temp_directory_path() /
                   (prefix + "_" + std::to_string(::getpid()) + "_" + test);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// A UTF-8 text as a path and back. std::string paths are taken in the ANSI
// code page on Windows, so Korean names go through these.
inline std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace parone::testing

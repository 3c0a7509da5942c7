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

}  // namespace parone::testing

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/command_line.hpp"
#include "platform/process_launcher.hpp"
#include "test_dir.hpp"
#include "fake_program.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

// The launcher against the fake program built for this platform.
class NativeProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::FreshTestDir("parone_launcher");
    program_ = testing::InstallFakeProgram(dir_, "fake", {"any record"});
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Log() const { return testing::FakeProgramLog(dir_); }
  LaunchRequest Request(const std::string& parameters) const {
    LaunchRequest request;
    request.program = program_;
    request.parameters = parameters;
    request.workingFolder = Utf8(dir_);
    return request;
  }
  fs::path dir_;
  std::string program_;
  NativeProcessLauncher launcher;
};

TEST_F(NativeProcessLauncherTest, TheProgramsExitStatusComesBack) {
  for (const char* status : {"0", "1", "3"}) {
    testing::ControlFakeProgram(dir_, {std::string("any exit ") + status});
    const LaunchResult result = launcher.Run(Request(""));
    EXPECT_TRUE(result.started) << result.error;
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, std::stoi(status));
  }
}

TEST_F(NativeProcessLauncherTest, KoreanBlanksAndQuotesReachTheProgramWholeInAKoreanFolder) {
  const fs::path folder = dir_ / FromUtf8("작업 폴더");
  const fs::path tools = dir_ / FromUtf8("도구 모음");
  fs::create_directories(folder);
  fs::create_directories(tools);
  const std::string path = Utf8(dir_ / FromUtf8("빌드 출력") / FromUtf8("파로네 \"최종\".exe"));
  LaunchRequest request = Request(" -d " + QuoteWindowsArgument(path));
  request.program = testing::InstallFakeProgram(tools, "압축 도구", {"any record"});
  request.workingFolder = Utf8(folder);
  const LaunchResult result = launcher.Run(request);
  ASSERT_TRUE(result.started) << result.error;
  EXPECT_EQ(testing::FakeProgramLog(tools), Utf8(folder) + "\n[-d]\n[" + path + "]\n");
}

TEST_F(NativeProcessLauncherTest, AProgramPastItsTimeLimitIsEndedAndSaysSo) {
  // It would write its line after a minute; ended after half a second, it never does.
  testing::ControlFakeProgram(dir_, {"any sleep 60000", "any record"});
  LaunchRequest request = Request("late");
  request.timeoutMs = 500;
  const LaunchResult result = launcher.Run(request);
  EXPECT_TRUE(result.started) << result.error;
  EXPECT_TRUE(result.timedOut);
  EXPECT_EQ(result.exitCode, -1);
  EXPECT_EQ(Log(), "");
  // Within the limit the same program is not disturbed.
  testing::ControlFakeProgram(dir_, {"any record"});
  request.timeoutMs = 60000;
  const LaunchResult quick = launcher.Run(request);
  EXPECT_FALSE(quick.timedOut);
  EXPECT_EQ(quick.exitCode, 0);
  EXPECT_EQ(Log(), Utf8(dir_) + "\n[late]\n");
}

TEST_F(NativeProcessLauncherTest, AStopEndsTheProgramAndTheWaitAtOnce) {
  // It would write its line after a minute, past a time limit of as long.
  testing::ControlFakeProgram(dir_, {"any sleep 60000", "any record"});
  StopSignal stop;
  LaunchRequest request = Request("late");
  request.timeoutMs = 60000;
  request.stop = &stop;
  const auto started = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.Request();
  });
  const LaunchResult result = launcher.Run(request);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  stopper.join();
  EXPECT_TRUE(result.started) << result.error;
  EXPECT_TRUE(result.stopped);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, -1);
  EXPECT_LT(seconds, 60.0 / 10);
  EXPECT_EQ(Log(), "");
}

TEST_F(NativeProcessLauncherTest, TheWorkingFolderIsFreeTheMomentTheProgramHasEnded) {
  // Nothing the launch started besides the program (a console of its own,
  // say) may still hold the folder once Run has returned.
  const fs::path folder = dir_ / "work";
  fs::create_directories(folder);
  LaunchRequest request = Request("x");
  request.workingFolder = Utf8(folder);
  ASSERT_TRUE(launcher.Run(request).started);
  std::error_code error;
  fs::remove_all(folder, error);
  EXPECT_FALSE(error) << error.message();
}

TEST_F(NativeProcessLauncherTest, AMissingProgramIsNotStartedAndTheReasonIsGiven) {
  LaunchRequest request = Request("x");
  request.program = Utf8(dir_ / "missing.exe");
  const LaunchResult result = launcher.Run(request);
  EXPECT_FALSE(result.started);
  EXPECT_FALSE(result.error.empty());
}

}  // namespace
}  // namespace parone

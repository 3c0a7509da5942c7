#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/command_line.hpp"
#include "platform/process_launcher.hpp"
#include "test_dir.hpp"
#include "test_process.hpp"
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
  // The id the fake program's child copy wrote, once it is there (0 when it
  // never came).
  long ChildId() const {
    for (int polls = 0; polls < 3000; ++polls) {
      long id = 0;
      if (std::ifstream(dir_ / "fake_program.child") >> id) return id;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
  }
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

TEST_F(NativeProcessLauncherTest, ATimeOutEndsWhatTheProgramStartedToo) {
  // The program starts a child that would sleep for a minute, then sleeps
  // past its own limit. The limit leaves room for two program starts under
  // wine.
  testing::ControlFakeProgram(dir_, {"any child-sleep 60000", "any sleep 60000"});
  LaunchRequest request = Request("x");
  request.timeoutMs = 5000;
  LaunchResult result;
  std::thread run([&] { result = launcher.Run(request); });
  const long child = ChildId();
  // While the run lasts the child is seen running, so the check after it
  // has something to fail on.
  const bool runningBefore = child != 0 && testing::ProcessIsRunning(child);
  run.join();
  ASSERT_NE(child, 0) << "the child copy never wrote its id";
  EXPECT_TRUE(runningBefore);
  EXPECT_TRUE(result.timedOut);
  // Ending a process is not instant on either system; a child left out of
  // the ending would still be asleep long after this.
  bool running = true;
  for (int polls = 0; polls < 200 && running; ++polls) {
    running = testing::ProcessIsRunning(child);
    if (running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(running) << "the child " << child << " outlived the time limit";
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

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fake_program.hpp"
#include "test_dir.hpp"
#include "fileutil/shell_and_wait.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

TEST(WindowsCommandLine, SplitsByTheRuntimeRules) {
  struct Case {
    const char* text;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"C:\\My Files\\a.exe", {"C:\\My", "Files\\a.exe"}},
      {"\"C:\\My Files\\a.exe\"", {"C:\\My Files\\a.exe"}},
      {" -d \"C:\\My Files\\a.exe\"", {"-d", "C:\\My Files\\a.exe"}},
      {"a\tb  c", {"a", "b", "c"}},
      {"\"\"", {""}},
      {"a\\\\b", {"a\\\\b"}},               // backslashes not before a quote stay
      {"\"a\\\\\" b", {"a\\", "b"}},         // 2n backslashes + quote: n, quote acts
      {"\"a\\\"b\"", {"a\"b"}},              // 2n+1: n and a literal quote
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},  // "" inside quotes
      {"ab\"c d\"e", {"abc de"}},
      {"", {}},
      {"   ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitWindowsCommandLine(c.text), c.args) << c.text;
}

TEST(WindowsCommandLine, QuotingGivesEveryPathBackWhole) {
  for (const std::string path : {"/tmp/My Files/a.exe", "C:\\dir\\", "a\"b", "x\\\"y", "",
                                 "파로네 배포\\도구.exe", "tab\there"}) {
    EXPECT_EQ(SplitWindowsCommandLine(QuoteWindowsArgument(path)), std::vector<std::string>{path})
        << path;
    EXPECT_EQ(SplitWindowsCommandLine(" -d " + QuoteWindowsArgument(path)),
              (std::vector<std::string>{"-d", path}))
        << path;
  }
}

class RecordingLauncher final : public ProcessLauncher {
 public:
  LaunchResult Run(const LaunchRequest& request) override {
    shows.push_back(request.show);
    return {true, "", false, 0};
  }
  std::vector<ShowCommand> shows;
};

TEST(ShellAndWait, HiddenWinsOverMinimised) {
  RecordingLauncher launcher;
  ShellAndWait(launcher, "p", 0, "", "", kTrue16, kTrue16);
  ShellAndWait(launcher, "p", 0, "", "", kFalse16, kTrue16);
  ShellAndWait(launcher, "p", 0, "", "", kFalse16, kFalse16);
  ShellAndWait(launcher, "p", 0, "", "", 1, 0);
  EXPECT_EQ(launcher.shows, (std::vector<ShowCommand>{ShowCommand::kHide,
                                                      ShowCommand::kShowMinimisedNoActivate,
                                                      ShowCommand::kShow, ShowCommand::kHide}));
}

class RealLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::FreshTestDir("parone_launch");
    fs::create_directories(dir_ / "work dir");
    // The fake program under a name with a blank, as a packer may lie. It
    // records its folder and arguments after a pause, so a caller that did
    // not wait would find nothing yet.
    program_ = testing::InstallFakeProgram(dir_, "fake upx", {"any sleep 1000", "any record"});
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Log() { return testing::FakeProgramLog(dir_); }
  fs::path dir_;
  std::string program_;
  NativeProcessLauncher launcher;
};

TEST_F(RealLaunch, WaitsForTheProgramAndHandsItQuotedArgumentsInTheWorkingFolder) {
  const std::string work = (dir_ / "work dir").string();
  ShellAndWait(launcher, program_, 0, QuoteWindowsArgument("/tmp/My Files/a.exe"), work,
               kFalse16, kFalse16);
  EXPECT_EQ(Log(), work + "\n[/tmp/My Files/a.exe]\n");  // there at once: we waited
  ShellAndWait(launcher, program_, 0, " -d " + QuoteWindowsArgument("/tmp/My Files/a.exe"),
               work, kFalse16, kFalse16);
  EXPECT_EQ(Log(), work + "\n[/tmp/My Files/a.exe]\n" + work + "\n[-d]\n[/tmp/My Files/a.exe]\n");
}

TEST_F(RealLaunch, AProgramThatCannotStartSaysWhyAndIsNotWaitedFor) {
  const LaunchResult missing = ShellAndWait(launcher, (dir_ / "missing").string(), 0, "x",
                                            dir_.string(), kFalse16, kFalse16);
  const LaunchResult noFolder = ShellAndWait(launcher, program_, 0, "x",
                                             (dir_ / "no such folder").string(), kFalse16, kFalse16);
  for (const LaunchResult& r : {missing, noFolder}) {
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.error.empty());
  }
  EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "test_dir.hpp"
#include "distribution/code_signing.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/forwarding_file_system.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_view.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// A clock that only moves when the hand-off sleeps, running what a test
// scheduled for that moment (a signed copy arriving, say).
class ScriptedClock final : public Sleeper {
 public:
  void SleepMs(long ms) override {
    ++sleeps;
    now += ms;
    for (auto& [when, action] : actions) {
      if (action && when <= now) std::exchange(action, nullptr)();
    }
    if (onEverySleep) onEverySleep();
  }
  void At(long ms, std::function<void()> action) { actions.emplace_back(ms, std::move(action)); }
  long now = 0;
  int sleeps = 0;
  std::vector<std::pair<long, std::function<void()>>> actions;
  std::function<void()> onEverySleep;
};

class ScriptedWayOut final : public SigningWayOut {
 public:
  bool RetryCopy(const std::string&, const std::string&) override { return retries-- > 0; }
  bool KeepWaiting(long waitedMs) override { return waitedMs < giveUpAfterMs; }
  int retries = 0;
  long giveUpAfterMs = 60'000;
};

// The real file system, with replacements of local files logged and copy
// backs that can be made to fail.
class WatchedFiles final : public ForwardingFileSystem {
 public:
  bool CopyFileReplacing(const std::string& f, const std::string& t) override {
    if (failCopyBack && t.ends_with(".signed-tmp")) return false;
    return ForwardingFileSystem::CopyFileReplacing(f, t);
  }
  bool RenameReplacing(const std::string& f, const std::string& t) override {
    replaced.push_back(fs::path(t).filename().string());
    return ForwardingFileSystem::RenameReplacing(f, t);
  }
  bool failCopyBack = false;
  std::vector<std::string> replaced;
};

class CodeSigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_sign");
    for (const char* d : {"local/one", "local/two", "drop/unsigned", "drop/signed", "tool"}) {
      fs::create_directories(root_ / d);
    }
    config_ = SystemConfig::Defaults();
    ApplySigningDirOverride(config_, (root_ / "drop").string());
    facts = FixedProcessFacts((root_ / "tool").string());
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Local(const std::string& rel, const std::string& bytes) {
    Write(root_ / "local" / rel, bytes);
    return (root_ / "local" / rel).string();
  }
  fs::path Unsigned(const std::string& name) { return root_ / "drop" / "unsigned" / name; }
  fs::path Signed(const std::string& name) { return root_ / "drop" / "signed" / name; }
  void Sign(const std::string& name, const std::string& bytes) { Write(Signed(name), bytes); }

  bool HandOff(const std::vector<std::string>& paths) {
    DistributionContext context{view,     boxes,   files, settings, cp949, facts,
                                launcher, config_, FtpTimeouts{}, UrlTextTimeouts{}};
    DropFolderSigning signing(context, clock, wayOut);
    const bool ok = signing.CodeSigning(paths);
    polls = signing.lastPollCount();
    return ok;
  }

  fs::path root_;
  SystemConfig config_;
  RecordingView view;
  RecordingMessageBoxes boxes;
  WatchedFiles files;
  MemorySettingsStore settings;
  Cp949CodePage cp949;
  FixedProcessFacts facts{"/nonexistent"};
  NativeProcessLauncher launcher;
  ScriptedClock clock;
  ScriptedWayOut wayOut;
  std::size_t polls = 0;
};

TEST_F(CodeSigningTest, ASignedCopyAlreadyThereIsTakenAtOnceAndEmptyOrMissingEntriesAreIgnored) {
  const std::string a = Local("one/a.exe", "plain a");
  Write(Unsigned("a.exe"), "stale copy from an earlier run");
  Sign("a.exe", "signed a");
  EXPECT_TRUE(HandOff({"", a, (root_ / "local" / "gone.exe").string(), ""}));
  EXPECT_EQ(polls, 1u);
  EXPECT_EQ(clock.sleeps, 0);
  EXPECT_EQ(Read(a), "signed a");
  EXPECT_EQ(Read(Unsigned("a.exe")), "plain a");  // the old unsigned copy was replaced
  EXPECT_FALSE(fs::exists(Signed("a.exe")));      // taken back
  EXPECT_FALSE(fs::exists(Unsigned("gone.exe")));
  EXPECT_EQ(files.replaced, std::vector<std::string>{"a.exe"});
  EXPECT_EQ(view.waitingShown, (std::vector<bool>{true, false}));
  EXPECT_EQ(view.yields, 1);
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(CodeSigningTest, NothingIsReplacedUntilAllThreeAreSignedThenInListOrder) {
  const std::string a = Local("one/a.exe", "a"), b = Local("one/b.exe", "b"), c = Local("two/c.exe", "c");
  Sign("a.exe", "A");
  clock.At(5000, [&] { Sign("c.exe", "C"); });
  clock.At(20000, [&] { Sign("b.exe", "B"); });
  clock.onEverySleep = [&] { EXPECT_TRUE(files.replaced.empty()) << "at " << clock.now; };
  EXPECT_TRUE(HandOff({a, b, c}));
  EXPECT_EQ(files.replaced, (std::vector<std::string>{"a.exe", "b.exe", "c.exe"}));
  EXPECT_EQ(Read(a) + Read(b) + Read(c), "ABC");
  EXPECT_EQ(clock.now, 20000);
}

TEST_F(CodeSigningTest, ACopyArrivingAfterTwelveSecondsIsFoundOnTheFourthPoll) {
  const std::string a = Local("one/a.exe", "a");
  clock.At(12000, [&] { Sign("a.exe", "A"); });
  EXPECT_TRUE(HandOff({a}));
  EXPECT_EQ(polls, 4u);
  EXPECT_EQ(clock.sleeps, 3);
  EXPECT_EQ(clock.now, 15000);
}

TEST_F(CodeSigningTest, AMissingSignedFolderIsReportedAtEveryPollUntilTheUserGivesUp) {
  const std::string a = Local("one/a.exe", "a");
  fs::remove_all(root_ / "drop" / "signed");
  wayOut.giveUpAfterMs = 10000;  // polls at 0, 5 and 10 s, then gives up
  EXPECT_FALSE(HandOff({a}));
  EXPECT_EQ(polls, 3u);
  ASSERT_EQ(boxes.shown().size(), 3u);
  for (const auto& box : boxes.shown()) {
    EXPECT_EQ(box.text, "Error 76 (Path not found) in procedure CodeSigning of Form FrmMain");
    EXPECT_EQ(box.style, kStyleOkOnly);
  }
  EXPECT_EQ(Read(a), "a");
  EXPECT_EQ(view.waitingShown, (std::vector<bool>{true, false}));
}

TEST_F(CodeSigningTest, AFailingCopyIntoTheDropFolderCanBeGivenUpLosingNothing) {
  const std::string a = Local("one/a.exe", "a");
  fs::remove_all(root_ / "drop" / "unsigned");
  wayOut.retries = 2;
  EXPECT_FALSE(HandOff({a}));
  ASSERT_EQ(boxes.shown().size(), 3u);  // the first try and two more
  EXPECT_EQ(boxes.shown()[0].text, "Error copying File");
  EXPECT_EQ(boxes.shown()[0].style, kStyleOkOnly);
  EXPECT_EQ(polls, 0u);
  EXPECT_EQ(Read(a), "a");
}

TEST_F(CodeSigningTest, AFailedCopyBackKeepsTheSignedCopyAndTheLocalFile) {
  const std::string a = Local("one/a.exe", "a");
  Sign("a.exe", "A");
  files.failCopyBack = true;
  EXPECT_FALSE(HandOff({a}));
  EXPECT_EQ(Read(a), "a");
  EXPECT_EQ(Read(Signed("a.exe")), "A");
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find(") in procedure CodeSigning of Form FrmMain"), std::string::npos);
  EXPECT_FALSE(fs::exists(a + ".signed-tmp"));
}

TEST_F(CodeSigningTest, TwoFilesOfOneNameAreRefusedBeforeAnythingIsCopied) {
  const std::string a = Local("one/a.exe", "a"), a2 = Local("two/A.EXE", "other a");
  EXPECT_FALSE(HandOff({a, a2}));
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
  EXPECT_NE(boxes.shown()[0].text.find(a2), std::string::npos);
  EXPECT_TRUE(fs::is_empty(root_ / "drop" / "unsigned"));
  EXPECT_TRUE(view.waitingShown.empty());
  // The same path twice is one file, handed over once.
  Sign("a.exe", "A");
  boxes.Clear();
  EXPECT_TRUE(HandOff({a, a}));
  EXPECT_EQ(Read(a), "A");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(CodeSigningTest, UpxRunsBeforeTheFileIsHandedOver) {
  const std::string a = Local("one/a.exe", "a");
  view.upxPath = (root_ / "tool" / "upx.sh").string();
  // Stands in for the packer: marks the file it is given.
  Write(view.upxPath, "#!/bin/sh\nfor f; do [ \"$f\" = -d ] || printf '+upx' >> \"$f\"; done\n");
  fs::permissions(view.upxPath, fs::perms::owner_all);
  Sign("a.exe", "A");
  EXPECT_TRUE(HandOff({a}));
  EXPECT_EQ(Read(Unsigned("a.exe")), "a+upx+upx");  // both runs, before submission
  EXPECT_EQ(Read(a), "A");
  EXPECT_TRUE(boxes.shown().empty());
}

}  // namespace
}  // namespace parone

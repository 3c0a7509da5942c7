#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "distribution/code_signing.hpp"
#include "fake_program.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/forwarding_file_system.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_events.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
std::string Fixture(const std::string& name) { return Read(std::string(PARONE_FIXTURE_DIR) + "/" + name); }

// Build 33 as built, as the service signs it, and an older build signed.
const std::string kBuild33 = Fixture("sample64.exe");
const std::string kSigned33 = Fixture("signed/sample64.exe");
const std::string kSigned5 = Fixture("signed/sample_build5_64.exe");

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

// The real file system, with replacements of local files by signed copies
// logged and copy backs that can be made to fail or be raced.
class WatchedFiles final : public ForwardingFileSystem {
 public:
  bool CopyFileReplacing(const std::string& f, const std::string& t) override {
    if (t.ends_with(".signed-tmp")) {
      if (failCopyBack) return false;
      if (beforeCopyBack) std::exchange(beforeCopyBack, nullptr)();
    }
    return ForwardingFileSystem::CopyFileReplacing(f, t);
  }
  bool RenameReplacing(const std::string& f, const std::string& t) override {
    if (f.ends_with(".signed-tmp")) replaced.push_back(fs::path(t).filename().string());
    return ForwardingFileSystem::RenameReplacing(f, t);
  }
  bool failCopyBack = false;
  std::function<void()> beforeCopyBack;
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

  std::string Local(const std::string& rel) {
    Write(root_ / "local" / rel, kBuild33);
    return (root_ / "local" / rel).string();
  }
  fs::path Unsigned(const std::string& name) { return root_ / "drop" / "unsigned" / name; }
  fs::path Signed(const std::string& name) { return root_ / "drop" / "signed" / name; }
  void Sign(const std::string& name, const std::string& bytes) { Write(Signed(name), bytes); }
  std::string AllTexts() const {
    std::string texts;
    for (const auto& box : boxes.shown()) texts += box.text + "\n---\n";
    return texts;
  }

  bool HandOff(const std::vector<std::string>& paths) {
    request.config = config_;
    PublishServices services{files, settings, cp949, facts, launcher, clock};
    const RunContext context{request, services, events};
    DropFolderSigning signing(context, wayOut);
    const bool ok = signing.CodeSigning(paths);
    polls = signing.lastPollCount();
    dropped = signing.DroppedPaths();
    return ok;
  }

  fs::path root_;
  SystemConfig config_;
  PublishRequest request = [] {
    PublishRequest r;
    r.upxPath = "/nonexistent/upx";
    return r;
  }();
  RecordingMessageBoxes boxes;
  WatchedFiles files;
  MemorySettingsStore settings;
  Cp949CodePage cp949;
  FixedProcessFacts facts{"/nonexistent"};
  NativeProcessLauncher launcher;
  RecordingEvents events{boxes};
  ScriptedClock clock;
  ScriptedWayOut wayOut;
  std::size_t polls = 0;
  std::vector<std::string> dropped;
};

TEST_F(CodeSigningTest, AProperCopyAlreadyThereIsTakenOnceItHoldsStillAndEmptyOrMissingEntriesAreIgnored) {
  const std::string a = Local("one/a.exe");
  Write(Unsigned("a.exe"), "stale copy from an earlier run");
  Sign("a.exe", kSigned33);
  EXPECT_TRUE(HandOff({"", a, (root_ / "local" / "gone.exe").string(), ""}));
  EXPECT_EQ(polls, 2u);  // seen, then seen again at the same size
  EXPECT_EQ(clock.sleeps, 1);
  EXPECT_EQ(Read(a), kSigned33);
  EXPECT_EQ(Read(Unsigned("a.exe")), kBuild33);  // the old unsigned copy was replaced
  EXPECT_FALSE(fs::exists(Signed("a.exe")));     // taken back
  EXPECT_FALSE(fs::exists(Unsigned("gone.exe")));
  EXPECT_EQ(files.replaced, std::vector<std::string>{"a.exe"});
  EXPECT_EQ(events.waitingShown, (std::vector<bool>{true, false}));
  EXPECT_EQ(events.pulses, 1);
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_TRUE(dropped.empty());
}

TEST_F(CodeSigningTest, NothingIsReplacedUntilAllThreeAreSignedThenInListOrder) {
  const std::string a = Local("one/a.exe"), b = Local("one/b.exe"), c = Local("two/c.exe");
  Sign("a.exe", kSigned33);
  clock.At(5000, [&] { Sign("c.exe", kSigned33); });
  clock.At(20000, [&] { Sign("b.exe", kSigned33); });
  clock.onEverySleep = [&] { EXPECT_TRUE(files.replaced.empty()) << "at " << clock.now; };
  EXPECT_TRUE(HandOff({a, b, c}));
  EXPECT_EQ(files.replaced, (std::vector<std::string>{"a.exe", "b.exe", "c.exe"}));
  EXPECT_EQ(Read(a) + Read(b) + Read(c), kSigned33 + kSigned33 + kSigned33);
  EXPECT_EQ(clock.now, 25000);  // b first seen at 20 s, unchanged at 25 s
}

TEST_F(CodeSigningTest, ACopyArrivingAfterTwelveSecondsIsTakenOnThePollAfterItIsSeen) {
  const std::string a = Local("one/a.exe");
  clock.At(12000, [&] { Sign("a.exe", kSigned33); });
  EXPECT_TRUE(HandOff({a}));
  EXPECT_EQ(polls, 5u);
  EXPECT_EQ(clock.sleeps, 4);
  EXPECT_EQ(clock.now, 20000);
}

TEST_F(CodeSigningTest, ACopyStillBeingWrittenIsLeftAloneUntilItStopsGrowing) {
  const std::string a = Local("one/a.exe");
  clock.At(4000, [&] { Sign("a.exe", kSigned33.substr(0, 3000)); });
  clock.At(9000, [&] { Sign("a.exe", kSigned33); });
  clock.onEverySleep = [&] { EXPECT_TRUE(files.replaced.empty()) << "at " << clock.now; };
  EXPECT_TRUE(HandOff({a}));
  EXPECT_EQ(clock.now, 15000);  // 3000 bytes at 5 s, all at 10 s, still all at 15 s
  EXPECT_EQ(Read(a), kSigned33);
  EXPECT_TRUE(boxes.shown().empty());  // a copy on its way is no reason to complain
}

TEST_F(CodeSigningTest, ACopyThatIsNoProperSignedCopyIsReportedOnceAndNeverTaken) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string reason;  // in the message
  };
  const Case cases[] = {
      {"an empty file", "", "프로그램 파일(PE)이 아닙니다"},
      {"a text file", "signed!", "프로그램 파일(PE)이 아닙니다"},
      {"a copy cut off before its signature ends", kSigned33.substr(0, kSigned33.size() - 100),
       "서명 부분이 잘렸거나 손상되었습니다"},
      {"the unsigned file sent back", kBuild33, "전자서명이 없습니다"},
      {"another build, signed", kSigned5,
       "버전이 다릅니다: 보낸 파일 1.01.0033, 서명된 파일 1.01.0005"},
  };
  wayOut.giveUpAfterMs = 20000;  // five polls
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.Clear();
    const std::string a = Local("one/a.exe");
    Sign("a.exe", c.bytes);
    EXPECT_FALSE(HandOff({a}));
    EXPECT_EQ(polls, 5u);
    ASSERT_EQ(boxes.shown().size(), 1u) << AllTexts();
    EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
    EXPECT_NE(boxes.shown()[0].text.find(Signed("a.exe").string()), std::string::npos);
    EXPECT_NE(boxes.shown()[0].text.find(c.reason), std::string::npos) << boxes.shown()[0].text;
    EXPECT_EQ(Read(a), kBuild33);
    EXPECT_TRUE(files.replaced.empty());
    // Given up: the unsigned copy is taken back so nobody signs it later;
    // what lies in the signed folder is not ours to remove.
    EXPECT_FALSE(fs::exists(Unsigned("a.exe")));
    EXPECT_EQ(Read(Signed("a.exe")), c.bytes);
  }
}

TEST_F(CodeSigningTest, ABadCopyReplacedByAProperOneIsTakenThen) {
  struct Case {
    const char* what;
    std::string first;
    std::string reason;
  };
  const Case cases[] = {
      // An earlier run gave up; its unsigned build 5 was signed after all.
      {"a stale signed copy of build 5", kSigned5, "1.01.0005"},
      // The service stalled half way for more than a poll, then finished.
      {"a copy stalled half written", kSigned33.substr(0, 4000), "서명 부분이 잘렸거나"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.Clear();
    clock = ScriptedClock();
    const std::string a = Local("one/a.exe");
    Sign("a.exe", c.first);
    clock.At(20000, [&] { Sign("a.exe", kSigned33); });
    EXPECT_TRUE(HandOff({a}));
    EXPECT_EQ(clock.now, 25000);
    EXPECT_EQ(Read(a), kSigned33);
    ASSERT_EQ(boxes.shown().size(), 1u);  // at 5 s, not again at 10 and 15
    EXPECT_NE(boxes.shown()[0].text.find(c.reason), std::string::npos) << boxes.shown()[0].text;
  }
}

TEST_F(CodeSigningTest, ACopySwappedAfterItWasCheckedIsNotPutInPlace) {
  const std::string a = Local("one/a.exe");
  Sign("a.exe", kSigned33);
  files.beforeCopyBack = [&] { Sign("a.exe", kSigned5); };
  EXPECT_FALSE(HandOff({a}));
  EXPECT_EQ(Read(a), kBuild33);
  EXPECT_FALSE(fs::exists(a + ".signed-tmp"));
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find("1.01.0005"), std::string::npos);
  EXPECT_NE(boxes.shown()[0].text.find(a + " 파일은 바꾸지 않았습니다"), std::string::npos);
}

TEST_F(CodeSigningTest, AMissingSignedFolderIsReportedAtEveryPollUntilTheUserGivesUp) {
  const std::string a = Local("one/a.exe");
  fs::remove_all(root_ / "drop" / "signed");
  wayOut.giveUpAfterMs = 10000;  // polls at 0, 5 and 10 s, then gives up
  EXPECT_FALSE(HandOff({a}));
  EXPECT_EQ(polls, 3u);
  ASSERT_EQ(boxes.shown().size(), 3u);
  for (const auto& box : boxes.shown()) {
    EXPECT_EQ(box.text, "Error 76 (Path not found) in procedure CodeSigning of Form FrmMain");
    EXPECT_EQ(box.style, kStyleOkOnly);
  }
  EXPECT_EQ(Read(a), kBuild33);
  EXPECT_FALSE(fs::exists(Unsigned("a.exe")));
  EXPECT_EQ(events.waitingShown, (std::vector<bool>{true, false}));
}

TEST_F(CodeSigningTest, AFailingCopyIntoTheDropFolderCanBeGivenUpLosingNothing) {
  const std::string a = Local("one/a.exe"), b = Local("one/b.exe");
  // a goes in; b cannot, since a folder of its name is in the way.
  fs::create_directories(Unsigned("b.exe"));
  wayOut.retries = 2;
  EXPECT_FALSE(HandOff({a, b}));
  ASSERT_EQ(boxes.shown().size(), 3u);  // the first try and two more
  EXPECT_EQ(boxes.shown()[0].text, "Error copying File");
  EXPECT_EQ(boxes.shown()[0].style, kStyleOkOnly);
  EXPECT_EQ(polls, 0u);
  EXPECT_EQ(Read(a), kBuild33);
  EXPECT_FALSE(fs::exists(Unsigned("a.exe")));  // withdrawn with the rest
}

TEST_F(CodeSigningTest, AFailedCopyBackKeepsTheSignedCopyAndTheLocalFile) {
  const std::string a = Local("one/a.exe");
  Sign("a.exe", kSigned33);
  files.failCopyBack = true;
  EXPECT_FALSE(HandOff({a}));
  EXPECT_EQ(Read(a), kBuild33);
  EXPECT_EQ(Read(Signed("a.exe")), kSigned33);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find(") in procedure CodeSigning of Form FrmMain"), std::string::npos);
  EXPECT_FALSE(fs::exists(a + ".signed-tmp"));
}

TEST_F(CodeSigningTest, TwoFilesOfOneNameAreRefusedBeforeAnythingIsCopied) {
  const std::string a = Local("one/a.exe"), a2 = Local("two/A.EXE");
  EXPECT_FALSE(HandOff({a, a2}));
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
  EXPECT_NE(boxes.shown()[0].text.find(a2), std::string::npos);
  EXPECT_TRUE(fs::is_empty(root_ / "drop" / "unsigned"));
  EXPECT_TRUE(events.waitingShown.empty());
  // The same path twice is one file, handed over once.
  Sign("a.exe", kSigned33);
  boxes.Clear();
  EXPECT_TRUE(HandOff({a, a}));
  EXPECT_EQ(Read(a), kSigned33);
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(CodeSigningTest, UpxRunsBeforeTheFileIsHandedOverAndTheSignedCopyIsCheckedAgainstItsResult) {
  const std::string a = Local("one/a.exe");
  // Stands in for the packer: marks the file it packs.
  request.upxPath = testing::InstallFakeProgram(root_ / "tool", "upx", {"pack append +upx"});
  Sign("a.exe", kSigned33);
  EXPECT_TRUE(HandOff({a}));
  EXPECT_EQ(Read(Unsigned("a.exe")), kBuild33 + "+upx");  // both runs, before submission
  EXPECT_EQ(Read(a), kSigned33);
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(CodeSigningTest, AFileWhosePackerFailedIsNotHandedOverAndTheOthersGoOn) {
  const std::string a = Local("one/a.exe"), b = Local("one/b.exe");
  request.upxPath = testing::InstallFakeProgram(root_ / "tool", "upx", {"pack:a.exe bump-version"});
  Sign("a.exe", kSigned33);  // even a proper-looking copy is not taken for it
  Sign("b.exe", kSigned33);
  EXPECT_TRUE(HandOff({a, b}));
  EXPECT_EQ(dropped, std::vector<std::string>{a});
  EXPECT_EQ(Read(a), kBuild33);  // put back as it was before the packer
  EXPECT_FALSE(fs::exists(Unsigned("a.exe")));
  EXPECT_EQ(Read(b), kSigned33);
  EXPECT_EQ(files.replaced, std::vector<std::string>{"b.exe"});
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text.rfind("UPX 실패", 0), 0u);

  // With every file dropped there is nothing to wait for.
  boxes.Clear();
  dropped.clear();
  request.upxPath = testing::InstallFakeProgram(root_ / "tool", "upx", {"pack exit 1"});
  EXPECT_TRUE(HandOff({a}));
  EXPECT_EQ(dropped, std::vector<std::string>{a});
  EXPECT_EQ(polls, 0u);
}

TEST_F(CodeSigningTest, AWaitThatAsksPutsItsQuestionEveryFiveMinutesAndNoGivesUp) {
  PublishServices services{files, settings, cp949, facts, launcher, clock};
  const RunContext context{request, services, events};  // the window's policy: ask
  PolicyWayOut asking(context);
  EXPECT_TRUE(asking.KeepWaiting(0));
  EXPECT_TRUE(asking.KeepWaiting(60'000));
  EXPECT_TRUE(boxes.shown().empty());
  boxes.AnswerNextQuestion(kAnswerYes);
  EXPECT_TRUE(asking.KeepWaiting(300'000));
  EXPECT_FALSE(asking.KeepWaiting(600'000));  // no scripted answer: No, the default
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[1].style, kStyleQuestionYesNo);
  EXPECT_NE(boxes.shown()[1].text.find("10분째"), std::string::npos);
  boxes.AnswerNextQuestion(kAnswerYes);
  EXPECT_TRUE(asking.RetryCopy("C:\\a.exe", "S:\\u\\a.exe"));
  EXPECT_NE(boxes.shown().back().text.find("C:\\a.exe\r\n-> S:\\u\\a.exe"), std::string::npos);
  EXPECT_FALSE(asking.RetryCopy("a", "b"));
  EXPECT_EQ(events.asked, (std::vector<QuestionKind>{QuestionKind::kKeepWaiting, QuestionKind::kKeepWaiting,
                                                     QuestionKind::kRetryCopy, QuestionKind::kRetryCopy}));
}

TEST_F(CodeSigningTest, AWaitWithNobodyToAskRetriesAFewTimesAndEndsAtItsDeadline) {
  request.signing.askEveryMs = 0;
  request.signing.timeoutMs = 12'000;
  request.signing.copyRetries = 3;
  PublishServices services{files, settings, cp949, facts, launcher, clock};
  const RunContext context{request, services, events};
  PolicyWayOut silent(context);
  EXPECT_TRUE(silent.KeepWaiting(11'000));  // before the deadline, and nobody is asked
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(silent.RetryCopy("a", "b"));
  EXPECT_FALSE(silent.RetryCopy("a", "b"));
  EXPECT_EQ(clock.now, 3000);  // a second between tries
  // The last sleep is cut to fall on the deadline.
  EXPECT_EQ(silent.NextSleepMs(10'000, 5000), 2000);
  EXPECT_FALSE(silent.KeepWaiting(12'000));
  EXPECT_TRUE(events.asked.empty());
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(events.notices.size(), 2u);  // the copy given up, the wait given up
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/cli.hpp"
#include "distribution/publish_journal.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

JournalEntry Entry(const std::string& name, const std::string& result,
                   const std::string& decision = "new") {
  JournalEntry e;
  e.time = "2024-05-06T07:08:09Z";
  e.user = "tester";
  e.path = "/build/" + name;
  e.localBuild = "33";
  e.result = result;
  e.decision = decision;
  return e;
}

// `history` over a journal the test writes, on the real file system.
class CliHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_history");
    facts.userDataFolder = testing::Utf8Of(root_ / testing::Utf8Path("파로네_배포"));
    ASSERT_TRUE(files.CreateFolders(facts.userDataFolder));
  }
  void TearDown() override { testing::RemoveTestDir(root_); }

  std::string JournalPath() { return PublishJournal(files, facts).CurrentPath(); }
  void Write(const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& e : entries) ASSERT_TRUE(files.AppendToFile(JournalPath(), JournalLine(e)));
  }
  int Run(const std::vector<std::string>& args) {
    std::ostringstream outStream, errStream;
    std::istringstream in;
    MemorySettingsStore settings;
    Cp949CodePage codePage;
    NativeProcessLauncher launcher;
    RealSleeper sleeper;
    CliContext context{outStream, errStream, in,
                       PublishServices{files, settings, codePage, facts, launcher, sleeper}};
    const int status = RunCli(args, context);
    out = outStream.str();
    err = errStream.str();
    return status;
  }

  fs::path root_;
  NativeFileSystem files;
  FixedProcessFacts facts{"/tool"};
  std::string out;
  std::string err;
};

TEST_F(CliHistory, EachResultIsListedByItsNameWithWhatADeclinedFileWasAskedAbout) {
  JournalEntry confirmed = Entry("a.exe", "published");
  confirmed.confirmed = true;
  JournalEntry failed = Entry("b.exe", "failed");
  failed.error = Error{Stage::kLogin, CodeKind::kFtp, 530, "530 Login incorrect."};
  JournalEntry unconfirmed = Entry("c.exe", "not_confirmed");
  unconfirmed.confirmed = false;
  unconfirmed.error = Error{Stage::kReadBack, CodeKind::kHttp, 404, "404 Not Found"};
  JournalEntry raced = Entry("d.exe", "raced");
  raced.error = Error{Stage::kLastVer, CodeKind::kNone, 0, "the lastver file changed"};
  JournalEntry old = Entry("e.exe", "declined", "");  // a line written before decisions were
  Write({confirmed, failed, unconfirmed, raced, Entry("f.exe", "declined", "same"),
         Entry("g.exe", "declined", "older"), Entry("h.exe", "declined", "unreadable"),
         Entry("i.exe", "declined", "unknown"), Entry("j.exe", "declined", "new"),
         Entry("k.exe", "declined", "skipped"), old});
  EXPECT_EQ(Run({"history"}), kExitOk) << err;
  const std::string t = "2024-05-06T07:08:09Z  ";
  EXPECT_EQ(Lines(out), (std::vector<std::string>{
                            t + "e.exe  build 33  declined  -  tester",
                            t + "k.exe  build 33  declined (not checked)  -  tester",
                            t + "j.exe  build 33  declined (asked about another file)  -  tester",
                            t + "i.exe  build 33  declined (server build unknown)  -  tester",
                            t + "h.exe  build 33  declined (unreadable version)  -  tester",
                            t + "g.exe  build 33  declined (older build)  -  tester",
                            t + "f.exe  build 33  declined (same build)  -  tester",
                            t + "d.exe  build 33  raced (lastver)  -  tester",
                            t + "c.exe  build 33  not_confirmed (read-back 404)  not confirmed  tester",
                            t + "b.exe  build 33  failed (login 530)  -  tester",
                            t + "a.exe  build 33  published  confirmed  tester"}));
  EXPECT_EQ(err, "");
}

TEST_F(CliHistory, TextThatWouldActOnTheTerminalIsShownEscapedAndJsonIsUnchanged) {
  JournalEntry e = Entry("x\x1b]0;owned\x07\r\n.exe", "published\x1b[2J");
  e.user = "us\xC2\x9B" "er";  // C1 CSI
  e.localBuild = "3\r3";
  Write({e});
  EXPECT_EQ(Run({"history"}), kExitOk) << err;
  EXPECT_EQ(out,
            "2024-05-06T07:08:09Z  x\\x1b]0;owned\\x07\\r\\n.exe  build 3\\r3  published\\x1b[2J  -  "
            "us\\u009ber\n");

  EXPECT_EQ(Run({"history", "--json"}), kExitOk);
  EXPECT_EQ(out, JournalLine(e));
}

TEST_F(CliHistory, AnEntryAfterALineCutShortIsListedAndTheCutLineReported) {
  PublishJournal journal(files, facts);
  FileReport first{"/build/first.exe", std::nullopt, std::nullopt, PublishResult::kFailed};
  ASSERT_TRUE(journal.Append(first));
  ASSERT_TRUE(files.AppendToFile(JournalPath(), "{\"time\":\"2024-05-06T07:08:09Z\",\"user\""));
  FileReport next{"/build/next.exe", std::nullopt, std::nullopt, PublishResult::kFailed};
  ASSERT_TRUE(journal.Append(next));
  EXPECT_EQ(Run({"history"}), kExitOk);
  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 2u) << out;
  EXPECT_NE(lines[0].find("next.exe"), std::string::npos);
  EXPECT_NE(lines[1].find("first.exe"), std::string::npos);
  EXPECT_EQ(err, JournalPath() + " line 2: damaged, skipped\n");
}

TEST_F(CliHistory, AJournalNameThatIsNoFileIsAnErrorNotAnEmptyHistory) {
  Write({Entry("a.exe", "published")});
  const std::string previous = PublishJournal(files, facts).PreviousPath();
  ASSERT_TRUE(files.CreateFolders(previous));
  EXPECT_EQ(Run({"history"}), kExitFailed);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "cannot read the journal: " + previous + ": a folder, not a file\n");

  fs::remove(testing::Utf8Path(previous));
  fs::remove(testing::Utf8Path(JournalPath()));
  ASSERT_TRUE(files.CreateFolders(JournalPath()));
  EXPECT_EQ(Run({"history", "--json"}), kExitFailed);
  EXPECT_NE(err.find(JournalPath() + ": a folder, not a file"), std::string::npos) << err;
}

TEST_F(CliHistory, TheCountIsAWholeNumberFromOneToAMillion) {
  std::vector<JournalEntry> twelve;
  for (int i = 1; i <= 12; ++i) twelve.push_back(Entry(std::to_string(i) + ".exe", "published"));
  Write(twelve);
  const std::pair<const char*, std::size_t> accepted[] = {
      {"1", 1}, {"1000000", 12}, {"010", 10},  // decimal, not octal
  };
  for (const auto& [count, lines] : accepted) {
    EXPECT_EQ(Run({"history", "-n", count}), kExitOk) << count << ": " << err;
    EXPECT_EQ(Lines(out).size(), lines) << count;
  }
  for (const char* count : {"abc", "0", "000", "-1", "1000001", "99999999999999999999", "0x10",
                            "5.5", "1e3", "+5", " 5", ""}) {
    EXPECT_EQ(Run({"history", "-n", count}), kExitUsage) << count;
    EXPECT_EQ(out, "") << count;
    EXPECT_NE(err.find("-n: takes a whole number from 1 to 1000000"), std::string::npos)
        << count << ": " << err;
  }
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "distribution/publish_journal.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/forwarding_file_system.hpp"
#include "platform/fakes/memory_file_system.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

// A published file as the run reports it.
FileReport Published(const std::string& path, const std::string& build = "33") {
  FileReport report{path, ServerVersion{}, UploadOutcome{true, true}, PublishResult::kPublished};
  report.check->localBuild = build;
  report.check->server = 32;
  report.check->versionRead = true;
  report.check->local = 33;
  report.check->record.kind = RecordKind::kBuild;
  report.check->record.build = 32;
  report.upload->build = build;
  report.upload->size = 5579;
  report.upload->sha256 = std::string(64, 'c');
  report.upload->seconds = 1.5;
  return report;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

class PublishJournalTest : public ::testing::Test {
 protected:
  PublishJournalTest() { facts.userDataFolder = "/data"; }
  std::string Current() { return files.ReadWholeFile("/data/journal.jsonl").value_or(""); }
  std::string Previous() { return files.ReadWholeFile("/data/journal.1.jsonl").value_or(""); }

  MemoryFileSystem files;
  FixedProcessFacts facts{"/tool", {1, 1, 33}};
};

TEST_F(PublishJournalTest, AnAttemptIsOneLineWithWhoWhatWhereAndHowItWent) {
  PublishJournal journal(files, facts);
  ASSERT_TRUE(journal.Append(Published("/build/Tool.Setup.exe")));
  EXPECT_EQ(Current(),
            "{\"time\":\"2024-05-06T07:08:09Z\",\"user\":\"tester\",\"machine\":\"BUILD-PC\","
            "\"tool\":\"1.1.33\",\"path\":\"/build/Tool.Setup.exe\",\"size\":5579,"
            "\"sha256\":\"" + std::string(64, 'c') + "\",\"local_build\":\"33\","
            "\"server_build\":32,\"result\":\"published\",\"decision\":\"new\",\"confirmed\":null,"
            "\"attempts\":0,\"seconds\":1.5,"
            "\"error\":null}\n");
  const auto entry = ParseJournalLine(Lines(Current())[0]);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->path, "/build/Tool.Setup.exe");
  EXPECT_EQ(entry->size, 5579u);
  EXPECT_EQ(entry->serverBuild, 32);
  EXPECT_EQ(entry->seconds, 1.5);
  EXPECT_TRUE(files.FolderExists("/data"));  // made when missing
}

TEST_F(PublishJournalTest, AtTheLimitTheJournalBecomesThePreviousOneAndANewOneBegins) {
  PublishJournal journal(files, facts, 500);  // two lines fit, the third starts a new file
  for (const char* name : {"/b/one.exe", "/b/two.exe"}) ASSERT_TRUE(journal.Append(Published(name)));
  EXPECT_EQ(Lines(Current()).size(), 2u);
  ASSERT_TRUE(journal.Append(Published("/b/three.exe")));
  EXPECT_EQ(Lines(Previous()).size(), 2u);
  ASSERT_EQ(Lines(Current()).size(), 1u);
  EXPECT_EQ(ParseJournalLine(Lines(Current())[0])->path, "/b/three.exe");
  // Only one previous file is kept.
  ASSERT_TRUE(journal.Append(Published("/b/four.exe")));
  ASSERT_TRUE(journal.Append(Published("/b/five.exe")));
  EXPECT_EQ(ParseJournalLine(Lines(Previous())[0])->path, "/b/three.exe");
  EXPECT_EQ(files.files().size(), 2u);  // nothing left under a taken name
}

// Hands the journal file to another run just when this run is about to
// take it: the other run rotates first and starts the new journal.
class AnotherRunRotatesFirst final : public ForwardingFileSystem {
 public:
  AnotherRunRotatesFirst(MemoryFileSystem& inner, PublishJournal& other)
      : ForwardingFileSystem(&inner), other_(other) {}
  bool RenameReplacing(const std::string& from, const std::string& to) override {
    if (!interfered_ && from.ends_with("/journal.jsonl")) {
      interfered_ = true;
      EXPECT_TRUE(other_.Append(Published("/b/other.exe")));
    }
    return ForwardingFileSystem::RenameReplacing(from, to);
  }

 private:
  PublishJournal& other_;
  bool interfered_ = false;
};

TEST_F(PublishJournalTest, TwoRunsRotatingAtOnceKeepTheFullJournalAndBothNewLines) {
  PublishJournal plain(files, facts, 500);
  for (const char* name : {"/b/one.exe", "/b/two.exe"}) ASSERT_TRUE(plain.Append(Published(name)));
  const std::string full = Current();
  PublishJournal other(files, facts, 500);
  AnotherRunRotatesFirst racing(files, other);
  PublishJournal mine(racing, facts, 500);
  ASSERT_TRUE(mine.Append(Published("/b/mine.exe")));
  EXPECT_EQ(Previous(), full);  // the full journal was not renamed over
  std::vector<std::string> paths;
  for (const std::string& line : Lines(Current())) paths.push_back(ParseJournalLine(line)->path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/b/other.exe", "/b/mine.exe"}));
  EXPECT_EQ(files.files().size(), 2u);
}

TEST_F(PublishJournalTest, ReadingSkipsDamagedLinesAndSaysWhereTheyAre) {
  PublishJournal journal(files, facts);
  files.AddFile("/data/journal.1.jsonl", JournalLine(JournalEntryOf(Published("/b/old.exe"), facts)));
  ASSERT_TRUE(journal.Append(Published("/b/a.exe")));
  // Lines another program (or a cut-off write) left.
  files.AppendToFile("/data/journal.jsonl", "{\"time\":\"2024-05-06T07:08:09Z\",\"path\":\"/b/cut\n");
  files.AppendToFile("/data/journal.jsonl", "{\"time\":1,\"path\":\"/b/x.exe\",\"result\":\"published\"}\n");
  files.AppendToFile("/data/journal.jsonl", "\n");  // an empty line is no damage
  // A cut line that an entry was appended to without a line break between
  // them (no run appends so any more; older journals have such lines).
  files.AppendToFile("/data/journal.jsonl", "{\"time\":\"2024-05-06T07:08:09Z\",\"pa" +
                                                JournalLine(JournalEntryOf(Published("/b/joined.exe"), facts)));
  ASSERT_TRUE(journal.Append(Published("/b/b.exe")));
  const JournalReading reading = ReadJournal(files, journal);
  std::vector<std::string> paths;
  for (const JournalEntry& e : reading.entries) paths.push_back(e.path);
  EXPECT_EQ(paths,
            (std::vector<std::string>{"/b/old.exe", "/b/a.exe", "/b/joined.exe", "/b/b.exe"}));
  EXPECT_EQ(reading.damaged,
            (std::vector<std::string>{"/data/journal.jsonl line 2", "/data/journal.jsonl line 3",
                                      "/data/journal.jsonl line 5"}));
  EXPECT_TRUE(reading.unreadable.empty());
}

TEST(JournalTime, IsWrittenInUtcToTheSecond) {
  using std::chrono::seconds;
  using std::chrono::system_clock;
  const std::pair<long long, const char*> cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {951782400, "2000-02-29T00:00:00Z"},  // a leap day
      {1714979289, "2024-05-06T07:08:09Z"},
      {4102444799, "2099-12-31T23:59:59Z"},
  };
  for (const auto& [since, text] : cases) {
    EXPECT_EQ(UtcTimeText(system_clock::time_point(seconds(since))), text);
  }
  // A fraction of a second is cut, not rounded.
  EXPECT_EQ(UtcTimeText(system_clock::time_point(std::chrono::milliseconds(999))),
            "1970-01-01T00:00:00Z");
}

class NativeJournalTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::FreshTestDir("parone_journal"); }
  void TearDown() override { testing::RemoveTestDir(dir_); }
  std::string At(const std::string& name) { return testing::Utf8Of(dir_ / testing::Utf8Path(name)); }
  fs::path dir_;
  NativeFileSystem files;
};

TEST_F(NativeJournalTest, RunsAppendingAtOnceNeverMixTheirLines) {
  FixedProcessFacts facts("/tool");
  facts.userDataFolder = At("설정/파로네_배포");
  constexpr int kPerRun = 200;
  auto run = [&](const std::string& name) {
    PublishJournal journal(files, facts);
    for (int i = 0; i < kPerRun; ++i) {
      ASSERT_TRUE(journal.Append(Published("/build/" + name + std::to_string(i) + ".exe")));
    }
  };
  std::thread a(run, std::string(300, 'a'));
  std::thread b(run, std::string(300, 'b'));
  a.join();
  b.join();
  PublishJournal journal(files, facts);
  const JournalReading reading = ReadJournal(files, journal);
  EXPECT_TRUE(reading.damaged.empty());
  EXPECT_EQ(reading.entries.size(), 2u * kPerRun);
}

TEST_F(NativeJournalTest, AnAttemptAfterALineCutShortBeginsOnALineOfItsOwn) {
  FixedProcessFacts facts("/tool");
  facts.userDataFolder = At("파로네_배포");
  PublishJournal journal(files, facts);
  ASSERT_TRUE(journal.Append(Published("/build/a.exe")));
  // What a write cut short by a full disk or a crash leaves.
  const std::string cut = "{\"time\":\"2024-05-06T07:08:09Z\",\"user\":\"tes";
  ASSERT_TRUE(files.AppendToFile(journal.CurrentPath(), cut));
  ASSERT_TRUE(journal.Append(Published("/build/b.exe")));
  ASSERT_TRUE(journal.Append(Published("/build/c.exe")));
  const std::vector<std::string> lines = Lines(files.ReadWholeFile(journal.CurrentPath()).value());
  ASSERT_EQ(lines.size(), 4u);  // no empty line where none was needed
  EXPECT_EQ(lines[1], cut);
  const JournalReading reading = ReadJournal(files, journal);
  std::vector<std::string> paths;
  for (const JournalEntry& e : reading.entries) paths.push_back(e.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/build/a.exe", "/build/b.exe", "/build/c.exe"}));
  EXPECT_EQ(reading.damaged, (std::vector<std::string>{journal.CurrentPath() + " line 2"}));
}

TEST_F(NativeJournalTest, AFolderAtTheJournalsNameIsUnreadableNotEmpty) {
  FixedProcessFacts facts("/tool");
  facts.userDataFolder = At("파로네_배포");
  PublishJournal journal(files, facts);
  ASSERT_TRUE(files.CreateFolders(journal.CurrentPath()));
  EXPECT_FALSE(journal.Append(Published("/build/a.exe")));
  const JournalReading reading = ReadJournal(files, journal);
  EXPECT_TRUE(reading.entries.empty());
  EXPECT_EQ(reading.unreadable,
            (std::vector<std::string>{journal.CurrentPath() + ": a folder, not a file"}));
}

TEST_F(NativeJournalTest, AFolderThatCannotBeMadeIsAFalseAndNothingElse) {
  std::ofstream(dir_ / "a file") << "in the way";
  FixedProcessFacts facts("/tool");
  facts.userDataFolder = At("a file") + kPlatform.separator + "파로네_배포";
  PublishJournal journal(files, facts);
  EXPECT_FALSE(journal.Append(Published("/build/a.exe")));
  EXPECT_TRUE(ReadJournal(files, journal).entries.empty());
}

}  // namespace
}  // namespace parone

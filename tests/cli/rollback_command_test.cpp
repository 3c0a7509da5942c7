#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.hpp"
#include "cli_harness.hpp"
#include "common/text_encoding.hpp"
#include "distribution/publish_journal.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "test_dir.hpp"
#include "version_block_builder.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::LocalServer;

const std::string kHistory = ".history/Tool.Setup.exe/";

// A 64-bit program file whose FileVersion ends in `build`.
std::string ProgramOfBuild(int build) {
  return testing::BuildPe(
      testing::SimpleBlock(u"041204B0", {{u"FileVersion", u"1.0." + Utf8ToUtf16(std::to_string(build))}}), 64);
}

class CliRollback : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_rollback");
    fs::create_directories(root_ / "temp");
    program_ = (root_ / "Tool.Setup.exe").string();
    facts = FixedProcessFacts(root_.string());
    facts.userDataFolder = (root_ / "data").string();
  }
  void TearDown() override { testing::RemoveTestDir(root_); }

  int Run(std::vector<std::string> args, const LocalServer& server) {
    args.push_back("--server");
    args.push_back("127.0.0.1:" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort()));
    const auto run = testing::RunCliHere(
        args, settings, facts, testing::DemoPasswordOnly,
        [this](CliContext& c) { c.stdinIsTerminal = terminalInput.has_value(); }, terminalInput.value_or(""));
    out = run.out;
    err = run.err;
    return run.status;
  }
  // Publishes the program file of each build in turn, as a release would.
  void PublishBuilds(const LocalServer& server, std::initializer_list<int> builds) {
    for (int build : builds) {
      std::ofstream(program_, std::ios::binary | std::ios::trunc) << ProgramOfBuild(build);
      ASSERT_EQ(Run({"publish", program_}, server), kExitOk) << build << err;
    }
  }
  // The server as two publishes (33, then 34) leave it, without publishing:
  // a fault switch then counts only the rollback's own commands.
  void SeedThirtyFourOverThirtyThree(const LocalServer& server) {
    fs::create_directories(fs::path(server.uploadDir()) / ".history" / "Tool.Setup.exe");
    server.PutUploaded(kHistory + "33.exe", ProgramOfBuild(33));
    server.PutUploaded("Tool.Setup.exe", ProgramOfBuild(34));
    server.PutUploaded("Tool.Setup_lastver.txt", "34\r\n");
  }
  std::vector<JournalEntry> Journal() {
    NativeFileSystem files;
    PublishJournal journal(files, facts);
    return ReadJournal(files, journal).entries;
  }
  // What the server publishes and keeps is as build 34 over 33 left it.
  void ExpectThirtyFourLiveAndThirtyThreeKept(const LocalServer& server) {
    EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), ProgramOfBuild(34));
    EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "34\r\n");
    EXPECT_EQ(server.ReadUploaded(kHistory + "33.exe"), ProgramOfBuild(33));
    // No temporary or aside name is left beside the published files.
    EXPECT_EQ(server.ListUploadDir(),
              (std::vector<std::string>{".history", "Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
  }

  fs::path root_;
  std::string program_;
  MemorySettingsStore settings;
  FixedProcessFacts facts{""};
  std::optional<std::string> terminalInput;  // set: stdin is a terminal that types this
  std::string out;
  std::string err;
};

TEST_F(CliRollback, ThirtyFourRolledBackMakesThirtyThreeLiveAgainAndRecordsBothHashes) {
  LocalServer server;
  PublishBuilds(server, {33, 34});
  const std::string v33 = ProgramOfBuild(33), v34 = ProgramOfBuild(34);

  ASSERT_EQ(Run({"rollback", "--list", "Tool.Setup.exe"}, server), kExitOk) << err;
  EXPECT_NE(out.find("live: build 34, " + std::to_string(v34.size()) + " bytes"), std::string::npos) << out;
  EXPECT_NE(out.find("kept: build 33, " + std::to_string(v33.size()) + " bytes"), std::string::npos) << out;
  ASSERT_EQ(Run({"rollback", "--list", "--json", "Tool.Setup.exe"}, server), kExitOk) << err;
  const Json listed = Json::parse(out);
  EXPECT_EQ(listed["live"]["build"], 34);
  ASSERT_EQ(listed["kept"].size(), 1u);
  EXPECT_EQ(listed["kept"][0]["build"], 33);
  EXPECT_EQ(listed["kept"][0]["size"], v33.size());

  ASSERT_EQ(Run({"rollback", "--yes", "--json", "Tool.Setup.exe"}, server), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), v33);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  // 34 waits in the history in 33's place; nothing was uploaded but the
  // lastver text.
  EXPECT_EQ(server.ReadUploaded(kHistory + "34.exe"), v34);
  EXPECT_EQ(server.ReadUploaded(kHistory + "33.exe"), "");
  EXPECT_EQ(server.ListUploadDir(),
            (std::vector<std::string>{".history", "Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
  EXPECT_NE(err.find("되돌리기완료"), std::string::npos) << err;
  EXPECT_NE(err.find("내용은 비교하지 않았습니다"), std::string::npos) << err;

  const std::vector<JournalEntry> journal = Journal();
  ASSERT_EQ(journal.size(), 3u);
  const JournalEntry& line = journal[2];
  EXPECT_EQ(line.result, "rolled_back");
  EXPECT_EQ(line.note, "rolled back from 34 to 33");
  EXPECT_EQ(line.localBuild, "33");
  EXPECT_EQ(line.serverBuild, 34);
  EXPECT_EQ(line.confirmed, true);
  EXPECT_EQ(line.size, v33.size());
  // The hashes the two publishes recorded.
  EXPECT_EQ(line.sha256, journal[0].sha256);
  EXPECT_EQ(line.replacedSha256, journal[1].sha256);
  EXPECT_NE(journal[0].sha256, journal[1].sha256);
  const Json report = Json::parse(out);
  EXPECT_EQ(report["from"], 34);
  EXPECT_EQ(report["to"], 33);
  EXPECT_EQ(report["result"], "rolled_back");
  EXPECT_EQ(report["confirmed"], true);
  EXPECT_EQ(report["sha256"], journal[0].sha256);
  EXPECT_EQ(report["replaced_sha256"], journal[1].sha256);

  // Again: nothing older than 33 is kept, and the build just taken down is
  // not brought back unless asked for by name.
  EXPECT_EQ(Run({"rollback", "--yes", "Tool.Setup.exe"}, server), kExitFailed);
  EXPECT_NE(err.find("낮은 보관된 빌드가 없습니다"), std::string::npos) << err;
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  ASSERT_EQ(Run({"rollback", "--yes", "--to", "34", "Tool.Setup.exe"}, server), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), v34);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "34\r\n");
  EXPECT_EQ(server.ReadUploaded(kHistory + "33.exe"), v33);
  // The hashes of a rollback's own line serve the next one.
  EXPECT_EQ(Journal().back().sha256, journal[1].sha256);
  EXPECT_EQ(Journal().back().replacedSha256, journal[0].sha256);
}

TEST_F(CliRollback, ToPicksAKeptBuildAndOneNotKeptOrLiveIsRefused) {
  LocalServer server;
  PublishBuilds(server, {31, 32, 33});
  ASSERT_EQ(Run({"rollback", "--yes", "--to", "31", "Tool.Setup.exe"}, server), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), ProgramOfBuild(31));
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "31\r\n");
  EXPECT_EQ(server.ReadUploaded(kHistory + "32.exe"), ProgramOfBuild(32));
  EXPECT_EQ(server.ReadUploaded(kHistory + "33.exe"), ProgramOfBuild(33));

  const auto commandsSoFar = server.FtpCommands().size();
  EXPECT_EQ(Run({"rollback", "--yes", "--to", "40", "Tool.Setup.exe"}, server), kExitFailed);
  EXPECT_NE(err.find("빌드 40은(는) 보관되어 있지 않습니다."), std::string::npos) << err;
  EXPECT_NE(err.find("보관: 빌드 33 ("), std::string::npos) << err;  // what is kept, to choose from
  EXPECT_EQ(Run({"rollback", "--yes", "--to", "31", "Tool.Setup.exe"}, server), kExitFailed);
  EXPECT_NE(err.find("빌드 31은(는) 지금 게시된 빌드입니다."), std::string::npos) << err;
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "31\r\n");
  // Neither got as far as a rename.
  const std::vector<std::string> commands = server.FtpCommands();
  for (auto it = commands.begin() + static_cast<std::ptrdiff_t>(commandsSoFar); it != commands.end(); ++it) {
    EXPECT_FALSE(it->starts_with("RNFR")) << *it;
  }
  EXPECT_EQ(Run({"rollback", "--to", "3x", "Tool.Setup.exe"}, server), kExitUsage);
  EXPECT_EQ(Run({"rollback", "--list", "--yes", "Tool.Setup.exe"}, server), kExitUsage);

  // A file never replaced has nothing kept.
  EXPECT_EQ(Run({"rollback", "--list", "Other.exe"}, server), kExitOk) << err;
  EXPECT_NE(out.find("kept: none"), std::string::npos) << out;
  EXPECT_EQ(Run({"rollback", "--yes", "Other.exe"}, server), kExitFailed);
  EXPECT_NE(err.find("보관된 이전 빌드가 없습니다"), std::string::npos) << err;
}

TEST_F(CliRollback, TheQuestionDefaultsToNoAndATerminalCanAnswerIt) {
  LocalServer server;
  SeedThirtyFourOverThirtyThree(server);
  EXPECT_EQ(Run({"rollback", "Tool.Setup.exe"}, server), kExitDeclined);
  EXPECT_NE(err.find("빌드 34 대신 보관된 빌드 33을(를) 다시 게시하시겠습니까?"), std::string::npos) << err;
  EXPECT_NE(err.find("-> No (--yes answers Yes)"), std::string::npos) << err;
  ExpectThirtyFourLiveAndThirtyThreeKept(server);
  terminalInput = "\n";  // Enter: the default
  EXPECT_EQ(Run({"rollback", "Tool.Setup.exe"}, server), kExitDeclined);
  ExpectThirtyFourLiveAndThirtyThreeKept(server);
  ASSERT_EQ(Journal().size(), 2u);
  EXPECT_EQ(Journal()[0].result, "declined");
  EXPECT_EQ(Journal()[0].note, "rollback from 34 to 33");

  terminalInput = "y\n";
  EXPECT_EQ(Run({"rollback", "Tool.Setup.exe"}, server), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  // Seeded, not published from here: the journal knows no hash.
  EXPECT_EQ(Journal().back().sha256, "");
}

TEST_F(CliRollback, AFailedStepPutsTheLivePairBackAndSaysSo) {
  // The rollback's renames: 1 the live file aside, 2 the kept one in, 3 the
  // lastver text over its name, 4 the old file into the history.
  struct Case {
    std::vector<std::string> faults;
    const char* says;
  };
  const Case cases[] = {
      {{"--refuse-rnto", "1"}, "553"},
      {{"--refuse-rnto", "2"}, "553"},
      // Every way to the lastver name fails: renamed over (3), moved aside
      // (4) and renamed in (5, refused; 6 puts the old one back), stored
      // straight (the second upload keeps nothing): 7 and 8 undo the rest.
      {{"--refuse-rnto", "3,5", "--fault-stor", "2", "--store-none"}, "553"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults[1]);
    LocalServer server(c.faults);
    SeedThirtyFourOverThirtyThree(server);
    EXPECT_EQ(Run({"rollback", "--yes", "--json", "Tool.Setup.exe"}, server), kExitFailed);
    ExpectThirtyFourLiveAndThirtyThreeKept(server);
    EXPECT_NE(err.find("되돌리기 실패!!"), std::string::npos) << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_NE(err.find("서버의 게시 파일은 바뀌지 않았습니다: 빌드 34 그대로입니다."), std::string::npos) << err;
    const Json report = Json::parse(out);
    EXPECT_EQ(report["result"], "failed");
    EXPECT_EQ(report["error"]["code"], 553);
    EXPECT_EQ(Journal().back().result, "failed");
    fs::remove(root_ / "data" / "journal.jsonl");
  }
}

TEST_F(CliRollback, AnotherPublishAfterTheListingStopsItBeforeAnyRename) {
  // Right after the listing read the history folder, another publisher puts
  // build 35 live.
  LocalServer server({"--race-write", "Tool.Setup_lastver.txt=35\\r\\n", "--race-after", "NLST"});
  SeedThirtyFourOverThirtyThree(server);
  EXPECT_EQ(Run({"rollback", "--yes", "--json", "Tool.Setup.exe"}, server), kExitFailed);
  EXPECT_EQ(Json::parse(out)["result"], "raced");
  EXPECT_NE(err.find("지금 버전파일: 빌드 35"), std::string::npos) << err;
  EXPECT_EQ(server.CommandLogText().find("RNFR"), std::string::npos);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "35\r\n");
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), ProgramOfBuild(34));
}

}  // namespace
}  // namespace parone

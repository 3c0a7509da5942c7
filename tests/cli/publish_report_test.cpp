#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/cli.hpp"
#include "cli_harness.hpp"
#include "distribution/publish_journal.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "test_dir.hpp"
#include "test_process.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;
using Json = nlohmann::json;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The machine-readable side of publish and check, the older-build question,
// the read-back over HTTP and the journal, through the command line.
class CliReport : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_report");
    fs::create_directories(root_ / "tool" / "temp");
    sample_ = Copy("sample.exe");
    facts = FixedProcessFacts((root_ / "tool").string());
    facts.userDataFolder = testing::Utf8Of(root_ / "config" / testing::Utf8Path("파로네_배포"));
  }
  void TearDown() override { testing::RemoveTestDir(root_); }

  // The sample program (build 33) under another name.
  std::string Copy(const std::string& name) {
    const fs::path path = root_ / name;
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", path,
                  fs::copy_options::overwrite_existing);
    return path.string();
  }
  int Run(const std::vector<std::string>& args) {
    const auto run = testing::RunCliHere(args, settings, facts, testing::DemoPasswordOnly,
                                         [](CliContext& c) { c.urlTimeouts = {2, 4}; });
    out = run.out;
    err = run.err;
    return run.status;
  }
  static std::string Address(const LocalServer& server) {
    return "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort());
  }
  std::vector<Json> JsonLines() {
    std::vector<Json> lines;
    for (const std::string& line : Lines(out)) lines.push_back(Json::parse(line));
    return lines;
  }

  fs::path root_;
  std::string sample_;
  MemorySettingsStore settings;
  FixedProcessFacts facts{""};
  std::string out;
  std::string err;
};

TEST_F(CliReport, PublishJsonGivesOneLineWithEveryFieldPerFile) {
  LocalServer server;
  // Bytes with a known digest (sha256sum) and no version resource.
  std::string bytes(3 * 1024 * 1024 + 123, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 1024) & 0xFF);
  const std::string data = (root_ / "data.bin").string();
  std::ofstream(data, std::ios::binary) << bytes;

  ASSERT_EQ(Run({"publish", "--json", "--allow-no-version", "--server", Address(server), sample_, data}),
            kExitOk)
      << err;
  EXPECT_NE(err.find("배포완료"), std::string::npos);  // messages stay on stderr
  const std::vector<Json> lines = JsonLines();
  ASSERT_EQ(lines.size(), 2u) << out;
  const std::vector<std::string> keys = {"path",          "file",         "size",     "sha256",
                                         "version",       "local_build",  "server_build",
                                         "server_status", "server_error", "decision", "result",
                                         "seconds",       "bytes_per_second", "confirmed",
                                         "error"};
  for (const Json& line : lines) {
    std::vector<std::string> present;
    for (const auto& item : line.items()) present.push_back(item.key());
    std::sort(present.begin(), present.end());
    std::vector<std::string> expected = keys;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(present, expected);
  }
  const Json& program = lines[0];
  EXPECT_EQ(program["path"], sample_);
  EXPECT_EQ(program["file"], "sample.exe");
  EXPECT_EQ(program["size"], fs::file_size(sample_));
  EXPECT_EQ(program["sha256"].get<std::string>().size(), 64u);
  EXPECT_EQ(program["version"], "1.01.33");
  EXPECT_EQ(program["local_build"], "33");
  EXPECT_TRUE(program["server_build"].is_null());  // no record: no build
  EXPECT_EQ(program["server_status"], 404);  // nothing published before
  EXPECT_TRUE(program["server_error"].is_null());
  EXPECT_EQ(program["decision"], "new");
  EXPECT_EQ(program["result"], "published");
  EXPECT_GT(program["seconds"].get<double>(), 0.0);
  EXPECT_DOUBLE_EQ(program["bytes_per_second"].get<double>(),
                   program["size"].get<double>() / program["seconds"].get<double>());
  EXPECT_EQ(program["confirmed"], true);

  const Json& other = lines[1];
  EXPECT_EQ(other["file"], "data.bin");
  EXPECT_EQ(other["size"], bytes.size());
  EXPECT_EQ(other["sha256"], "28c70573e15374d5af2096650015b6a6e1b9121c579fac31dba2965fd7810441");
  EXPECT_EQ(other["version"], "");
  EXPECT_EQ(other["decision"], "unreadable");
  EXPECT_EQ(other["result"], "published");
  EXPECT_EQ(server.ReadUploaded("data.bin"), bytes);
}

TEST_F(CliReport, AFailedPublishSaysInItsLineAtWhichStageWithTheServersCodeAndText) {
  LocalServer server({"--password", "not the one the tool sends"});
  EXPECT_EQ(Run({"publish", "--json", "--server", Address(server), sample_}), kExitFailed) << err;
  const std::vector<Json> lines = JsonLines();
  ASSERT_EQ(lines.size(), 1u) << out;
  EXPECT_EQ(lines[0]["result"], "failed");
  const Json& error = lines[0]["error"];
  ASSERT_TRUE(error.is_object()) << out;
  EXPECT_EQ(error["stage"], "login");
  EXPECT_EQ(error["code"], 530);
  EXPECT_EQ(error["message"].get<std::string>().rfind("530 ", 0), 0u) << error["message"];
  // The box the user has always seen is still there, on stderr.
  EXPECT_NE(err.find("서버 접속 실패!\n오류번호: 67"), std::string::npos) << err;
  // And the journal keeps the same.
  NativeFileSystem files;
  const JournalReading reading = ReadJournal(files, PublishJournal(files, facts));
  ASSERT_FALSE(reading.entries.empty());
  ASSERT_TRUE(reading.entries.back().error);
  EXPECT_EQ(reading.entries.back().error->stage, Stage::kLogin);
  EXPECT_EQ(reading.entries.back().error->code, 530);
}

TEST_F(CliReport, AnUploadCutOnceIsResumedSaidOnTheTerminalAndJournalled) {
  LocalServer server({"--cut-after", "3000", "--fault-stor", "1"});
  EXPECT_EQ(Run({"publish", "--json", "--server", Address(server), sample_}), kExitOk) << err;
  EXPECT_NE(err.find("재시도 1/3 (2.92 KiB부터 이어서)"), std::string::npos) << err;
  EXPECT_EQ(JsonLines()[0]["result"], "published");
  NativeFileSystem files;
  std::ifstream in(sample_, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(server.ReadUploaded("sample.exe"), bytes);
  const JournalReading reading = ReadJournal(files, PublishJournal(files, facts));
  ASSERT_FALSE(reading.entries.empty());
  EXPECT_EQ(reading.entries.back().attempts, 2);
}

TEST_F(CliReport, APublishTheWebDoesNotShowExitsFourAndNoConfirmSkipsTheReadBack) {
  LocalServer server({"--web-root", "other_html"});
  EXPECT_EQ(Run({"publish", "--json", "--server", Address(server), sample_}), kExitNotConfirmed);
  EXPECT_NE(err.find("배포한 파일을 웹에서 확인하지 못했습니다."), std::string::npos) << err;
  EXPECT_EQ(err.find("배포완료"), std::string::npos);
  ASSERT_EQ(JsonLines().size(), 1u);
  EXPECT_EQ(JsonLines()[0]["result"], "not_confirmed");
  EXPECT_EQ(JsonLines()[0]["confirmed"], false);
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");  // published all the same

  // The web still cannot see the lastver file, so the version pass finds no
  // record; the server's own copy, read before anything is renamed, says
  // build 33: nothing is replaced on a guess.
  EXPECT_EQ(Run({"publish", "--json", "--server", Address(server), sample_}), kExitFailed) << err;
  EXPECT_EQ(JsonLines()[0]["result"], "raced");
  EXPECT_NE(err.find("확인할 때: 버전파일 없음\n지금 서버: 빌드 33"), std::string::npos) << err;

  // Without the read-back, a publish the web cannot see ends as it always did.
  LocalServer other({"--web-root", "other_html"});
  EXPECT_EQ(Run({"publish", "--json", "--no-confirm", "--server", Address(other), sample_}), kExitOk)
      << err;
  EXPECT_TRUE(JsonLines()[0]["confirmed"].is_null());
  EXPECT_EQ(JsonLines()[0]["result"], "published");

  // A failure elsewhere in the run outweighs it.
  EXPECT_EQ(Run({"publish", "--allow-no-version", "--server", Address(server), sample_,
                 (root_ / "gone.exe").string()}),
            kExitFailed);
}

TEST_F(CliReport, AnOlderBuildThanTheServersGoesUpOnlyWithAllowDowngrade) {
  LocalServer server;
  server.PutUploaded("sample_lastver.txt", "34\r\n");
  struct Case {
    std::vector<std::string> flags;
    int status;
    const char* answer;
  };
  const Case cases[] = {
      {{}, kExitDeclined, "-> No (--allow-downgrade answers Yes)"},
      {{"--yes"}, kExitDeclined, "-> No (--allow-downgrade answers Yes)"},  // only the same build
      {{"--allow-no-version"}, kExitDeclined, "-> No (--allow-downgrade answers Yes)"},
      {{"--no"}, kExitDeclined, "-> No (--no)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"publish", "--server", Address(server)};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    args.push_back(sample_);
    EXPECT_EQ(Run(args), c.status) << err;
    EXPECT_NE(err.find("서버의 빌드(34)보다 낮은 빌드(33)입니다. 그래도 업로드하시겠습니까?\n\nsample.exe\n" +
                       std::string(c.answer)),
              std::string::npos)
        << err;
    EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"sample_lastver.txt"});
  }
  EXPECT_EQ(Run({"publish", "--no", "--allow-downgrade", "--server", Address(server), sample_}),
            kExitUsage);
  EXPECT_EQ(Run({"publish", "--allow-downgrade", "--server", Address(server), sample_}), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");
}

TEST_F(CliReport, CheckExitsThreeForAQuestionFiveForAnUnknownServerAndZeroOnlyWhenAllIsNew) {
  LocalServer server;
  const std::string notes = (root_ / "notes.exe").string();
  std::ofstream(notes) << "no program";
  struct Case {
    const char* recorded;  // the server's lastver file; nullptr: none
    std::string file;
    int status;
    const char* said;
  };
  const Case cases[] = {
      {nullptr, sample_, kExitOk, "server build none (new; no lastver file on the server yet: HTTP 404)"},
      {"32\r\n", sample_, kExitOk, "server build 32 (new)"},
      {"33\r\n", sample_, kExitDeclined, "server build 33 (already on the server)"},
      {"34\r\n", sample_, kExitDeclined, "server build 34 (older than the server's)"},
      {nullptr, notes, kExitDeclined, "server build none (the version cannot be read; no lastver"},
  };
  for (const Case& c : cases) {
    if (c.recorded) server.PutUploaded("sample_lastver.txt", c.recorded);
    EXPECT_EQ(Run({"check", "--server", Address(server), c.file}), c.status) << out;
    EXPECT_NE(out.find(c.said), std::string::npos) << out;
  }
  // A server that fails, and one that is not there: nothing is known, which
  // a build script gating on check must not read as a pass.
  LocalServer failing({"--http-status", "503"});
  EXPECT_EQ(Run({"check", "--server", Address(failing), sample_}), kExitUnknownServer);
  EXPECT_NE(out.find("server build unknown (the server's build cannot be read; the server answered HTTP 503)"),
            std::string::npos)
      << out;
  EXPECT_EQ(Run({"check", "--json", "--server",
                 "127.0.0.1:" + std::to_string(testing::UnusedPort()) + ":" +
                     std::to_string(testing::UnusedPort()),
                 sample_, notes}),
            kExitUnknownServer);
  const std::vector<Json> lines = JsonLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0]["server_status"].is_null());
  EXPECT_TRUE(lines[0]["server_build"].is_null());
  EXPECT_NE(lines[0]["server_error"].get<std::string>(), "");
  EXPECT_EQ(lines[0]["decision"], "unknown");
  EXPECT_EQ(lines[0]["error"]["stage"], "lastver");
  EXPECT_EQ(lines[0]["result"], "checked");
  EXPECT_EQ(lines[0]["size"], fs::file_size(sample_));
  EXPECT_TRUE(lines[0]["sha256"].is_null());  // nothing was sent
  EXPECT_TRUE(lines[0]["confirmed"].is_null());
  EXPECT_EQ(lines[1]["decision"], "unreadable");
}

TEST_F(CliReport, HistoryListsTheJournalNewestFirstAndFiltersByName) {
  LocalServer server;
  const std::string second = Copy("second.exe");
  ASSERT_EQ(Run({"publish", "--server", Address(server), sample_}), kExitOk) << err;
  ASSERT_EQ(Run({"publish", "--server", Address(server), second}), kExitOk) << err;
  ASSERT_EQ(Run({"publish", "--yes", "--no-confirm", "--server", Address(server), sample_}), kExitOk);

  EXPECT_EQ(Run({"history"}), kExitOk);
  EXPECT_EQ(Lines(out), (std::vector<std::string>{
                            "2024-05-06T07:08:09Z  sample.exe  build 33  published  -  tester",
                            "2024-05-06T07:08:09Z  second.exe  build 33  published  confirmed  tester",
                            "2024-05-06T07:08:09Z  sample.exe  build 33  published  confirmed  tester"}));
  EXPECT_EQ(err, "");
  EXPECT_EQ(Run({"history", "-n", "2"}), kExitOk);
  EXPECT_EQ(Lines(out).size(), 2u);
  EXPECT_EQ(Run({"history", "second.exe"}), kExitOk);
  EXPECT_EQ(Lines(out).size(), 1u);
  EXPECT_EQ(Run({"history", "--json", "-n", "1", "sample.exe"}), kExitOk);
  ASSERT_EQ(JsonLines().size(), 1u);
  const Json entry = JsonLines()[0];
  EXPECT_EQ(entry["path"], sample_);
  EXPECT_EQ(entry["machine"], "BUILD-PC");
  EXPECT_EQ(entry["tool"], "1.1.33");
  EXPECT_EQ(entry["server_build"], 33);  // the build before this publish
  EXPECT_EQ(entry["sha256"].get<std::string>().size(), 64u);

  // A line another program damaged is skipped with a note.
  std::ofstream(root_ / "config" / testing::Utf8Path("파로네_배포") / "journal.jsonl", std::ios::app)
      << "{\"time\":\"2024-05-\n";
  EXPECT_EQ(Run({"history", "-n", "1"}), kExitOk);
  EXPECT_EQ(Lines(out).size(), 1u);
  EXPECT_NE(err.find("journal.jsonl line 4: damaged, skipped"), std::string::npos) << err;
  EXPECT_EQ(Run({"history", "-n", "0"}), kExitUsage);
  EXPECT_EQ(Run({"history", "--help"}), kExitOk);
  EXPECT_NE(out.find("-n"), std::string::npos);
}

TEST_F(CliReport, AJournalThatCannotBeWrittenCostsOneWarningLineAndNeverTheRun) {
  LocalServer server;
  std::ofstream(root_ / "blocker") << "a file where the folder would go";
  facts.userDataFolder = (root_ / "blocker" / "sub").string();
  const std::string second = Copy("second.exe");
  EXPECT_EQ(Run({"publish", "--server", Address(server), sample_, second}), kExitOk) << err;
  EXPECT_EQ(Count(err, "배포 기록을 남기지 못했습니다"), 1u) << err;
  EXPECT_EQ(server.ReadUploaded("second_lastver.txt"), "33\r\n");
}

// Two processes of the real program, started at once.
TEST_F(CliReport, TwoPublishesAtOnceLeaveTwoWholeLinesInTheJournal) {
  LocalServer server;
  const std::string config = testing::Utf8Of(root_ / "config");
  testing::SetEnvironment("XDG_CONFIG_HOME", config);
  testing::SetEnvironment("APPDATA", config);
  testing::SetEnvironment("PARONE_DEPLOY_FTP_PASSWORD", testing::kDemoPassword);
  const std::string a = Copy("a.exe");
  const std::string b = Copy("b.exe");
  auto publish = [&](const std::string& file, int& status) {
    NativeProcessLauncher launcher;
    LaunchRequest request;
    request.program = PARONE_CLI_PROGRAM;
    request.parameters = "publish --server " + Address(server) + " \"" + file + "\"";
    // Not the test's folder: a console host that outlives the program (under
    // wine) would keep it from being removed.
    request.workingFolder = fs::path(PARONE_CLI_PROGRAM).parent_path().string();
    request.show = ShowCommand::kHide;
    request.timeoutMs = 120000;
    status = launcher.Run(request).exitCode;
  };
  int statusA = -1;
  int statusB = -1;
  std::thread first(publish, a, std::ref(statusA));
  std::thread second(publish, b, std::ref(statusB));
  first.join();
  second.join();
  EXPECT_EQ(statusA, kExitOk);
  EXPECT_EQ(statusB, kExitOk);
  std::ifstream in(root_ / "config" / testing::Utf8Path("파로네_배포") / "journal.jsonl", std::ios::binary);
  std::vector<std::string> files;
  for (std::string line; std::getline(in, line);) {
    const Json entry = Json::parse(line);
    files.push_back(fs::path(entry["path"].get<std::string>()).filename().string());
    EXPECT_EQ(entry["result"], "published");
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"a.exe", "b.exe"}));
  testing::SetEnvironment("XDG_CONFIG_HOME", "");
  testing::SetEnvironment("APPDATA", "");
  testing::SetEnvironment("PARONE_DEPLOY_FTP_PASSWORD", "");
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "test_dir.hpp"
#include "common/text_encoding.hpp"
#include "distribution/ftp_account.hpp"
#include "distribution/proc_upload.hpp"
#include "version_block_builder.hpp"
#include "distribution/recent_files.hpp"
#include "fake_program.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/forwarding_file_system.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_events.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;
using testing::UploadDirCommand;

// How many of the server's FTP commands begin with `prefix`.
std::size_t CommandsStartingWith(const LocalServer& server, const std::string& prefix) {
  const std::vector<std::string> commands = server.FtpCommands();
  return static_cast<std::size_t>(std::count_if(commands.begin(), commands.end(), [&](const std::string& c) {
    return c.rfind(prefix, 0) == 0;
  }));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}


// A second run of the tool on the same machine: right after this run has
// written its local lastver file, the other run writes its own build there.
class SecondRunRewritesLastVer final : public ForwardingFileSystem {
 public:
  bool WriteFile(const std::string& p, const std::string& b) override {
    return ForwardingFileSystem::WriteFile(p, b) && Interfere(p);
  }
  bool WriteFileAtomically(const std::string& p, const std::string& b) override {
    return ForwardingFileSystem::WriteFileAtomically(p, b) && Interfere(p);
  }

 private:
  bool Interfere(const std::string& p) {
    if (!p.ends_with("_lastver.txt")) return true;
    return ForwardingFileSystem::WriteFile(p, "5\r\n");
  }
};

class ProcUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_upload");
    fs::create_directories(root_ / "tool" / "temp");
    fs::create_directories(root_ / "Build");
    program_ = (root_ / "Build" / "Tool.Setup.exe").string();
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample64.exe", program_);
    facts = FixedProcessFacts((root_ / "tool").string());
  }
  void TearDown() override { fs::remove_all(root_); }

  SystemConfig ConfigFor(const LocalServer& server) {
    SystemConfig config = SystemConfig::Defaults();
    config.ftpHost = ftpHost;
    config.ftpPort = server.ftpPort();
    config.httpPort = server.httpPort();
    config.ftpPassword = testing::kDemoPassword;
    return config;
  }
  // One ProcUpload as the run makes it, with this test's request.
  UploadOutcome Publish(LocalServer& server, const std::string& path, FileSystem* fileSystem = nullptr,
                        bool confirm = true, bool runUpx = true) {
    request.config = ConfigFor(server);
    if (ftpPort) request.config.ftpPort = *ftpPort;
    request.urlTimeouts = UrlTextTimeouts{2, 4};
    request.confirmOverHttp = confirm;
    PublishServices services{fileSystem ? *fileSystem : files, settings, cp949, facts, launcher, sleeper};
    return ProcUpload(RunContext{request, services, events}, path, runUpx, seen);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes.shown()) texts.push_back(box.text);
    return texts;
  }
  // Each text up to its first blank line: what the boxes of these failures
  // have always said, without the detail that follows.
  std::vector<std::string> DescribedTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes.shown()) texts.push_back(box.text.substr(0, box.text.find("\r\n\r\n")));
    return texts;
  }

  fs::path root_;
  std::string program_;
  PublishRequest request = [] {
    PublishRequest r;
    r.upxPath = "/nonexistent/upx";
    r.ftpTimeouts = FtpTimeouts{5, 10};
    return r;
  }();
  std::optional<int> ftpPort;  // instead of the server's
  std::string ftpHost = "127.0.0.1";  // "localhost" for TLS: certificates name no address under wine
  const ServerRecord* seen = nullptr;  // what the version pass found
  RecordingMessageBoxes boxes;
  RecordingEvents events{boxes};
  RealSleeper sleeper;
  NativeFileSystem files;
  MemorySettingsStore settings;
  Cp949CodePage cp949;
  FixedProcessFacts facts{""};
  NativeProcessLauncher launcher;
};

TEST_F(ProcUploadTest, PublishesTheFileThenItsLastVerFileAndSaysSo) {
  LocalServer server;
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_TRUE(outcome.result);
  EXPECT_TRUE(outcome.published);
  EXPECT_EQ(ReadFile(root_ / "tool" / "temp" / "Tool.Setup_lastver.txt"), "33\r\n");
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), ReadFile(program_));
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{program_});
  EXPECT_FALSE(events.progress.empty());
  EXPECT_FALSE(outcome.closeRequested);
  EXPECT_EQ(events.pulses, 0);  // the UPX path names no program: no UPX run, no pulse
}

TEST_F(ProcUploadTest, APublishTheWebServesIsConfirmedWithTheSizeAndDigestOfWhatWasSent) {
  LocalServer server;
  const UploadOutcome outcome = Publish(server, program_);
  ASSERT_TRUE(outcome.web.has_value());
  EXPECT_TRUE(outcome.web->Confirmed());
  EXPECT_FALSE(outcome.Unconfirmed());
  EXPECT_FALSE(outcome.web->size->byGet);
  EXPECT_EQ(outcome.size, fs::file_size(program_));
  EXPECT_EQ(outcome.sha256.size(), 64u);
  EXPECT_EQ(outcome.versionText, "1.01.33");
  EXPECT_EQ(outcome.build, "33");
  EXPECT_GT(outcome.seconds, 0.0);
  EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
  // Read the way the version check reads, bypassing caches.
  const std::string requests = server.CommandLogText();
  EXPECT_NE(requests.find("HTTP GET /download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/"
                          "Tool.Setup_lastver.txt HTTP/1.1 agent=VB OpenUrl cache-control=no-cache"),
            std::string::npos)
      << requests;
  EXPECT_NE(requests.find("HTTP HEAD /download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/Tool.Setup.exe "),
            std::string::npos);
}

TEST_F(ProcUploadTest, AWebRootOnAnotherFolderLeavesTheUploadWarnsAndKeepsTheWindowOpen) {
  LocalServer server({"--web-root", "other_html"});
  request.closeAfterSending = true;
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_TRUE(outcome.published);  // the upload itself worked and stays
  EXPECT_TRUE(outcome.Unconfirmed());
  EXPECT_FALSE(outcome.closeRequested);
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->stage, Stage::kReadBack);
  EXPECT_EQ(outcome.error->code, 404);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
  const std::string size = std::to_string(fs::file_size(program_));
  EXPECT_EQ(boxes.shown()[0].text,
            "배포한 파일을 웹에서 확인하지 못했습니다.\r\n\r\nTool.Setup.exe\r\n\r\n"
            "Tool.Setup_lastver.txt: 빌드 33 대신 HTTP 404\r\n"
            "Tool.Setup.exe: " + size + "바이트 대신 HTTP 404\r\n\r\n"
            "업로드는 끝났지만 업데이트 클라이언트는 위와 같이 받습니다. "
            "웹 서버의 폴더 연결이나 캐시를 확인하세요.");
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{program_});
}

TEST_F(ProcUploadTest, AMirrorThatLagsIsNamedWithTheBuildAndSizeItStillServes) {
  LocalServer server({"--web-stale"});
  server.PutUploaded("Tool.Setup.exe", "old build");
  server.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
  // An update client looked before the publish; the mirror keeps that copy.
  OpenUrlText("http://127.0.0.1:" + std::to_string(server.httpPort()) + "/", cp949, {2, 4});
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_TRUE(outcome.Unconfirmed());
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_NE(Texts()[0].find("Tool.Setup_lastver.txt: 빌드 33 대신 \"32\"\r\n"), std::string::npos)
      << Texts()[0];
  EXPECT_NE(Texts()[0].find("Tool.Setup.exe: " + std::to_string(fs::file_size(program_)) +
                            "바이트 대신 9바이트\r\n"),
            std::string::npos)
      << Texts()[0];
}

// A mirror that kept what it served before the publish: its lastver file,
// read as the version check reads it, and the published file's bytes decide.
TEST_F(ProcUploadTest, TheReadBackComparesTheServedBytesAndReadsTheLastVerAsTheCheckDoes) {
  const std::string bytes = ReadFile(program_);
  std::string sameSizeOther = bytes;
  sameSizeOther[sameSizeOther.size() / 2] ^= 0x5A;
  struct Case {
    std::string servedProgram;
    const char* servedLastVer;
    bool confirmed;
    const char* said;  // in the warning
  };
  const Case cases[] = {
      {bytes, "33", true, nullptr},
      {bytes, "33\n", true, nullptr},
      {bytes, "33\r\n\r\n", true, nullptr},
      {bytes, "34\r\n", false, "Tool.Setup_lastver.txt: 빌드 33 대신 \"34\""},
      // The same size, other bytes: an old copy the size alone would pass.
      {sameSizeOther, "33\r\n", false, "Tool.Setup.exe: 파일 전체의 내용이 다릅니다"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.servedLastVer);
    boxes.Clear();
    LocalServer server({"--web-stale"});
    server.PutUploaded("Tool.Setup.exe", c.servedProgram);
    server.PutUploaded("Tool.Setup_lastver.txt", c.servedLastVer);
    OpenUrlText("http://127.0.0.1:" + std::to_string(server.httpPort()) + "/", cp949, {2, 4});
    const UploadOutcome outcome = Publish(server, program_);
    EXPECT_TRUE(outcome.published);
    ASSERT_TRUE(outcome.web);
    EXPECT_EQ(outcome.web->Confirmed(), c.confirmed);
    if (c.confirmed) {
      EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
      continue;
    }
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
    EXPECT_NE(boxes.shown()[0].text.find(c.said), std::string::npos) << boxes.shown()[0].text;
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->stage, Stage::kReadBack);
  }
}

TEST_F(ProcUploadTest, ALargeFileIsComparedAtItsStartAndItsEndByRangeRequests) {
  // 300 KiB, not a program: its lastver text is the empty line.
  std::string bytes(300 * 1024, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31 + i / 7) & 0xFF);
  const std::string big = (root_ / "Build" / "big.bin").string();
  std::ofstream(big, std::ios::binary) << bytes;
  std::string tailChanged = bytes;
  tailChanged[bytes.size() - 10] ^= 0x01;
  struct Case {
    std::vector<std::string> switches;
    std::string served;
    bool confirmed;
    std::size_t ranges;  // Range requests for the file
  };
  const Case cases[] = {
      {{"--web-stale"}, bytes, true, 2},
      {{"--web-stale"}, tailChanged, false, 2},
      // A server that ignores Range is compared on its first 64 KiB only,
      // and not asked for the end (that would download the whole file).
      {{"--web-stale", "--web-ignore-range"}, bytes, true, 1},
      {{"--web-stale", "--web-ignore-range"}, tailChanged, true, 1},
  };
  for (const Case& c : cases) {
    boxes.Clear();
    LocalServer server(c.switches);
    server.PutUploaded("big.bin", c.served);
    server.PutUploaded("big_lastver.txt", "\r\n");
    OpenUrlText("http://127.0.0.1:" + std::to_string(server.httpPort()) + "/", cp949, {2, 4});
    const UploadOutcome outcome = Publish(server, big);
    ASSERT_TRUE(outcome.web);
    EXPECT_EQ(outcome.web->Confirmed(), c.confirmed) << Texts().back();
    if (!c.confirmed) {
      EXPECT_NE(Texts().back().find("끝 64 KiB의 내용이 다릅니다"), std::string::npos);
    }
    const std::string log = server.CommandLogText();
    std::size_t ranges = 0;
    for (std::size_t at = log.find("HTTP GET /download/"); at != std::string::npos;
         at = log.find("HTTP GET /download/", at + 1)) {
      ranges += log.compare(log.find(' ', at + 9) - 7, 7, "big.bin") == 0;
    }
    EXPECT_EQ(ranges, c.ranges);
  }
}

TEST_F(ProcUploadTest, AServerThatRefusesHeadStillConfirmsThroughAGetStoppedAfterItsHeaders) {
  LocalServer server({"--head-405"});
  const UploadOutcome outcome = Publish(server, program_);
  ASSERT_TRUE(outcome.web.has_value());
  EXPECT_TRUE(outcome.web->Confirmed());
  EXPECT_TRUE(outcome.web->size->byGet);
  EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
}

TEST_F(ProcUploadTest, WithConfirmationSwitchedOffThePublishEndsAsItAlwaysDid) {
  LocalServer server({"--web-root", "other_html"});
  request.closeAfterSending = true;
  const UploadOutcome outcome = Publish(server, program_, nullptr, false);
  EXPECT_TRUE(outcome.published);
  EXPECT_FALSE(outcome.web.has_value());
  EXPECT_FALSE(outcome.Unconfirmed());
  EXPECT_TRUE(outcome.closeRequested);
  EXPECT_TRUE(Texts().empty());
}

TEST_F(ProcUploadTest, UpxRunsTwiceOverTheQuotedPathInTheToolFolderThenPulsesOnce) {
  fs::create_directories(root_ / "My Build");
  const std::string program = (root_ / "My Build" / "a.exe").string();
  fs::copy_file(program_, program);
  fs::create_directories(root_ / "packer");
  request.upxPath = testing::InstallFakeProgram(root_ / "packer", "fake upx", {"any record"});
  const fs::path log = root_ / "packer" / "fake_program.log";
  LocalServer server;
  EXPECT_TRUE(Publish(server, program).published);
  const std::string tool = (root_ / "tool").string();
  EXPECT_EQ(testing::FakeProgramLog(root_ / "packer"),
            tool + "\n[" + program + "]\n" + tool + "\n[-d]\n[" + program + "]\n");
  EXPECT_EQ(events.pulses, 1);

  // After code signing the step has already run: not again.
  fs::remove(log);
  EXPECT_TRUE(Publish(server, program, nullptr, true, false).published);
  EXPECT_FALSE(fs::exists(log));
  EXPECT_EQ(events.pulses, 1);
}

TEST_F(ProcUploadTest, CloseAfterSendingClosesTheWindowInsteadOfTheMessage) {
  LocalServer server;
  for (bool close : {true, false}) {
    boxes.Clear();
    request.closeAfterSending = close;
    const UploadOutcome outcome = Publish(server, program_);
    EXPECT_TRUE(outcome.published);
    EXPECT_EQ(outcome.closeRequested, close);
    EXPECT_EQ(Texts(), close ? std::vector<std::string>{} : std::vector<std::string>{"배포완료"});
  }
}

TEST_F(ProcUploadTest, AnUnreadableVersionStillPublishesAnEmptyLastVerLine) {
  const std::string plain = (root_ / "Build" / "notes").string();  // no dot, no version
  std::ofstream(plain) << "not a program";
  LocalServer server;
  EXPECT_TRUE(Publish(server, plain).published);
  EXPECT_EQ(server.ReadUploaded("notes_lastver.txt"), "\r\n");
  // The user was asked about it and said Yes: no "Error 13" box on top.
  EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
}

TEST_F(ProcUploadTest, AFailedFileUploadKeepsTheOldLastVerAndStillRecordsTheFile) {
  LocalServer server({"--fail-stor-552", "--store-short", "1000"});
  std::ofstream(server.uploadDir() + "/Tool.Setup_lastver.txt", std::ios::binary) << "32\r\n";
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_TRUE(outcome.result);
  EXPECT_FALSE(outcome.published);
  EXPECT_EQ(DescribedTexts(), (std::vector<std::string>{"FTP파일 쓰기에 실패했습니다.", "배포 실패!!"}));
  // Below it, which file and what the server said.
  EXPECT_NE(Texts()[0].find("\r\n\r\n서버 파일: public_html/download/자동업데이트_v1/Tool.Setup.exe\r\n552 "),
            std::string::npos)
      << Texts()[0];
  EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"Tool.Setup_lastver.txt"});
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "32\r\n");
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{program_});
}

TEST_F(ProcUploadTest, BothFilesAreStagedBeforeTheProgramFileAndThenItsLastVerAreRenamedIn) {
  LocalServer server;
  EXPECT_TRUE(Publish(server, program_).published);
  const auto commands = server.FtpCommands();
  const auto stores = std::count_if(commands.begin(), commands.end(),
                                    [](const std::string& c) { return c.rfind("STOR ", 0) == 0; });
  EXPECT_EQ(stores, 2);
  const auto programIn =
      std::find(commands.begin(), commands.end(), UploadDirCommand("RNTO", "Tool.Setup.exe"));
  const auto lastVerIn =
      std::find(commands.begin(), commands.end(), UploadDirCommand("RNTO", "Tool.Setup_lastver.txt"));
  ASSERT_NE(programIn, commands.end());
  ASSERT_NE(lastVerIn, commands.end());
  EXPECT_LT(programIn, lastVerIn);
  // Every store happened before the first rename.
  EXPECT_EQ(std::find_if(programIn, commands.end(),
                         [](const std::string& c) { return c.rfind("STOR ", 0) == 0; }),
            commands.end());
}

TEST_F(ProcUploadTest, AFailedLastVerStagingLeavesBothPublishedNamesAsTheyWere) {
  // The second STOR (the lastver text) is answered 226 with 1 byte kept.
  LocalServer server({"--store-short", "1", "--fault-stor", "2"});
  std::ofstream(server.uploadDir() + "/Tool.Setup.exe", std::ios::binary) << "program v32";
  std::ofstream(server.uploadDir() + "/Tool.Setup_lastver.txt", std::ios::binary) << "32\r\n";
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_TRUE(outcome.result);
  EXPECT_FALSE(outcome.published);
  // Nothing was published, so the file's own failure message, not the
  // lastver one.
  EXPECT_EQ(DescribedTexts(), (std::vector<std::string>{"FTP파일 쓰기에 실패했습니다.", "배포 실패!!"}));
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), "program v32");
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "32\r\n");
  EXPECT_EQ(server.ListUploadDir(), (std::vector<std::string>{"Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{program_});
}

// The pair goes live as one: whatever fails on the way, the server holds the
// old pair or the new one, and where it cannot, the message says what is live.
TEST_F(ProcUploadTest, TheProgramFileAndItsLastVerGoLiveTogetherOrNotAtAll) {
  // RNTO: 1 the old program aside, 2 the new one in, 3 the lastver over,
  // 4 the old lastver aside, 5 the new one in, 6 the old one back, 7 the new
  // program out of the way, 8 the old one back, 9 the new one in again.
  // Uploads: 1 and 2 staged, 3 the lastver stored straight, 4 its old text back.
  struct Case {
    const char* what;
    std::vector<std::string> switches;
    bool published;
    bool newProgramLive;
    const char* lastVer;
    const char* said;  // after "버전파일 배포 실패!!" and a blank line
  };
  const Case cases[] = {
      {"renamed neither way, the lastver is stored straight", {"--refuse-rnto", "3,5"}, true, true,
       "33\r\n", ""},
      {"and when that is cut short the old pair comes back",
       {"--refuse-rnto", "3,5", "--store-short", "1", "--fault-stor", "3"}, false, false, "32\r\n",
       "서버의 게시 파일은 바뀌지 않았습니다: 이전 파일과 버전파일이 그대로 있습니다."},
      {"and when the old program cannot come back the message says what is live",
       {"--refuse-rnto", "3,5,8", "--store-short", "1", "--fault-stor", "3"}, false, true, "32\r\n",
       "서버에는 새 파일과 이전 버전파일이 게시되어 있습니다.\r\n이전 파일: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.Clear();
    LocalServer server(c.switches);
    server.PutUploaded("Tool.Setup.exe", "program v32");
    server.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
    const UploadOutcome outcome = Publish(server, program_);
    EXPECT_EQ(outcome.published, c.published);
    EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), c.newProgramLive ? ReadFile(program_) : "program v32");
    EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), c.lastVer);
    if (c.published) {
      EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
      // The replaced file went into the history, under the build it was.
      EXPECT_EQ(server.ListUploadDir(),
                (std::vector<std::string>{".history", "Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
      EXPECT_EQ(server.ReadUploaded(".history/Tool.Setup.exe/32.exe"), "program v32");
      continue;
    }
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->stage, Stage::kLastVer);
    ASSERT_FALSE(Texts().empty());
    const std::string said = Texts().back();
    EXPECT_EQ(said.rfind(std::string("버전파일 배포 실패!!\r\n\r\n") + c.said, 0), 0u) << said;
    if (c.newProgramLive) {
      // The old program file is whole under the name the message gives.
      const std::string aside = said.substr(said.rfind('/') + 1);
      EXPECT_EQ(server.ReadUploaded(aside), "program v32") << said;
    } else {
      EXPECT_EQ(server.ListUploadDir(), (std::vector<std::string>{"Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
    }
  }
}

// Builds 31 to 35 published one after the other: each replaced build is kept
// under its number, and the three highest stay.
TEST_F(ProcUploadTest, ReplacedBuildsAreKeptBesideThePublishedFilesThreeOfThem) {
  LocalServer server;
  request.ftpTls.mode = FtpTlsMode::kOff;  // as the server speaks: nothing to say of TLS
  std::map<int, std::string> published;
  ServerRecord found;
  for (int build = 31; build <= 35; ++build) {
    const std::string bytes = testing::BuildPe(
        testing::SimpleBlock(u"041204B0", {{u"FileVersion", u"1.0." + Utf8ToUtf16(std::to_string(build))}}),
        64);
    std::ofstream(program_, std::ios::binary | std::ios::trunc) << bytes;
    published[build] = bytes;
    seen = build == 31 ? nullptr : &found;  // what the version pass would have read
    ASSERT_TRUE(Publish(server, program_).published) << build << Texts().back();
    found.kind = RecordKind::kBuild;
    found.build = build;
  }
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), published[35]);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "35\r\n");
  const fs::path history = fs::path(server.uploadDir()) / ".history" / "Tool.Setup.exe";
  std::vector<std::string> kept;
  for (const auto& entry : fs::directory_iterator(history)) kept.push_back(entry.path().filename().string());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{"32.exe", "33.exe", "34.exe"}));
  for (int build : {32, 33, 34}) {
    EXPECT_EQ(ReadFile(history / (std::to_string(build) + ".exe")), published[build]) << build;
  }
  EXPECT_TRUE(events.notices.empty());
}

TEST_F(ProcUploadTest, AnAccountThatMayNotMakeFoldersKeepsNoHistoryAndPublishesAllTheSame) {
  LocalServer server({"--perms", "elradfw"});  // no "m": MKD refused
  request.ftpTls.mode = FtpTlsMode::kOff;  // as the server speaks: nothing to say of TLS
  server.PutUploaded("Tool.Setup.exe", "program v32");
  server.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
  EXPECT_TRUE(Publish(server, program_).published);
  EXPECT_EQ(server.ListUploadDir(), (std::vector<std::string>{"Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
  ASSERT_EQ(events.notices.size(), 1u);
  EXPECT_NE(events.notices[0].find("보관하지 못했습니다"), std::string::npos);
  EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
}

TEST_F(ProcUploadTest, AnotherPublisherRaisingTheLastVerMeanwhileStopsThePublishBeforeAnyRename) {
  // Right after this run staged its lastver text (the second upload),
  // another publisher puts build 35 live.
  LocalServer server({"--race-write", "Tool.Setup_lastver.txt=35\\r\\n", "--race-after", "STOR:2"});
  server.PutUploaded("Tool.Setup.exe", "program v34");
  server.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
  ServerRecord found;
  found.kind = RecordKind::kBuild;
  found.build = 32;  // what the version pass read
  seen = &found;
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_FALSE(outcome.published);
  EXPECT_TRUE(outcome.raced);
  EXPECT_EQ(ResultOf(outcome), PublishResult::kRaced);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "35\r\n");
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), "program v34");
  EXPECT_EQ(server.ListUploadDir(), (std::vector<std::string>{"Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
  EXPECT_EQ(server.CommandLogText().find("RNFR"), std::string::npos);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
  EXPECT_EQ(boxes.shown()[0].text,
            "다른 배포가 서버의 버전을 바꾸었습니다. 아무것도 바꾸지 않았습니다.\r\n\r\nTool.Setup.exe\r\n"
            "확인할 때: 빌드 32\r\n지금 서버: 빌드 35");
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->stage, Stage::kLastVer);

  // What the version pass saw is still there: the publish goes on.
  LocalServer calm;
  calm.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
  EXPECT_TRUE(Publish(calm, program_).published);
  // No record then, none now: the same.
  found.kind = RecordKind::kNoRecord;
  LocalServer empty;
  EXPECT_TRUE(Publish(empty, program_).published);
}

TEST_F(ProcUploadTest, AnAccountThatMayNotRenameKeepsTheLiveFileAndStoresItBackWhenTheStoreBreaks) {
  // Uploads: 1 and 2 staged (which works), 3 the program stored straight,
  // 4 the kept copy stored back.
  const std::string old(10'000, 'o');
  struct Case {
    const char* faults;
    bool oldBack;
  };
  for (const Case& c : {Case{"3", true}, Case{"3,4", false}}) {
    SCOPED_TRACE(c.faults);
    boxes.Clear();
    LocalServer server({"--perms", "elradmw", "--cut-after", "3000", "--fault-stor", c.faults});
    server.PutUploaded("Tool.Setup.exe", old);
    server.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
    const UploadOutcome outcome = Publish(server, program_);
    EXPECT_FALSE(outcome.published);
    EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "32\r\n");
    ASSERT_FALSE(Texts().empty());
    const std::string said = Texts().back();
    std::vector<std::string> keptCopies;
    for (const auto& entry : fs::directory_iterator(root_ / "tool" / "temp")) {
      if (entry.path().string().ends_with(".live")) keptCopies.push_back(entry.path().string());
    }
    if (c.oldBack) {
      EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), old);  // the old build is live again
      EXPECT_NE(said.find("서버의 게시 파일은 바뀌지 않았습니다"), std::string::npos) << said;
      EXPECT_TRUE(keptCopies.empty());  // removed once it was back
    } else {
      EXPECT_NE(server.ReadUploaded("Tool.Setup.exe"), old);  // a fragment
      EXPECT_NE(said.find("서버의 게시 파일이 온전하지 않습니다"), std::string::npos) << said;
      ASSERT_EQ(keptCopies.size(), 1u);
      EXPECT_NE(said.find(keptCopies[0]), std::string::npos) << said;
      EXPECT_EQ(ReadFile(keptCopies[0]), old);
      fs::remove(keptCopies[0]);
    }
  }
}

TEST_F(ProcUploadTest, AnAccountThatMayNotRenameStillPublishesAndTheConsoleHearsOfItOnce) {
  LocalServer server({"--perms", "elradmw"});
  std::ofstream(server.uploadDir() + "/Tool.Setup_lastver.txt", std::ios::binary) << "32\r\n";
  EXPECT_TRUE(Publish(server, program_).published);
  EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
  // Besides the one that the server offers no TLS.
  auto renameNotices = [&] {
    return std::count_if(events.notices.begin(), events.notices.end(), [](const std::string& n) {
      return n.find("이름 바꾸기") != std::string::npos;
    });
  };
  EXPECT_EQ(renameNotices(), 1);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), ReadFile(program_));
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  EXPECT_EQ(server.ListUploadDir(), (std::vector<std::string>{"Tool.Setup.exe", "Tool.Setup_lastver.txt"}));

  // Where renaming works, there is nothing to say.
  LocalServer plain;
  EXPECT_TRUE(Publish(plain, program_).published);
  EXPECT_EQ(renameNotices(), 1);
}

TEST_F(ProcUploadTest, OverTlsTheHostIsRememberedAndALaterPlainAnswerIsRefusedAsADowngrade) {
  LocalServer tls(testing::TlsSwitches());
  ftpHost = "localhost";
  request.ftpTls.caFile = tls.caFile();
  EXPECT_TRUE(Publish(tls, program_).published);
  EXPECT_EQ(settings.GetSetting(kAppTitle, "TlsHosts", "localhost:" + std::to_string(tls.ftpPort()), ""),
            "1");
  EXPECT_TRUE(events.notices.empty());
  EXPECT_EQ(CommandsStartingWith(tls, "AUTH TLS"), 1u);

  // The host answers in clear now (the front end passes on what was
  // remembered): nothing is sent, and the user is told why.
  LocalServer plain;
  request.ftpTls.spokenBefore = true;
  const UploadOutcome refused = Publish(plain, program_);
  EXPECT_FALSE(refused.published);
  ASSERT_TRUE(refused.error.has_value());
  EXPECT_EQ(TlsRefusalOf(*refused.error), TlsRefusal::kDowngrade);
  const std::string said = Texts().back();
  EXPECT_EQ(said.rfind("서버 접속 실패!\r\n오류번호: 64", 0), 0u) << said;
  EXPECT_NE(said.find("전에 TLS로 접속했던 서버가 이번에는 TLS를 제공하지 않습니다"), std::string::npos);
  EXPECT_NE(said.find("계정과 비밀번호는 보내지 않았습니다."), std::string::npos);
  EXPECT_EQ(CommandsStartingWith(plain, "USER"), 0u);
  EXPECT_EQ(CommandsStartingWith(plain, "PASS"), 0u);
}

TEST_F(ProcUploadTest, AnUntrustedCertificateEndsTheFileBeforeTheAccountIsSentAndSaysWhy) {
  LocalServer server(testing::TlsSwitches("untrusted"));
  ftpHost = "localhost";
  request.ftpTls.caFile = server.caFile();
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_FALSE(outcome.published);
  ASSERT_TRUE(outcome.error.has_value());
  EXPECT_EQ(outcome.error->stage, Stage::kConnect);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_NE(Texts()[0].find("서버의 인증서를 신뢰할 수 없습니다"), std::string::npos) << Texts()[0];
  EXPECT_NE(Texts()[0].find("계정과 비밀번호는 보내지 않았습니다."), std::string::npos);
  EXPECT_EQ(CommandsStartingWith(server, "USER"), 0u);
  EXPECT_EQ(CommandsStartingWith(server, "PASS"), 0u);
  EXPECT_TRUE(server.ListUploadDir().empty());
  EXPECT_TRUE(settings.writes().empty());  // nothing remembered of a server that was refused
}

TEST_F(ProcUploadTest, AServerWithoutTlsIsSaidOncePerRunUnderAuto) {
  LocalServer server;
  request.config = ConfigFor(server);
  request.confirmOverHttp = false;
  const std::string second = (root_ / "Build" / "Second.exe").string();
  fs::copy_file(program_, second);
  PublishServices services{files, settings, cp949, facts, launcher, sleeper};
  const RunContext run{request, services, events};
  EXPECT_TRUE(ProcUpload(run, program_, true, nullptr).published);
  EXPECT_TRUE(ProcUpload(run, second, true, nullptr).published);
  ASSERT_EQ(events.notices.size(), 1u);
  EXPECT_NE(events.notices[0].find("TLS"), std::string::npos);
  EXPECT_NE(events.notices[0].find("127.0.0.1:" + std::to_string(server.ftpPort())), std::string::npos);
  // Off asks for nothing and says nothing.
  request.ftpTls.mode = FtpTlsMode::kOff;
  const RunContext quiet{request, services, events};
  EXPECT_TRUE(ProcUpload(quiet, program_, true, nullptr).published);
  EXPECT_EQ(events.notices.size(), 1u);
}

TEST_F(ProcUploadTest, AStalledRenameEndsThePublishAfterOneTimeOutWithBothNamesUntouched) {
  LocalServer server({"--stall-on", "RNTO"});
  std::ofstream(server.uploadDir() + "/Tool.Setup.exe", std::ios::binary) << "program v32";
  std::ofstream(server.uploadDir() + "/Tool.Setup_lastver.txt", std::ios::binary) << "32\r\n";
  request.ftpTimeouts = FtpTimeouts{5, 2};
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_FALSE(outcome.published);
  ASSERT_EQ(Texts().size(), 2u);
  EXPECT_EQ(DescribedTexts()[0], "FTP파일 쓰기에 실패했습니다.");
  // Nobody knows whether the server did the rename it never answered: the
  // message says where the old file is, either way.
  EXPECT_EQ(Texts()[1].rfind("배포 실패!!\r\n\r\n서버와의 연결이 끊겨", 0), 0u) << Texts()[1];
  const auto commands = server.FtpCommands();
  ASSERT_FALSE(commands.empty());
  // Nothing after the unanswered one: moving the old file aside.
  EXPECT_EQ(commands.back().rfind(UploadDirCommand("RNTO", "."), 0), 0u) << commands.back();
  EXPECT_TRUE(commands.back().ends_with(".old")) << commands.back();
  EXPECT_NE(Texts()[1].find(commands.back().substr(commands.back().rfind('/') + 1)), std::string::npos);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), "program v32");
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "32\r\n");
}

TEST_F(ProcUploadTest, TheUploadedLastVerIsThisRunsBuildWhateverAnotherRunWritesLocally) {
  LocalServer server;
  SecondRunRewritesLastVer fileSystem;
  EXPECT_TRUE(Publish(server, program_, &fileSystem).published);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  EXPECT_EQ(ReadFile(root_ / "tool" / "temp" / "Tool.Setup_lastver.txt"), "5\r\n");  // the other run's
}

// Someone left a link at the local lastver's name: what it points at stays
// as it was, and the name holds a file of its own.
TEST_F(ProcUploadTest, TheLocalLastVerCopyReplacesASymbolicLinkInsteadOfWritingThroughIt) {
  const fs::path victim = root_ / "victim.txt";
  std::ofstream(victim, std::ios::binary) << "keep me";
  const fs::path lastVer = root_ / "tool" / "temp" / "Tool.Setup_lastver.txt";
  fs::create_symlink(victim, lastVer);
  LocalServer server;
  EXPECT_TRUE(Publish(server, program_).published);
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_FALSE(fs::is_symlink(lastVer));
  EXPECT_EQ(ReadFile(lastVer), "33\r\n");
}

TEST_F(ProcUploadTest, TheLocalLastVerCopyReplacesAHardLinkInsteadOfWritingThroughIt) {
  const fs::path victim = root_ / "victim.txt";
  std::ofstream(victim, std::ios::binary) << "keep me";
  const fs::path lastVer = root_ / "tool" / "temp" / "Tool.Setup_lastver.txt";
  fs::create_hard_link(victim, lastVer);
  LocalServer server;
  EXPECT_TRUE(Publish(server, program_).published);
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_EQ(fs::hard_link_count(victim), 1u);
  EXPECT_EQ(ReadFile(lastVer), "33\r\n");
}

TEST_F(ProcUploadTest, WhatIsUploadedIsTheFileThePackerLeft) {
  fs::create_directories(root_ / "packer");
  request.upxPath = testing::InstallFakeProgram(root_ / "packer", "fake upx", {"any append +upx"});
  const std::string before = ReadFile(program_);
  LocalServer server;
  EXPECT_TRUE(Publish(server, program_).published);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), before + "+upx+upx");  // pack, then -d
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
}

TEST_F(ProcUploadTest, APackerThatChangesTheVersionFailsTheFileBeforeAnyConnection) {
  fs::create_directories(root_ / "packer");
  request.upxPath = testing::InstallFakeProgram(root_ / "packer", "fake upx", {"pack bump-version"});
  const std::string before = ReadFile(program_);
  LocalServer server;
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_FALSE(outcome.result);
  EXPECT_FALSE(outcome.published);
  ASSERT_EQ(Texts().size(), 2u);
  EXPECT_NE(Texts()[0].find("fake upx"), std::string::npos) << Texts()[0];  // names the packer
  EXPECT_EQ(Texts()[1], "배포 실패!!");
  EXPECT_EQ(ReadFile(program_), before);  // put back as it was
  EXPECT_TRUE(server.ListUploadDir().empty());
  EXPECT_TRUE(server.FtpCommands().empty());  // no session at all
  EXPECT_TRUE(ReadRecentFiles(settings).empty());
}

TEST_F(ProcUploadTest, AProgramNameOf240BytesIsPublishedWithItsLastVer) {
  const std::string base(236, 'L');
  const std::string program = (root_ / "Build" / (base + ".exe")).string();
  fs::copy_file(program_, program);
  LocalServer server;
  EXPECT_TRUE(Publish(server, program).published);
  EXPECT_EQ(Texts(), std::vector<std::string>{"배포완료"});
  EXPECT_EQ(server.ReadUploaded(base + ".exe"), ReadFile(program_));
  EXPECT_EQ(server.ReadUploaded(base + "_lastver.txt"), "33\r\n");
}

TEST_F(ProcUploadTest, NoSessionMeansNoUploadNoMessageOfItsOwnAndNoRecentEntry) {
  LocalServer server;
  ftpPort = testing::UnusedPort();
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_FALSE(outcome.result);
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->stage, Stage::kConnect);
  EXPECT_EQ(DescribedTexts(), std::vector<std::string>{"서버 접속 실패!\r\n오류번호: 7"});
  EXPECT_TRUE(ReadRecentFiles(settings).empty());
  // The local lastver file was written before connecting, and stays.
  EXPECT_EQ(ReadFile(root_ / "tool" / "temp" / "Tool.Setup_lastver.txt"), "33\r\n");
}

TEST_F(ProcUploadTest, AMissingTempFolderEndsBeforeAnyConnection) {
  facts = FixedProcessFacts((root_ / "elsewhere").string());
  LocalServer server;
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(Texts(), std::vector<std::string>{"Error 76 (Path not found) in procedure ProcUpload of Form Form1"});
  EXPECT_EQ(ReadFile(server.commandLog()), "");  // the server never heard from us
  EXPECT_TRUE(ReadRecentFiles(settings).empty());
}

TEST(LastVerPath, SitsInTheTempFolderBesideTheTool) {
  // Joined with the platform's own separator ("/" on Linux, "\" on Windows).
  const std::string sep(1, kPlatform.separator);
  EXPECT_EQ(LocalLastVerPath(FixedProcessFacts("/opt/parone"), "a_lastver.txt"),
            "/opt/parone" + sep + "temp" + sep + "a_lastver.txt");
  EXPECT_EQ(LocalLastVerPath(FixedProcessFacts("/opt/parone/"), "a_lastver.txt"),
            "/opt/parone" + sep + "temp" + sep + "a_lastver.txt");
  EXPECT_EQ(LocalLastVerPath(FixedProcessFacts("C:\\Tools\\"), "a_lastver.txt"),
            "C:\\Tools" + sep + "temp" + sep + "a_lastver.txt");
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_dir.hpp"
#include "distribution/proc_upload.hpp"
#include "distribution/recent_files.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/forwarding_file_system.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_view.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The real file system, except that lastver files cannot be opened for
// reading: the second upload of a file fails locally.
class LastVerUnreadable final : public ForwardingFileSystem {
 public:
  std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& p) override {
    if (p.ends_with("_lastver.txt")) return nullptr;
    return ForwardingFileSystem::OpenForReading(p);
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

  UploadOutcome Publish(LocalServer& server, const std::string& path, FileSystem* fileSystem = nullptr) {
    SystemConfig config = SystemConfig::Defaults();
    config.ftpHost = "127.0.0.1";
    config.ftpPort = server.ftpPort();
    DistributionContext context{view,     boxes,  fileSystem ? *fileSystem : files,
                                settings, cp949,  facts,
                                launcher, config, FtpTimeouts{5, 10},
                                UrlTextTimeouts{2, 4}};
    return ProcUpload(context, path);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes.shown()) texts.push_back(box.text);
    return texts;
  }

  fs::path root_;
  std::string program_;
  RecordingView view;
  RecordingMessageBoxes boxes;
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
  EXPECT_FALSE(view.progress.values().empty());
  EXPECT_EQ(view.unloads, 0);
  EXPECT_EQ(view.yields, 0);  // Text1 names no program: no UPX run, no yield
}

TEST_F(ProcUploadTest, UpxRunsTwiceOverTheQuotedPathInTheToolFolderThenYieldsOnce) {
  fs::create_directories(root_ / "My Build");
  const std::string program = (root_ / "My Build" / "a.exe").string();
  fs::copy_file(program_, program);
  const std::string log = (root_ / "upx.log").string();
  view.upxPath = (root_ / "fake upx").string();
  std::ofstream(view.upxPath) << "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; } >> \""
                              << log << "\"\n";
  fs::permissions(view.upxPath, fs::perms::owner_all);
  LocalServer server;
  EXPECT_TRUE(Publish(server, program).published);
  const std::string tool = (root_ / "tool").string();
  EXPECT_EQ(ReadFile(log), tool + "\n[" + program + "]\n" + tool + "\n[-d]\n[" + program + "]\n");
  EXPECT_EQ(view.yields, 1);

  // After code signing the step has already run: not again.
  fs::remove(log);
  SystemConfig config = SystemConfig::Defaults();
  config.ftpHost = "127.0.0.1";
  config.ftpPort = server.ftpPort();
  DistributionContext context{view, boxes, files, settings, cp949, facts,
                              launcher, config, FtpTimeouts{5, 10}, UrlTextTimeouts{2, 4}};
  EXPECT_TRUE(ProcUpload(context, program, false).published);
  EXPECT_FALSE(fs::exists(log));
  EXPECT_EQ(view.yields, 1);
}

TEST_F(ProcUploadTest, CloseAfterSendingClosesTheWindowInsteadOfTheMessage) {
  LocalServer server;
  for (int tick : {1, 2}) {
    boxes.Clear();
    view.closeAfterSending = tick;
    EXPECT_TRUE(Publish(server, program_).published);
    EXPECT_EQ(view.unloads, 1) << tick;  // greyed (2) does not count as ticked
    EXPECT_EQ(Texts(), tick == 1 ? std::vector<std::string>{} : std::vector<std::string>{"배포완료"});
  }
}

TEST_F(ProcUploadTest, AnUnreadableVersionStillPublishesAnEmptyLastVerLine) {
  const std::string plain = (root_ / "Build" / "notes").string();  // no dot, no version
  std::ofstream(plain) << "not a program";
  LocalServer server;
  EXPECT_TRUE(Publish(server, plain).published);
  EXPECT_EQ(server.ReadUploaded("notes_lastver.txt"), "\r\n");
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[0].text, "Error 13 (Type mismatch) in procedure GetFileVer of Module mdlFile");
  EXPECT_EQ(boxes.shown()[1].text, "배포완료");
}

TEST_F(ProcUploadTest, AFailedFileUploadKeepsTheOldLastVerAndStillRecordsTheFile) {
  LocalServer server({"--fail-stor-552"});
  std::ofstream(server.uploadDir() + "/Tool.Setup_lastver.txt", std::ios::binary) << "32\r\n";
  const UploadOutcome outcome = Publish(server, program_);
  EXPECT_TRUE(outcome.result);
  EXPECT_FALSE(outcome.published);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"FTP파일 쓰기에 실패했습니다.", "배포 실패!!"}));
  EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"Tool.Setup_lastver.txt"});
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "32\r\n");
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{program_});
}

TEST_F(ProcUploadTest, AFailedLastVerUploadSaysSoAfterTheFileWentUp) {
  LocalServer server;
  LastVerUnreadable fileSystem;
  const UploadOutcome outcome = Publish(server, program_, &fileSystem);
  EXPECT_TRUE(outcome.result);
  EXPECT_FALSE(outcome.published);
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[0].text.find("in procedure FTP_UPLoad of Module modFTP") != std::string::npos, true);
  EXPECT_EQ(boxes.shown()[1].text, "버전파일 배포 실패!!");
  EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"Tool.Setup.exe"});
}

TEST_F(ProcUploadTest, NoSessionMeansNoUploadNoMessageOfItsOwnAndNoRecentEntry) {
  LocalServer server;
  SystemConfig config = SystemConfig::Defaults();
  config.ftpHost = "127.0.0.1";
  config.ftpPort = testing::UnusedPort();
  DistributionContext context{view,     boxes,  files,  settings, cp949, facts,
                              launcher, config, FtpTimeouts{5, 10}, UrlTextTimeouts{2, 4}};
  const UploadOutcome outcome = ProcUpload(context, program_);
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(Texts(), std::vector<std::string>{"서버 접속 실패!\r\n오류번호: 7"});
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

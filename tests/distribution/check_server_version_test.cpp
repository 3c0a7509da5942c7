#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_dir.hpp"
#include "distribution/check_server_version.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_view.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;

const char* kQuestion = "이미 올라간 파일의 버전과 같습니다. 그래도 다시 업로드하시겠습니까?\r\n\r\n";
const char* kNoVersionQuestion =
    "파일의 버전을 읽을 수 없습니다. 그래도 업로드하시겠습니까?\r\n"
    "(서버에 기록된 빌드 번호가 비워집니다)\r\n\r\n";

// Answers as the window does (a style-292 box) and notes which kind was asked.
class KindRecordingQuestions final : public RunQuestions {
 public:
  explicit KindRecordingQuestions(MessageBoxes& boxes) : boxes_(boxes) {}
  bool Ask(RunQuestion kind, const std::string& text) override {
    kinds.push_back(kind);
    return boxes_.Ask(kind, text);
  }
  std::vector<RunQuestion> kinds;

 private:
  MessageBoxQuestions boxes_;
};

class CheckServerVersionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new LocalServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    dir_ = testing::FreshTestDir("parone_check");
    fs::create_directories(dir_);
    config_ = SystemConfig::Defaults();
    config_.ftpHost = "127.0.0.1";
    config_.httpPort = server_->httpPort();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A copy of the sample program (build 33) under the given name.
  std::string Program(const std::string& name) {
    const fs::path path = dir_ / testing::Utf8Path(name);
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample64.exe", path,
                  fs::copy_options::overwrite_existing);
    return testing::Utf8Of(path);
  }
  void ServerRecords(const std::string& cp949Name, const std::string& content) {
    server_->PutUploaded(cp949Name, content);
  }
  bool Check(const std::string& path) {
    DistributionContext context{view,     boxes,   files,  settings, cp949, facts,
                                launcher, config_, FtpTimeouts{}, UrlTextTimeouts{1, 3}};
    return CheckServerVersion(context, questions, path);
  }

  static LocalServer* server_;
  fs::path dir_;
  SystemConfig config_;
  RecordingView view;
  RecordingMessageBoxes boxes;
  KindRecordingQuestions questions{boxes};
  NativeFileSystem files;
  MemorySettingsStore settings;
  Cp949CodePage cp949;
  FixedProcessFacts facts{"/nonexistent"};
  NativeProcessLauncher launcher;
};
LocalServer* CheckServerVersionTest::server_ = nullptr;

TEST_F(CheckServerVersionTest, TheSameBuildAsksAndTheAnswerDecides) {
  const std::string path = Program("Tool.Setup.exe");
  for (const char* recorded : {"33\r\n", "0033\r\n", "33", " 33 trailing"}) {
    SCOPED_TRACE(recorded);
    ServerRecords("Tool.Setup_lastver.txt", recorded);
    boxes.Clear();
    boxes.AnswerNextQuestion(kAnswerYes);
    EXPECT_TRUE(Check(path));
    boxes.AnswerNextQuestion(kAnswerNo);
    EXPECT_FALSE(Check(path));
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].text, std::string(kQuestion) + "Tool.Setup.exe");
    EXPECT_EQ(boxes.shown()[0].style, kStyleQuestionYesNo);
    EXPECT_EQ(boxes.shown()[0].caption, "파로네_배포");
  }
  EXPECT_EQ(questions.kinds.back(), RunQuestion::kSameBuild);
  EXPECT_EQ(view.lblVer.back(), "버전: 1.01.33");
}

TEST_F(CheckServerVersionTest, ADifferentOrMissingBuildGoesOnWithoutAWord) {
  const std::string path = Program("Other.exe");
  ServerRecords("Other_lastver.txt", "32\r\n");
  EXPECT_TRUE(Check(path));
  ServerRecords("Other_lastver.txt", "330\r\n");
  EXPECT_TRUE(Check(path));
  EXPECT_TRUE(Check(Program("Never.exe")));  // 404 page reads as 0
  config_.httpPort = testing::UnusedPort();   // unreachable reads as 0
  EXPECT_TRUE(Check(path));
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(CheckServerVersionTest, AnUnreadableVersionIsAQuestionOfItsOwnWithNoAsDefault) {
  const std::string text = (dir_ / "notes.txt").string();
  std::ofstream(text) << "no program";
  const std::string noBlock = (dir_ / "bare.exe").string();
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/no_resources64.exe", noBlock);
  ServerRecords("bare_lastver.txt", "33\r\n");  // a record the upload would empty
  const std::string paths[] = {
      text,                                   // not a program at all
      noBlock,                                // a program without a version block
      (dir_ / "gone.exe").string(),           // no such file
  };
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    boxes.Clear();
    questions.kinds.clear();
    EXPECT_FALSE(Check(path));  // no scripted answer: No, the default
    // One question and nothing else: not the reader's error box, and not
    // the same-build question that a build of 0 against a missing record
    // would otherwise ask as well.
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, kNoVersionQuestion + fs::path(path).filename().string());
    EXPECT_EQ(boxes.shown()[0].style, kStyleQuestionYesNo);
    EXPECT_EQ(boxes.shown()[0].caption, "파로네_배포");
    EXPECT_EQ(questions.kinds, std::vector<RunQuestion>{RunQuestion::kUnreadableVersion});
    EXPECT_EQ(view.lblVer.back(), "버전: ");
  }
  boxes.Clear();
  boxes.AnswerNextQuestion(kAnswerYes);
  EXPECT_TRUE(Check(text));
  EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST(BuildNumberText, OnlyATextThatBeginsWithADigitIsABuild) {
  const std::pair<const char*, bool> cases[] = {
      {"33", true},
      {"0", true},               // build 0 is a build
      {" 33", true},             // blanks are skipped, as the numeric reading does
      {"0 beta", true},          // "1.0 beta": clients read 0, and so does the check
      {"3-rc1", true},           // reads as 3
      {"", false},               // the reader failed
      {"Not specified", false},  // the block has no FileVersion
      {"x", false},              // "1.2.x"
      {"-1", false},             // a sign is no build
      {" \t\n", false},
  };
  for (const auto& [text, isBuild] : cases) EXPECT_EQ(IsBuildNumber(text), isBuild) << '"' << text << '"';
}

TEST_F(CheckServerVersionTest, KoreanNamesTravelInCp949) {
  const std::string path = Program("파로네 도구.exe");
  ServerRecords("\xC6\xC4\xB7\xCE\xB3\xD7 \xB5\xB5\xB1\xB8_lastver.txt", "33\r\n");
  boxes.AnswerNextQuestion(kAnswerNo);
  EXPECT_FALSE(Check(path));
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, std::string(kQuestion) + "파로네 도구.exe");
}

TEST(LastVerUrlTest, EncodesThePathInCp949AndEscapesWhatWouldChangeTheUrl) {
  SystemConfig config = SystemConfig::Defaults();
  config.ftpHost = "download.example";
  Cp949CodePage cp949;
  const std::string dir = "/download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/";
  EXPECT_EQ(LastVerUrl(config, cp949, "Tool.Setup"),
            "http://download.example" + dir + "Tool.Setup_lastver.txt");
  EXPECT_EQ(LastVerUrl(config, cp949, "a b#c?d%e&f"),
            "http://download.example" + dir + "a%20b%23c%3Fd%25e%26f_lastver.txt");
  config.httpPort = 8080;
  EXPECT_EQ(LastVerUrl(config, cp949, "x").rfind("http://download.example:8080/download/", 0), 0u);
}

}  // namespace
}  // namespace parone

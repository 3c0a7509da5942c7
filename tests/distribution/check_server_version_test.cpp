#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_dir.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/web_urls.hpp"
#include "local_server.hpp"
#include "version_block_builder.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_events.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;

const char* kQuestion = "이미 올라간 파일의 버전과 같습니다. 그래도 다시 업로드하시겠습니까?\r\n\r\n";
const char* kNoVersionQuestion =
    "파일의 버전을 읽을 수 없습니다. 그래도 업로드하시겠습니까?\r\n"
    "(서버에 기록된 빌드 번호가 비워집니다)\r\n\r\n";

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
  // A program file whose FileVersion is `version`.
  std::string ProgramWithVersion(const std::string& name, const std::u16string& version) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        << testing::BuildPe(testing::SimpleBlock(u"041204B0", {{u"FileVersion", version}}), 64);
    return path.string();
  }
  bool Check(const std::string& path, ServerVersion* found = nullptr) {
    PublishRequest request;
    request.config = config_;
    request.urlTimeouts = UrlTextTimeouts{1, 3};
    PublishServices services{files, settings, cp949, facts, launcher, sleeper};
    return CheckServerVersion(RunContext{request, services, events}, path, found);
  }

  static LocalServer* server_;
  fs::path dir_;
  SystemConfig config_;
  RecordingMessageBoxes boxes;
  RecordingEvents events{boxes};
  RealSleeper sleeper;
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
  EXPECT_EQ(events.asked.back(), QuestionKind::kSameBuild);
  EXPECT_EQ(events.lblVer.back(), "버전: 1.01.33");
}

TEST_F(CheckServerVersionTest, ANewerBuildOrNoRecordGoesOnWithoutAWord) {
  const std::string path = Program("Other.exe");
  ServerVersion found;
  ServerRecords("Other_lastver.txt", "32\r\n");
  EXPECT_TRUE(Check(path, &found));
  EXPECT_EQ(found.Comparison(), BuildComparison::kNew);
  EXPECT_EQ(found.record.kind, RecordKind::kBuild);
  EXPECT_EQ(found.status, 200);
  EXPECT_EQ(found.AnswerNote(), "");
  EXPECT_TRUE(Check(Program("Never.exe"), &found));
  EXPECT_EQ(found.record.kind, RecordKind::kNoRecord);
  EXPECT_EQ(found.AnswerNote(), "no lastver file on the server yet: HTTP 404");
  // No record is new whatever the local build: a build 0 on an empty server
  // is not "already on the server".
  EXPECT_TRUE(Check(ProgramWithVersion("zero.exe", u"1.0.0"), &found));
  EXPECT_EQ(found.Comparison(), BuildComparison::kNew);
  EXPECT_TRUE(boxes.shown().empty());
}

// One row per way a server can fail to say what it has: each asks (No by
// default, so the run ends), naming the reason and the file.
TEST_F(CheckServerVersionTest, AnUnknownServerBuildIsAskedAboutNeverReadAsZero) {
  struct Case {
    std::vector<std::string> switches;
    const char* reason;  // how the question names it
  };
  const Case cases[] = {
      {{"--lastver-fault", "503"}, "(HTTP 503)"},
      {{"--lastver-fault", "500"}, "(HTTP 500)"},
      {{"--lastver-fault", "403"}, "(HTTP 403)"},
      {{"--lastver-fault", "html"}, "(빌드 번호가 아닌 내용: \"<"},
      {{"--lastver-fault", "reset"}, "(응답 없음: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.switches.back());
    LocalServer hostile(c.switches);
    hostile.PutUploaded("Tool_lastver.txt", "34\r\n");  // the truth it does not tell
    config_.httpPort = hostile.httpPort();
    boxes.Clear();
    events.asked.clear();
    ServerVersion found;
    EXPECT_FALSE(Check(Program("Tool.exe"), &found));  // build 33 over an unknown: asked, No
    EXPECT_EQ(found.Comparison(), BuildComparison::kUnknown);
    EXPECT_EQ(found.record.kind, RecordKind::kUnknown);
    EXPECT_EQ(found.server, 0);
    EXPECT_EQ(events.asked, std::vector<QuestionKind>{QuestionKind::kUnknownServer});
    ASSERT_EQ(boxes.shown().size(), 1u);
    const std::string& text = boxes.shown()[0].text;
    EXPECT_EQ(text.rfind(std::string("서버의 빌드를 확인할 수 없습니다 ") + c.reason, 0), 0u) << text;
    EXPECT_NE(text.find("). 그래도 업로드하시겠습니까?\r\n\r\nTool.exe"), std::string::npos) << text;
    EXPECT_EQ(boxes.shown()[0].style, kStyleQuestionYesNo);
    boxes.AnswerNextQuestion(kAnswerYes);
    EXPECT_TRUE(Check(Program("Tool.exe")));  // Yes goes on
  }
}

TEST_F(CheckServerVersionTest, AWebSideThatDoesNotAnswerIsNotWaitedForAgainInTheSameRun) {
  LocalServer silent({"--lastver-fault", "stall"});  // reads the request, never answers
  config_.httpPort = silent.httpPort();
  PublishRequest request;
  request.config = config_;
  request.urlTimeouts = UrlTextTimeouts{1, 2};
  PublishServices services{files, settings, cp949, facts, launcher, sleeper};
  const RunContext context{request, services, events};
  std::vector<ServerVersion> found;
  for (const char* name : {"a.exe", "b.exe", "c.exe", "d.exe", "e.exe"}) {
    found.push_back(LookUpServerVersion(context, Program(name)));
  }
  for (const ServerVersion& v : found) {
    EXPECT_EQ(v.Comparison(), BuildComparison::kUnknown);
    ASSERT_TRUE(v.record.reason);
    EXPECT_EQ(v.record.reason->code, 28);  // the first one's time-out, for every file
  }
  // Asked once and waited once, not five times; said once.
  const std::string log = silent.CommandLogText();
  std::size_t asked = 0;
  for (std::size_t at = log.find("_lastver.txt"); at != std::string::npos;
       at = log.find("_lastver.txt", at + 1)) {
    ++asked;
  }
  EXPECT_EQ(asked, 1u) << log;
  EXPECT_EQ(events.notices.size(), 1u);
}

TEST_F(CheckServerVersionTest, AnOlderBuildThanTheServersAsksWithBothBuildsAndNoAsDefault) {
  const std::string path = Program("Tool.Setup.exe");  // build 33
  ServerRecords("Tool.Setup_lastver.txt", "34\r\n");
  ServerVersion found;
  EXPECT_FALSE(Check(path, &found));  // no scripted answer: No, the default
  EXPECT_EQ(found.Comparison(), BuildComparison::kOlder);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text,
            "서버의 빌드(34)보다 낮은 빌드(33)입니다. 그래도 업로드하시겠습니까?\r\n\r\nTool.Setup.exe");
  EXPECT_EQ(boxes.shown()[0].style, kStyleQuestionYesNo);
  EXPECT_EQ(boxes.shown()[0].caption, "파로네_배포");
  EXPECT_EQ(events.asked, std::vector<QuestionKind>{QuestionKind::kOlderBuild});
  boxes.AnswerNextQuestion(kAnswerYes);
  EXPECT_TRUE(Check(path));
  // "330" was read as a different build and passed silently before; it is
  // greater, so it is asked about too.
  ServerRecords("Tool.Setup_lastver.txt", "330\r\n");
  EXPECT_FALSE(Check(path));
  EXPECT_EQ(events.asked.back(), QuestionKind::kOlderBuild);
}

TEST_F(CheckServerVersionTest, CommaSeparatedVersionsCompareTheirLastComponentOnBothSides) {
  struct Case {
    std::u16string local;    // FileVersion of the local file
    const char* recorded;    // the server's lastver file as written before
    BuildComparison comparison;
  };
  const Case cases[] = {
      {u"5,30,23,1216", "5,30,23,1215\r\n", BuildComparison::kNew},
      {u"5,30,23,1215", "5,30,23,1215\r\n", BuildComparison::kSame},
      {u"5,30,23,1214", "5,30,23,1215\r\n", BuildComparison::kOlder},
      {u"1, 0, 0, 35", "1, 0, 0, 34\r\n", BuildComparison::kNew},   // blanks after the commas
      {u"1, 0, 0, 33", "1, 0, 0, 34\r\n", BuildComparison::kOlder},
      {u"1, 0, 0, 35", "34\r\n", BuildComparison::kNew},            // a plain record
      {u"10, 20, 3000, 12345", "10, 20, 3000, 12344\r\n", BuildComparison::kNew},  // past 20 bytes
      {u"1,2,3,x", "0\r\n", BuildComparison::kUnreadable},            // the build is no number
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recorded);
    const std::string path = ProgramWithVersion("Comma.exe", c.local);
    ServerRecords("Comma_lastver.txt", c.recorded);
    ServerVersion found;
    boxes.AnswerNextQuestion(kAnswerYes);
    Check(path, &found);
    EXPECT_EQ(found.Comparison(), c.comparison) << found.local << " vs " << found.server;
  }
  // The lastver text written for such a file stays the whole version text.
  const std::string path = ProgramWithVersion("Comma.exe", u"5,30,23,1215");
  ServerVersion found;
  Check(path, &found);
  EXPECT_EQ(found.localBuild, "5,30,23,1215");
  EXPECT_EQ(found.local, 1215);
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
    events.asked.clear();
    EXPECT_FALSE(Check(path));  // no scripted answer: No, the default
    // One question and nothing else: not the reader's error box, and not
    // the same-build question that a build of 0 against a missing record
    // would otherwise ask as well.
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, kNoVersionQuestion + fs::path(path).filename().string());
    EXPECT_EQ(boxes.shown()[0].style, kStyleQuestionYesNo);
    EXPECT_EQ(boxes.shown()[0].caption, "파로네_배포");
    EXPECT_EQ(events.asked, std::vector<QuestionKind>{QuestionKind::kUnreadableVersion});
    EXPECT_EQ(events.lblVer.back(), "버전: ");
  }
  boxes.Clear();
  boxes.AnswerNextQuestion(kAnswerYes);
  EXPECT_TRUE(Check(text));
  EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST(BuildNumberText, OnlyATextThatBeginsWithADigitIsABuild) {
  const std::pair<const char*, bool> cases[] = {
      {"5,30,23,1215", true},    // FileVersion written with commas
      {"1, 0, 0, 34", true},     // and with blanks after them
      {"1,0,0,", false},         // nothing after the last comma
      {"1,0,0,beta", false},
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

TEST(BuildNumberText, TheComparedPartIsTheLastCommaComponentOfTheFirstLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"33", "33"},
      {"33\r\n", "33\r\n"},                   // no comma: the whole text, as ever
      {"5,30,23,1215", "1215"},
      {"5,30,23,1215\r\n", "1215"},             // the line end is not part of it
      {"1, 0, 0, 34", " 34"},
      {"34\r\nnext, line", "34\r\nnext, line"},  // a comma on a later line does not count
  };
  for (const auto& [text, compared] : cases) EXPECT_EQ(ComparedBuildText(text), compared) << text;
  EXPECT_EQ(BuildValueText(34), "34");
  EXPECT_EQ(BuildValueText(3.5), "3.5");
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

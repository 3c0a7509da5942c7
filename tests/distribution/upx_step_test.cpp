#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "distribution/upx_step.hpp"
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

// The real file system, where keeping the file aside or putting it back can
// be made to fail.
class GuardedFiles final : public ForwardingFileSystem {
 public:
  bool CopyFileReplacing(const std::string& f, const std::string& t) override {
    if (failKeeping && t.ends_with(kBeforeUpxSuffix)) return false;
    return ForwardingFileSystem::CopyFileReplacing(f, t);
  }
  bool RenameReplacing(const std::string& f, const std::string& t) override {
    if (failPuttingBack && f.ends_with(kBeforeUpxSuffix)) return false;
    return ForwardingFileSystem::RenameReplacing(f, t);
  }
  bool failKeeping = false;
  bool failPuttingBack = false;
};

class UpxStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_upx");
    fs::create_directories(root_ / "tool");
    fs::create_directories(root_ / "packer");
    fs::create_directories(root_ / "My Build");
    program_ = (root_ / "My Build" / "a.exe").string();
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample64.exe", program_);
    original_ = Read(program_);
    facts = FixedProcessFacts((root_ / "tool").string());
    config_ = SystemConfig::Defaults();
  }
  void TearDown() override { fs::remove_all(root_); }

  void Packer(const std::vector<std::string>& control) {
    request.upxPath = testing::InstallFakeProgram(root_ / "packer", "fake upx", control);
  }
  bool Step() {
    request.config = config_;
    PublishServices services{files, settings, cp949, facts, launcher, sleeper};
    const Status packed = RunUpxStep(RunContext{request, services, events}, program_);
    if (!packed) {
      EXPECT_EQ(packed.error().stage, Stage::kPacker);
      EXPECT_EQ(packed.error().subject, program_);
    }
    return packed.ok();
  }
  std::string Log() { return testing::FakeProgramLog(root_ / "packer"); }
  std::string Run(const std::string& args) { return (root_ / "tool").string() + "\n" + args; }

  fs::path root_;
  std::string program_;
  std::string original_;
  SystemConfig config_;
  PublishRequest request;
  RealSleeper sleeper;
  RecordingMessageBoxes boxes;
  RecordingEvents events{boxes};
  GuardedFiles files;
  MemorySettingsStore settings;
  Cp949CodePage cp949;
  FixedProcessFacts facts{""};
  NativeProcessLauncher launcher;
};

TEST_F(UpxStepTest, BothRunsGetTheQuotedPathInTheToolFolderAndAGoodOutcomeIsKept) {
  // Appending keeps it a program file of the same version, and marks it.
  Packer({"any record", "any append +upx"});
  EXPECT_TRUE(Step());
  EXPECT_EQ(Log(), Run("[" + program_ + "]\n") + Run("[-d]\n[" + program_ + "]\n"));
  EXPECT_EQ(Read(program_), original_ + "+upx+upx");
  EXPECT_FALSE(fs::exists(program_ + kBeforeUpxSuffix));
  EXPECT_EQ(events.pulses, 1);
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(UpxStepTest, WithoutThePackerNothingRunsAndTheFileGoesOn) {
  request.upxPath = (root_ / "packer" / "missing").string();
  EXPECT_TRUE(Step());
  EXPECT_EQ(events.pulses, 0);
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_FALSE(fs::exists(program_ + kBeforeUpxSuffix));
}

TEST_F(UpxStepTest, AFailedRunFailsTheFileAndPutsItBackAsItWas) {
  struct Case {
    const char* what;
    std::vector<std::string> control;
    std::string outcome;  // in the message
    int runs;             // how many runs happened
  };
  const std::string pe = "프로그램 파일(PE)이 아닙니다";
  const Case cases[] = {
      {"packing exits with 3", {"any record", "pack exit 3"}, "종료 코드 3", 1},
      {"unpacking exits with 2", {"any record", "unpack exit 2"}, "종료 코드 2", 2},
      {"the file cut to 100 bytes", {"any record", "pack truncate 100"}, pe, 1},
      {"the file emptied", {"any record", "unpack truncate 0"}, pe, 2},
      {"the MZ header overwritten", {"any record", "pack corrupt"}, pe, 1},
      {"another FileVersion", {"any record", "pack bump-version"},
       "파일 버전이 바뀌었습니다 (1.01.0033 -> 1.01.0034)", 1},
      {"the file deleted", {"any record", "unpack remove"}, "파일이 없어졌습니다", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(root_ / "packer" / "fake_program.log");
    boxes.Clear();
    events.pulses = 0;
    Packer(c.control);
    EXPECT_FALSE(Step());
    ASSERT_EQ(boxes.shown().size(), 1u);
    const ShownBox& box = boxes.shown()[0];
    EXPECT_EQ(box.style, kStyleWarning);
    for (const std::string& part : {request.upxPath, program_, c.outcome}) {
      EXPECT_NE(box.text.find(part), std::string::npos) << part << "\n" << box.text;
    }
    EXPECT_EQ(box.text.find(" -d ") != std::string::npos, c.runs == 2) << box.text;
    const std::string expectedLog =
        Run("[" + program_ + "]\n") + (c.runs == 2 ? Run("[-d]\n[" + program_ + "]\n") : "");
    EXPECT_EQ(Log(), expectedLog);
    EXPECT_EQ(Read(program_), original_);
    EXPECT_FALSE(fs::exists(program_ + kBeforeUpxSuffix));
    EXPECT_EQ(events.pulses, 1);
  }
}

TEST_F(UpxStepTest, APackerPastItsTimeLimitIsEndedAndFailsTheFile) {
  config_.upxTimeoutMs = 300;
  // It would record its run and spoil the file after waking up.
  Packer({"pack sleep 1500", "pack record", "pack append late"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Step());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find("300 ms 안에 끝나지 않아 중단했습니다"), std::string::npos)
      << boxes.shown()[0].text;
  EXPECT_EQ(Read(program_), original_);
  // Well past the moment it would have woken: it is gone, not just left.
  std::this_thread::sleep_until(start + std::chrono::milliseconds(2500));
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(Read(program_), original_);
}

TEST_F(UpxStepTest, APackerThatCannotStartFailsTheFile) {
  // Where the packer should be lies something that is no program (a download
  // cut short): no platform can start it.
  Packer({});
  std::ofstream(request.upxPath, std::ios::binary | std::ios::trunc) << "not a program\n";
  EXPECT_FALSE(Step());
  ASSERT_EQ(boxes.shown().size(), 2u);  // the launcher's own, then the step's
  EXPECT_NE(boxes.shown()[1].text.find("시작하지 못했습니다"), std::string::npos);
  EXPECT_EQ(Read(program_), original_);
}

TEST_F(UpxStepTest, TheBuildIsNeverLeftDamaged) {
  // Without a copy aside the packer does not run at all.
  Packer({"any record", "pack corrupt"});
  files.failKeeping = true;
  EXPECT_FALSE(Step());
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(Read(program_), original_);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find(program_ + kBeforeUpxSuffix), std::string::npos);

  // When it cannot be put back, the message says where the good copy is.
  boxes.Clear();
  files.failKeeping = false;
  files.failPuttingBack = true;
  EXPECT_FALSE(Step());
  EXPECT_EQ(Read(program_ + kBeforeUpxSuffix), original_);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find(program_ + kBeforeUpxSuffix + " 에 남아 있습니다"),
            std::string::npos)
      << boxes.shown()[0].text;
}

}  // namespace
}  // namespace parone

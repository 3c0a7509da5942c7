#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/cli.hpp"
#include "fake_program.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;
using testing::SigningService;

std::string Fixture(const std::string& name) { return std::string(PARONE_FIXTURE_DIR) + "/" + name; }

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool Verifies(const std::string& file, const std::string& certificate) {
  return testing::SignatureVerifies(file, certificate);
}

// Counts the sleeps of the wait instead of sleeping.
class RecordingSleeper final : public Sleeper {
 public:
  void SleepMs(long ms) override { sleeps.push_back(ms); }
  std::vector<long> sleeps;
};

// The whole way with the real signing service: publish --sign, then check
// the signature of the copy that reached the server.
class SignedPublish : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_signed");
    fs::create_directories(root_ / "tool" / "temp");
    fs::create_directories(root_ / "drop");
    program_ = (root_ / "app.exe").string();
    fs::copy_file(Fixture("sample64.exe"), program_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // `drop` is the signing folder (DIR/unsigned, DIR/signed).
  int Publish(LocalServer& server, std::vector<std::string> extra, const fs::path& drop,
              std::vector<std::string> files = {}) {
    std::ostringstream out, errStream;
    std::istringstream in;
    NativeFileSystem fileSystem;
    MemorySettingsStore settings;
    FixedProcessFacts facts((root_ / "tool").string());
    Cp949CodePage codePage;
    NativeProcessLauncher launcher;
    RealSleeper realSleeper;
    CliContext context{out, errStream, in,
                       PublishServices{fileSystem, settings, codePage, facts, launcher,
                                       sleeper ? *sleeper : static_cast<Sleeper&>(realSleeper)},
                       [drop](const char* name) -> std::optional<std::string> {
                         if (std::string(name) == "PARONE_DEPLOY_FTP_PASSWORD") return testing::kDemoPassword;
                         if (std::string(name) != "PARONE_DEPLOY_SIGNING_DIR") return std::nullopt;
                         return drop.string();
                       }};
    context.signingPollMs = pollMs;
    std::vector<std::string> args = {"publish", "--sign", "--sign-timeout", "60", "--server",
                                     "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" +
                                         std::to_string(server.httpPort())};
    args.insert(args.end(), extra.begin(), extra.end());
    if (files.empty()) files.push_back(program_);
    args.insert(args.end(), files.begin(), files.end());
    const int status = RunCli(args, context);
    err_ = errStream.str();
    return status;
  }
  int Publish(LocalServer& server, std::vector<std::string> extra = {}) {
    return Publish(server, std::move(extra), root_ / "drop");
  }

  fs::path root_;
  std::string program_;
  std::string err_;
  long pollMs = 200;
  Sleeper* sleeper = nullptr;
};

TEST_F(SignedPublish, ThePublishedFileCarriesAValidSignature) {
  LocalServer server;
  SigningService signer((root_ / "drop").string());
  ASSERT_FALSE(Verifies(program_, signer.certificate()));
  EXPECT_EQ(Publish(server), kExitOk) << err_;
  const std::string published = server.uploadDir() + "/app.exe";
  EXPECT_TRUE(Verifies(published, signer.certificate()));
  EXPECT_TRUE(Verifies(program_, signer.certificate()));  // the local file was replaced too
  EXPECT_FALSE(fs::exists(root_ / "drop" / "signed" / "app.exe"));
  EXPECT_EQ(server.ReadUploaded("app_lastver.txt"), "33\r\n");
}

TEST_F(SignedPublish, WithUpxTheSignatureStillVerifies) {
  const char* candidates[] = {"/usr/bin/upx", "/usr/bin/upx-ucl", "/usr/local/bin/upx"};
  std::string upx;
  for (const char* c : candidates) {
    if (fs::exists(c)) upx = c;
  }
  if (upx.empty()) GTEST_SKIP() << "UPX is not installed here (Debian 12 has it only in backports)";
  LocalServer server;
  SigningService signer((root_ / "drop").string());
  EXPECT_EQ(Publish(server, {"--upx", upx}), kExitOk) << err_;
  EXPECT_TRUE(Verifies(server.uploadDir() + "/app.exe", signer.certificate()));
}

TEST_F(SignedPublish, NoSignedCopyWithinTheTimeoutUploadsNothing) {
  LocalServer server;  // and no signing service at all
  fs::create_directories(root_ / "drop" / "unsigned");
  fs::create_directories(root_ / "drop" / "signed");
  const std::string before = Read(program_);
  EXPECT_EQ(Publish(server, {"--sign-timeout", "1"}), kExitFailed);
  EXPECT_NE(err_.find("--sign-timeout"), std::string::npos) << err_;
  EXPECT_TRUE(server.ListUploadDir().empty());
  EXPECT_EQ(Read(program_), before);
  EXPECT_FALSE(fs::exists(root_ / "drop" / "unsigned" / "app.exe"));  // withdrawn
}

TEST_F(SignedPublish, TheSignTimeoutTakesOnlyWholeSecondsThatTheWaitCanCount) {
  LocalServer server;
  const char* refused[] = {
      "-1", "", "abc", "1.5", "+5", " 5", "5s",
      "2147484",               // one past what a 32-bit count of milliseconds holds
      "9223372036854776",      // fits a 64-bit number, not as milliseconds
      "99999999999999999999",  // fits nothing
  };
  for (const char* value : refused) {
    EXPECT_EQ(Publish(server, {"--sign-timeout", value}), kExitUsage) << value;
    EXPECT_NE(err_.find("--sign-timeout: needs whole seconds from 0 to 2147483"), std::string::npos)
        << value << ": " << err_;
  }
  EXPECT_TRUE(server.ListUploadDir().empty());
}

TEST_F(SignedPublish, TheSignTimeoutIsHonouredToTheSecond) {
  LocalServer server;  // no signing service
  fs::create_directories(root_ / "drop" / "unsigned");
  fs::create_directories(root_ / "drop" / "signed");
  RecordingSleeper clock;
  sleeper = &clock;
  pollMs = 5000;
  struct Case {
    const char* seconds;
    std::vector<long> sleeps;  // the last one shortened to the time left
  };
  const Case cases[] = {
      {"12", {5000, 5000, 2000}},
      {"10", {5000, 5000}},
      {"3", {3000}},
      {"0", {}},
  };
  for (const Case& c : cases) {
    clock.sleeps.clear();
    EXPECT_EQ(Publish(server, {"--sign-timeout", c.seconds}), kExitFailed) << c.seconds;
    EXPECT_EQ(clock.sleeps, c.sleeps) << c.seconds;
    EXPECT_NE(err_.find(std::string("no signed files after ") + c.seconds + " s"), std::string::npos)
        << err_;
  }
  // The largest value is a long wait, not one given up at once.
  clock.sleeps.clear();
  fs::copy_file(Fixture("signed/sample64.exe"), root_ / "drop" / "signed" / "app.exe");
  EXPECT_EQ(Publish(server, {"--sign-timeout", "2147483"}), kExitOk) << err_;
  EXPECT_EQ(clock.sleeps, std::vector<long>{5000});
}

TEST_F(SignedPublish, AServiceThatSendsBackNoProperSignedCopyGetsNothingPublished) {
  struct Case {
    const char* what;
    std::vector<std::string> service;
    std::string reason;  // reported once
  };
  const Case cases[] = {
      {"an empty file", {"--misbehave", "empty"}, "프로그램 파일(PE)이 아닙니다"},
      {"the file unsigned", {"--misbehave", "unsigned"}, "전자서명이 없습니다"},
      {"another build signed", {"--substitute", Fixture("sample_build5_64.exe")},
       "보낸 파일 1.01.0033, 서명된 파일 1.01.0005"},
  };
  LocalServer server;
  const std::string before = Read(program_);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path drop = root_ / ("drop" + std::to_string(++n));
    SigningService signer(drop.string(), c.service);
    EXPECT_EQ(Publish(server, {"--sign-timeout", "2"}, drop), kExitFailed);
    EXPECT_EQ(Count(err_, c.reason), 1u) << err_;
    EXPECT_TRUE(server.ListUploadDir().empty());
    EXPECT_EQ(Read(program_), before);
    EXPECT_FALSE(fs::exists(drop / "unsigned" / "app.exe"));
  }
}

TEST_F(SignedPublish, ASlowServiceIsWaitedForUntilItsCopyIsWhole) {
  LocalServer server;
  SigningService signer((root_ / "drop").string(), {"--misbehave", "slow", "--slow-seconds", "1.5"});
  EXPECT_EQ(Publish(server), kExitOk) << err_;
  EXPECT_TRUE(Verifies(server.uploadDir() + "/app.exe", signer.certificate()));
}

TEST_F(SignedPublish, AStaleSignedBuildFiveIsNotPublishedInPlaceOfBuild33) {
  fs::create_directories(root_ / "drop" / "signed");
  fs::copy_file(Fixture("signed/sample_build5_64.exe"), root_ / "drop" / "signed" / "app.exe");
  LocalServer server;
  SigningService signer((root_ / "drop").string());
  EXPECT_EQ(Publish(server), kExitOk) << err_;
  const std::string published = server.uploadDir() + "/app.exe";
  EXPECT_TRUE(Verifies(published, signer.certificate()));  // signed now, by this service
  EXPECT_NE(Read(published), Read(Fixture("signed/sample_build5_64.exe")));
  EXPECT_EQ(server.ReadUploaded("app_lastver.txt"), "33\r\n");
}

TEST_F(SignedPublish, ARunThatGaveUpLeavesNothingForTheServiceToSignLater) {
  LocalServer server;
  SigningService signer((root_ / "drop").string(), {"--delay-for", "app.exe=2"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Publish(server, {"--sign-timeout", "1"}), kExitFailed);
  EXPECT_FALSE(fs::exists(root_ / "drop" / "unsigned" / "app.exe"));
  // Well after the service would have signed the copy it was given.
  std::this_thread::sleep_until(start + std::chrono::milliseconds(4000));
  EXPECT_FALSE(fs::exists(root_ / "drop" / "signed" / "app.exe"));
  EXPECT_TRUE(server.ListUploadDir().empty());
}

TEST_F(SignedPublish, AFileWhosePackerFailedIsNotPublishedAndTheOthersAre) {
  const std::string other = (root_ / "other.exe").string();
  fs::copy_file(Fixture("sample64.exe"), other);
  fs::create_directories(root_ / "packer");
  const std::string upx =
      testing::InstallFakeProgram(root_ / "packer", "upx", {"pack:app.exe exit 3"});
  LocalServer server;
  SigningService signer((root_ / "drop").string());
  EXPECT_EQ(Publish(server, {"--upx", upx}, root_ / "drop", {program_, other}), kExitFailed);
  EXPECT_EQ(server.ListUploadDir(), (std::vector<std::string>{"other.exe", "other_lastver.txt"}));
  EXPECT_TRUE(Verifies(server.uploadDir() + "/other.exe", signer.certificate()));
  EXPECT_EQ(Read(program_), Read(Fixture("sample64.exe")));
  EXPECT_EQ(Count(err_, "UPX 실패"), 1u) << err_;
  EXPECT_NE(err_.find("종료 코드 3"), std::string::npos) << err_;
  EXPECT_EQ(Count(err_, "배포 실패!!"), 1u) << err_;
}

}  // namespace
}  // namespace parone

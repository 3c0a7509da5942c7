#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_dir.hpp"
#include "cli/cli.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;

class CliPublish : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_cli");
    fs::create_directories(root_ / "temp");
    sample_ = (root_ / "sample.exe").string();
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", sample_,
                  fs::copy_options::overwrite_existing);
  }
  void TearDown() override { fs::remove_all(root_); }

  int Run(const std::vector<std::string>& args, std::optional<std::string> serverEnv = std::nullopt) {
    std::ostringstream out, errStream;
    std::istringstream in;
    NativeFileSystem files;
    FixedProcessFacts facts(root_.string());
    Cp949CodePage codePage;
  NativeProcessLauncher launcher;
    CliContext context{out, errStream, in, files, settings, facts, codePage, launcher,
                       SystemConfig::Defaults(), std::move(serverEnv)};
    context.ftpStallSeconds = 10;
    const int status = RunCli(args, context);
    err = errStream.str();
    return status;
  }

  fs::path root_;
  std::string sample_;
  MemorySettingsStore settings;
  std::string err;
};

TEST_F(CliPublish, PublishesOneFileToTheServerGivenByOptionOrEnvironment) {
  LocalServer server;
  const std::string address =
      "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort());
  EXPECT_EQ(Run({"publish", "--server", address, sample_}), kExitOk) << err;
  EXPECT_NE(err.find("[파로네_배포] 배포완료"), std::string::npos);
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");

  fs::remove(server.uploadDir() + "/sample_lastver.txt");
  EXPECT_EQ(Run({"publish", "--active", sample_}, address), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");
  std::ifstream log(server.commandLog());
  const std::string commands((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(commands.find("EPRT"), std::string::npos);  // --active
}

TEST_F(CliPublish, TheStoredPassiveSettingIsUsedLikeTheWindowDoes) {
  LocalServer server;
  settings.Set("파로네_배포", "Config", "PassiveMode", "0");
  const std::string address =
      "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort());
  EXPECT_EQ(Run({"publish", sample_}, address), kExitOk) << err;
  std::ifstream log(server.commandLog());
  const std::string commands((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(commands.find("EPRT"), std::string::npos);
  EXPECT_EQ(commands.find("EPSV"), std::string::npos);
}

TEST_F(CliPublish, ASelectionOfSeveralFilesAndTheSameBuildQuestion) {
  LocalServer server;
  const std::string address =
      "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort());
  const std::string second = (root_ / "second.exe").string();
  fs::copy_file(sample_, second);
  EXPECT_EQ(Run({"check", "--server", address, sample_, second}), kExitOk) << err;
  EXPECT_EQ(Run({"publish", "--server", address, sample_, second}), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("second_lastver.txt"), "33\r\n");

  // Both are on the server now: the check says so, and the question decides.
  EXPECT_EQ(Run({"check", "--server", address, sample_}), kExitDeclined);
  EXPECT_EQ(Run({"publish", "--server", address, sample_, second}), kExitDeclined);  // no terminal: No
  EXPECT_EQ(Run({"publish", "--no", "--server", address, sample_}), kExitDeclined);
  EXPECT_NE(err.find("이미 올라간 파일의 버전과 같습니다."), std::string::npos);
  fs::remove(server.uploadDir() + "/sample.exe");
  EXPECT_EQ(Run({"publish", "--yes", "--server", address, sample_}), kExitOk) << err;
  EXPECT_TRUE(fs::exists(server.uploadDir() + "/sample.exe"));

  // One entry that fails (no such file) makes the whole run report failure,
  // after the others were still published.
  fs::remove(server.uploadDir() + "/second.exe");
  EXPECT_EQ(Run({"publish", "--yes", "--server", address, second, (root_ / "gone.exe").string()}),
            kExitFailed);
  EXPECT_TRUE(fs::exists(server.uploadDir() + "/second.exe"));
}

TEST_F(CliPublish, TheUpxOptionNamesTheProgramToRun) {
  LocalServer server;
  const std::string address = "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" +
                              std::to_string(server.httpPort());
  const std::string upx = (root_ / "upx.sh").string();
  const std::string log = (root_ / "upx.log").string();
  std::ofstream(upx) << "#!/bin/sh\necho \"$@\" >> \"" << log << "\"\n";
  fs::permissions(upx, fs::perms::owner_all);
  EXPECT_EQ(Run({"publish", "--upx", upx, "--server", address, sample_}), kExitOk) << err;
  std::ifstream in(log);
  const std::string calls((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(calls, sample_ + "\n-d " + sample_ + "\n");
}

TEST_F(CliPublish, FailuresAndUsageErrorsHaveTheirOwnExitStatus) {
  const std::string nowhere = "127.0.0.1:" + std::to_string(testing::UnusedPort()) + ":" +
                              std::to_string(testing::UnusedPort());
  EXPECT_EQ(Run({"publish", "--server", nowhere, sample_}), kExitFailed);
  EXPECT_NE(err.find("서버 접속 실패!"), std::string::npos);
  EXPECT_EQ(Run({"publish"}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--server", "host:notaport", sample_}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--server"}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--frob", sample_}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--upx"}), kExitUsage);
  EXPECT_EQ(Run({"check", "--yes", sample_}), kExitUsage);  // check never asks
  EXPECT_EQ(Run({"check"}), kExitUsage);
}

}  // namespace
}  // namespace parone

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
using testing::SigningService;

bool Verifies(const std::string& file, const std::string& certificate) {
  return testing::SignatureVerifies(file, certificate);
}

// The whole way with the real signing service: publish --sign, then check
// the signature of the copy that reached the server.
class SignedPublish : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_signed");
    fs::create_directories(root_ / "tool" / "temp");
    fs::create_directories(root_ / "drop");
    program_ = (root_ / "app.exe").string();
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample64.exe", program_);
  }
  void TearDown() override { fs::remove_all(root_); }

  int Publish(LocalServer& server, std::vector<std::string> extra) {
    std::ostringstream out, errStream;
    std::istringstream in;
    NativeFileSystem files;
    MemorySettingsStore settings;
    FixedProcessFacts facts((root_ / "tool").string());
    Cp949CodePage codePage;
    NativeProcessLauncher launcher;
    SystemConfig config = SystemConfig::Defaults();
    ApplySigningDirOverride(config, (root_ / "drop").string());
    CliContext context{out, errStream, in, files, settings, facts, codePage, launcher, config};
    context.signingPollMs = 200;
    std::vector<std::string> args = {"publish", "--sign", "--sign-timeout", "60", "--server",
                                     "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" +
                                         std::to_string(server.httpPort())};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(program_);
    const int status = RunCli(args, context);
    err_ = errStream.str();
    return status;
  }

  fs::path root_;
  std::string program_;
  std::string err_;
};

TEST_F(SignedPublish, ThePublishedFileCarriesAValidSignature) {
  LocalServer server;
  SigningService signer((root_ / "drop").string());
  ASSERT_FALSE(Verifies(program_, signer.certificate()));
  EXPECT_EQ(Publish(server, {}), kExitOk) << err_;
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
  const std::string before = [&] {
    std::ifstream in(program_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }();
  EXPECT_EQ(Publish(server, {"--sign-timeout", "1"}), kExitFailed);
  EXPECT_NE(err_.find("--sign-timeout"), std::string::npos) << err_;
  EXPECT_TRUE(server.ListUploadDir().empty());
  std::ifstream in(program_, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), before);
}

}  // namespace
}  // namespace parone

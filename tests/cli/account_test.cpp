// The account and the protection of a publish from the command line: where
// the password comes from (login, logout, the terminal), what happens
// without one, the TLS options, and that the password shows nowhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "cli/cli.hpp"
#include "cli_harness.hpp"
#include "local_server.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_credential_store.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;

// A password the server takes and that nothing may repeat.
constexpr const char* kSecret = "Zq7!secret-of-the-account";

class CliAccount : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_cli_account");
    fs::create_directories(root_ / "tool" / "temp");
    sample_ = testing::Utf8Of(root_ / "sample.exe");
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", root_ / "sample.exe");
    facts = FixedProcessFacts(testing::Utf8Of(root_ / "tool"));
    facts.userDataFolder = testing::Utf8Of(root_ / "config");
  }
  void TearDown() override { testing::RemoveTestDir(root_); }

  int Run(const std::vector<std::string>& args) {
    const auto environment = [this](const char* name) -> std::optional<std::string> {
      const auto found = variables.find(name);
      if (found == variables.end()) return std::nullopt;
      return found->second;
    };
    const auto run = testing::RunCliHere(
        args, settings, facts, environment,
        [this](CliContext& c) {
          c.credentials = &credentials;
          c.stdinIsTerminal = typed.has_value();
          c.readUnechoed = [this]() -> std::optional<std::string> {
            ++unechoedReads;
            return typed;
          };
          c.urlTimeouts = {2, 4};
        },
        stdinText);
    out = run.out;
    err = run.err;
    return run.status;
  }
  static std::string Address(const LocalServer& server, const std::string& host = "127.0.0.1") {
    return host + ":" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort());
  }
  static bool LoggedIn(const LocalServer& server) {
    for (const std::string& c : server.FtpCommands()) {
      if (c.rfind("USER", 0) == 0) return true;
    }
    return false;
  }

  fs::path root_;
  std::string sample_;
  FixedProcessFacts facts{""};
  MemorySettingsStore settings;
  MemoryCredentialStore credentials;
  std::map<std::string, std::string> variables;
  std::optional<std::string> typed;  // set: stdin is a terminal where this is typed unechoed
  std::string stdinText;
  int unechoedReads = 0;
  std::string out;
  std::string err;
};

TEST_F(CliAccount, WithoutAPasswordAnywhereAndNoTerminalNothingIsSent) {
  LocalServer server({"--password", kSecret});
  EXPECT_EQ(Run({"publish", "--yes", "--server", Address(server), sample_}), kExitUsage);
  EXPECT_NE(err.find("no FTP password for sdc1@127.0.0.1"), std::string::npos) << err;
  EXPECT_NE(err.find("PARONE_DEPLOY_FTP_PASSWORD"), std::string::npos);
  EXPECT_NE(err.find("nothing was sent"), std::string::npos);
  // Not even the version check went out.
  EXPECT_EQ(server.CommandLogText(), "");
  // A check needs no password.
  EXPECT_EQ(Run({"check", "--server", Address(server), sample_}), kExitOk) << err;
}

TEST_F(CliAccount, AtATerminalThePasswordIsAskedForUnechoedAndUsedOnce) {
  LocalServer server({"--password", kSecret});
  typed = kSecret;
  EXPECT_EQ(Run({"publish", "--server", Address(server), sample_}), kExitOk) << err;
  EXPECT_EQ(unechoedReads, 1);
  EXPECT_NE(err.find("FTP password for sdc1@127.0.0.1 (not shown): "), std::string::npos) << err;
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");
  EXPECT_TRUE(credentials.calls().size() == 1 && credentials.calls()[0].call == MemoryCredentialStore::Call::kRead);

  // An empty line is no password.
  typed = "";
  EXPECT_EQ(Run({"publish", "--yes", "--server", Address(server), sample_}), kExitUsage);
}

TEST_F(CliAccount, LoginKeepsThePasswordForPublishAndLogoutRemovesIt) {
  LocalServer server({"--password", kSecret});
  stdinText = std::string(kSecret) + "\r\nsecond line\n";
  EXPECT_EQ(Run({"login", "--password-stdin", "--server", Address(server)}), kExitOk) << err;
  EXPECT_EQ(credentials.Stored("127.0.0.1", "sdc1"), kSecret);
  EXPECT_EQ(unechoedReads, 0);
  stdinText.clear();
  EXPECT_EQ(Run({"publish", "--server", Address(server), sample_}), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");

  // PARONE_DEPLOY_SERVER names the server as --server does; logout forgets.
  variables["PARONE_DEPLOY_SERVER"] = Address(server);
  EXPECT_EQ(Run({"logout"}), kExitOk) << err;
  EXPECT_FALSE(credentials.Stored("127.0.0.1", "sdc1").has_value());
  EXPECT_EQ(Run({"publish", "--yes", sample_}), kExitUsage);
  EXPECT_NE(err.find("no FTP password"), std::string::npos) << err;

  // At a terminal login asks without echo; the environment would come
  // first at a publish, which login says.
  typed = "typed";
  variables["PARONE_DEPLOY_FTP_PASSWORD"] = "from the environment";
  EXPECT_EQ(Run({"login"}), kExitOk) << err;
  EXPECT_EQ(unechoedReads, 1);
  EXPECT_EQ(credentials.Stored("127.0.0.1", "sdc1"), "typed");
  EXPECT_NE(err.find("PARONE_DEPLOY_FTP_PASSWORD is set"), std::string::npos) << err;
}

TEST_F(CliAccount, LoginNeedsAPasswordAndAStoreThatTakesIt) {
  struct Row {
    std::vector<std::string> args;
    std::optional<std::string> typed;
    std::string stdinText;
    bool refuse;
    int status;
    const char* said;
  };
  const Row rows[] = {
      {{"login"}, std::nullopt, "pw\n", false, kExitUsage, "--password-stdin"},  // no terminal
      {{"login", "--password-stdin"}, std::nullopt, "", false, kExitUsage, "no password given"},
      {{"login", "--password-stdin"}, std::nullopt, "\n", false, kExitUsage, "no password given"},
      {{"login"}, "", "", false, kExitUsage, "no password given"},
      {{"login", "--password-stdin"}, std::nullopt, "pw\n", true, kExitFailed, "mode 0644"},
      {{"logout"}, std::nullopt, "", true, kExitFailed, "mode 0644"},
      {{"login", "--server", "host:0"}, std::nullopt, "pw\n", false, kExitUsage, "bad server"},
  };
  for (const Row& row : rows) {
    MemoryCredentialStore fresh;
    credentials = fresh;
    if (row.refuse) credentials.Refuse("credentials: mode 0644");
    typed = row.typed;
    stdinText = row.stdinText;
    EXPECT_EQ(Run(row.args), row.status) << row.args[0] << " " << row.stdinText;
    EXPECT_NE(err.find(row.said), std::string::npos) << err;
    EXPECT_FALSE(credentials.Stored("download.parone.example", "sdc1").has_value());
  }
}

TEST_F(CliAccount, AStoreThatMayNotBeUsedIsSaidAndNothingIsSent) {
  LocalServer server({"--password", kSecret});
  credentials.Refuse("/home/u/.config/파로네_배포/credentials: mode 0644, readable by others");
  typed = kSecret;  // a terminal would not be asked either
  EXPECT_EQ(Run({"publish", "--yes", "--server", Address(server), sample_}), kExitUsage);
  EXPECT_NE(err.find("mode 0644, readable by others"), std::string::npos) << err;
  EXPECT_EQ(unechoedReads, 0);
  EXPECT_EQ(server.CommandLogText(), "");
}

TEST_F(CliAccount, RequireTlsRefusesAPlainServerBeforeTheLoginAndNoTlsSpeaksPlainly) {
  LocalServer server({"--password", kSecret});
  variables["PARONE_DEPLOY_FTP_PASSWORD"] = kSecret;
  EXPECT_EQ(Run({"publish", "--require-tls", "--server", Address(server), sample_}), kExitFailed);
  EXPECT_NE(err.find("서버가 TLS(FTPS)를 제공하지 않는데, 설정이 TLS를 요구합니다."), std::string::npos)
      << err;
  EXPECT_FALSE(LoggedIn(server));
  // The same from the setting; the option wins over it.
  settings.Set(kAppTitle, "Config", "FtpTls", "require");
  EXPECT_EQ(Run({"publish", "--yes", "--server", Address(server), sample_}), kExitFailed);
  EXPECT_FALSE(LoggedIn(server));
  EXPECT_EQ(Run({"publish", "--yes", "--no-tls", "--server", Address(server), sample_}), kExitOk) << err;
  EXPECT_TRUE(LoggedIn(server));
  EXPECT_EQ(Run({"publish", "--require-tls", "--no-tls", sample_}), kExitUsage);
  // A setting of another form stops the publish before anything is sent.
  settings.Set(kAppTitle, "Config", "FtpTls", "yes");
  EXPECT_EQ(Run({"publish", "--yes", "--server", Address(server), sample_}), kExitUsage);
  EXPECT_NE(err.find("Config/FtpTls=\"yes\""), std::string::npos) << err;
}

TEST_F(CliAccount, OverTlsWithTheCompanyCaThePublishGoesThroughAndTheHostIsRemembered) {
  std::vector<std::string> switches = testing::TlsSwitches();
  switches.insert(switches.end(), {"--tls-required", "--password", kSecret});
  LocalServer server(switches);
  variables["PARONE_DEPLOY_FTP_PASSWORD"] = kSecret;
  variables["PARONE_DEPLOY_CA_FILE"] = server.caFile();
  EXPECT_EQ(Run({"publish", "--server", Address(server, "localhost"), sample_}), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");
  EXPECT_EQ(settings.GetSetting(kAppTitle, "TlsHosts", "localhost:" + std::to_string(server.ftpPort()), ""),
            "1");
  EXPECT_EQ(err.find("TLS를 제공하지 않아"), std::string::npos) << err;  // no plain notice
}

TEST_F(CliAccount, ThePasswordShowsNeitherInTheReportsNorInTheJournalNorInMessages) {
  LocalServer server({"--password", kSecret});
  variables["PARONE_DEPLOY_FTP_PASSWORD"] = kSecret;
  EXPECT_EQ(Run({"publish", "--json", "--server", Address(server), sample_}), kExitOk) << err;
  std::string seen = out + err;
  // A refused login too: the server's 530 and libcurl's words, never the password.
  variables["PARONE_DEPLOY_FTP_PASSWORD"] = std::string(kSecret) + "-wrong";
  EXPECT_EQ(Run({"publish", "--json", "--yes", "--server", Address(server), sample_}), kExitFailed);
  EXPECT_NE(out.find("\"stage\":\"login\""), std::string::npos) << out;
  seen += out + err;
  std::ifstream journal(root_ / "config" / "journal.jsonl", std::ios::binary);
  const std::string lines{std::istreambuf_iterator<char>(journal), std::istreambuf_iterator<char>()};
  EXPECT_NE(lines.find("\"result\":\"published\""), std::string::npos) << lines;
  seen += lines;
  // The server's own log masks it, as the tool's transcript does.
  seen += server.CommandLogText();
  EXPECT_EQ(seen.find(kSecret), std::string::npos) << seen;
}

}  // namespace
}  // namespace parone

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_dir.hpp"
#include "cli/cli.hpp"
#include "cli_harness.hpp"
#include "fake_program.hpp"
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
    FixedProcessFacts facts(root_.string());
    const auto environment = [serverEnv](const char* name) -> std::optional<std::string> {
      if (std::string(name) == "PARONE_DEPLOY_SERVER") return serverEnv;
      return testing::DemoPasswordOnly(name);
    };
    const auto run = testing::RunCliHere(
        args, settings, facts, environment,
        [this](CliContext& c) { c.stdinIsTerminal = terminalInput.has_value(); }, terminalInput.value_or(""));
    out = run.out;
    err = run.err;
    return run.status;
  }
  std::string Address(const LocalServer& server) {
    return "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort());
  }
  // A file that is no program: its version cannot be read.
  // The arguments the fake packer was given, one "[arg]" line each.
  std::string PackerArguments() {
    std::istringstream lines(testing::FakeProgramLog(root_ / "packer"));
    std::string line, args;
    while (std::getline(lines, line)) {
      if (line.starts_with("[")) args += line + "\n";
    }
    return args;
  }
  std::string NotAProgram() {
    const std::string path = (root_ / "notes.exe").string();
    std::ofstream(path, std::ios::binary) << "no program";
    return path;
  }

  fs::path root_;
  std::string sample_;
  MemorySettingsStore settings;
  std::optional<std::string> terminalInput;  // set: stdin is a terminal that types this
  std::string out;
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
  const std::string commands = server.CommandLogText();
  EXPECT_NE(commands.find("EPRT"), std::string::npos);  // --active
}

TEST_F(CliPublish, AMalformedServerVariableIsAUsageErrorNeverTheBuiltInServer) {
  // Each of these once fell back to the built-in host and published there.
  for (const char* value : {"127.0.0.1:notaport", "127.0.0.1:21:0", ":21", "host:70000"}) {
    for (const char* command : {"publish", "check"}) {
      EXPECT_EQ(Run({command, sample_}, value), kExitUsage) << command << " " << value;
      EXPECT_NE(err.find(std::string("PARONE_DEPLOY_SERVER=\"") + value + "\""), std::string::npos)
          << err;
      EXPECT_EQ(err.find("버전"), std::string::npos) << err;  // nothing was looked at
    }
  }
}

TEST_F(CliPublish, TheStoredPassiveSettingIsUsedLikeTheWindowDoes) {
  LocalServer server;
  settings.Set("파로네_배포", "Config", "PassiveMode", "0");
  const std::string address =
      "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" + std::to_string(server.httpPort());
  EXPECT_EQ(Run({"publish", sample_}, address), kExitOk) << err;
  const std::string commands = server.CommandLogText();
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

  // An entry that names no file is said at once, before any question, and
  // nothing of the selection is sent.
  fs::remove(server.uploadDir() + "/second.exe");
  const std::string gone = (root_ / "gone.exe").string();
  EXPECT_EQ(Run({"publish", "--yes", "--allow-no-version", "--server", address, second, gone}),
            kExitFailed);
  EXPECT_NE(err.find("배포할 파일이 없습니다. 아무것도 올리지 않았습니다.\n\n" + gone), std::string::npos)
      << err;
  EXPECT_EQ(err.find("버전:"), std::string::npos) << err;  // not even looked at
  EXPECT_FALSE(fs::exists(server.uploadDir() + "/second.exe"));
}

TEST_F(CliPublish, AFileWithoutAReadableVersionIsUploadedOnlyWhenAllowed) {
  LocalServer server;
  const std::string notes = NotAProgram();
  server.PutUploaded("notes_lastver.txt", "41\r\n");  // the recorded build
  struct Case {
    std::vector<std::string> flags;
    std::optional<std::string> typed;  // a terminal's answer
    int status;
    const char* printed;  // the answer line
  };
  const Case cases[] = {
      {{}, std::nullopt, kExitDeclined, "-> No (--allow-no-version answers Yes)"},
      {{"--yes"}, std::nullopt, kExitDeclined, "-> No (--allow-no-version answers Yes)"},
      {{"--yes"}, "n\n", kExitDeclined, "[y/N] "},  // --yes answers another question
      {{"--no"}, "y\n", kExitDeclined, "-> No (--no)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"publish", "--server", Address(server)};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    args.push_back(notes);
    terminalInput = c.typed;
    EXPECT_EQ(Run(args), c.status) << err;
    EXPECT_NE(err.find("[파로네_배포] 파일의 버전을 읽을 수 없습니다. 그래도 업로드하시겠습니까?\n"
                       "(서버에 기록된 빌드 번호가 비워집니다)\n\nnotes.exe\n" +
                       std::string(c.printed)),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("GetFileVer"), std::string::npos) << err;  // no error box before it
    EXPECT_FALSE(fs::exists(server.uploadDir() + "/notes.exe"));
    EXPECT_EQ(server.ReadUploaded("notes_lastver.txt"), "41\r\n");
  }
  terminalInput = "y\n";
  EXPECT_EQ(Run({"publish", "--server", Address(server), notes}), kExitOk) << err;
  EXPECT_TRUE(fs::exists(server.uploadDir() + "/notes.exe"));
  fs::remove(server.uploadDir() + "/notes.exe");
  terminalInput.reset();
  EXPECT_EQ(Run({"publish", "--allow-no-version", "--server", Address(server), notes}), kExitOk)
      << err;
  EXPECT_NE(err.find("-> Yes (--allow-no-version)"), std::string::npos);
  EXPECT_TRUE(fs::exists(server.uploadDir() + "/notes.exe"));
}

TEST_F(CliPublish, EmptyEntriesOfTheSelectionAreSkipped) {
  LocalServer server;
  // Today's builds pass their outputs with a trailing ";" now and then.
  EXPECT_EQ(Run({"publish", "--server", Address(server), sample_ + ";"}), kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");
  fs::remove(server.uploadDir() + "/sample_lastver.txt");
  EXPECT_EQ(Run({"publish", "--server", Address(server), ";" + sample_ + ";;", ""}), kExitOk) << err;
  EXPECT_EQ(err.find("파일의 버전을 읽을 수 없습니다"), std::string::npos) << err;
  EXPECT_EQ(Run({"check", "--server", Address(server), sample_ + ";"}), kExitDeclined);
  EXPECT_EQ(out, sample_ + ": local build \"33\", server build 33 (already on the server)\n");
  EXPECT_EQ(Run({"publish", "--server", Address(server), ";"}), kExitFailed);
  EXPECT_NE(err.find("보낼파일을 선택하세요."), std::string::npos);
}

TEST_F(CliPublish, ARelativePathIsTakenFromTheCurrentFolder) {
  LocalServer server;
  fs::create_directories(root_ / "packer");
  const std::string upx = testing::InstallFakeProgram(root_ / "packer", "upx", {"any record"});
  fs::create_directories(root_ / "out");
  fs::rename(sample_, root_ / "out" / "sample.exe");
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  const int status = Run({"publish", "--upx", upx, "--server", Address(server), "out/sample.exe"});
  const int checked = Run({"check", "--server", Address(server), "out/sample.exe"});
  fs::current_path(before);
  EXPECT_EQ(status, kExitOk) << err;
  EXPECT_EQ(server.ReadUploaded("sample_lastver.txt"), "33\r\n");
  // UPX runs in the tool's folder: it must be given the whole path.
  const std::string absolute = (root_ / "out" / "sample.exe").string();
  EXPECT_EQ(PackerArguments(), "[" + absolute + "]\n[-d]\n[" + absolute + "]\n");
  EXPECT_EQ(checked, kExitDeclined);
  EXPECT_EQ(out.rfind(absolute + ": ", 0), 0u) << out;
}

TEST_F(CliPublish, CheckReportsAVersionThatCannotBeReadAsAFileItWouldAskAbout) {
  LocalServer server;
  server.PutUploaded("sample_lastver.txt", "32\r\n");
  EXPECT_EQ(Run({"check", "--server", Address(server), sample_, NotAProgram()}), kExitDeclined);
  EXPECT_EQ(out, sample_ + ": local build \"33\", server build 32 (new)\n" +
                     (root_ / "notes.exe").string() +
                     ": local build \"\", server build none (the version cannot be read; "
                     "no lastver file on the server yet: HTTP 404)\n");
  EXPECT_EQ(err.find("GetFileVer"), std::string::npos) << err;
}

TEST_F(CliPublish, EverySubcommandAnswersHelpAndTheOverviewNamesEveryOption) {
  struct Case {
    std::vector<std::string> args;
    std::vector<const char*> mentioned;
  };
  const Case cases[] = {
      {{"--help"}, {"--sign [--sign-timeout SECONDS]", "--allow-no-version", "--allow-downgrade",
                    "--no-confirm", "--json", "publish", "check", "version", "history [--json] [-n N] [NAME]",
                    "4 published, not"}},
      {{"publish", "--help"}, {"--sign-timeout", "--sign", "--yes", "--no", "--allow-no-version", "--upx",
                               "--passive", "--active", "--server", "SELECTION", "--allow-downgrade",
                               "--no-confirm", "--json"}},
      {{"check", "--help"}, {"--server", "SELECTION", "--json"}},
      {{"history", "--help"}, {"--json", "-n", "NAME"}},
      {{"version", "--help"}, {"--json", "FILE"}},
      {{"publish", sample_, "-h"}, {"--sign-timeout"}},  // wherever it stands
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), kExitOk) << c.args[0];
    EXPECT_EQ(err, "");
    for (const char* word : c.mentioned) EXPECT_NE(out.find(word), std::string::npos) << word << "\n" << out;
  }
  // The check takes none of publish's options.
  Run({"check", "--help"});
  EXPECT_EQ(out.find("--sign"), std::string::npos);
}

TEST_F(CliPublish, TheUpxOptionNamesTheProgramToRun) {
  LocalServer server;
  const std::string address = "127.0.0.1:" + std::to_string(server.ftpPort()) + ":" +
                              std::to_string(server.httpPort());
  fs::create_directories(root_ / "packer");
  const std::string upx = testing::InstallFakeProgram(root_ / "packer", "upx", {"any record"});
  EXPECT_EQ(Run({"publish", "--upx", upx, "--server", address, sample_}), kExitOk) << err;
  EXPECT_EQ(PackerArguments(), "[" + sample_ + "]\n[-d]\n[" + sample_ + "]\n");
}

TEST_F(CliPublish, FailuresAndUsageErrorsHaveTheirOwnExitStatus) {
  const std::string nowhere = "127.0.0.1:" + std::to_string(testing::UnusedPort()) + ":" +
                              std::to_string(testing::UnusedPort());
  // Nothing answers: the server's build is unknown, and without a terminal
  // nobody says Yes to that.
  EXPECT_EQ(Run({"publish", "--server", nowhere, sample_}), kExitDeclined);
  EXPECT_NE(err.find("서버의 빌드를 확인할 수 없습니다 (응답 없음: "), std::string::npos) << err;
  EXPECT_NE(err.find("-> No (--allow-unknown-server answers Yes)"), std::string::npos) << err;
  EXPECT_EQ(Run({"publish", "--yes", "--server", nowhere, sample_}), kExitDeclined);  // not --yes
  EXPECT_EQ(Run({"publish", "--allow-unknown-server", "--server", nowhere, sample_}), kExitFailed);
  EXPECT_NE(err.find("서버 접속 실패!"), std::string::npos);
  EXPECT_EQ(Run({"publish"}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--server", "host:notaport", sample_}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--server"}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--frob", sample_}), kExitUsage);
  EXPECT_EQ(Run({"publish", "--upx"}), kExitUsage);
  EXPECT_EQ(Run({"check", "--yes", sample_}), kExitUsage);  // check never asks
  EXPECT_EQ(Run({"check", "--allow-no-version", sample_}), kExitUsage);
  EXPECT_EQ(Run({"check"}), kExitUsage);
  const std::vector<std::string> contradictions[] = {
      {"--yes", "--no"},
      {"--no", "--allow-no-version"},
      {"--no", "--allow-unknown-server"},
      {"--passive", "--active"},
      {"--sign", "--sign-timeout", "soon"},
      {"--sign", "--sign-timeout", "-5"},
      {"--sign", "--sign-timeout", "1.5"},
      {"--sign", "--sign-timeout", ""},
  };
  for (const auto& options : contradictions) {
    std::vector<std::string> args = {"publish"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(sample_);
    EXPECT_EQ(Run(args), kExitUsage) << options[0] << " " << options[1];
    EXPECT_NE(err, "");
  }
}

}  // namespace
}  // namespace parone

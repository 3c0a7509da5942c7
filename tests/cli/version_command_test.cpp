#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"

namespace parone {
namespace {

std::string Fixture(const char* name) { return std::string(PARONE_FIXTURE_DIR) + "/" + name; }

struct CliRun {
  int status = 0;
  std::string out;
  std::string err;
};

CliRun RunCliCapture(const std::vector<std::string>& args, ProgramVersion own = {1, 1, 33}) {
  std::ostringstream out, err;
  std::istringstream in;
  NativeFileSystem files;
  MemorySettingsStore settings;
  FixedProcessFacts facts("/nonexistent", own);
  Cp949CodePage codePage;
  NativeProcessLauncher launcher;
  RealSleeper sleeper;
  CliContext context{out, err, in, PublishServices{files, settings, codePage, facts, launcher, sleeper}};
  CliRun run;
  run.status = RunCli(args, context);
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(CliVersion, JsonGivesOneObjectPerFileWithRowsVersionAndBuild) {
  const std::string sample = Fixture("sample64.exe");
  const auto run = RunCliCapture({"version", "--json", sample});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out,
            "{\"path\":\"" + sample +
                "\",\"rows\":[\"CompanyName: 파로네 주식회사\","
                "\"FileDescription: 파로네 자동업데이트 시험 프로그램\","
                "\"FileVersion: 1.01.0033\",\"InternalName: sample\","
                "\"LegalCopyright: (c) 파로네\",\"OriginalFilename: sample.exe\","
                "\"ProductName: 파로네\",\"ProductVersion: 1.01.0033\",\"Comments: \","
                "\"LegalTrademarks: Not specified\",\"PrivateBuild: Not specified\","
                "\"SpecialBuild: Not specified\",\"Language: Korean\"],"
                "\"version\":\"1.01.33\",\"build\":\"33\"}\n");
  EXPECT_EQ(run.err, "");
}

TEST(CliVersion, AMissingFileIsReportedAndTheNextOneStillRead) {
  const auto run = RunCliCapture({"version", "--json", Fixture("absent.exe"), Fixture("no_resources64.exe"),
                        Fixture("sample32.exe")});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find("absent.exe: no such file"), std::string::npos);
  std::istringstream lines(run.out);
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line)) got.push_back(line);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_NE(got[0].find("\"rows\":[],\"version\":\"\",\"build\":\"\""), std::string::npos);
  EXPECT_NE(got[1].find("\"rows\":[],\"version\":\"\""), std::string::npos);
  EXPECT_NE(got[2].find("\"version\":\"1.01.33\",\"build\":\"33\""), std::string::npos);
}

TEST(CliVersion, ReadableListingAndUsageErrors) {
  const auto run = RunCliCapture({"version", Fixture("sample32.exe")});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_NE(run.out.find("  FileVersion: 1.01.0033\n"), std::string::npos);
  EXPECT_NE(run.out.find("  version: 1.01.33\n  build: 33\n"), std::string::npos);

  EXPECT_EQ(RunCliCapture({"version"}).status, kExitUsage);
  EXPECT_EQ(RunCliCapture({"version", "--bogus", "x"}).status, kExitUsage);
  EXPECT_EQ(RunCliCapture({"frobnicate"}).status, kExitUsage);
  EXPECT_EQ(RunCliCapture({}).status, kExitUsage);
  const auto help = RunCliCapture({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_NE(help.out.find("version [--json] FILE..."), std::string::npos);
  EXPECT_EQ(RunCliCapture({"help"}).out, help.out);
  const auto own = RunCliCapture({"version", "--help"});
  EXPECT_EQ(own.status, kExitOk);
  EXPECT_NE(own.out.find("--json"), std::string::npos);
  EXPECT_EQ(own.err, "");
}

TEST(CliVersion, AnUnknownCommandIsNamedAndVersionPrintsTheProgramsOwn) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"frob"}, {"frob", "--json", "x.exe"}, {"publis", "x.exe"}}) {
    const auto run = RunCliCapture(args);
    EXPECT_EQ(run.status, kExitUsage) << args[0];
    EXPECT_EQ(run.err.rfind("unknown command '" + args[0] + "'\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("history [--json] [-n N] [NAME]"), std::string::npos);  // the usage
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(RunCliCapture({"fr\x1b[2Job"}).err.rfind("unknown command 'fr\\x1b[2Job'\n", 0), 0u);

  const auto version = RunCliCapture({"--version"}, {2, 7, 105});
  EXPECT_EQ(version.status, kExitOk);
  EXPECT_EQ(version.out, "parone-deploy-cli 2.7.105\n");
  EXPECT_EQ(version.err, "");
  EXPECT_NE(RunCliCapture({"--help"}).out.find("--version"), std::string::npos);
}

TEST(CliVersion, JsonLinesStayValidForAnyFileName) {
  struct Case {
    std::string name;
    std::string shown;  // as the line carries it
  };
  const Case cases[] = {
      {"a\"b\\c.exe", "a\\\"b\\\\c.exe"},        // quote and backslash escaped
      {"tab\there.exe", "tab\\there.exe"},            // control characters escaped
      {"bad\xff\xfe.exe", "bad\xEF\xBF\xBD\xEF\xBF\xBD.exe"},  // not UTF-8: U+FFFD each
      {"plain.exe", "plain.exe"},  // "/..." is a path, never a Windows-style option
  };
  for (const Case& c : cases) {
    const auto run = RunCliCapture({"version", "--json", "/nonexistent/" + c.name});
    EXPECT_EQ(run.status, kExitFailed) << run.err;
    EXPECT_EQ(run.out, "{\"path\":\"/nonexistent/" + c.shown +
                           "\",\"rows\":[],\"version\":\"\",\"build\":\"\"}\n");
  }
}

}  // namespace
}  // namespace parone

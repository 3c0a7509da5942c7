#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "test_dir.hpp"
#include "local_server.hpp"
#include "platform/sha256.hpp"
#include "transfer/ftp_session.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::kUploadDirCp949;
using testing::LocalServer;
using testing::UploadDirCommand;

const std::string kRemoteDir = "public_html/download/자동업데이트_v1";
constexpr const char* kUser = "sdc1";
constexpr const char* kPassword = testing::kDemoPassword;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

std::size_t CountLines(const std::string& file, const std::string& prefix) {
  std::ifstream in(file);
  std::size_t n = 0;
  for (std::string line; std::getline(in, line);) n += line.rfind(prefix, 0) == 0;
  return n;
}


bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Names in the upload folder that are not published names: temporary and
// aside files start with a dot.
std::vector<std::string> Leftovers(const LocalServer& server) {
  std::vector<std::string> names;
  for (const std::string& name : server.ListUploadDir()) {
    if (name.front() == '.') names.push_back(name);
  }
  return names;
}

// Remembers the byte counts the upload reported, and its retries.
class ByteProgress final : public ProgressDisplay {
 public:
  void SetBytes(std::uint64_t sent, std::uint64_t total) override { bytes.emplace_back(sent, total); }
  void Retrying(int attempt, int attempts, std::uint64_t offset) override {
    retries.push_back({attempt, attempts, offset});
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> bytes;
  struct Retry {
    int attempt;
    int attempts;
    std::uint64_t offset;
  };
  std::vector<Retry> retries;
};

std::string Sha256Of(const std::string& bytes) {
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return hash.HexDigest();
}

FtpEndpoint Endpoint(const LocalServer& server, bool passive = true,
                     const std::string& password = kPassword) {
  return {"127.0.0.1", server.ftpPort(), kUser, password, passive};
}

class FtpUpload : public ::testing::Test {
 protected:
  void SetUp() override {
    local_ = testing::FreshTestDir("parone_ftp");
    fs::create_directories(local_);
  }
  void TearDown() override { fs::remove_all(local_); }

  std::string MakeLocal(const std::string& name, const std::string& bytes) {
    const fs::path path = local_ / testing::Utf8Path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return testing::Utf8Of(path);
  }
  bool Open(LocalServer& server, bool passive = true) {
    return session.FTP_Open(Endpoint(server, passive)).ok();
  }

  fs::path local_;
  NativeFileSystem files;
  Cp949CodePage cp949;
  FtpSession session{files, cp949, FtpTimeouts{5, 10}};
};

TEST_F(FtpUpload, StoresExactBytesUnderTheCp949DirectoryInPassiveAndActiveMode) {
  LocalServer server;
  const std::size_t sizes[] = {0, 1023, 1024, 1500, 3 * 1024 * 1024 + 17};
  for (bool passive : {true, false}) {
    ASSERT_TRUE(Open(server, passive)) << passive;
    for (std::size_t size : sizes) {
      const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
      const std::string name = "파로네 " + std::to_string(size) + ".exe";
      EXPECT_TRUE(session.FTP_UPLoad(MakeLocal(name, bytes), kRemoteDir, "", nullptr));
      // "파로네 " in CP949, as the server stores the bytes it was sent.
      const std::string stored = "\xC6\xC4\xB7\xCE\xB3\xD7 " + std::to_string(size) + ".exe";
      EXPECT_EQ(server.ReadUploaded(stored), bytes) << "passive " << passive << " size " << size;
    }
    session.FTP_Close();
  }
  EXPECT_EQ(server.ListUploadDir().size(), std::size(sizes));  // no temporary files left
  // Only the passive round asks for a passive data connection.
  EXPECT_EQ(CountLines(server.commandLog(), "EPSV") + CountLines(server.commandLog(), "PASV"),
            std::size(sizes) * 1);
}

TEST_F(FtpUpload, OneLoginServesEveryUploadUntilClosed) {
  LocalServer server;
  ASSERT_TRUE(Open(server));
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("a.exe", "AAAA"), kRemoteDir, "", nullptr));
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("a_lastver.txt", "33\r\n"), kRemoteDir, "", nullptr));
  session.FTP_Close();
  EXPECT_EQ(CountLines(server.commandLog(), "USER"), 1u);
  EXPECT_EQ(server.ReadUploaded("a_lastver.txt"), "33\r\n");
}

TEST_F(FtpUpload, AServerThatWillNotRenameOverAFileGetsTheOldOneMovedAsideNotDeleted) {
  LocalServer server({"--refuse-rename-over"});
  std::ofstream(server.uploadDir() + "/t.exe", std::ios::binary) << "old";
  ASSERT_TRUE(Open(server));
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("t.exe", "new contents"), kRemoteDir, "", nullptr));
  session.FTP_Close();
  EXPECT_EQ(server.ReadUploaded("t.exe"), "new contents");
  EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"t.exe"});
  const auto commands = server.FtpCommands();
  // The published name is renamed away, never deleted; the aside copy goes
  // only once the new file is in.
  EXPECT_FALSE(Contains(commands, UploadDirCommand("DELE", "t.exe")));
  const auto moveAside = std::find(commands.begin(), commands.end(), UploadDirCommand("RNFR", "t.exe"));
  ASSERT_NE(moveAside, commands.end());
  const auto renameIn = std::find(moveAside, commands.end(), UploadDirCommand("RNTO", "t.exe"));
  ASSERT_NE(renameIn, commands.end());
  EXPECT_EQ(std::count_if(renameIn, commands.end(),
                          [](const std::string& c) { return c.rfind("DELE ", 0) == 0; }),
            1);
}

TEST_F(FtpUpload, WhenTheRenameInFailsTheOldFileIsPutBackUnderItsName) {
  // RNTO 1: temp over t.exe, refused (exists); 2: t.exe aside; 3: temp in,
  // refused; 4: the old file back.
  LocalServer server({"--refuse-rename-over", "--refuse-rnto", "3"});
  std::ofstream(server.uploadDir() + "/t.exe", std::ios::binary) << "old";
  ASSERT_TRUE(Open(server));
  const Status uploaded = session.FTP_UPLoad(MakeLocal("t.exe", "new contents"), kRemoteDir, "", nullptr);
  session.FTP_Close();
  ASSERT_FALSE(uploaded);
  // The server's refusal of the rename in, in its own words.
  EXPECT_EQ(uploaded.error().stage, Stage::kRename);
  EXPECT_EQ(uploaded.error().kind, CodeKind::kFtp);
  EXPECT_EQ(uploaded.error().code, 553);
  EXPECT_EQ(uploaded.error().message.rfind("553 ", 0), 0u) << uploaded.error().message;
  EXPECT_EQ(server.ReadUploaded("t.exe"), "old");
  EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"t.exe"});
}

TEST_F(FtpUpload, AnOldFileThatCannotBePutBackIsNamedToTheUser) {
  // As above, but RNTO 4, putting the old file back, is refused as well.
  LocalServer server({"--refuse-rename-over", "--refuse-rnto", "3,4"});
  std::ofstream(server.uploadDir() + "/t.exe", std::ios::binary) << "old";
  ASSERT_TRUE(Open(server));
  const Status uploaded = session.FTP_UPLoad(MakeLocal("t.exe", "new contents"), kRemoteDir, "", nullptr);
  session.FTP_Close();
  // The old file is whole under its aside name, and the error says which.
  std::string aside;
  for (const std::string& name : server.ListUploadDir()) {
    if (name.ends_with(".old")) aside = name;
  }
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(server.ReadUploaded(aside), "old");
  ASSERT_FALSE(uploaded);
  EXPECT_EQ(uploaded.error().stage, Stage::kRename);
  EXPECT_EQ(uploaded.error().code, kFtpOldFileAside);
  EXPECT_EQ(uploaded.error().subject, kRemoteDir + "/" + aside);
}

TEST_F(FtpUpload, AnAccountThatMayNotRenameStoresStraightOverThePublishedName) {
  const std::vector<std::vector<std::string>> servers = {
      {"--perms", "elradmw"},     // no "f": every RNFR refused
      {"--refuse-rnto", "all"},   // every RNTO answered 553
  };
  for (const auto& switches : servers) {
    SCOPED_TRACE(switches.back());
    LocalServer server(switches);
    std::ofstream(server.uploadDir() + "/t.exe", std::ios::binary) << "old";
    FtpSession fresh{files, cp949, FtpTimeouts{5, 10}};
    ASSERT_TRUE(fresh.FTP_Open(Endpoint(server)));
    EXPECT_TRUE(fresh.FTP_UPLoad(MakeLocal("t.exe", "new contents"), kRemoteDir, "", nullptr));
    EXPECT_TRUE(fresh.renameUnavailable());
    const std::size_t renamesTried = CountLines(server.commandLog(), "RNFR");
    // The session has learnt: the next file goes straight over its name.
    EXPECT_TRUE(fresh.FTP_UPLoad(MakeLocal("t_lastver.txt", "33\r\n"), kRemoteDir, "", nullptr));
    fresh.FTP_Close();
    EXPECT_EQ(CountLines(server.commandLog(), "RNFR"), renamesTried);
    EXPECT_EQ(server.ReadUploaded("t.exe"), "new contents");
    EXPECT_EQ(server.ReadUploaded("t_lastver.txt"), "33\r\n");
    EXPECT_EQ(server.ListUploadDir(), (std::vector<std::string>{"t.exe", "t_lastver.txt"}));
  }
}

TEST_F(FtpUpload, TheStoredSizeIsCheckedBeforeTheFileIsPublished) {
  struct Case {
    std::vector<std::string> switches;
    bool published;
  };
  const Case cases[] = {
      {{"--store-short", "100"}, false},               // 226, but 100 bytes kept
      {{"--store-short", "0"}, false},                 // 226, an empty file kept
      {{"--store-none"}, false},                       // 226, no file at all
      {{"--no-size"}, true},                           // SIZE missing: the listing says
      {{"--no-size", "--store-short", "100"}, false},  // and the listing tells the truth
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.switches.front() + " " + c.switches.back());
    LocalServer server(c.switches);
    std::ofstream(server.uploadDir() + "/app.exe", std::ios::binary) << "published v1";
    ASSERT_TRUE(Open(server));
    const std::string bytes = RandomBytes(100'000, 4);
    const Status uploaded = session.FTP_UPLoad(MakeLocal("app.exe", bytes), kRemoteDir, "", nullptr);
    session.FTP_Close();
    EXPECT_EQ(uploaded.ok(), c.published);
    EXPECT_EQ(server.ReadUploaded("app.exe"), c.published ? bytes : "published v1");
    EXPECT_TRUE(Leftovers(server).empty());
    if (!c.published) {
      EXPECT_EQ(uploaded.error().stage, Stage::kSizeCheck);
      EXPECT_EQ(CountLines(server.commandLog(), "RNFR"), 0u);
    }
  }
}

TEST_F(FtpUpload, ANameNearTheServersLengthLimitStillFitsAsATemporaryName) {
  LocalServer server;
  ASSERT_TRUE(Open(server));
  const std::string base(236, 'b');  // 240-byte program name, 248-byte lastver name
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal(base + ".exe", "program"), kRemoteDir, "", nullptr));
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("x.txt", "33\r\n"), kRemoteDir, base + "_lastver.txt", nullptr));
  session.FTP_Close();
  EXPECT_EQ(server.ReadUploaded(base + ".exe"), "program");
  EXPECT_EQ(server.ReadUploaded(base + "_lastver.txt"), "33\r\n");
  EXPECT_TRUE(Leftovers(server).empty());
}

TEST_F(FtpUpload, AnUnansweredCommandFailsAfterOneTimeOutAndNothingMoreIsSent) {
  for (const std::string command : {"RNTO", "SIZE"}) {
    SCOPED_TRACE(command);
    LocalServer server({"--stall-on", command});
    std::ofstream(server.uploadDir() + "/app.exe", std::ios::binary) << "published v1";
    FtpSession stalled{files, cp949, FtpTimeouts{5, 2}};
    ASSERT_TRUE(stalled.FTP_Open(Endpoint(server)));
    const Status first = stalled.FTP_UPLoad(MakeLocal("app.exe", "new"), kRemoteDir, "", nullptr);
    EXPECT_TRUE(stalled.connectionLost());
    // A dead session fails at once and sends nothing.
    const Status second = stalled.FTP_UPLoad(MakeLocal("b.exe", "b"), kRemoteDir, "", nullptr);
    stalled.FTP_Close();
    ASSERT_FALSE(first);
    EXPECT_EQ(first.error().stage, command == "RNTO" ? Stage::kRename : Stage::kSizeCheck);
    EXPECT_EQ(first.error().transferCode, 28);  // libcurl's time-out
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().stage, Stage::kFolder);
    const auto commands = server.FtpCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().rfind(command + " ", 0), 0u) << commands.back();
    EXPECT_EQ(CountLines(server.commandLog(), command), 1u);
    EXPECT_EQ(CountLines(server.commandLog(), "USER"), 1u);  // no second login
    EXPECT_EQ(server.ReadUploaded("app.exe"), "published v1");
  }
}

TEST_F(FtpUpload, StagedFilesWaitWholeUnderShortTemporaryNamesUntilPublished) {
  LocalServer server;
  std::ofstream(server.uploadDir() + "/app.exe", std::ios::binary) << "published v1";
  ASSERT_TRUE(Open(server));
  const std::string bytes = RandomBytes(5000, 5);
  auto program = session.StageFile(MakeLocal("app.exe", bytes), kRemoteDir, "", nullptr);
  auto text = session.StageText("33\r\n", kRemoteDir, "app_lastver.txt");
  ASSERT_TRUE(program && text);
  EXPECT_TRUE(program->pending());
  // Staged, not published: the old file and no lastver under their names.
  EXPECT_EQ(server.ReadUploaded("app.exe"), "published v1");
  EXPECT_EQ(Leftovers(server).size(), 2u);
  const std::string programTemp = program->temporaryPath().substr(program->temporaryPath().rfind('/') + 1);
  EXPECT_EQ(server.ReadUploaded(programTemp), bytes);
  EXPECT_LE(programTemp.size(), 20u);

  EXPECT_TRUE(session.Publish(*program));
  EXPECT_FALSE(program->pending());
  session.Discard(*text);
  session.FTP_Close();
  EXPECT_EQ(server.ReadUploaded("app.exe"), bytes);
  EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"app.exe"});
}

TEST_F(FtpUpload, AStagedFileCarriesTheSha256OfTheBytesItSent) {
  LocalServer server;
  ASSERT_TRUE(Open(server));
  // 3 MiB and a bit, so libcurl takes it in many buffers; the digests were
  // computed apart from the tool (sha256sum).
  std::string bytes(3 * 1024 * 1024 + 123, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 1024) & 0xFF);
  auto program = session.StageFile(MakeLocal("digest.bin", bytes), kRemoteDir, "", nullptr);
  auto text = session.StageText("33\r\n", kRemoteDir, "digest_lastver.txt");
  ASSERT_TRUE(program && text);
  EXPECT_EQ(program->sha256(), "28c70573e15374d5af2096650015b6a6e1b9121c579fac31dba2965fd7810441");
  EXPECT_EQ(text->sha256(), "42817c432a683116970d4048f2ddf476ff8dfca7a5d178bfa3a56679862e36aa");
  session.Discard(*program);
  session.Discard(*text);
}

TEST_F(FtpUpload, ProgressReportsTheBytesSentOutOfTheTotal) {
  LocalServer server;
  ASSERT_TRUE(Open(server));
  for (std::size_t size : {0u, 1500u, 3u * 1024u * 1024u + 17u}) {
    ByteProgress bar;
    EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("p.bin", RandomBytes(size, 6)), kRemoteDir, "", &bar));
    ASSERT_FALSE(bar.bytes.empty());
    // Every transfer begins at 0 and ends at the whole file.
    EXPECT_EQ(bar.bytes.front(), std::make_pair(std::uint64_t{0}, std::uint64_t{size}));
    EXPECT_EQ(bar.bytes.back(), std::make_pair(std::uint64_t{size}, std::uint64_t{size}));
    for (std::size_t i = 1; i < bar.bytes.size(); ++i) {
      EXPECT_LE(bar.bytes[i - 1].first, bar.bytes[i].first);
      EXPECT_EQ(bar.bytes[i].second, size);
    }
  }
}

TEST_F(FtpUpload, ARefusedLoginAndAnUnreachableServerAreToldApart) {
  LocalServer server;
  const Status refused = session.FTP_Open(Endpoint(server, true, "wrong"));
  EXPECT_FALSE(session.isOpen());
  FtpEndpoint nowhere = Endpoint(server);
  nowhere.port = testing::UnusedPort();
  const Status unreachable = session.FTP_Open(nowhere);
  // The server's refusal with its reply, and libcurl's code besides.
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().stage, Stage::kLogin);
  EXPECT_EQ(refused.error().kind, CodeKind::kFtp);
  EXPECT_EQ(refused.error().code, 530);
  EXPECT_EQ(refused.error().message.rfind("530 ", 0), 0u) << refused.error().message;
  EXPECT_EQ(refused.error().transferCode, 67);  // CURLE_LOGIN_DENIED
  EXPECT_EQ(refused.error().subject, "127.0.0.1:" + std::to_string(server.ftpPort()));
  ASSERT_FALSE(unreachable);
  EXPECT_EQ(unreachable.error().stage, Stage::kConnect);
  EXPECT_EQ(unreachable.error().kind, CodeKind::kCurl);
  EXPECT_EQ(unreachable.error().code, 7);  // CURLE_COULDNT_CONNECT
  EXPECT_FALSE(unreachable.error().message.empty());
}

TEST_F(FtpUpload, AMissingRemoteDirectoryFailsBeforeAnyByteIsSent) {
  LocalServer server;
  ASSERT_TRUE(Open(server));
  const Status uploaded = session.FTP_UPLoad(MakeLocal("x.exe", "x"), "public_html/nowhere", "", nullptr);
  ASSERT_FALSE(uploaded);
  EXPECT_EQ(uploaded.error().stage, Stage::kFolder);
  EXPECT_EQ(uploaded.error().kind, CodeKind::kFtp);
  EXPECT_EQ(uploaded.error().code / 100, 5) << uploaded.error().message;
  EXPECT_NE(uploaded.error().transferCode, 0);
}

TEST_F(FtpUpload, RefusedOrCutTransfersLeaveThePublishedFileAsItWas) {
  // A 552 after the data that meant it (the server kept a part), and a
  // transfer cut off.
  const std::vector<std::vector<std::string>> faults = {{"--fail-stor-552", "--store-short", "100"},
                                                        {"--cut-after", "100000"}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.front());
    LocalServer server(fault);
    // The published version, put there directly.
    std::ofstream(server.uploadDir() + "/app.exe", std::ios::binary) << "published v1";
    ASSERT_TRUE(Open(server));
    ByteProgress bar;
    const Status uploaded =
        session.FTP_UPLoad(MakeLocal("app.exe", RandomBytes(1'000'000, 3)), kRemoteDir, "", &bar);
    session.FTP_Close();
    ASSERT_FALSE(uploaded);
    EXPECT_EQ(uploaded.error().stage, Stage::kStore);
    if (fault.front() == "--fail-stor-552") {
      EXPECT_EQ(uploaded.error().kind, CodeKind::kFtp);
      EXPECT_EQ(uploaded.error().code, 552);
    }
    EXPECT_EQ(server.ReadUploaded("app.exe"), "published v1");
    EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"app.exe"});  // temp removed
  }
}

// A connection cut while a staged file is on its way: tried again, resumed
// where the server holds part of it and can resume, else from the start.
TEST_F(FtpUpload, ATransferCutOnceIsTriedAgainAndCompletesWhole) {
  struct Case {
    std::vector<std::string> switches;
    std::uint64_t resumedAt;
    std::size_t stores;   // STOR of the temporary name
    std::size_t appends;  // APPE
  };
  const Case cases[] = {
      {{"--cut-after", "100000", "--fault-stor", "1"}, 100'000, 1, 1},
      {{"--cut-after", "100000", "--fault-stor", "1", "--no-rest"}, 0, 2, 0},
  };
  const std::string bytes = RandomBytes(300'000, 9);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.switches.back());
    LocalServer server(c.switches);
    FtpSession retrying{files, cp949, FtpTimeouts{5, 10, {10, 10, 10}}};
    ASSERT_TRUE(retrying.FTP_Open(Endpoint(server)));
    ByteProgress bar;
    auto staged = retrying.StageFile(MakeLocal("app.exe", bytes), kRemoteDir, "", &bar);
    ASSERT_TRUE(staged) << staged.error().message;
    EXPECT_EQ(staged->attempts(), 2);
    // The digest is of the whole file, whatever was sent twice.
    EXPECT_EQ(staged->sha256(), Sha256Of(bytes));
    ASSERT_TRUE(retrying.Publish(*staged));
    retrying.FTP_Close();
    EXPECT_EQ(server.ReadUploaded("app.exe"), bytes);
    ASSERT_EQ(bar.retries.size(), 1u);
    EXPECT_EQ(bar.retries[0].attempt, 1);
    EXPECT_EQ(bar.retries[0].attempts, 3);
    EXPECT_EQ(bar.retries[0].offset, c.resumedAt);
    EXPECT_EQ(CountLines(server.commandLog(), "STOR"), c.stores);
    EXPECT_EQ(CountLines(server.commandLog(), "APPE"), c.appends);
  }
}

TEST_F(FtpUpload, ARefusalIsFinalAtOnceAndTransientFailuresEndAfterTheLastAttempt) {
  {
    // A 552 that means it: one store, no retry.
    LocalServer server({"--fail-stor-552", "--store-short", "100"});
    FtpSession retrying{files, cp949, FtpTimeouts{5, 10, {10, 10, 10}}};
    ASSERT_TRUE(retrying.FTP_Open(Endpoint(server)));
    ByteProgress bar;
    const auto staged = retrying.StageFile(MakeLocal("app.exe", RandomBytes(5000, 1)), kRemoteDir, "", &bar);
    ASSERT_FALSE(staged);
    EXPECT_EQ(staged.error().code, 552);
    EXPECT_TRUE(bar.retries.empty());
    EXPECT_EQ(CountLines(server.commandLog(), "STOR") + CountLines(server.commandLog(), "APPE"), 1u);
  }
  {
    // Cut every time: the first store and three more, then the failure.
    LocalServer server({"--cut-after", "1000"});
    FtpSession retrying{files, cp949, FtpTimeouts{5, 10, {10, 10, 10}}};
    ASSERT_TRUE(retrying.FTP_Open(Endpoint(server)));
    ByteProgress bar;
    const auto staged = retrying.StageFile(MakeLocal("app.exe", RandomBytes(50'000, 2)), kRemoteDir, "", &bar);
    ASSERT_FALSE(staged);
    EXPECT_EQ(staged.error().stage, Stage::kStore);
    EXPECT_EQ(bar.retries.size(), 3u);
    EXPECT_EQ(CountLines(server.commandLog(), "STOR") + CountLines(server.commandLog(), "APPE"), 4u);
    EXPECT_TRUE(Leftovers(server).empty());
  }
}

TEST_F(FtpUpload, AFailureReplyAfterTheServerStoredEverythingIsCheckedAgainstTheServer) {
  // Every byte arrives and is kept, and then the server answers 552.
  LocalServer server({"--fail-stor-552"});
  std::ofstream(server.uploadDir() + "/app.exe", std::ios::binary) << "published v1";
  ASSERT_TRUE(Open(server));
  const std::string bytes = RandomBytes(300'000, 8);
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("app.exe", bytes), kRemoteDir, "", nullptr));
  session.FTP_Close();
  EXPECT_EQ(server.ReadUploaded("app.exe"), bytes);
  EXPECT_EQ(server.ListUploadDir(), std::vector<std::string>{"app.exe"});
}

TEST_F(FtpUpload, BadLocalFilesAndNamesAreRefusedBeforeAnythingIsSent) {
  LocalServer server;
  ASSERT_TRUE(Open(server));
  const Status missing = session.FTP_UPLoad((local_ / "missing.exe").string(), kRemoteDir, "", nullptr);
  const Status noName = session.FTP_UPLoad("no-separator.exe", kRemoteDir, "", nullptr);
  const Status evil = session.FTP_UPLoad(MakeLocal("ok.exe", "x"), kRemoteDir, "evil\r\nDELE x", nullptr);
  session.FTP_Close();
  struct Expected {
    const Status& status;
    CodeKind kind;
    long code;
  };
  for (const Expected& e : {Expected{missing, CodeKind::kRuntime, 53},
                            Expected{noName, CodeKind::kNone, kFtpNoFileName},
                            Expected{evil, CodeKind::kNone, kFtpControlCharacter}}) {
    ASSERT_FALSE(e.status);
    EXPECT_EQ(e.status.error().stage, Stage::kInput);
    EXPECT_EQ(e.status.error().kind, e.kind);
    EXPECT_EQ(e.status.error().code, e.code);
  }
  EXPECT_EQ(CountLines(server.commandLog(), "STOR"), 0u);
  EXPECT_EQ(CountLines(server.commandLog(), "DELE"), 0u);
}

}  // namespace
}  // namespace parone

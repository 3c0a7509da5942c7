// The FTP connection over TLS against the local server: what is refused
// before the account is sent, and how; the password from a netrc file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "local_server.hpp"
#include "test_dir.hpp"
#include "transfer/ftp_session.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;
using testing::TlsSwitches;

const std::string kRemoteDir = "public_html/download/자동업데이트_v1";

// Whether the server saw the account: a refusal must come before it.
bool AccountSent(const LocalServer& server) {
  for (const std::string& command : server.FtpCommands()) {
    if (command.rfind("USER", 0) == 0 || command.rfind("PASS", 0) == 0) return true;
  }
  return false;
}

std::size_t IndexOf(const std::vector<std::string>& commands, const std::string& prefix) {
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (commands[i].rfind(prefix, 0) == 0) return i;
  }
  return commands.size();
}

class FtpTlsTest : public ::testing::Test {
 protected:
  void SetUp() override { local_ = testing::FreshTestDir("parone_ftp_tls"); }
  void TearDown() override { testing::RemoveTestDir(local_); }

  // By name, as a certificate names the server.
  FtpEndpoint Endpoint(const LocalServer& server, FtpTlsMode mode = FtpTlsMode::kAuto) {
    FtpEndpoint endpoint{"localhost", server.ftpPort(), "sdc1", testing::kDemoPassword, true};
    endpoint.tls.mode = mode;
    endpoint.tls.caFile = server.caFile();
    return endpoint;
  }
  std::string MakeLocal(const std::string& name, const std::string& bytes) {
    const fs::path path = local_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return testing::Utf8Of(path);
  }

  fs::path local_;
  NativeFileSystem files;
  Cp949CodePage cp949;
  FtpSession session{files, cp949, FtpTimeouts{5, 10}};
};

TEST_F(FtpTlsTest, AServerWithTheCompanyCaGetsTheAccountAndTheFileOnlyOverTls) {
  // Required by the server: a login or a transfer in clear would be refused.
  std::vector<std::string> switches = TlsSwitches();
  switches.push_back("--tls-required");
  LocalServer server(switches);
  ASSERT_TRUE(session.FTP_Open(Endpoint(server)).ok());
  EXPECT_TRUE(session.connection().tlsInUse());
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("a.exe", std::string(70000, 'x')), kRemoteDir, "", nullptr).ok());
  session.FTP_Close();
  EXPECT_EQ(server.ReadUploaded("a.exe"), std::string(70000, 'x'));
  const std::vector<std::string> commands = server.FtpCommands();
  const std::size_t user = IndexOf(commands, "USER");
  ASSERT_LT(user, commands.size());
  EXPECT_LT(IndexOf(commands, "AUTH TLS"), user);
  EXPECT_LT(IndexOf(commands, "PROT P"), commands.size());
}

TEST_F(FtpTlsTest, ACertificateThatDoesNotVerifyIsRefusedBeforeTheAccountIsSentSayingWhy) {
  struct Row {
    const char* certificate;
    bool wrongPin;
    TlsRefusal why;
  };
  const Row rows[] = {
      {"untrusted", false, TlsRefusal::kUntrusted},      // signed by a CA nobody trusts
      {"wrong-name", false, TlsRefusal::kNameMismatch},  // for wrong.example
      {"expired", false, TlsRefusal::kExpired},          // valid through 2020 only
      {"good", true, TlsRefusal::kPinMismatch},          // trusted, but not the pinned key
  };
  for (const Row& row : rows) {
    LocalServer server(TlsSwitches(row.certificate));
    FtpEndpoint endpoint = Endpoint(server);
    if (row.wrongPin) endpoint.tls.pin = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const Status opened = session.FTP_Open(endpoint);
    ASSERT_FALSE(opened.ok()) << row.certificate;
    EXPECT_EQ(opened.error().stage, Stage::kConnect) << row.certificate;
    EXPECT_EQ(TlsRefusalOf(opened.error()), row.why)
        << row.certificate << ": " << opened.error().code << " " << opened.error().message;
    EXPECT_FALSE(session.isOpen());
    EXPECT_FALSE(AccountSent(server)) << row.certificate;
  }
}

TEST_F(FtpTlsTest, ThePinnedKeyOfTheServerIsAccepted) {
  LocalServer server(TlsSwitches());
  FtpEndpoint endpoint = Endpoint(server);
  endpoint.tls.pin = testing::GoodCertificatePin(server);
  ASSERT_EQ(endpoint.tls.pin.rfind("sha256//", 0), 0u);
  const Status opened = session.FTP_Open(endpoint);
  EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error().message);
  EXPECT_TRUE(session.connection().tlsInUse());
}

TEST_F(FtpTlsTest, APlainServerIsAcceptedByAutoAndRefusedBeforeTheLoginWhereTlsIsDue) {
  struct Row {
    FtpTlsMode mode;
    bool spokenBefore;
    std::optional<TlsRefusal> refusal;  // nullopt: plain FTP goes ahead
  };
  const Row rows[] = {
      {FtpTlsMode::kAuto, false, std::nullopt},
      {FtpTlsMode::kOff, false, std::nullopt},
      {FtpTlsMode::kRequire, false, TlsRefusal::kMissing},
      // A host that spoke TLS before and answers in clear now: someone on
      // the way may have stripped it.
      {FtpTlsMode::kAuto, true, TlsRefusal::kDowngrade},
  };
  for (const Row& row : rows) {
    LocalServer server;
    FtpEndpoint endpoint = Endpoint(server, row.mode);
    endpoint.tls.spokenBefore = row.spokenBefore;
    const Status opened = session.FTP_Open(endpoint);
    const int mode = static_cast<int>(row.mode);
    if (!row.refusal) {
      EXPECT_TRUE(opened.ok()) << mode;
      EXPECT_FALSE(session.connection().tlsInUse()) << mode;
      // Off does not even ask.
      EXPECT_EQ(IndexOf(server.FtpCommands(), "AUTH") < server.FtpCommands().size(),
                row.mode == FtpTlsMode::kAuto)
          << mode;
      session.FTP_Close();
      continue;
    }
    ASSERT_FALSE(opened.ok()) << mode;
    EXPECT_EQ(TlsRefusalOf(opened.error()), *row.refusal) << opened.error().message;
    // libcurl's own code beside ours, for the box's number.
    EXPECT_EQ(opened.error().transferCode, 64) << mode;
    EXPECT_NE(opened.error().message.find("AUTH"), std::string::npos) << opened.error().message;
    EXPECT_FALSE(AccountSent(server)) << mode;
  }
}

TEST_F(FtpTlsTest, OverTlsAFileTheServerLacksIsToldFromOneItHasAndTheSessionGoesOn) {
  std::vector<std::string> switches = TlsSwitches();
  switches.push_back("--tls-required");
  LocalServer server(switches);
  server.PutUploaded("there.txt", "33\r\n");
  ASSERT_TRUE(session.FTP_Open(Endpoint(server)).ok());
  // The connection takes the server's bytes: the folder's name in CP949.
  const std::string dir = "public_html/download/" + testing::kUploadDirCp949;
  auto retrieve = [&](const std::string& name) {
    return session.connection().Retrieve(dir + "/" + name, name, 1024);
  };
  // A data connection opened for a file that is not there, and closed
  // unused, draws a late "226" from some servers once its TLS handshake is
  // through (quick where the session is resumed, as after an earlier
  // transfer); a reply taken for the next command's would shift every
  // answer after it.
  for (int round = 0; round < 3; ++round) {
    const auto there = retrieve("there.txt");
    ASSERT_TRUE(there.ok()) << there.error().message;
    EXPECT_EQ(*there, std::optional<std::string>("33\r\n"));
    const auto missing = retrieve("missing.txt");
    ASSERT_TRUE(missing.ok()) << missing.error().message;
    EXPECT_FALSE(missing->has_value());
  }
  const auto size = session.connection().SizeOf(dir + "/there.txt", "there.txt");
  ASSERT_TRUE(size.ok()) << size.error().message;
  EXPECT_EQ(*size, 4u);
}

TEST_F(FtpTlsTest, OffSpeaksPlainFtpToAServerThatOffersTls) {
  LocalServer server(TlsSwitches());
  ASSERT_TRUE(session.FTP_Open(Endpoint(server, FtpTlsMode::kOff)).ok());
  EXPECT_FALSE(session.connection().tlsInUse());
  EXPECT_EQ(IndexOf(server.FtpCommands(), "AUTH"), server.FtpCommands().size());
}

TEST_F(FtpTlsTest, TheNetrcEntryOfTheHostAndUserGivesThePassword) {
  LocalServer server({"--password", "from netrc"});
  const std::string netrc = MakeLocal(
      "netrc",
      "machine localhost login someone password other\n"
      "# the entry libcurl takes: this host, this user\n"
      "machine localhost\n  login sdc1\n  password \"from netrc\"\n");
  FtpEndpoint endpoint = Endpoint(server);
  endpoint.password = "not this one";
  endpoint.netrcFile = netrc;
  const Status opened = session.FTP_Open(endpoint);
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  // Every later transfer logs in the same way.
  EXPECT_TRUE(session.FTP_UPLoad(MakeLocal("n.exe", "NN"), kRemoteDir, "", nullptr).ok());
  EXPECT_EQ(server.ReadUploaded("n.exe"), "NN");
}

TEST(TlsRefusal, IsReadFromTheWordsOfOpenSslAndSchannel) {
  struct Row {
    long code;
    const char* text;
    TlsRefusal why;
  };
  const Row rows[] = {
      // OpenSSL (Linux)
      {60, "SSL certificate problem: unable to get local issuer certificate", TlsRefusal::kUntrusted},
      {60, "SSL certificate problem: self-signed certificate", TlsRefusal::kUntrusted},
      {60, "SSL certificate problem: certificate has expired", TlsRefusal::kExpired},
      {60, "SSL: no alternative certificate subject name matches target host name 'localhost'",
       TlsRefusal::kNameMismatch},
      // Schannel checking against a CA file
      {60, "schannel: CertGetCertificateChain trust error CERT_TRUST_IS_UNTRUSTED_ROOT",
       TlsRefusal::kUntrusted},
      {60, "schannel: CertGetCertificateChain trust error CERT_TRUST_IS_NOT_TIME_VALID",
       TlsRefusal::kExpired},
      {60, "schannel: CertGetNameString() failed to match connection hostname (localhost) against "
           "server certificate names",
       TlsRefusal::kNameMismatch},
      // Schannel with the system's store
      {35, "schannel: next InitializeSecurityContext failed: SEC_E_UNTRUSTED_ROOT (0x80090325)",
       TlsRefusal::kUntrusted},
      {35, "schannel: SNI or certificate check failed: SEC_E_WRONG_PRINCIPAL (0x80090322)",
       TlsRefusal::kNameMismatch},
      {90, "SSL: public key does not match pinned public key", TlsRefusal::kPinMismatch},
      {77, "error setting certificate file: /etc/company-ca.pem", TlsRefusal::kCaFile},
      {60, "SSL certificate problem: invalid CA certificate", TlsRefusal::kCertificate},
      // Not about a certificate: the server is simply not there.
      {7, "Failed to connect to localhost port 21: Connection refused", TlsRefusal::kNone},
      {35, "OpenSSL SSL_connect: Connection reset by peer", TlsRefusal::kNone},
  };
  for (const Row& row : rows) {
    const Error error{Stage::kConnect, CodeKind::kCurl, row.code, row.text, "localhost:21", row.code};
    EXPECT_EQ(TlsRefusalOf(error), row.why) << row.text;
  }
  // A login refused is no TLS refusal, whatever its words.
  EXPECT_EQ(TlsRefusalOf(Error{Stage::kLogin, CodeKind::kFtp, 530, "530 certificate expired"}),
            TlsRefusal::kNone);
}

}  // namespace
}  // namespace parone

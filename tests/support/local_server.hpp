#pragma once
// Starts the project's local distribution server (tools/dist_server.py, FTP
// and HTTP on 127.0.0.1) in a fresh home folder and stops it again. The
// server exits by itself when this process dies (it watches its stdin).
//
// On Linux the test starts the scripts itself. A Windows test (under wine)
// cannot wait for a Linux process, so it asks the broker that runs it
// (tools/test_broker.py, its port in PARONE_TEST_BROKER) over a TCP
// connection to start them; the home folder is reached through drive Z:,
// and closing the connection stops the server.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace parone::testing {

class LocalServer {
 public:
  // `switches` are extra command-line options (fault switches, logging).
  explicit LocalServer(std::vector<std::string> switches = {});
  ~LocalServer();
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  bool running() const { return ftpPort_ != 0; }
  int ftpPort() const { return ftpPort_; }
  int httpPort() const { return httpPort_; }
  const std::string& home() const { return home_; }
  // With "--tls DIR": the test CA's certificate (DIR/ca.pem) that the
  // server's certificate chains to, to give the client as its trust; a
  // Windows path under wine. Empty without --tls.
  std::string caFile() const { return caFile_; }
  // The upload folder on disk (its name is the CP949 bytes of the remote
  // directory's last part). Under wine, whose names must be text, it is
  // reached through a link of a plain name that the broker makes.
  std::string uploadDir() const;
  std::string commandLog() const { return home_ + "/../commands.log"; }
  // The whole log (FTP commands and "HTTP ..." request lines) as text.
  std::string CommandLogText() const;
  // The FTP commands the server saw, in order (HTTP requests left out).
  std::vector<std::string> FtpCommands() const;
  // Names in the upload folder, sorted, as the bytes they have on disk.
  std::vector<std::string> ListUploadDir() const;
  // The content of a file in the upload folder ("" when there is none).
  std::string ReadUploaded(const std::string& cp949Name) const;
  // Puts a file into the upload folder, as if published before.
  void PutUploaded(const std::string& cp949Name, const std::string& bytes) const;

 private:
  std::string root_;
  std::string home_;
  std::string caFile_;
  std::intptr_t process_ = -1;  // the server's process id (Linux)
  std::intptr_t channel_ = -1;  // its stdin pipe (Linux) or the broker connection (Windows)
  int ftpPort_ = 0;
  int httpPort_ = 0;
};

// The reference code-signing service (tools/signing_service.py) watching
// DIR/unsigned and writing DIR/signed, with its test certificate in
// DIR/state. Stopped with the object.
class SigningService {
 public:
  explicit SigningService(const std::string& dir, std::vector<std::string> options = {});
  ~SigningService();
  SigningService(const SigningService&) = delete;
  SigningService& operator=(const SigningService&) = delete;
  const std::string& certificate() const { return certificate_; }

 private:
  std::intptr_t process_ = -1;
  std::intptr_t channel_ = -1;
  std::string certificate_;
};

// The file carries a valid signature chaining to `certificate`, by
// osslsigncode (run on the Linux side, for a Windows test by the broker).
bool SignatureVerifies(const std::string& file, const std::string& certificate);

// The password the local server's account takes unless --password says
// another. The programs have none built in: tests hand it over in the
// request or in PARONE_DEPLOY_FTP_PASSWORD.
inline constexpr const char* kDemoPassword = "Demo#Only-Server1";

// "자동업데이트_v1" in code page 949.
inline const std::string kUploadDirCp949 =
    "\xC0\xDA\xB5\xBF\xBE\xF7\xB5\xA5\xC0\xCC\xC6\xAE_v1";

// "VERB <upload dir>/<name>" as the server logs a command on a file there.
inline std::string UploadDirCommand(const std::string& verb, const std::string& cp949Name) {
  return verb + " public_html/download/" + kUploadDirCp949 + "/" + cp949Name;
}

// The switches of a server that offers explicit FTPS with the test CA of
// this build, showing a certificate of `kind` (good, untrusted, wrong-name,
// expired); its names are localhost and 127.0.0.1 (wrong-name:
// wrong.example). Clients connect to "localhost": Schannel under wine
// matches no address.
inline std::vector<std::string> TlsSwitches(const std::string& kind = "good") {
  return {"--tls", PARONE_TEST_TLS_DIR, "--tls-cert", kind};
}

// The pin of the good certificate's public key (sha256//BASE64), as the
// server wrote it beside the CA; "" without --tls.
inline std::string GoodCertificatePin(const LocalServer& server) {
  if (server.caFile().empty()) return "";
  const std::string ca = server.caFile();
  std::ifstream in(ca.substr(0, ca.find_last_of("/\\") + 1) + "server-good.pin");
  std::string pin;
  std::getline(in, pin);
  return pin;
}

// A free TCP port on 127.0.0.1 with nothing listening (probably).
int UnusedPort();

inline std::string LocalServer::CommandLogText() const {
  std::ifstream in(commandLog(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::string> LocalServer::FtpCommands() const {
  std::ifstream in(commandLog());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("HTTP ", 0) != 0) lines.push_back(line);
  }
  return lines;
}

}  // namespace parone::testing

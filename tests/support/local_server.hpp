#pragma once
// Starts the project's local distribution server (tools/dist_server.py, FTP
// and HTTP on 127.0.0.1) in a fresh home folder and stops it again. The
// server exits by itself when this process dies (it watches its stdin).

#include <string>
#include <vector>

#include <sys/types.h>

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
  // The upload folder on disk (its name is the CP949 bytes of the remote
  // directory's last part).
  std::string uploadDir() const;
  std::string commandLog() const { return home_ + "/../commands.log"; }
  // Names in the upload folder, sorted.
  std::vector<std::string> ListUploadDir() const;
  std::string ReadUploaded(const std::string& cp949Name) const;

 private:
  std::string root_;
  std::string home_;
  pid_t pid_ = -1;
  int stdinFd_ = -1;
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
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  std::string certificate_;
};

// "자동업데이트_v1" in code page 949.
inline const std::string kUploadDirCp949 =
    "\xC0\xDA\xB5\xBF\xBE\xF7\xB5\xA5\xC0\xCC\xC6\xAE_v1";

// A free TCP port on 127.0.0.1 with nothing listening (probably).
int UnusedPort();

}  // namespace parone::testing

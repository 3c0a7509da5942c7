// POSIX part of the test servers declared in local_server.hpp: the scripts
// run as child processes of the test.
#include "local_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace parone::testing {
namespace fs = std::filesystem;

namespace {

// Starts `args` with a pipe on its stdin (closing it stops the script) and
// returns the first line it prints.
std::string SpawnScript(std::vector<std::string> args, std::intptr_t& process,
                        std::intptr_t& channel) {
  pid_t pid = -1;
  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe failed");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  posix_spawn_file_actions_addclose(&actions, toChild[1]);
  posix_spawn_file_actions_addclose(&actions, fromChild[0]);
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  if (rc != 0) throw std::runtime_error("cannot start " + args[1]);
  process = pid;
  channel = toChild[1];
  std::string line;
  char c;
  while (read(fromChild[0], &c, 1) == 1 && c != '\n') line += c;
  close(fromChild[0]);
  return line;
}

void StopScript(std::intptr_t process, std::intptr_t channel) {
  if (channel >= 0) close(static_cast<int>(channel));
  if (process > 0) {
    kill(static_cast<pid_t>(process), SIGTERM);
    int status = 0;
    waitpid(static_cast<pid_t>(process), &status, 0);
  }
}

}  // namespace

LocalServer::LocalServer(std::vector<std::string> switches) {
  char pattern[] = "/tmp/parone_server_XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) throw std::runtime_error("mkdtemp failed");
  root_ = made;
  home_ = root_ + "/home";
  std::vector<std::string> args = {"/usr/bin/python3",
                                   std::string(PARONE_SOURCE_DIR) + "/tools/dist_server.py",
                                   "--home", home_, "--exit-on-stdin-eof",
                                   "--command-log", commandLog()};
  args.insert(args.end(), switches.begin(), switches.end());
  // Waits for "READY ftp=N http=M", with --tls followed by " ca=PATH".
  const std::string line = SpawnScript(args, process_, channel_);
  if (std::sscanf(line.c_str(), "READY ftp=%d http=%d", &ftpPort_, &httpPort_) != 2) {
    ftpPort_ = httpPort_ = 0;
    StopScript(process_, channel_);
    throw std::runtime_error("local server did not start: '" + line + "'");
  }
  // The path is the rest of the line: it may hold blanks.
  const std::string caKey = " ca=";
  if (const auto at = line.find(caKey); at != std::string::npos) caFile_ = line.substr(at + caKey.size());
}

LocalServer::~LocalServer() {
  StopScript(process_, channel_);
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string LocalServer::uploadDir() const {
  return home_ + "/public_html/download/" + kUploadDirCp949;
}

std::vector<std::string> LocalServer::ListUploadDir() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(uploadDir())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string LocalServer::ReadUploaded(const std::string& cp949Name) const {
  std::ifstream in(uploadDir() + "/" + cp949Name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void LocalServer::PutUploaded(const std::string& cp949Name, const std::string& bytes) const {
  std::ofstream(uploadDir() + "/" + cp949Name, std::ios::binary) << bytes;
}

SigningService::SigningService(const std::string& dir, std::vector<std::string> options) {
  std::vector<std::string> args = {"/usr/bin/python3",
                                   std::string(PARONE_SOURCE_DIR) + "/tools/signing_service.py",
                                   "--unsigned", dir + "/unsigned", "--signed", dir + "/signed",
                                   "--state", dir + "/state", "--poll", "0.1",
                                   "--exit-on-stdin-eof"};
  args.insert(args.end(), options.begin(), options.end());
  const std::string line = SpawnScript(args, process_, channel_);
  if (line.rfind("READY cert=", 0) != 0) {
    StopScript(process_, channel_);
    throw std::runtime_error("signing service did not start: '" + line + "'");
  }
  certificate_ = line.substr(11);
}

SigningService::~SigningService() { StopScript(process_, channel_); }

bool SignatureVerifies(const std::string& file, const std::string& certificate) {
  std::vector<std::string> args = {"/usr/bin/osslsigncode", "verify", "-CAfile", certificate,
                                   "-in", file};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  const int port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

}  // namespace parone::testing

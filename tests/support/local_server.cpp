#include "local_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

LocalServer::LocalServer(std::vector<std::string> switches) {
  char pattern[] = "/tmp/parone_server_XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) throw std::runtime_error("mkdtemp failed");
  root_ = made;
  home_ = root_ + "/home";

  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe failed");

  std::vector<std::string> args = {"/usr/bin/python3", std::string(PARONE_SOURCE_DIR) + "/tools/dist_server.py",
                                   "--home", home_, "--exit-on-stdin-eof",
                                   "--command-log", commandLog()};
  args.insert(args.end(), switches.begin(), switches.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  posix_spawn_file_actions_addclose(&actions, toChild[1]);
  posix_spawn_file_actions_addclose(&actions, fromChild[0]);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  if (rc != 0) throw std::runtime_error("cannot start the local server");
  stdinFd_ = toChild[1];

  // Wait for "READY ftp=N http=M".
  std::string line;
  char c;
  while (read(fromChild[0], &c, 1) == 1 && c != '\n') line += c;
  close(fromChild[0]);
  if (std::sscanf(line.c_str(), "READY ftp=%d http=%d", &ftpPort_, &httpPort_) != 2) {
    ftpPort_ = httpPort_ = 0;
    throw std::runtime_error("local server did not start: '" + line + "'");
  }
}

LocalServer::~LocalServer() {
  if (stdinFd_ >= 0) close(stdinFd_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
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

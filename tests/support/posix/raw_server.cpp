// POSIX part of the raw test server declared in raw_server.hpp.
#include "raw_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace parone::testing {

RawServer::RawServer() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(fd, 4);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  socket_ = fd;
}

RawServer::~RawServer() {
  if (worker_.joinable()) worker_.join();
  close(static_cast<int>(socket_));
}

void RawServer::ServeEndlessBody() {
  worker_ = std::thread([this] {
    const int client = accept(static_cast<int>(socket_), nullptr, nullptr);
    char request[4096];
    if (recv(client, request, sizeof request, 0) <= 0) return;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    send(client, head.data(), head.size(), MSG_NOSIGNAL);
    const std::string chunk(64 * 1024, '7');
    for (;;) {
      const ssize_t n = send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    close(client);
  });
}

}  // namespace parone::testing

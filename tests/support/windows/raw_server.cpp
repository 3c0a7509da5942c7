// Windows part of the raw test server declared in raw_server.hpp.
#include <winsock2.h>

#include "raw_server.hpp"

#include <string>

namespace parone::testing {

RawServer::RawServer() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(s, 4);
  int len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  socket_ = static_cast<std::intptr_t>(s);
}

RawServer::~RawServer() {
  if (worker_.joinable()) worker_.join();
  closesocket(static_cast<SOCKET>(socket_));
  WSACleanup();
}

void RawServer::ServeEndlessBody() {
  worker_ = std::thread([this] {
    const SOCKET client = accept(static_cast<SOCKET>(socket_), nullptr, nullptr);
    char request[4096];
    if (recv(client, request, sizeof request, 0) <= 0) return;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    send(client, head.data(), static_cast<int>(head.size()), 0);
    const std::string chunk(64 * 1024, '7');
    for (;;) {
      const int n = send(client, chunk.data(), static_cast<int>(chunk.size()), 0);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    closesocket(client);
  });
}

}  // namespace parone::testing

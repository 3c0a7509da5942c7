#pragma once
// A listening socket on 127.0.0.1 that a test drives by hand, for server
// behaviour the local distribution server does not show.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace parone::testing {

class RawServer {
 public:
  RawServer();
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;
  int port() const { return port_; }
  // Answers one request with headers and then body bytes without end, until
  // the client goes away; counts what it managed to send.
  void ServeEndlessBody();
  std::atomic<std::size_t> sent{0};

 private:
  std::intptr_t socket_ = -1;
  int port_ = 0;
  std::thread worker_;
};

}  // namespace parone::testing

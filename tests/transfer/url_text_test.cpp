#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "local_server.hpp"
#include "transfer/url_text.hpp"

namespace parone {
namespace {

using testing::kUploadDirCp949;
using testing::LocalServer;

const std::string kWebDir = "/download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/";

// A listening socket on 127.0.0.1 that a test drives by hand.
class RawServer {
 public:
  RawServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd_, 4);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~RawServer() {
    if (worker_.joinable()) worker_.join();
    close(fd_);
  }
  int port() const { return port_; }
  // Answers one request with headers and then body bytes without end, until
  // the client goes away; counts what it managed to send.
  void ServeEndlessBody() {
    worker_ = std::thread([this] {
      const int client = accept(fd_, nullptr, nullptr);
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
  std::atomic<std::size_t> sent{0};

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread worker_;
};

class UrlText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new LocalServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void Put(const std::string& cp949Name, const std::string& bytes) {
    std::ofstream(server_->uploadDir() + "/" + cp949Name, std::ios::binary) << bytes;
  }
  std::string Fetch(const std::string& name) {
    return OpenUrlText("http://127.0.0.1:" + std::to_string(server_->httpPort()) + kWebDir + name,
                       cp949, UrlTextTimeouts{2, 4});
  }
  static LocalServer* server_;
  Cp949CodePage cp949;
};
LocalServer* UrlText::server_ = nullptr;

TEST_F(UrlText, ReturnsAtMostTheFirstTwentyBytesOfTheBody) {
  Put("a_lastver.txt", "123\r\n");
  Put("b_lastver.txt", "0123456789abcdefghijKLMNOPQRST");
  Put("c_lastver.txt", "");
  EXPECT_EQ(Fetch("a_lastver.txt"), "123\r\n");
  EXPECT_EQ(Fetch("b_lastver.txt"), "0123456789abcdefghij");
  EXPECT_EQ(Fetch("c_lastver.txt"), "");
  // A missing file: the status is not looked at, the error page's start comes back.
  const std::string page = Fetch("missing_lastver.txt");
  EXPECT_EQ(page.size(), 20u);
  EXPECT_EQ(page.find('<'), 0u) << page;
}

TEST_F(UrlText, TheKoreanFolderIsReachedAndBodiesAreDecodedFromCp949) {
  // "파로네_lastver.txt" stored under its CP949 name, holding CP949 text.
  Put("\xC6\xC4\xB7\xCE\xB3\xD7_lastver.txt", "7 \xC6\xC4\xB7\xCE\xB3\xD7");
  EXPECT_EQ(Fetch("%C6%C4%B7%CE%B3%D7_lastver.txt"), "7 파로네");
  // The same URL given with its letters unencoded travels as CP949 too.
  EXPECT_EQ(OpenUrlText("http://127.0.0.1:" + std::to_string(server_->httpPort()) +
                            "/download/자동업데이트_v1/파로네_lastver.txt",
                        cp949, UrlTextTimeouts{2, 4}),
            "7 파로네");
}

TEST_F(UrlText, EveryCallAsksTheServerAgainWithNoCache) {
  Put("twice_lastver.txt", "1\r\n");
  EXPECT_EQ(Fetch("twice_lastver.txt"), "1\r\n");
  Put("twice_lastver.txt", "2\r\n");
  EXPECT_EQ(Fetch("twice_lastver.txt"), "2\r\n");
  std::ifstream log(server_->commandLog());
  std::size_t requests = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find("GET " + kWebDir + "twice_lastver.txt") == std::string::npos) continue;
    ++requests;
    EXPECT_NE(line.find("agent=VB OpenUrl cache-control=no-cache pragma=no-cache"),
              std::string::npos)
        << line;
  }
  EXPECT_EQ(requests, 2u);
}

TEST(UrlTextFailures, GiveTheEmptyText) {
  Cp949CodePage cp949;
  const UrlTextTimeouts quick{1, 2};
  EXPECT_EQ(OpenUrlText("http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/x", cp949, quick), "");
  EXPECT_EQ(OpenUrlText("http://[not a host/x", cp949, quick), "");
  EXPECT_EQ(OpenUrlText("ftp://127.0.0.1/x", cp949, quick), "");  // only http is fetched
  EXPECT_EQ(OpenUrlText("", cp949, quick), "");

  // Accepts the connection and never answers: the total time-out ends it.
  RawServer silent;
  EXPECT_EQ(OpenUrlText("http://127.0.0.1:" + std::to_string(silent.port()) + "/x", cp949, quick), "");
}

TEST(UrlTextFailures, AnEndlessBodyIsCutAfterTwentyBytes) {
  Cp949CodePage cp949;
  RawServer endless;
  endless.ServeEndlessBody();
  EXPECT_EQ(OpenUrlText("http://127.0.0.1:" + std::to_string(endless.port()) + "/x", cp949,
                        UrlTextTimeouts{2, 30}),
            std::string(20, '7'));
}

}  // namespace
}  // namespace parone

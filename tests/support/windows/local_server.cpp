// Windows part of the test servers declared in local_server.hpp: the broker
// that runs this test on the Linux side (tools/test_broker.py) starts them.
// One TCP connection per server: a request line, an answer line, and the
// server lives until the connection closes. Fields are separated by tabs.
#include <winsock2.h>

#include "local_server.hpp"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace parone::testing {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

class Winsock {
 public:
  Winsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Winsock() { WSACleanup(); }
};

void EnsureWinsock() { static Winsock winsock; }

// Connects to the broker, sends the request and returns the answer's
// fields; `connection` stays open for the server's lifetime (or is closed
// when `keep` is false).
std::vector<std::string> AskBroker(const std::vector<std::string>& request,
                                   std::intptr_t& connection, bool keep) {
  EnsureWinsock();
  const char* port = std::getenv("PARONE_TEST_BROKER");
  if (!port) throw std::runtime_error("PARONE_TEST_BROKER is not set: run the test through tools/test_broker.py");
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    throw std::runtime_error("cannot reach the test broker on port " + std::string(port));
  }
  std::string line;
  for (std::size_t i = 0; i < request.size(); ++i) line += (i ? "\t" : "") + request[i];
  line += '\n';
  send(s, line.data(), static_cast<int>(line.size()), 0);
  std::string answer;
  char c;
  while (recv(s, &c, 1, 0) == 1 && c != '\n') answer += c;
  if (keep) {
    connection = static_cast<std::intptr_t>(s);
  } else {
    closesocket(s);
  }
  return Split(answer);
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

void SendAll(std::intptr_t connection, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int n = send(static_cast<SOCKET>(connection), bytes.data() + done,
                       static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) throw std::runtime_error("the test broker went away");
    done += static_cast<std::size_t>(n);
  }
}

std::string ReceiveLine(std::intptr_t connection) {
  std::string line;
  char c;
  while (recv(static_cast<SOCKET>(connection), &c, 1, 0) == 1 && c != '\n') line += c;
  return line;
}

std::string ReceiveBytes(std::intptr_t connection, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t done = 0;
  while (done < size) {
    const int n = recv(static_cast<SOCKET>(connection), bytes.data() + done,
                       static_cast<int>(size - done), 0);
    if (n <= 0) throw std::runtime_error("the test broker went away");
    done += static_cast<std::size_t>(n);
  }
  return bytes;
}

void Release(std::intptr_t& connection) {
  if (connection == -1) return;
  // The broker stops the server when the connection ends; wait for its word
  // so the next test never meets a server that is still stopping.
  const SOCKET s = static_cast<SOCKET>(connection);
  shutdown(s, SD_SEND);
  char c;
  while (recv(s, &c, 1, 0) > 0) {
  }
  closesocket(s);
  connection = -1;
}

}  // namespace

LocalServer::LocalServer(std::vector<std::string> switches) {
  std::vector<std::string> request = {"dist_server"};
  request.insert(request.end(), switches.begin(), switches.end());
  const auto answer = AskBroker(request, channel_, true);
  // READY FTP-PORT HTTP-PORT ROOT, and with --tls the CA's certificate.
  if (answer.size() < 4 || answer.size() > 5 || answer[0] != "READY") {
    Release(channel_);
    throw std::runtime_error("local server did not start: " + (answer.size() > 1 ? answer[1] : ""));
  }
  ftpPort_ = std::atoi(answer[1].c_str());
  httpPort_ = std::atoi(answer[2].c_str());
  root_ = answer[3];
  home_ = root_ + "\\home";
  if (answer.size() == 5) caFile_ = answer[4];
}

LocalServer::~LocalServer() { Release(channel_); }

std::string LocalServer::uploadDir() const { return root_ + "\\upload"; }

// Through the broker, so code page 949 names keep their bytes.
std::vector<std::string> LocalServer::ListUploadDir() const {
  SendAll(channel_, "list\n");
  std::vector<std::string> names;
  for (const std::string& hex : Split(ReceiveLine(channel_))) names.push_back(Unhex(hex));
  return names;
}

std::string LocalServer::ReadUploaded(const std::string& cp949Name) const {
  SendAll(channel_, "read\t" + Hex(cp949Name) + "\n");
  const long size = std::stol(ReceiveLine(channel_));
  return size < 0 ? std::string() : ReceiveBytes(channel_, static_cast<std::size_t>(size));
}

void LocalServer::PutUploaded(const std::string& cp949Name, const std::string& bytes) const {
  SendAll(channel_, "write\t" + Hex(cp949Name) + "\t" + std::to_string(bytes.size()) + "\n" + bytes);
  ReceiveLine(channel_);
}

SigningService::SigningService(const std::string& dir, std::vector<std::string> options) {
  std::vector<std::string> request = {"signing_service", dir};
  request.insert(request.end(), options.begin(), options.end());
  const auto answer = AskBroker(request, channel_, true);
  if (answer.size() != 2 || answer[0] != "READY") {
    Release(channel_);
    throw std::runtime_error("signing service did not start: " + (answer.size() > 1 ? answer[1] : ""));
  }
  certificate_ = answer[1];
}

SigningService::~SigningService() { Release(channel_); }

bool SignatureVerifies(const std::string& file, const std::string& certificate) {
  std::intptr_t unused = -1;
  const auto answer = AskBroker({"verify_signature", file, certificate}, unused, false);
  return answer.size() == 2 && answer[0] == "DONE" && answer[1] == "0";
}

int UnusedPort() {
  EnsureWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  const int port = ntohs(addr.sin_port);
  closesocket(s);
  return port;
}

}  // namespace parone::testing

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "local_server.hpp"
#include "raw_server.hpp"
#include "transfer/url_text.hpp"

namespace parone {
namespace {

using testing::kUploadDirCp949;
using testing::LocalServer;
using testing::RawServer;

const std::string kWebDir = "/download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/";

class UrlText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new LocalServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void Put(const std::string& cp949Name, const std::string& bytes) {
    server_->PutUploaded(cp949Name, bytes);
  }
  std::string Url(const std::string& name) {
    return "http://127.0.0.1:" + std::to_string(server_->httpPort()) + kWebDir + name;
  }
  std::string Fetch(const std::string& name) { return OpenUrlText(Url(name), cp949, UrlTextTimeouts{2, 4}); }
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

TEST_F(UrlText, AFetchSaysWhatTheServerAnsweredBesideTheText) {
  Put("d_lastver.txt", "44\r\n");
  struct Case {
    const char* name;
    int status;
    const char* start;  // how the text begins
  };
  const Case cases[] = {
      {"d_lastver.txt", 200, "44\r\n"},
      {"missing_lastver.txt", 404, "<"},  // the error page, as OpenUrlText has always given it
  };
  for (const Case& c : cases) {
    const auto r = FetchUrlText(Url(c.name), cp949, UrlTextTimeouts{2, 4});
    ASSERT_TRUE(r) << c.name;
    EXPECT_EQ(r->status, c.status) << c.name;
    EXPECT_EQ(r->body.rfind(c.start, 0), 0u) << r->body;
  }
  // No answer is no value: an error with libcurl's code and the stage asked for.
  const std::string nowhere = "http://127.0.0.1:" + std::to_string(testing::UnusedPort()) + "/x";
  const auto none = FetchUrlText(nowhere, cp949, UrlTextTimeouts{1, 2}, 20, Stage::kReadBack);
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().stage, Stage::kReadBack);
  EXPECT_EQ(none.error().kind, CodeKind::kCurl);
  EXPECT_EQ(none.error().code, 7);  // CURLE_COULDNT_CONNECT
  EXPECT_EQ(none.error().subject, nowhere);
  EXPECT_EQ(DescribeAnswer(none).rfind("응답 없음 (", 0), 0u);
}

TEST_F(UrlText, TheSizeOfAResourceComesFromItsHeaders) {
  Put("big.bin", std::string(200000, 'x'));
  const auto found = ProbeUrlSize(Url("big.bin"), cp949, UrlTextTimeouts{2, 4});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->status, 200);
  EXPECT_EQ(found->length, 200000u);
  EXPECT_FALSE(found->byGet);
  const auto missing = ProbeUrlSize(Url("missing.bin"), cp949, UrlTextTimeouts{2, 4});
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_FALSE(missing->length.has_value());
}

TEST(UrlSize, AServerThatRefusesHeadIsAskedWithAGetBrokenOffAfterItsHeaders) {
  LocalServer server({"--head-405"});
  server.PutUploaded("big.bin", std::string(300000, 'y'));
  Cp949CodePage cp949;
  const auto found = ProbeUrlSize(
      "http://127.0.0.1:" + std::to_string(server.httpPort()) + kWebDir + "big.bin", cp949, {2, 4});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->status, 200);
  EXPECT_EQ(found->length, 300000u);
  EXPECT_TRUE(found->byGet);
  std::ifstream log(server.commandLog());
  std::vector<std::string> requests;
  for (std::string line; std::getline(log, line);) {
    if (line.rfind("HTTP ", 0) == 0) requests.push_back(line.substr(0, line.find(' ', 5)));
  }
  EXPECT_EQ(requests, (std::vector<std::string>{"HTTP HEAD", "HTTP GET"}));
}

TEST(UrlSize, AnAnswerWithoutALengthGivesNoSizeAndItsBodyIsNotRead) {
  Cp949CodePage cp949;
  RawServer endless;
  endless.ServeEndlessBody();
  const auto found =
      ProbeUrlSize("http://127.0.0.1:" + std::to_string(endless.port()) + "/x", cp949, {2, 30});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->status, 200);
  EXPECT_FALSE(found->length.has_value());  // it gave none
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

TEST(UrlTextFailures, AStopEndsAReadThatGetsNoAnswerLongBeforeItsTimeOut) {
  Cp949CodePage cp949;
  RawServer silent;
  StopSignal stop;
  const UrlTextTimeouts timeouts{10, 20, &stop};
  const auto started = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.Request();
  });
  const auto answer =
      FetchUrlText("http://127.0.0.1:" + std::to_string(silent.port()) + "/x", cp949, timeouts);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  stopper.join();
  ASSERT_FALSE(answer);
  EXPECT_EQ(answer.error().code, 42);  // CURLE_ABORTED_BY_CALLBACK
  EXPECT_EQ(answer.error().kind, CodeKind::kCurl);
  EXPECT_LT(seconds, timeouts.totalSeconds / 4.0);
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

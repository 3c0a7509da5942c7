// The message boxes the user has always seen, made from the error values
// the FTP client returns: one row per kind of failure. The described text
// comes first as it always stood; what the error value knows follows after
// a blank line.
#include <gtest/gtest.h>

#include "distribution/failure_messages.hpp"
#include "transfer/ftp_session.hpp"

namespace parone {
namespace {

TEST(FailureMessages, EachFtpFailureShowsItsOwnDescribedBox) {
  struct Row {
    Error error;
    Message expected;
  };
  const std::string kPrepare =
      "FTP서버에 파일저장 준비중 오류가 발생했습니다.\r\n존재하는 경로인지 확인바랍니다.\r\n\r\n오류번호: ";
  const Row open[] = {
      // No session could be made at all.
      {{Stage::kConnect, CodeKind::kCurl, 2, "", "h:21", 2}, {"인터넷 세션 열기 실패!\r\n오류번호: 2", kStyleWarning}},
      {{Stage::kConnect, CodeKind::kCurl, 2, "Failed initialization", "h:21", 2},
       {"인터넷 세션 열기 실패!\r\n오류번호: 2\r\n\r\nFailed initialization", kStyleWarning}},
      // The login refused: the number is libcurl's, as it has always been
      // shown; the server's own reply says why.
      {{Stage::kLogin, CodeKind::kFtp, 530, "530 Login incorrect.", "h:21", 67},
       {"서버 접속 실패!\r\n오류번호: 67\r\n\r\n서버: h:21\r\n530 Login incorrect.", kStyleWarning}},
      {{Stage::kConnect, CodeKind::kCurl, 28, "Connection timed out after 15001 milliseconds", "h:21", 28},
       {"서버 접속 실패!\r\n오류번호: 28\r\n\r\n서버: h:21\r\nConnection timed out after 15001 milliseconds",
        kStyleWarning}},
      {{Stage::kConnect, CodeKind::kCurl, 7, "", "", 7}, {"서버 접속 실패!\r\n오류번호: 7", kStyleWarning}},
      {{Stage::kConnect, CodeKind::kRuntime, 5, "Invalid procedure call or argument", "h:0"},
       {"Error 5 (Invalid procedure call or argument) in procedure FTP_Open of Module modFTP", kStyleOkOnly}},
  };
  for (const Row& row : open) {
    const Message m = FtpOpenMessage(row.error);
    EXPECT_EQ(m.text, row.expected.text);
    EXPECT_EQ(m.style, row.expected.style);
    EXPECT_EQ(m.caption, kAppTitle);
  }
  const std::string kFile = "\r\n\r\n서버 파일: a/x.exe\r\n";
  const Row upload[] = {
      {{Stage::kFolder, CodeKind::kFtp, 553, "553 No such directory", "a/.0123456789ab.part", 25},
       {kPrepare + "25" + kFile + "553 No such directory", kStyleWarning}},
      // A connection lost before the store: nothing could be prepared.
      {{Stage::kFolder, CodeKind::kCurl, 28, "lost", "a/x.exe", 28}, {kPrepare + "28" + kFile + "lost", kStyleWarning}},
      {{Stage::kStore, CodeKind::kFtp, 552, "552 quota", "a/x.exe", 25},
       {"FTP파일 쓰기에 실패했습니다." + kFile + "552 quota", kStyleWarning}},
      {{Stage::kSizeCheck, CodeKind::kNone, 0, "100 of 5000", "a/x.exe"},
       {"FTP파일 쓰기에 실패했습니다." + kFile + "100 of 5000", kStyleWarning}},
      {{Stage::kRename, CodeKind::kFtp, 553, "553 refused", "a/x.exe"},
       {"FTP파일 쓰기에 실패했습니다." + kFile + "553 refused", kStyleWarning}},
      {{Stage::kStore, CodeKind::kRuntime, 57, "Device I/O error", "a/x.exe"},
       {"Error 57 (Device I/O error) in procedure FTP_UPLoad of Module modFTP", kStyleOkOnly}},
      {{Stage::kInput, CodeKind::kRuntime, 53, "File not found", "C:\\x.exe"},
       {"Error 53 (File not found) in procedure FTP_UPLoad of Module modFTP", kStyleOkOnly}},
      {{Stage::kInput, CodeKind::kNone, kFtpControlCharacter, "", "a/b"},
       {"원격 경로에 제어 문자가 들어 있어 보낼 수 없습니다.", kStyleWarning}},
      {{Stage::kRename, CodeKind::kNone, kFtpOldFileAside, "", "a/.0123456789ab.old"},
       {"게시되어 있던 파일을 원래 이름으로 되돌리지 못했습니다.\r\n서버에서 아래 파일의 이름을 되돌려 주세요."
        "\r\n\r\na/.0123456789ab.old\r\n-> a/x.exe",
        kStyleWarning}},
  };
  for (const Row& row : upload) {
    const Message m = FtpUploadMessage(row.error, "a/x.exe");
    EXPECT_EQ(m.text, row.expected.text) << StageName(row.error.stage) << " " << row.error.code;
    EXPECT_EQ(m.style, row.expected.style) << m.text;
  }
  const Message noName = FtpUploadMessage({Stage::kInput, CodeKind::kNone, kFtpNoFileName, "", "x.exe"});
  EXPECT_EQ(noName.text, "파일명을 알수 없습니다.");
  EXPECT_EQ(noName.caption, "FTP Upload");
  EXPECT_EQ(noName.style, kStyleOkOnly);
}

TEST(FailureMessages, AServerRefusedOverTlsIsToldWithTheReasonAndThatTheAccountWasNotSent) {
  struct Row {
    Error error;
    const char* reason;
  };
  const Row rows[] = {
      {{Stage::kConnect, CodeKind::kCurl, 60, "SSL certificate problem: self-signed certificate", "h:21", 60},
       "서버의 인증서를 신뢰할 수 없습니다"},
      {{Stage::kConnect, CodeKind::kCurl, 60, "SSL: certificate subject name 'x' does not match target host name 'h'",
        "h:21", 60},
       "접속한 서버 이름의 인증서가 아닙니다"},
      {{Stage::kConnect, CodeKind::kCurl, 60, "SSL certificate problem: certificate has expired", "h:21", 60},
       "유효 기간을 벗어났습니다"},
      {{Stage::kConnect, CodeKind::kCurl, 90, "SSL: public key does not match pinned public key", "h:21", 90},
       "Config/TlsPin"},
      {{Stage::kConnect, CodeKind::kCurl, 77, "error setting certificate file: /x.pem", "h:21", 77},
       "Config/CaFile"},
      {{Stage::kConnect, CodeKind::kNone, kFtpTlsMissing, "the server offers no TLS", "h:21", 64},
       "설정이 TLS를 요구합니다"},
      {{Stage::kConnect, CodeKind::kNone, kFtpTlsDowngrade, "the server spoke TLS before", "h:21", 64},
       "중간에서 암호화를 막았을 수 있습니다"},
  };
  for (const Row& row : rows) {
    const Message m = FtpOpenMessage(row.error);
    EXPECT_EQ(m.style, kStyleWarning);
    EXPECT_EQ(m.text.rfind("서버 접속 실패!\r\n오류번호: " + std::to_string(row.error.transferCode), 0), 0u)
        << m.text;
    EXPECT_NE(m.text.find(row.reason), std::string::npos) << m.text;
    EXPECT_NE(m.text.find("계정과 비밀번호는 보내지 않았습니다."), std::string::npos) << m.text;
    EXPECT_NE(m.text.find(row.error.message), std::string::npos) << m.text;  // the library's own words
  }
  // A server that is not there was sent nothing either, but that is no
  // refusal of ours to explain.
  const Message absent = FtpOpenMessage({Stage::kConnect, CodeKind::kCurl, 7, "Couldn't connect", "h:21", 7});
  EXPECT_EQ(absent.text.find("보내지 않았습니다"), std::string::npos) << absent.text;
}

}  // namespace
}  // namespace parone

#include "distribution/failure_messages.hpp"

#include <initializer_list>
#include <string>

#include "transfer/ftp_session.hpp"

namespace parone {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr long kCurlFailedInit = 2;  // CURLE_FAILED_INIT: no session could be made

std::string PrepareFailedText(long code) {
  return std::string("FTP서버에 파일저장 준비중 오류가 발생했습니다.") + kCrLf +
         "존재하는 경로인지 확인바랍니다." + kCrLf + kCrLf + "오류번호: " + std::to_string(code);
}

constexpr const char* kWriteFailedText = "FTP파일 쓰기에 실패했습니다.";

// What the error value knows, below the described text: a blank line, then
// each line that says something.
std::string Detail(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!line.empty()) text += (text.empty() ? "\r\n\r\n" : kCrLf) + line;
  }
  return text;
}

std::string Labelled(const char* label, std::string_view value) {
  return value.empty() ? std::string() : label + std::string(value);
}

// Why a server was refused before the login, for a TLS refusal, and that
// the account was not sent; "" for any other failure to connect.
std::string TlsRefusalText(const Error& error) {
  const char* why = nullptr;
  switch (TlsRefusalOf(error)) {
    case TlsRefusal::kNone:
      return "";
    case TlsRefusal::kUntrusted:
      why = "서버의 인증서를 신뢰할 수 없습니다: 신뢰하는 인증 기관이 발급한 인증서가 아닙니다.";
      break;
    case TlsRefusal::kNameMismatch:
      why = "서버의 인증서가 접속한 서버 이름의 인증서가 아닙니다.";
      break;
    case TlsRefusal::kExpired:
      why = "서버의 인증서가 유효 기간을 벗어났습니다 (만료되었거나 아직 유효하지 않음).";
      break;
    case TlsRefusal::kPinMismatch:
      why = "서버의 공개 키가 설정된 공개 키 핀(Config/TlsPin)과 다릅니다.";
      break;
    case TlsRefusal::kCertificate:
      why = "서버의 인증서를 확인하지 못했습니다.";
      break;
    case TlsRefusal::kCaFile:
      why = "인증 기관 파일(Config/CaFile, PARONE_DEPLOY_CA_FILE)을 읽을 수 없습니다.";
      break;
    case TlsRefusal::kMissing:
      why = "서버가 TLS(FTPS)를 제공하지 않는데, 설정이 TLS를 요구합니다.";
      break;
    case TlsRefusal::kDowngrade:
      why = "전에 TLS로 접속했던 서버가 이번에는 TLS를 제공하지 않습니다. 중간에서 암호화를 막았을 수 "
            "있습니다.";
      break;
  }
  return std::string(why) + kCrLf + "계정과 비밀번호는 보내지 않았습니다.";
}

}  // namespace

Message ErrorReportMessage(const Error& error, std::string_view closing) {
  return {"Error " + std::to_string(error.code) + " (" + error.message + std::string(closing),
          kStyleOkOnly};
}

Message FtpOpenMessage(const Error& error) {
  if (error.kind == CodeKind::kRuntime) return ErrorReportMessage(error, kFtpOpenClosing);
  if (error.stage == Stage::kConnect && error.transferCode == kCurlFailedInit) {
    return {std::string("인터넷 세션 열기 실패!") + kCrLf + "오류번호: " +
                std::to_string(error.transferCode) + Detail({error.message}),
            kStyleWarning};
  }
  // The server it could not reach or that refused the login (over TLS:
  // why, before the account was sent), and what libcurl or the server said.
  return {std::string("서버 접속 실패!") + kCrLf + "오류번호: " + std::to_string(error.transferCode) +
              Detail({TlsRefusalText(error), Labelled("서버: ", error.subject), error.message}),
          kStyleWarning};
}

Message FtpUploadMessage(const Error& error, std::string_view finalPath) {
  if (error.kind == CodeKind::kRuntime) return ErrorReportMessage(error, kFtpUploadClosing);
  if (error.stage == Stage::kInput && error.kind == CodeKind::kNone) {
    switch (error.code) {
      case kFtpNoFileName:
        return {"파일명을 알수 없습니다.", kStyleOkOnly, "FTP Upload"};
      case kFtpNotInCodePage:
        return {"원격 경로를 코드 페이지 949로 바꿀 수 없습니다: " + error.subject, kStyleWarning};
      case kFtpControlCharacter:
        return {"원격 경로에 제어 문자가 들어 있어 보낼 수 없습니다.", kStyleWarning};
      default:
        break;
    }
  }
  // The file it was about, and the server's reply or libcurl's wording.
  const std::string detail = Detail({Labelled("서버 파일: ", finalPath), error.message});
  if (error.stage == Stage::kFolder) {
    return {PrepareFailedText(error.transferCode) + detail, kStyleWarning};
  }
  if (error.stage == Stage::kRename && error.kind == CodeKind::kNone &&
      error.code == kFtpOldFileAside) {
    return {std::string("게시되어 있던 파일을 원래 이름으로 되돌리지 못했습니다.") + kCrLf +
                "서버에서 아래 파일의 이름을 되돌려 주세요." + kCrLf + kCrLf + error.subject +
                kCrLf + "-> " + std::string(finalPath),
            kStyleWarning};
  }
  return {kWriteFailedText + detail, kStyleWarning};
}

}  // namespace parone

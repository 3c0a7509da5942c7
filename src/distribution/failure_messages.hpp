#pragma once
// The one place where failures become the message boxes the user has always
// seen: the texts and styles of the FTP client, the version reader, the
// per-file upload and the signing hand-off, made from the Error values those
// steps return. Pure text; nothing is shown here.

#include <string_view>

#include "common/error.hpp"
#include "distribution/publish_events.hpp"

namespace parone {

// Closing texts of the error report ("Error N (description" + closing).
inline constexpr const char* kFtpOpenClosing = ") in procedure FTP_Open of Module modFTP";
inline constexpr const char* kFtpUploadClosing = ") in procedure FTP_UPLoad of Module modFTP";
inline constexpr const char* kFileVerClosing = ") in procedure GetFileVer of Module mdlFile";
inline constexpr const char* kProcUploadClosing = ") in procedure ProcUpload of Form Form1";
inline constexpr const char* kCodeSigningClosing = ") in procedure CodeSigning of Form FrmMain";
inline constexpr const char* kRunClosing = ") in procedure cmdDistribute_Click of Form Form1";

// "Error 53 (File not found) in procedure ...", style 0.
Message ErrorReportMessage(const Error& error, std::string_view closing);

// What opening the FTP session said when it failed: "인터넷 세션 열기
// 실패!", "서버 접속 실패!" with the number, or the error report of FTP_Open.
// Below the described text, after a blank line: for a server refused over
// TLS why, and that the password was not sent; the server ("서버:
// host:port") and libcurl's or the server's words.
Message FtpOpenMessage(const Error& error);

// What storing, checking or renaming a file said when it failed: the
// "preparing to store" text with the number, "FTP파일 쓰기에 실패했습니다.",
// "파일명을 알수 없습니다." (caption "FTP Upload"), the old file left aside
// under another name, or the error report of FTP_UPLoad. `finalPath` is the
// published name the failure concerns (UTF-8). The "preparing" and the
// "writing" texts go on, after a blank line, with that path ("서버 파일:
// ...") and the server's reply or libcurl's words.
Message FtpUploadMessage(const Error& error, std::string_view finalPath = {});

}  // namespace parone

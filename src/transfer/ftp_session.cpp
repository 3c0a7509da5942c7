#include "transfer/ftp_session.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <random>

#include "common/path_names.hpp"
#include "platform/error_report.hpp"
#include "transfer/curl_easy.hpp"

namespace parone {
namespace {

constexpr const char* kOpenClosing = ") in procedure FTP_Open of Module modFTP";
constexpr const char* kUploadClosing = ") in procedure FTP_UPLoad of Module modFTP";
constexpr const char* kCrLf = "\r\n";

std::string PrepareFailedText(long code) {
  return std::string("FTP서버에 파일저장 준비중 오류가 발생했습니다.") + kCrLf +
         "존재하는 경로인지 확인바랍니다." + kCrLf + kCrLf + "오류번호: " + std::to_string(code);
}

constexpr const char* kWriteFailedText = "FTP파일 쓰기에 실패했습니다.";

// A name that would end an FTP command line early.
bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string RandomSuffix() {
  static std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  std::uint64_t bits = generator();
  for (int i = 0; i < 12; ++i, bits >>= 4) out += kHex[bits & 0xF];
  return out;
}

// Feeds the local file to libcurl block by block: every 1024-byte block is
// read and counted on its own, but libcurl gets as many as its buffer holds
// per call, so the transfer is not slowed to one packet per block.
struct UploadSource {
  RandomAccessFile* file = nullptr;
  std::uint64_t length = 0;
  std::uint64_t wholeBlocks = 0;
  std::uint64_t sent = 0;
  ProgressDisplay* progress = nullptr;
  bool called = false;      // libcurl asked for data: the server accepted STOR
  bool readFailed = false;  // the local file could not be read

  void TickBlock() {
    if (!progress) return;
    if (progress->Max() > progress->Value()) {
      progress->SetValue(progress->Value() + 1);
    } else {
      progress->SetValue(0);
    }
  }

  std::size_t Fill(char* buffer, std::size_t room) {
    called = true;
    std::size_t filled = 0;
    while (filled < room && sent < length) {
      const std::uint64_t inBlock = sent % kFtpBlockSize;
      const std::uint64_t blockLeft = std::min<std::uint64_t>(kFtpBlockSize - inBlock, length - sent);
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(blockLeft, room - filled));
      if (file->ReadAt(sent, buffer + filled, n) != n) {
        readFailed = true;
        return CURL_READFUNC_ABORT;
      }
      filled += n;
      sent += n;
      // A whole block completed; the remainder never moves the bar.
      if (sent % kFtpBlockSize == 0 && sent / kFtpBlockSize <= wholeBlocks) TickBlock();
    }
    return filled;
  }

  static std::size_t Read(char* buffer, std::size_t size, std::size_t count, void* self) {
    return static_cast<UploadSource*>(self)->Fill(buffer, size * count);
  }
};

// A curl_slist of quote commands, freed with the object.
class QuoteList {
 public:
  ~QuoteList() { curl_slist_free_all(list_); }
  void Add(const std::string& command) { list_ = curl_slist_append(list_, command.c_str()); }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace

struct FtpSession::Impl {
  MessageBoxes& boxes;
  FileSystem& files;
  const CodePage& codePage;
  FtpTimeouts timeouts;
  std::unique_ptr<CurlEasy> curl;  // the session and its connection
  std::string baseUrl;             // "ftp://host:port/"

  Impl(MessageBoxes& b, FileSystem& f, const CodePage& c, FtpTimeouts t)
      : boxes(b), files(f), codePage(c), timeouts(t) {}

  CURL* handle() const { return curl->get(); }

  // Runs the quote commands on the logged-in connection, with no transfer.
  CURLcode Quote(const QuoteList& commands) {
    curl_easy_setopt(handle(), CURLOPT_URL, baseUrl.c_str());
    curl_easy_setopt(handle(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(handle(), CURLOPT_QUOTE, commands.get());
    const CURLcode rc = curl_easy_perform(handle());
    curl_easy_setopt(handle(), CURLOPT_QUOTE, nullptr);
    return rc;
  }

  // Puts the uploaded temporary file in place of the final name. Servers
  // that refuse to rename over an existing file get the old one deleted
  // first; the temporary file is only gone once it has become the final one.
  bool Publish(const std::string& tempPath, const std::string& finalPath) {
    QuoteList rename;
    rename.Add("RNFR " + tempPath);
    rename.Add("RNTO " + finalPath);
    if (Quote(rename) == CURLE_OK) return true;
    QuoteList replace;
    replace.Add("*DELE " + finalPath);  // "*": a missing old file is fine
    replace.Add("RNFR " + tempPath);
    replace.Add("RNTO " + finalPath);
    return Quote(replace) == CURLE_OK;
  }

  void RemoveQuietly(const std::string& path) {
    QuoteList remove;
    remove.Add("*DELE " + path);
    Quote(remove);
  }
};

FtpSession::FtpSession(MessageBoxes& boxes, FileSystem& files, const CodePage& codePage,
                       FtpTimeouts timeouts)
    : impl_(std::make_unique<Impl>(boxes, files, codePage, timeouts)) {}

FtpSession::~FtpSession() { FTP_Close(); }

bool FtpSession::isOpen() const { return impl_->curl != nullptr; }

bool FtpSession::FTP_Open(const std::string& server, const std::string& user,
                          const std::string& password, int port, int passive) {
  Impl& s = *impl_;
  FTP_Close();
  auto curl = std::make_unique<CurlEasy>();
  if (!curl->valid()) {
    s.boxes.Show(std::string("인터넷 세션 열기 실패!") + kCrLf + "오류번호: " +
                     std::to_string(static_cast<int>(CURLE_FAILED_INIT)),
                 kStyleWarning);
    return false;
  }
  const auto serverBytes = s.codePage.FromUtf8(server);
  const auto userBytes = s.codePage.FromUtf8(user);
  const auto passwordBytes = s.codePage.FromUtf8(password);
  if (!serverBytes || !userBytes || !passwordBytes || HasControlCharacter(*serverBytes) ||
      port <= 0 || port > 65535) {
    ShowErrorReport(s.boxes, errors::InvalidArgument(), kOpenClosing);
    return false;
  }

  CURL* h = curl->get();
  const std::string baseUrl = "ftp://" + UrlHost(*serverBytes) + ":" + std::to_string(port) + "/";
  curl_easy_setopt(h, CURLOPT_URL, baseUrl.c_str());
  curl_easy_setopt(h, CURLOPT_USERNAME, userBytes->c_str());
  curl_easy_setopt(h, CURLOPT_PASSWORD, passwordBytes->c_str());
  curl_easy_setopt(h, CURLOPT_NOBODY, 1L);  // log in, transfer nothing
  // Full paths on every command, relative to the login folder: the
  // connection's current folder never changes, so quote commands can use
  // the same relative paths.
  curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
  curl_easy_setopt(h, CURLOPT_PROXY, "");  // always direct: the upload server is never behind a proxy
  if (passive == 1) {
    curl_easy_setopt(h, CURLOPT_FTPPORT, nullptr);
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPSV, 1L);
  } else {
    curl_easy_setopt(h, CURLOPT_FTPPORT, "-");  // the control connection's own address
  }
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, s.timeouts.connectSeconds);
  curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, s.timeouts.connectSeconds * 1000L);
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, s.timeouts.stallSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, s.timeouts.stallSeconds);
  curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 64L * 1024L);

  const CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK) {
    s.boxes.Show(std::string("서버 접속 실패!") + kCrLf + "오류번호: " +
                     std::to_string(static_cast<int>(rc)),
                 kStyleWarning);
    return false;  // the handle, session and connection go with `curl`
  }
  s.curl = std::move(curl);
  s.baseUrl = baseUrl;
  return true;
}

bool FtpSession::FTP_UPLoad(const std::string& localPath, const std::string& remoteDir,
                            const std::string& remoteName, ProgressDisplay* progress) {
  Impl& s = *impl_;
  std::string name = remoteName;
  if (name.empty()) {
    if (LastSeparator(localPath) == std::string::npos) {
      s.boxes.Show("파일명을 알수 없습니다.", kStyleOkOnly, "FTP Upload");
      return false;
    }
    name = FileNameOf(localPath);
  }
  if (!isOpen()) {
    ShowErrorReport(s.boxes, errors::InvalidArgument(), kUploadClosing);
    return false;
  }

  // The local file is opened before anything happens on the server, so a
  // file that cannot be read never disturbs what is published.
  auto file = s.files.OpenForReading(localPath);
  if (!file) {
    ShowErrorReport(s.boxes,
                    s.files.FileExists(localPath) ? errors::PermissionDenied() : errors::FileNotFound(),
                    kUploadClosing);
    return false;
  }

  const auto dirBytes = s.codePage.FromUtf8(remoteDir);
  const auto nameBytes = s.codePage.FromUtf8(name);
  if (!dirBytes || !nameBytes) {
    s.boxes.Show("원격 경로를 코드 페이지 949로 바꿀 수 없습니다: " + remoteDir + "/" + name,
                 kStyleWarning);
    return false;
  }
  if (HasControlCharacter(*dirBytes) || HasControlCharacter(*nameBytes)) {
    s.boxes.Show("원격 경로에 제어 문자가 들어 있어 보낼 수 없습니다.", kStyleWarning);
    return false;
  }
  const std::string finalPath = *dirBytes + "/" + *nameBytes;
  const std::string tempPath = *dirBytes + "/" + *nameBytes + ".uploading-" + RandomSuffix();

  UploadSource source;
  source.file = file.get();
  source.length = file->Size();
  source.wholeBlocks = source.length / kFtpBlockSize;
  source.progress = progress;
  if (progress) {
    if (source.wholeBlocks > 32767) {
      progress->SetMax(32767);
    } else if (source.wholeBlocks >= 1) {
      progress->SetMax(static_cast<float>(source.wholeBlocks));
    }
    progress->SetValue(0);
  }

  CURL* h = s.handle();
  const std::string url = s.baseUrl + PercentEncodePath(tempPath);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(source.length));
  curl_easy_setopt(h, CURLOPT_READFUNCTION, &UploadSource::Read);
  curl_easy_setopt(h, CURLOPT_READDATA, &source);
  s.curl->ClearError();
  const CURLcode rc = curl_easy_perform(h);
  curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);

  // The server's final reply counts: anything but its acceptance of all the
  // data is a failure, and the temporary file goes.
  if (rc != CURLE_OK || source.sent != source.length) {
    if (source.readFailed) {
      ShowErrorReport(s.boxes, errors::DeviceIo(), kUploadClosing);
    } else if (!source.called && rc != CURLE_OK) {
      s.boxes.Show(PrepareFailedText(static_cast<long>(rc)), kStyleWarning);
    } else {
      s.boxes.Show(kWriteFailedText, kStyleWarning);
    }
    s.RemoveQuietly(tempPath);
    return false;
  }
  if (!s.Publish(tempPath, finalPath)) {
    s.boxes.Show(kWriteFailedText, kStyleWarning);
    s.RemoveQuietly(tempPath);
    return false;
  }
  return true;
}

void FtpSession::FTP_Close() {
  impl_->curl.reset();  // sends QUIT and closes the connection
  impl_->baseUrl.clear();
}

}  // namespace parone

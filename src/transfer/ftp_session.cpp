#include "transfer/ftp_session.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "common/hex_text.hpp"
#include "common/path_names.hpp"
#include "platform/error_report.hpp"
#include "transfer/background_sha256.hpp"
#include "transfer/curl_easy.hpp"
#include "transfer/ftp_reply.hpp"

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

// Anything above this in a listing of one name is not a listing of one name.
constexpr std::size_t kListingLimit = 64 * 1024;

// A name that would end an FTP command line early.
bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Temporary and aside names: a dot, 12 random hex digits and a fixed
// suffix, 17 or 18 bytes whatever the final name's length, so that any name
// the server accepts leaves room for them.
std::string ShortName(const char* suffix) {
  return "." + RandomHex(12) + suffix;
}

// Bytes held in memory, read like a file.
class MemoryFile final : public RandomAccessFile {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (offset >= bytes_.size()) return 0;
    const std::size_t left = bytes_.size() - static_cast<std::size_t>(offset);
    const std::size_t n = std::min(size, left);
    std::memcpy(buffer, bytes_.data() + offset, n);
    return n;
  }

 private:
  std::string bytes_;
};

// Feeds the source to libcurl: as many bytes as its buffer holds in one
// read, so the transfer is neither slowed to one packet per block nor to one
// file read per block, while the progress still counts every whole 1024-byte
// block as it is handed over.
struct UploadSource {
  RandomAccessFile* file = nullptr;
  std::uint64_t length = 0;
  std::uint64_t wholeBlocks = 0;
  std::uint64_t sent = 0;
  ProgressDisplay* progress = nullptr;
  // Fed every byte as it is handed to libcurl.
  BackgroundSha256* hash = nullptr;
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
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(room, length - sent));
    if (n > 0 && file->ReadAt(sent, buffer, n) != n) {
      readFailed = true;
      return CURL_READFUNC_ABORT;
    }
    // Whole blocks completed by these bytes; the remainder never moves the bar.
    for (std::uint64_t block = sent / kFtpBlockSize; block < (sent + n) / kFtpBlockSize; ++block) {
      TickBlock();
    }
    sent += n;
    if (progress) progress->SetBytes(sent, length);
    if (hash) hash->Update(buffer, n);
    return n;
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

// The server's final reply to one command; code 0 when none came.
struct Reply {
  int code = 0;
  std::string line;
  bool positive() const { return code >= 200 && code < 300; }
  bool refused() const { return code >= 400; }
};

// One command as libcurl sent it and the reply lines that followed.
struct Exchange {
  std::string command;
  Reply reply;
};

bool IsFinalReplyLine(const std::string& line) {
  return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && (line.size() == 3 || line[3] == ' ');
}

std::string WithoutLineEnd(const char* data, std::size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

enum class RenameResult { kDone, kRefused, kLost };
enum class ReplaceResult { kPublished, kFailed, kCannotRename };

}  // namespace

FtpStagedFile::FtpStagedFile(FtpStagedFile&&) noexcept = default;
FtpStagedFile& FtpStagedFile::operator=(FtpStagedFile&&) noexcept = default;
FtpStagedFile::~FtpStagedFile() = default;

struct FtpSession::Impl {
  MessageBoxes& boxes;
  FileSystem& files;
  const CodePage& codePage;
  FtpTimeouts timeouts;
  std::unique_ptr<CurlEasy> curl;  // the session and its connection
  std::string baseUrl;             // "ftp://host:port/"
  bool dead = false;               // a time-out ended the connection
  bool cannotRename = false;
  std::vector<Exchange> transcript;  // of the last perform
  bool collecting = false;
  std::string listing;

  Impl(MessageBoxes& b, FileSystem& f, const CodePage& c, FtpTimeouts t)
      : boxes(b), files(f), codePage(c), timeouts(t) {}

  CURL* handle() const { return curl->get(); }
  bool usable() const { return curl != nullptr && !dead; }

  // libcurl tells the commands it sends and the lines it reads through its
  // debug hook only; the transcript pairs them up so a refusal can be told
  // from an acceptance even where libcurl goes on regardless.
  static int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
    auto& s = *static_cast<Impl*>(self);
    if (type == CURLINFO_HEADER_OUT) {
      std::string command = WithoutLineEnd(data, size);
      if (command.rfind("PASS ", 0) == 0) command = "PASS";
      s.transcript.push_back({std::move(command), {}});
    } else if (type == CURLINFO_HEADER_IN) {
      // One line per call as libcurl does it today, but a block of lines
      // reads the same.
      std::size_t start = 0;
      while (start < size) {
        const char* end = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
        const std::size_t length =
            end ? static_cast<std::size_t>(end - data) - start + 1 : size - start;
        s.NoteReplyLine(WithoutLineEnd(data + start, length));
        start += length;
      }
    }
    return 0;
  }

  void NoteReplyLine(std::string line) {
    if (!IsFinalReplyLine(line)) return;
    if (transcript.empty() || transcript.back().reply.code != 0) {
      transcript.push_back({});  // a greeting, or a reply to nothing we sent
    }
    Reply& reply = transcript.back().reply;
    reply.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    reply.line = std::move(line);
  }

  static std::size_t OnData(char* data, std::size_t size, std::size_t count, void* self) {
    auto& s = *static_cast<Impl*>(self);
    const std::size_t n = size * count;
    if (!s.collecting) return n;  // nothing else is ever downloaded
    if (s.listing.size() + n > kListingLimit) return 0;
    s.listing.append(data, n);
    return n;
  }

  CURLcode Perform() {
    transcript.clear();
    const auto rc = static_cast<CURLcode>(curl->Perform());
    // libcurl has closed the connection; using the handle again would make
    // it connect and log in anew, and a server that stalled once may stall
    // again, doubling the wait.
    if (rc == CURLE_OPERATION_TIMEDOUT) dead = true;
    return rc;
  }

  // Sends the commands on the logged-in connection, each one whatever the
  // answer to the one before ("*": libcurl would otherwise stop at a
  // refusal and drop the connection), and returns the reply to each.
  std::vector<Reply> Send(std::initializer_list<std::string> commands) {
    std::vector<Reply> replies(commands.size());
    if (!usable()) return replies;
    QuoteList list;
    for (const std::string& command : commands) list.Add("*" + command);
    curl_easy_setopt(handle(), CURLOPT_URL, baseUrl.c_str());
    curl_easy_setopt(handle(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(handle(), CURLOPT_QUOTE, list.get());
    Perform();
    curl_easy_setopt(handle(), CURLOPT_QUOTE, nullptr);
    std::size_t at = 0;
    std::size_t i = 0;
    for (const std::string& command : commands) {
      for (; at < transcript.size(); ++at) {
        if (transcript[at].command == command) {
          replies[i] = transcript[at++].reply;
          break;
        }
      }
      ++i;
    }
    return replies;
  }

  RenameResult Rename(const std::string& from, const std::string& to) {
    const std::vector<Reply> r = Send({"RNFR " + from, "RNTO " + to});
    if (r[1].positive()) return RenameResult::kDone;
    // RNTO after a refused RNFR is answered "bad sequence": a refusal too.
    return r[1].code == 0 ? RenameResult::kLost : RenameResult::kRefused;
  }

  void Remove(const std::string& path) { Send({"DELE " + path}); }

  // The listing of one remote name, as the server sent it.
  std::optional<std::string> ListOne(const std::string& path) {
    if (!usable()) return std::nullopt;
    const std::string request = "LIST " + path;
    curl_easy_setopt(handle(), CURLOPT_URL, baseUrl.c_str());  // a folder URL: a listing
    curl_easy_setopt(handle(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(handle(), CURLOPT_NOBODY, 0L);
    curl_easy_setopt(handle(), CURLOPT_CUSTOMREQUEST, request.c_str());
    listing.clear();
    collecting = true;
    const CURLcode rc = Perform();
    collecting = false;
    curl_easy_setopt(handle(), CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(handle(), CURLOPT_NOBODY, 1L);
    if (rc != CURLE_OK) return std::nullopt;
    return listing;
  }

  // The server holds exactly `size` bytes under `path`. A 226 only says the
  // server took the data; a full disk or a quota may have kept less.
  bool HoldsWhole(const std::string& path, const std::string& name, std::uint64_t size) {
    // SIZE counts bytes as stored only in binary mode.
    const std::vector<Reply> r = Send({"TYPE I", "SIZE " + path});
    if (r[1].code == 0) return false;
    if (r[1].code == 213) {
      const auto stored = ParseSizeReply(r[1].line);
      return stored && *stored == size;
    }
    // No usable SIZE (not implemented, or refused for a reason of its own):
    // the listing of that one name says the same.
    const auto text = ListOne(path);
    if (!text) return false;
    const auto listed = ParseListedSize(*text, name);
    return listed && *listed == size;
  }

  // Stores `source` as `path`, advancing `progress`. False after a message.
  // `sha256`, when given, receives the digest of the bytes sent.
  bool Store(RandomAccessFile& file, const std::string& path, ProgressDisplay* progress,
             std::string* sha256 = nullptr) {
    if (!usable()) {
      boxes.Show(PrepareFailedText(static_cast<long>(CURLE_OPERATION_TIMEDOUT)), kStyleWarning);
      return false;
    }
    UploadSource source;
    source.file = &file;
    source.length = file.Size();
    source.wholeBlocks = source.length / kFtpBlockSize;
    source.progress = progress;
    // Hashed on a thread of its own while the bytes are on their way.
    std::optional<BackgroundSha256> hash;
    if (sha256) source.hash = &hash.emplace();
    if (progress) {
      if (source.wholeBlocks > 32767) {
        progress->SetMax(32767);
      } else if (source.wholeBlocks >= 1) {
        progress->SetMax(static_cast<float>(source.wholeBlocks));
      }
      progress->SetValue(0);
    }

    CURL* h = handle();
    const std::string url = baseUrl + PercentEncodePath(path);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    // curl_off_t, not long: files over 2 GiB on 32-bit builds.
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(source.length));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &UploadSource::Read);
    curl_easy_setopt(h, CURLOPT_READDATA, &source);
    curl->ClearError();
    const CURLcode rc = Perform();
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);

    // The server's final reply counts: anything but its acceptance of all
    // the data is a failure.
    if (rc == CURLE_OK && source.sent == source.length) {
      if (sha256) *sha256 = hash->HexDigest();
      return true;
    }
    if (source.readFailed) {
      ShowErrorReport(boxes, errors::DeviceIo(), kUploadClosing);
    } else if (!source.called && rc != CURLE_OK) {
      boxes.Show(PrepareFailedText(static_cast<long>(rc)), kStyleWarning);
    } else {
      boxes.Show(kWriteFailedText, kStyleWarning);
    }
    return false;
  }

  std::optional<FtpStagedFile> Stage(std::unique_ptr<RandomAccessFile> file,
                                     const std::string& folder, const std::string& name,
                                     ProgressDisplay* progress) {
    FtpStagedFile staged;
    staged.folder_ = folder;
    staged.finalName_ = name;
    staged.temporaryPath_ = folder + "/" + ShortName(".part");
    staged.finalPath_ = folder + "/" + name;
    staged.size_ = file->Size();
    staged.progress_ = progress;
    staged.source_ = std::move(file);
    if (!Store(*staged.source_, staged.temporaryPath_, progress, &staged.sha256_)) {
      Remove(staged.temporaryPath_);
      return std::nullopt;
    }
    if (!HoldsWhole(staged.temporaryPath_, staged.temporaryPath_.substr(folder.size() + 1),
                    staged.size_)) {
      boxes.Show(kWriteFailedText, kStyleWarning);
      Remove(staged.temporaryPath_);
      return std::nullopt;
    }
    staged.pending_ = true;
    return staged;
  }

  // The staged file in place of the final one, which has a whole file under
  // it at every moment but the one between two renames.
  ReplaceResult Replace(const FtpStagedFile& staged) {
    const std::string& temp = staged.temporaryPath_;
    const std::string& final = staged.finalPath_;
    switch (Rename(temp, final)) {
      case RenameResult::kDone:
        return ReplaceResult::kPublished;
      case RenameResult::kLost:
        return ReplaceResult::kFailed;
      case RenameResult::kRefused:
        break;
    }
    // Servers that will not rename over an existing name: move the old file
    // out of the way, not delete it, until the new one is in.
    const std::string aside = staged.folder_ + "/" + ShortName(".old");
    switch (Rename(final, aside)) {
      case RenameResult::kDone:
        break;
      case RenameResult::kLost:
        return ReplaceResult::kFailed;
      case RenameResult::kRefused:
        return ReplaceResult::kCannotRename;
    }
    switch (Rename(temp, final)) {
      case RenameResult::kDone:
        Remove(aside);  // a leftover copy of the old file is harmless
        return ReplaceResult::kPublished;
      case RenameResult::kRefused:
        if (Rename(aside, final) != RenameResult::kDone) ReportStranded(aside, final);
        return ReplaceResult::kFailed;
      case RenameResult::kLost:
        ReportStranded(aside, final);
        return ReplaceResult::kFailed;
    }
    return ReplaceResult::kFailed;
  }

  // The old file could not be put back under its name (or the connection
  // went before it could): it is whole, but only under the name it was moved
  // aside to, and somebody must know where to find it.
  void ReportStranded(const std::string& aside, const std::string& final) {
    boxes.Show(std::string("게시되어 있던 파일을 원래 이름으로 되돌리지 못했습니다.") + kCrLf +
                   "서버에서 아래 파일의 이름을 되돌려 주세요." + kCrLf + kCrLf +
                   codePage.ToUtf8(aside) + kCrLf + "-> " + codePage.ToUtf8(final),
               kStyleWarning);
  }

  // Remote directory and name in the server's code page, or nullopt after
  // a message.
  std::optional<std::pair<std::string, std::string>> RemoteNames(const std::string& remoteDir,
                                                                 const std::string& name) {
    const auto dirBytes = codePage.FromUtf8(remoteDir);
    const auto nameBytes = codePage.FromUtf8(name);
    if (!dirBytes || !nameBytes) {
      boxes.Show("원격 경로를 코드 페이지 949로 바꿀 수 없습니다: " + remoteDir + "/" + name,
                 kStyleWarning);
      return std::nullopt;
    }
    if (HasControlCharacter(*dirBytes) || HasControlCharacter(*nameBytes)) {
      boxes.Show("원격 경로에 제어 문자가 들어 있어 보낼 수 없습니다.", kStyleWarning);
      return std::nullopt;
    }
    return std::make_pair(*dirBytes, *nameBytes);
  }
};

FtpSession::FtpSession(MessageBoxes& boxes, FileSystem& files, const CodePage& codePage,
                       FtpTimeouts timeouts)
    : impl_(std::make_unique<Impl>(boxes, files, codePage, timeouts)) {}

FtpSession::~FtpSession() { FTP_Close(); }

bool FtpSession::isOpen() const { return impl_->curl != nullptr; }
bool FtpSession::connectionLost() const { return impl_->dead; }
bool FtpSession::renameUnavailable() const { return impl_->cannotRename; }

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
  // Listings land in memory; without a write function libcurl would print
  // them on stdout.
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::OnData);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &s);
  // The debug hook is the one place libcurl shows every reply; with it set,
  // "verbose" prints nothing.
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &Impl::OnDebug);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &s);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);

  s.curl = std::move(curl);
  s.dead = false;
  s.cannotRename = false;
  const CURLcode rc = s.Perform();
  if (rc != CURLE_OK) {
    s.curl.reset();  // the handle, session and connection go with it
    s.dead = false;
    s.boxes.Show(std::string("서버 접속 실패!") + kCrLf + "오류번호: " +
                     std::to_string(static_cast<int>(rc)),
                 kStyleWarning);
    return false;
  }
  s.baseUrl = baseUrl;
  return true;
}

std::optional<FtpStagedFile> FtpSession::StageFile(const std::string& localPath,
                                                   const std::string& remoteDir,
                                                   const std::string& remoteName,
                                                   ProgressDisplay* progress) {
  Impl& s = *impl_;
  std::string name = remoteName;
  if (name.empty()) {
    if (LastSeparator(localPath) == std::string::npos) {
      s.boxes.Show("파일명을 알수 없습니다.", kStyleOkOnly, "FTP Upload");
      return std::nullopt;
    }
    name = FileNameOf(localPath);
  }
  if (!isOpen()) {
    ShowErrorReport(s.boxes, errors::InvalidArgument(), kUploadClosing);
    return std::nullopt;
  }

  // The local file is opened before anything happens on the server, so a
  // file that cannot be read never disturbs what is published.
  auto file = s.files.OpenForReading(localPath);
  if (!file) {
    ShowErrorReport(s.boxes,
                    s.files.FileExists(localPath) ? errors::PermissionDenied() : errors::FileNotFound(),
                    kUploadClosing);
    return std::nullopt;
  }
  const auto names = s.RemoteNames(remoteDir, name);
  if (!names) return std::nullopt;
  return s.Stage(std::move(file), names->first, names->second, progress);
}

std::optional<FtpStagedFile> FtpSession::StageText(const std::string& bytes,
                                                   const std::string& remoteDir,
                                                   const std::string& remoteName) {
  Impl& s = *impl_;
  if (remoteName.empty()) {
    s.boxes.Show("파일명을 알수 없습니다.", kStyleOkOnly, "FTP Upload");
    return std::nullopt;
  }
  if (!isOpen()) {
    ShowErrorReport(s.boxes, errors::InvalidArgument(), kUploadClosing);
    return std::nullopt;
  }
  const auto names = s.RemoteNames(remoteDir, remoteName);
  if (!names) return std::nullopt;
  return s.Stage(std::make_unique<MemoryFile>(bytes), names->first, names->second, nullptr);
}

bool FtpSession::Publish(FtpStagedFile& staged) {
  Impl& s = *impl_;
  if (!staged.pending_ || !s.usable()) {
    s.boxes.Show(kWriteFailedText, kStyleWarning);
    return false;
  }
  if (!s.cannotRename) {
    switch (s.Replace(staged)) {
      case ReplaceResult::kPublished:
        staged.pending_ = false;
        return true;
      case ReplaceResult::kFailed:
        s.boxes.Show(kWriteFailedText, kStyleWarning);
        return false;
      case ReplaceResult::kCannotRename:
        s.cannotRename = true;
        break;
    }
  }
  // An account that may not rename: what remains is to store over the
  // published name, as a plain upload does, and check what arrived.
  if (!s.Store(*staged.source_, staged.finalPath_, staged.progress_)) return false;
  if (!s.HoldsWhole(staged.finalPath_, staged.finalName_, staged.size_)) {
    s.boxes.Show(kWriteFailedText, kStyleWarning);
    return false;
  }
  s.Remove(staged.temporaryPath_);
  staged.pending_ = false;
  return true;
}

void FtpSession::Discard(FtpStagedFile& staged) {
  if (!staged.pending_) return;
  impl_->Remove(staged.temporaryPath_);
  staged.pending_ = false;
}

bool FtpSession::FTP_UPLoad(const std::string& localPath, const std::string& remoteDir,
                            const std::string& remoteName, ProgressDisplay* progress) {
  auto staged = StageFile(localPath, remoteDir, remoteName, progress);
  if (!staged) return false;
  if (Publish(*staged)) return true;
  Discard(*staged);
  return false;
}

void FtpSession::FTP_Close() {
  impl_->curl.reset();  // sends QUIT on a live connection and closes it
  impl_->baseUrl.clear();
}

}  // namespace parone

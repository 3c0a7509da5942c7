#include "transfer/ftp_store.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <optional>

#include "transfer/background_sha256.hpp"
#include "transfer/curl_easy.hpp"

namespace parone {
namespace {

// Feeds the source to libcurl: as many bytes as its buffer holds in one
// read, so the transfer is neither slowed to one packet per block nor to one
// file read per block.
struct UploadSource {
  RandomAccessFile* file = nullptr;
  std::uint64_t length = 0;
  std::uint64_t sent = 0;
  ProgressDisplay* progress = nullptr;
  // Fed every byte as it is handed to libcurl.
  BackgroundSha256* hash = nullptr;
  bool called = false;      // libcurl asked for data: the server accepted STOR
  bool readFailed = false;  // the local file could not be read

  std::size_t Fill(char* buffer, std::size_t room) {
    called = true;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(room, length - sent));
    if (n > 0 && file->ReadAt(sent, buffer, n) != n) {
      readFailed = true;
      return CURL_READFUNC_ABORT;
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

}  // namespace

bool IsTransient(const Error& error) {
  switch (error.kind) {
    case CodeKind::kFtp:
      return error.code == 421 || error.code == 425 || error.code == 426 || error.code == 450 ||
             error.code == 451;
    case CodeKind::kCurl:
      return error.code == CURLE_COULDNT_CONNECT || error.code == CURLE_PARTIAL_FILE ||
             error.code == CURLE_OPERATION_TIMEDOUT || error.code == CURLE_SEND_ERROR ||
             error.code == CURLE_RECV_ERROR || error.code == CURLE_FTP_ACCEPT_FAILED ||
             error.code == CURLE_FTP_ACCEPT_TIMEOUT || error.code == CURLE_GOT_NOTHING;
    default:
      return false;
  }
}

Result<StoredBytes> StoreFile(FtpConnection& connection, RandomAccessFile& file,
                              const std::string& remotePath, ProgressDisplay* progress,
                              bool hash, std::uint64_t offset) {
  if (!connection.isOpen() || connection.lost()) {
    return Error{Stage::kFolder, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT,
                 "the connection was lost after a time-out", remotePath, CURLE_OPERATION_TIMEDOUT};
  }
  UploadSource source;
  source.file = &file;
  source.length = file.Size();
  source.progress = progress;
  source.sent = std::min(offset, source.length);
  // Hashed on a thread of its own while the bytes are on their way; what the
  // server holds already is hashed from the local file first.
  std::optional<BackgroundSha256> digest;
  if (hash) {
    source.hash = &digest.emplace();
    std::string chunk(std::size_t{1} << 20, '\0');
    for (std::uint64_t at = 0; at < source.sent;) {
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), source.sent - at));
      if (file.ReadAt(at, chunk.data(), want) != want) {
        return Error{Stage::kStore, CodeKind::kRuntime, 57, "Device I/O error", remotePath};
      }
      digest->Update(chunk.data(), want);
      at += want;
    }
  }
  if (progress) progress->SetBytes(source.sent, source.length);

  CURL* h = connection.curl().get();
  const std::string url = connection.UrlOf(remotePath);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  // A resumed store appends the rest to what the server holds.
  curl_easy_setopt(h, CURLOPT_APPEND, source.sent > 0 ? 1L : 0L);
  // curl_off_t, not long: files over 2 GiB on 32-bit builds.
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(source.length - source.sent));
  curl_easy_setopt(h, CURLOPT_READFUNCTION, &UploadSource::Read);
  curl_easy_setopt(h, CURLOPT_READDATA, &source);
  connection.curl().ClearError();
  const auto rc = static_cast<CURLcode>(connection.Perform());
  curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
  curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(h, CURLOPT_APPEND, 0L);

  if (rc == CURLE_OK && source.sent == source.length) {
    return StoredBytes{source.length, hash ? digest->HexDigest() : std::string()};
  }
  if (source.readFailed) {
    return Error{Stage::kStore, CodeKind::kRuntime, 57, "Device I/O error", remotePath, rc};
  }
  const FtpReply reply = connection.LastReply();
  // Every byte went, and then the server said no (552 after the data, as a
  // quota check does): what it holds decides, not what it said.
  if (source.called && source.sent == source.length && reply.refused() && !connection.lost()) {
    const std::string name = remotePath.substr(remotePath.rfind('/') + 1);
    const auto held = connection.SizeOf(remotePath, name);
    if (held && *held == source.length) {
      return StoredBytes{source.length, hash ? digest->HexDigest() : std::string()};
    }
  }
  // A reply that refused the transfer says more than libcurl's summary of it.
  const bool byServer = reply.refused();
  Error error{source.called ? Stage::kStore : Stage::kFolder,
              byServer ? CodeKind::kFtp : CodeKind::kCurl,
              byServer ? reply.code : static_cast<long>(rc),
              byServer ? reply.line : connection.ErrorText(rc), remotePath, rc};
  if (rc == CURLE_OK) {
    // All the server's replies were positive, yet not every byte went: the
    // local file ended before its size said.
    error = Error{Stage::kStore, CodeKind::kNone, 0, "the local file ended early", remotePath, 0};
  }
  return error;
}

}  // namespace parone

// The queries about remote files on an FTP connection: whether a file is
// there and its size, folder listings, a small file's bytes, a new folder.
#include <curl/curl.h>

#include "transfer/ftp_connection.hpp"
#include "transfer/ftp_connection_impl.hpp"
#include "transfer/ftp_reply.hpp"

namespace parone {

Result<std::string> FtpConnection::ListOne(const std::string& path) {
  Impl& s = *impl_;
  if (!s.usable()) return Impl::Lost(Stage::kSizeCheck, path);
  // The login folder's URL with LIST of the one name instead of its listing.
  const CURLcode rc = s.Collect(s.baseUrl, ftp_detail::kListingLimit, false, "LIST " + path);
  if (rc != CURLE_OK) return s.FailureOf(Stage::kSizeCheck, rc, path);
  return s.listing;
}

Result<bool> FtpConnection::Exists(const std::string& path, const std::string& name) {
  const std::vector<FtpReply> r = Send({"TYPE I", "SIZE " + path});
  if (r[1].code == 0) {
    return Error{Stage::kSizeCheck, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT, "no reply to SIZE",
                 path, CURLE_OPERATION_TIMEDOUT};
  }
  if (r[1].code == 213) return true;
  if (r[1].code == 550) return false;
  // No usable SIZE: a listing of the name says whether it is there.
  const auto text = ListOne(path);
  if (text) return ParseListedSize(*text, name).has_value();
  const Error& e = text.error();
  if (e.kind == CodeKind::kFtp && e.code == 550) return false;
  return e;
}

bool FtpConnection::MakeFolder(const std::string& path) {
  const std::vector<FtpReply> r = Send({"MKD " + path});
  if (r[0].code == 257) return true;
  if (r[0].code == 0) return false;
  return ListNames(path).ok();
}

Result<std::vector<std::string>> FtpConnection::ListNames(const std::string& folder) {
  Impl& s = *impl_;
  if (!s.usable()) return Impl::Lost(Stage::kRename, folder);
  // A folder URL ends in "/": libcurl lists it.
  const CURLcode rc = s.Collect(UrlOf(folder) + "/", ftp_detail::kListingLimit, true);
  if (rc != CURLE_OK) return s.FailureOf(Stage::kRename, rc, folder);
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < s.listing.size()) {
    std::size_t end = s.listing.find('\n', start);
    if (end == std::string::npos) end = s.listing.size();
    std::string name = s.listing.substr(start, end - start);
    start = end + 1;
    while (!name.empty() && name.back() == '\r') name.pop_back();
    if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (!name.empty() && name != "." && name != "..") names.push_back(std::move(name));
  }
  return names;
}

Result<std::optional<std::string>> FtpConnection::Retrieve(const std::string& path,
                                                           const std::string& name,
                                                           std::size_t maxBytes) {
  Impl& s = *impl_;
  if (!s.usable()) return Impl::Lost(Stage::kStore, path);
  // Asked before RETR: libcurl opens the data connection before it learns
  // that the file is missing and then drops it unused, and a server may
  // answer that close with a late "226" that the next command would take
  // for its own reply (pyftpdlib over TLS does, whenever the handshake got
  // through in time). A missing lastver file is the usual case of a first
  // publish.
  const auto there = Exists(path, name);
  if (!there) {
    Error error = there.error();
    error.stage = Stage::kStore;
    return error;
  }
  if (!*there) return std::optional<std::string>();
  const CURLcode rc = s.Collect(UrlOf(path), maxBytes, false);
  if (rc == CURLE_OK) return std::optional<std::string>(std::move(s.listing));
  if (rc == CURLE_WRITE_ERROR && s.overflowed) {
    return Error{Stage::kStore, CodeKind::kNone, 0,
                 "larger than " + std::to_string(maxBytes) + " bytes", path, rc};
  }
  return s.FailureOf(Stage::kStore, rc, path);
}

Result<std::uint64_t> FtpConnection::SizeOf(const std::string& path, const std::string& name) {
  // SIZE counts bytes as stored only in binary mode.
  const std::vector<FtpReply> r = Send({"TYPE I", "SIZE " + path});
  if (r[1].code == 0) {
    return Error{Stage::kSizeCheck, CodeKind::kCurl, CURLE_OPERATION_TIMEDOUT,
                 "no reply to SIZE", path, CURLE_OPERATION_TIMEDOUT};
  }
  if (r[1].code == 213) {
    if (const auto stored = ParseSizeReply(r[1].line)) return *stored;
    return Error{Stage::kSizeCheck, CodeKind::kFtp, r[1].code, r[1].line, path};
  }
  // No usable SIZE (not implemented, or refused for a reason of its own):
  // the listing of that one name says the same.
  const auto text = ListOne(path);
  if (!text) return text.error();
  if (const auto listed = ParseListedSize(*text, name)) return *listed;
  return Error{Stage::kSizeCheck, CodeKind::kFtp, r[1].code,
               r[1].line + " (and no size for it in the listing)", path};
}

}  // namespace parone

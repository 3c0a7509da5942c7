#pragma once
// What the publish policy (ftp_session.cpp, ftp_pair.cpp) shares inside
// src/transfer: the short names staged and aside files get, bytes in memory
// read like a file, and the errors of renames. Not for use outside.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "common/error.hpp"
#include "common/hex_text.hpp"
#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "transfer/ftp_connection.hpp"
#include "transfer/ftp_session.hpp"

namespace parone::ftp_detail {

// Temporary and aside names: a dot, 12 random hex digits and a fixed
// suffix, 17 or 18 bytes whatever the final name's length, so that any name
// the server accepts leaves room for them.
inline std::string ShortName(const char* suffix) { return "." + RandomHex(12) + suffix; }

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

// A rename the server refused, in its own words; one it never answered is a
// time-out of the connection.
inline Error RenameError(const FtpReply& reply, const std::string& path) {
  constexpr long kTimedOut = 28;  // CURLE_OPERATION_TIMEDOUT
  if (reply.code == 0) {
    return Error{Stage::kRename, CodeKind::kCurl, kTimedOut, "no reply to the rename", path, kTimedOut};
  }
  return Error{Stage::kRename, CodeKind::kFtp, reply.code, reply.line, path};
}

// The old file could not be put back under its name (or the connection went
// before it could): it is whole, but only under the name it was moved aside
// to, and somebody must know where to find it.
inline Error Stranded(const std::string& aside, const CodePage& codePage) {
  return Error{Stage::kRename, CodeKind::kNone, kFtpOldFileAside,
               "the published file is left under another name", codePage.ToUtf8(aside)};
}

}  // namespace parone::ftp_detail

// POSIX implementation of the FileSystem interface defined in platform/file_system.hpp.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/hex_text.hpp"
#include "platform/file_system.hpp"

namespace parone {
namespace fs = std::filesystem;
namespace {

fs::path ToPath(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

class StreamFile final : public RandomAccessFile {
 public:
  explicit StreamFile(std::uint64_t size) : size_(size) {
    // A large buffer keeps block-by-block sequential reads cheap.
    stream_.rdbuf()->pubsetbuf(buffer_, sizeof buffer_);
  }
  bool Open(const fs::path& path) {
    stream_.open(path, std::ios::binary);
    return static_cast<bool>(stream_);
  }
  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (offset >= size_) return 0;
    // Seeking discards the stream's buffer, so only seek when the read does
    // not continue where the last one ended.
    if (offset != position_) {
      stream_.clear();
      stream_.seekg(static_cast<std::streamoff>(offset));
      if (!stream_) return 0;
    }
    stream_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    const auto got = static_cast<std::size_t>(stream_.gcount());
    position_ = stream_ ? offset + got : ~std::uint64_t{0};
    return got;
  }

 private:
  char buffer_[64 * 1024];
  std::ifstream stream_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

// Writes all of `bytes` to the descriptor, resuming after short writes.
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool NativeFileSystem::FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(ToPath(path), ec);
}

bool NativeFileSystem::FolderExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(ToPath(path), ec);
}

std::unique_ptr<RandomAccessFile> NativeFileSystem::OpenForReading(const std::string& path) {
  std::error_code ec;
  const fs::path p = ToPath(path);
  if (!fs::is_regular_file(p, ec)) return nullptr;
  const auto size = fs::file_size(p, ec);
  if (ec) return nullptr;
  auto file = std::make_unique<StreamFile>(size);
  if (!file->Open(p)) return nullptr;
  return file;
}

bool NativeFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool NativeFileSystem::WriteFileAtomically(const std::string& path, const std::string& bytes) {
  // A short name in the same folder: the path's own name plus a suffix
  // would not fit beside a name near the file system's length limit.
  const std::size_t slash = path.rfind('/');
  const std::string temp =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." + RandomHex(8) + ".tmp";
  // O_EXCL: never write through a file or link someone left at that name.
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool NativeFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // One write call: with O_APPEND the kernel places it whole at the end.
  ssize_t n;
  do {
    n = ::write(fd, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  const bool closed = ::close(fd) == 0;
  return closed && n == static_cast<ssize_t>(bytes.size());
}

bool NativeFileSystem::CopyFileReplacing(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(ToPath(from), ToPath(to), fs::copy_options::overwrite_existing, ec);
  return !ec;
}

bool NativeFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(ToPath(from), ToPath(to), ec);
  return !ec;
}

bool NativeFileSystem::DeleteFile(const std::string& path) {
  std::error_code ec;
  return fs::remove(ToPath(path), ec) && !ec;
}

bool NativeFileSystem::CreateFolders(const std::string& path) {
  std::error_code ec;
  fs::create_directories(ToPath(path), ec);
  return fs::is_directory(ToPath(path), ec);
}

std::optional<std::uint64_t> NativeFileSystem::FileSize(const std::string& path) {
  std::error_code ec;
  const fs::path p = ToPath(path);
  if (!fs::is_regular_file(p, ec)) return std::nullopt;
  const auto size = fs::file_size(p, ec);
  if (ec) return std::nullopt;
  return size;
}

std::string NativeFileSystem::AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code ec;
  const fs::path absolute = fs::absolute(ToPath(path), ec);
  if (ec) return path;
  const std::u8string text = absolute.u8string();
  return std::string(text.begin(), text.end());
}

std::optional<std::string> NativeFileSystem::ReadWholeFile(const std::string& path) {
  // read() rather than a stream's iterator: a folder opens, and the
  // iterator throws at the read that fails (EISDIR).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      if (n < 0) return std::nullopt;
      return bytes;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace parone

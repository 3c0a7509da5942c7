#include <filesystem>
#include <fstream>
#include <system_error>

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

}  // namespace

bool StdFileSystem::FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(ToPath(path), ec);
}

bool StdFileSystem::FolderExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(ToPath(path), ec);
}

std::unique_ptr<RandomAccessFile> StdFileSystem::OpenForReading(const std::string& path) {
  std::error_code ec;
  const fs::path p = ToPath(path);
  if (!fs::is_regular_file(p, ec)) return nullptr;
  const auto size = fs::file_size(p, ec);
  if (ec) return nullptr;
  auto file = std::make_unique<StreamFile>(size);
  if (!file->Open(p)) return nullptr;
  return file;
}

bool StdFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(ToPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool StdFileSystem::CopyFileReplacing(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(ToPath(from), ToPath(to), fs::copy_options::overwrite_existing, ec);
  return !ec;
}

bool StdFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(ToPath(from), ToPath(to), ec);
  return !ec;
}

bool StdFileSystem::DeleteFile(const std::string& path) {
  std::error_code ec;
  return fs::remove(ToPath(path), ec) && !ec;
}

std::optional<std::string> StdFileSystem::ReadWholeFile(const std::string& path) {
  std::ifstream in(ToPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace parone

// In-memory implementation of the FileSystem interface defined in platform/file_system.hpp.
#include "platform/fakes/memory_file_system.hpp"

#include <algorithm>
#include <cstring>

namespace parone {
namespace {

class MemoryFile final : public RandomAccessFile {
 public:
  MemoryFile(std::string bytes, std::shared_ptr<std::size_t> counter)
      : bytes_(std::move(bytes)), counter_(std::move(counter)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::uint64_t>(size, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.data() + offset, n);
    *counter_ += n;
    return n;
  }

 private:
  std::string bytes_;
  std::shared_ptr<std::size_t> counter_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> MemoryFileSystem::OpenForReading(const std::string& path) {
  const auto it = files_.find(path);
  if (it == files_.end()) return nullptr;
  return std::make_unique<MemoryFile>(it->second, bytesRead_);
}

std::optional<std::uint64_t> MemoryFileSystem::FileSize(const std::string& path) {
  const auto it = files_.find(path);
  if (it == files_.end()) return std::nullopt;
  return it->second.size();
}

bool MemoryFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  files_[path] += bytes;
  return true;
}

bool MemoryFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  files_[path] = bytes;
  return true;
}

bool MemoryFileSystem::CopyFileReplacing(const std::string& from, const std::string& to) {
  const auto it = files_.find(from);
  if (it == files_.end()) return false;
  files_[to] = it->second;
  return true;
}

bool MemoryFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  const auto it = files_.find(from);
  if (it == files_.end()) return false;
  std::string bytes = std::move(it->second);
  files_.erase(it);
  files_[to] = std::move(bytes);
  return true;
}

bool MemoryFileSystem::DeleteFile(const std::string& path) { return files_.erase(path) != 0; }

std::optional<std::string> MemoryFileSystem::ReadWholeFile(const std::string& path) {
  const auto it = files_.find(path);
  if (it == files_.end()) return std::nullopt;
  *bytesRead_ += it->second.size();
  return it->second;
}

}  // namespace parone

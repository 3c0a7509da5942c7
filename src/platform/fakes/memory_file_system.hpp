#pragma once
// An in-memory file system for tests. Paths are plain keys (no folder
// semantics beyond the folders explicitly added); it never touches the disk.
// Counts the bytes handed out through OpenForReading so tests can check how
// much of a file a reader looked at.

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/file_system.hpp"

namespace parone {

class MemoryFileSystem final : public FileSystem {
 public:
  void AddFile(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
  void AddFolder(const std::string& path) { folders_.insert(path); }
  const std::map<std::string, std::string>& files() const { return files_; }
  std::size_t bytesRead() const { return *bytesRead_; }

  bool FileExists(const std::string& path) override { return files_.count(path) != 0; }
  bool FolderExists(const std::string& path) override { return folders_.count(path) != 0; }
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path) override;
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  bool WriteFileAtomically(const std::string& path, const std::string& bytes) override {
    return WriteFile(path, bytes);
  }
  bool AppendToFile(const std::string& path, const std::string& bytes) override;
  bool CopyFileReplacing(const std::string& from, const std::string& to) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateFolders(const std::string& path) override {
    AddFolder(path);
    return true;
  }
  std::optional<std::string> ReadWholeFile(const std::string& path) override;
  // Paths are plain keys here: every path counts as absolute.
  std::string AbsolutePath(const std::string& path) override { return path; }

 private:
  std::map<std::string, std::string> files_;
  std::set<std::string> folders_;
  std::shared_ptr<std::size_t> bytesRead_ = std::make_shared<std::size_t>(0);
};

}  // namespace parone

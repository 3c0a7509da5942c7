#pragma once
// File operations the workflow needs. All calls block; none throws. Paths
// are UTF-8 and use the platform's own separators.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parone {

// A file opened for reading at arbitrary offsets. ReadAt fills at most
// `size` bytes and returns how many it read (short at the end of the file,
// 0 on failure).
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  virtual std::uint64_t Size() const = 0;
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // An ordinary file (not a folder) exists at the path.
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  // The size of an ordinary file without opening it (a file another program
  // is still writing can be looked at); nullopt when there is none.
  virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
  // nullptr when the file cannot be opened (missing, a folder, no access).
  virtual std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path) = 0;
  // Creates or truncates the file and writes the bytes.
  virtual bool WriteFile(const std::string& path, const std::string& bytes) = 0;
  // Writes the bytes to a new file beside `path` (created exclusively, so
  // nothing already there is written through) and renames it over `path`:
  // readers see the old content or the new, never a part. A symbolic link
  // at `path` is replaced, not followed.
  virtual bool WriteFileAtomically(const std::string& path, const std::string& bytes) = 0;
  // Appends the bytes with one write to the file opened for appending
  // (created when missing), so that lines appended by several processes at
  // once never mix.
  virtual bool AppendToFile(const std::string& path, const std::string& bytes) = 0;
  virtual bool CopyFileReplacing(const std::string& from, const std::string& to) = 0;
  virtual bool RenameReplacing(const std::string& from, const std::string& to) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  // Creates the folder and any missing parents; true when it exists after.
  virtual bool CreateFolders(const std::string& path) = 0;
  virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
  // The path made absolute against the current folder; an absolute path
  // comes back as it is.
  virtual std::string AbsolutePath(const std::string& path) = 0;
};

// The platform's own file system: std::filesystem and POSIX calls on Linux,
// the wide-character Windows calls on Windows (the build picks the file).
class NativeFileSystem final : public FileSystem {
 public:
  bool FileExists(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  std::optional<std::uint64_t> FileSize(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& path) override;
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  bool WriteFileAtomically(const std::string& path, const std::string& bytes) override;
  bool AppendToFile(const std::string& path, const std::string& bytes) override;
  bool CopyFileReplacing(const std::string& from, const std::string& to) override;
  bool RenameReplacing(const std::string& from, const std::string& to) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateFolders(const std::string& path) override;
  std::optional<std::string> ReadWholeFile(const std::string& path) override;
  std::string AbsolutePath(const std::string& path) override;
};

}  // namespace parone

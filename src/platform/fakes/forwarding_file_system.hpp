#pragma once
// Test double of the FileSystem interface defined in platform/file_system.hpp:
// hands every call to another file system (by default the native one), so a
// test overrides only the calls it wants to fail or watch. It adds no
// behaviour of its own.

#include "platform/file_system.hpp"

namespace parone {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem* inner = nullptr) : inner_(inner ? *inner : native_) {}

  bool FileExists(const std::string& p) override { return inner_.FileExists(p); }
  bool FolderExists(const std::string& p) override { return inner_.FolderExists(p); }
  std::optional<std::uint64_t> FileSize(const std::string& p) override { return inner_.FileSize(p); }
  std::unique_ptr<RandomAccessFile> OpenForReading(const std::string& p) override {
    return inner_.OpenForReading(p);
  }
  bool WriteFile(const std::string& p, const std::string& b) override { return inner_.WriteFile(p, b); }
  bool WriteFileAtomically(const std::string& p, const std::string& b) override {
    return inner_.WriteFileAtomically(p, b);
  }
  bool AppendToFile(const std::string& p, const std::string& b) override {
    return inner_.AppendToFile(p, b);
  }
  bool CopyFileReplacing(const std::string& f, const std::string& t) override {
    return inner_.CopyFileReplacing(f, t);
  }
  bool RenameReplacing(const std::string& f, const std::string& t) override {
    return inner_.RenameReplacing(f, t);
  }
  bool DeleteFile(const std::string& p) override { return inner_.DeleteFile(p); }
  bool CreateFolders(const std::string& p) override { return inner_.CreateFolders(p); }
  std::optional<std::string> ReadWholeFile(const std::string& p) override {
    return inner_.ReadWholeFile(p);
  }
  std::string AbsolutePath(const std::string& p) override { return inner_.AbsolutePath(p); }

 private:
  NativeFileSystem native_;
  FileSystem& inner_;
};

}  // namespace parone

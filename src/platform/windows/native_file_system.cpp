// Windows implementation of the FileSystem interface defined in platform/file_system.hpp.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/file_system.hpp"
#include "platform/windows/win32.hpp"

namespace parone {
namespace {

using win32::LongPath;
using win32::Own;
using win32::UniqueHandle;

// One ReadFile or WriteFile call moves at most a DWORD's worth; stay well below.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

UniqueHandle OpenExisting(const std::string& path) {
  // Others may go on reading, writing, renaming or deleting the file while we
  // read it (a build may still be writing it; the signing service renames).
  return Own(::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                           nullptr));
}

// Reads at an absolute offset without moving a shared file position.
std::size_t ReadRaw(HANDLE file, std::uint64_t offset, void* buffer, std::size_t size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min(size, kMaxChunk));
  if (!::ReadFile(file, buffer, want, &got, &at)) return 0;  // ERROR_HANDLE_EOF included
  return got;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, kMaxChunk));
    if (!::WriteFile(file, bytes.data() + done, want, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

class WindowsFile final : public RandomAccessFile {
 public:
  WindowsFile(UniqueHandle handle, std::uint64_t size)
      : handle_(std::move(handle)), size_(size), buffer_(64 * 1024) {}
  std::uint64_t Size() const override { return size_; }

  std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t size) override {
    if (offset >= size_) return 0;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
    auto* target = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < size) {
      const std::uint64_t at = offset + done;
      if (at >= bufferStart_ && at < bufferStart_ + bufferLength_) {
        // Block-by-block sequential reads are served from the last read-ahead.
        const auto skip = static_cast<std::size_t>(at - bufferStart_);
        const std::size_t n = std::min(size - done, bufferLength_ - skip);
        std::memcpy(target + done, buffer_.data() + skip, n);
        done += n;
        continue;
      }
      if (size - done >= buffer_.size()) {
        const std::size_t n = ReadRaw(handle_.get(), at, target + done, size - done);
        if (n == 0) break;
        done += n;
        continue;
      }
      bufferStart_ = at;
      bufferLength_ = ReadRaw(handle_.get(), at, buffer_.data(), buffer_.size());
      if (bufferLength_ == 0) break;
    }
    return done;
  }

 private:
  UniqueHandle handle_;
  std::uint64_t size_;
  std::vector<char> buffer_;
  std::uint64_t bufferStart_ = 0;
  std::size_t bufferLength_ = 0;
};

// A short name in the folder of `longPath` (LongPath form, so the rename
// stays on one volume) that no other writer in this process or another
// picks at the same time; CREATE_NEW refuses the rare clash anyway. Short,
// because the file's own name plus a suffix would not fit beside a name
// near the length limit.
std::wstring TemporaryBeside(const std::wstring& longPath, int attempt) {
  static std::atomic<unsigned> counter{0};
  const auto hex = [](std::uint64_t value) {
    std::wstring digits;
    do {
      digits.insert(digits.begin(), L"0123456789abcdef"[value & 0xF]);
      value >>= 4;
    } while (value != 0);
    return digits;
  };
  return longPath.substr(0, longPath.find_last_of(L'\\') + 1) + L"." +
         hex(::GetCurrentProcessId()) + L"." + hex(::GetTickCount64()) + L"." +
         hex(counter.fetch_add(1)) + L"." + hex(static_cast<unsigned>(attempt)) + L".tmp";
}

std::optional<WIN32_FILE_ATTRIBUTE_DATA> Attributes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return data;
}

bool CreateFoldersW(const std::wstring& path) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD error = ::GetLastError();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (error != ERROR_PATH_NOT_FOUND) return false;
  const auto slash = path.find_last_of(L'\\');
  // Stop at the root ("\\?\C:\", "\\?\UNC\server\share"): it cannot be made.
  if (slash == std::wstring::npos || slash < 7) return false;
  if (!CreateFoldersW(path.substr(0, slash))) return false;
  // Another process (or thread) may make the same folder meanwhile: two
  // publishes at once begin the journal's folder together.
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD made = ::GetFileAttributesW(path.c_str());
  return made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsAbsolute(const std::string& path) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 2 && separator(path[0]) && separator(path[1])) return true;  // UNC, \\?\.
  return path.size() >= 3 && path[1] == ':' && separator(path[2]);
}

}  // namespace

bool NativeFileSystem::FileExists(const std::string& path) {
  // As a directory look-up of ordinary files: folders, hidden and system
  // files do not count.
  const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                        FILE_ATTRIBUTE_SYSTEM)) == 0;
}

bool NativeFileSystem::FolderExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::uint64_t> NativeFileSystem::FileSize(const std::string& path) {
  const auto data = Attributes(path);
  if (!data || (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  return (std::uint64_t{data->nFileSizeHigh} << 32) | data->nFileSizeLow;
}

std::unique_ptr<RandomAccessFile> NativeFileSystem::OpenForReading(const std::string& path) {
  UniqueHandle file = OpenExisting(path);
  LARGE_INTEGER size{};
  if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size)) {
    return nullptr;
  }
  return std::make_unique<WindowsFile>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

bool NativeFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  const UniqueHandle file = Own(::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && WriteAll(file.get(), bytes);
}

bool NativeFileSystem::WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::wstring target = LongPath(path);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const std::wstring temp = TemporaryBeside(target, attempt);
    // CREATE_NEW: never write through a file or link someone left at that name.
    UniqueHandle file = Own(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    const bool written = WriteAll(file.get(), bytes);
    file.reset();  // closed before the rename, which needs the name unopened
    if (written && ::MoveFileExW(temp.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return false;
}

bool NativeFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  if (bytes.size() > kMaxChunk) return false;  // must stay one write
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes whole to the
  // end of the file. GENERIC_READ beside it because LockFileEx wants a
  // handle with read or write access, and write access would include
  // FILE_WRITE_DATA, which writes at the file pointer instead.
  const UniqueHandle file = Own(::CreateFileW(
      LongPath(path).c_str(), GENERIC_READ | FILE_APPEND_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // Writers that append at once also take turns on a lock: wine finds the
  // end and writes there as two steps, and two appenders could otherwise
  // land on the same end. The lock is one byte far past any end the file
  // will reach, not the whole file: a lock on bytes in use would make a
  // reader of the journal fail while a line goes in. A lock that cannot be
  // had (a file system without locks) leaves the append-only write, which
  // Windows itself keeps whole.
  OVERLAPPED turn{};
  turn.OffsetHigh = 0x40000000;  // 2^62
  const bool locked = ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn);
  DWORD written = 0;
  const bool ok = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr) &&
                  written == bytes.size();
  if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &turn);
  return ok;
}

bool NativeFileSystem::CopyFileReplacing(const std::string& from, const std::string& to) {
  return ::CopyFileW(LongPath(from).c_str(), LongPath(to).c_str(), FALSE) != 0;
}

bool NativeFileSystem::RenameReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool NativeFileSystem::DeleteFile(const std::string& path) {
  return ::DeleteFileW(LongPath(path).c_str()) != 0;
}

bool NativeFileSystem::CreateFolders(const std::string& path) {
  const std::wstring full = LongPath(path);
  if (full.empty()) return false;
  std::wstring trimmed = full;
  while (trimmed.size() > 7 && trimmed.back() == L'\\') trimmed.pop_back();
  return CreateFoldersW(trimmed);
}

std::optional<std::string> NativeFileSystem::ReadWholeFile(const std::string& path) {
  const UniqueHandle file = OpenExisting(path);
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
    if (got == 0) return bytes;
    bytes.append(buffer, got);
  }
}

std::string NativeFileSystem::AbsolutePath(const std::string& path) {
  if (path.empty() || IsAbsolute(path)) return path;
  const std::wstring wide = win32::Wide(path);
  std::vector<wchar_t> full(wide.size() + MAX_PATH);
  const DWORD n =
      ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0) return path;
  if (n >= full.size()) {
    full.resize(n + 1);
    if (::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr) ==
        0) {
      return path;
    }
  }
  return win32::Narrow(full.data());
}

}  // namespace parone

// POSIX implementation of the CredentialStore interface defined in platform/credential_store.hpp.
//
// The file `credentials` in the per-user folder holds one line per host and
// user:
//
//     HOST USER PASSWORD
//
// three fields separated by one blank. In each field the byte '%', blanks,
// '#' and control bytes (0x00-0x1F, 0x7F) are written as '%' and two hex
// digits ("pass word" is "pass%20word"); every other byte stands as it is,
// so ':' and Korean letters (UTF-8) stay readable. Lines that begin with
// '#' and empty lines are skipped; any other line that is not three fields
// with host and user not empty makes the whole file refused, with its line
// number, rather than half read.
//
// The file is read only when it is an ordinary file (not a link to one)
// owned by this user with no group or other permission bits. It is written
// whole to a new file of mode 0600 beside it and renamed over it, under a
// lock of the folder so that two writers do not lose each other's change.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/hex_text.hpp"
#include "platform/credential_store.hpp"
#include "platform/process_facts.hpp"

namespace parone {
namespace {

constexpr const char* kHeader =
    "# 파로네_배포 passwords: HOST USER PASSWORD, '%XX' for '%', blanks, '#' and control bytes\n";

struct Entry {
  std::string host;
  std::string user;
  std::string password;
};

// The file's entries, or why it may not be used.
struct Loaded {
  std::vector<Entry> entries;
  std::optional<std::string> refusal;
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes now and says whether the close went well (a write may fail there).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool NeedsEscape(unsigned char c) { return c == '%' || c == ' ' || c == '#' || c < 0x20 || c == 0x7F; }

std::string Escape(const std::string& field) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte)) {
      out += '%';
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int high = HexValue(field[i + 1]);
    const int low = HexValue(field[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// One line without its end; nullopt when it is no entry.
std::optional<Entry> ParseLine(std::string_view line) {
  const auto first = line.find(' ');
  if (first == std::string_view::npos) return std::nullopt;
  const auto second = line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  auto host = Unescape(line.substr(0, first));
  auto user = Unescape(line.substr(first + 1, second - first - 1));
  auto password = Unescape(line.substr(second + 1));
  if (!host || !user || !password || host->empty() || user->empty()) return std::nullopt;
  return Entry{std::move(*host), std::move(*user), std::move(*password)};
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

class FileCredentialStore final : public CredentialStore {
 public:
  explicit FileCredentialStore(std::string folder) : folder_(std::move(folder)) {}

  StoredPassword Read(const std::string& host, const std::string& user) override {
    StoredPassword result;
    const Loaded loaded = Load();
    if (loaded.refusal) {
      result.status = StoredPassword::Status::kRefused;
      result.reason = *loaded.refusal;
      return result;
    }
    for (const Entry& entry : loaded.entries) {
      if (entry.host == host && entry.user == user) {
        result.status = StoredPassword::Status::kFound;
        result.password = entry.password;
      }
    }
    return result;
  }

  bool Write(const std::string& host, const std::string& user,
             const std::string& password) override {
    if (host.empty() || user.empty() || folder_.empty() || !MakeFolders()) return false;
    const Descriptor lock = LockFolder();
    if (!lock) return false;
    Loaded loaded = Load();
    if (loaded.refusal) return false;
    bool replaced = false;
    for (Entry& entry : loaded.entries) {
      if (entry.host == host && entry.user == user) {
        entry.password = password;
        replaced = true;
      }
    }
    if (!replaced) loaded.entries.push_back({host, user, password});
    return Save(loaded.entries);
  }

  bool Erase(const std::string& host, const std::string& user) override {
    if (folder_.empty()) return false;
    if (::access(folder_.c_str(), F_OK) != 0 && errno == ENOENT) return true;  // nothing ever stored
    const Descriptor lock = LockFolder();
    if (!lock) return false;
    Loaded loaded = Load();
    if (loaded.refusal) return false;
    const auto before = loaded.entries.size();
    std::erase_if(loaded.entries,
                  [&](const Entry& entry) { return entry.host == host && entry.user == user; });
    return loaded.entries.size() == before || Save(loaded.entries);
  }

 private:
  std::string FilePath() const { return folder_ + "/credentials"; }

  Loaded Load() const {
    if (folder_.empty()) {
      return {{}, "there is no per-user folder to keep passwords in (HOME is not set)"};
    }
    const std::string path = FilePath();
    // O_NOFOLLOW: a link at the name is refused, not followed to whatever
    // it points at. O_NONBLOCK: a FIFO put there must not hang the read.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) {
      const int error = errno;
      if (error == ENOENT) return {};
      if (error == ELOOP) {
        return {{}, path + " is a symbolic link; passwords are read only from a file of their own"};
      }
      return {{}, path + ": " + std::strerror(error)};
    }
    // The checks are made on what was opened, so nothing can be swapped in
    // between them and the read.
    struct stat facts {};
    if (::fstat(file.get(), &facts) != 0) return {{}, path + ": " + std::strerror(errno)};
    if (!S_ISREG(facts.st_mode)) return {{}, path + " is not an ordinary file"};
    if (facts.st_uid != ::geteuid()) {
      return {{},
              path + " belongs to user id " + std::to_string(facts.st_uid) + ", not to this user (" +
                  std::to_string(::geteuid()) + ")"};
    }
    if ((facts.st_mode & 077) != 0) {
      return {{},
              path + " has mode " + ModeText(facts.st_mode) +
                  "; it must be readable and writable by its owner alone (chmod 600)"};
    }
    std::string text;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return {{}, path + ": " + std::strerror(errno)};
      if (n == 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    Loaded loaded;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string_view line(text.data() + start, end - start);
      start = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows
      if (line.empty() || line.front() == '#') continue;
      auto entry = ParseLine(line);
      if (!entry) {
        return {{}, path + " line " + std::to_string(number) + " is not HOST USER PASSWORD"};
      }
      loaded.entries.push_back(std::move(*entry));
    }
    return loaded;
  }

  // Creates the folder and missing parents, for this user alone.
  bool MakeFolders() const {
    for (std::size_t at = 1; at <= folder_.size(); ++at) {
      if (at != folder_.size() && folder_[at] != '/') continue;
      const std::string part = folder_.substr(0, at);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat facts {};
    return ::stat(folder_.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode);
  }

  // Held while the file is read, changed and renamed over.
  Descriptor LockFolder() const {
    Descriptor folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) {
      int rc;
      do {
        rc = ::flock(folder.get(), LOCK_EX);
      } while (rc != 0 && errno == EINTR);
      if (rc != 0) return Descriptor(-1);
    }
    return folder;
  }

  bool Save(const std::vector<Entry>& entries) const {
    std::string text = kHeader;
    for (const Entry& entry : entries) {
      text += Escape(entry.host) + " " + Escape(entry.user) + " " + Escape(entry.password) + "\n";
    }
    const std::string temp = folder_ + "/.credentials." + RandomHex(12) + ".tmp";
    // O_EXCL and O_NOFOLLOW: a new file of our own, never one (or a link)
    // someone left at that name. Mode 0600 from its first instant; fchmod
    // also undoes a umask that would take the owner's own bits away.
    Descriptor file(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file) return false;
    bool ok = ::fchmod(file.get(), 0600) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
      const ssize_t n = ::write(file.get(), text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(file.get()) == 0;
    ok = file.Close() && ok;
    // rename replaces whatever is at the name, a link included, and never
    // writes through it.
    if (!ok || ::rename(temp.c_str(), FilePath().c_str()) != 0) {
      ::unlink(temp.c_str());
      return false;
    }
    return true;
  }

  std::string folder_;
};

}  // namespace

std::unique_ptr<CredentialStore> MakeNativeCredentialStore(const ProcessFacts& facts) {
  return std::make_unique<FileCredentialStore>(facts.UserDataFolder());
}

}  // namespace parone

#pragma once
// Failures as values. An Error is born where a step fails, with the stage
// of the publish it belongs to, a code and the other side's own words; it
// travels up as a value and becomes a message box only at the edge that
// talks to the user (the run). Nothing here shows or throws anything.

#include <cassert>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace parone {

// Where in a publish something failed.
enum class Stage {
  kInput,        // the selection itself: a path that is no file, a name that cannot be sent
  kConnect,      // reaching the FTP server
  kLogin,        // the server refused the account
  kFolder,       // the server would not open the remote file for writing
  kStore,        // sending the bytes
  kSizeCheck,    // the server holds other than what was sent
  kRename,       // putting a staged file in place
  kLastVer,      // the lastver file: reading the server's record, or putting the new one
  kReadBack,     // reading the publish back over HTTP
  kVersionRead,  // reading a file's version resource
  kPacker,       // the UPX step
  kSigning,      // the code-signing hand-off
  kJournal,      // recording the attempt
  kStopped,      // the user stopped the run
};

// What `Error::code` counts in.
enum class CodeKind {
  kNone,     // no code: our own check failed (the message says which)
  kCurl,     // a libcurl result code
  kFtp,      // an FTP reply code
  kHttp,     // an HTTP status
  kOs,       // the operating system's error number
  kRuntime,  // a run-time error number of the error report ("Error 53 (File not found) ...")
};

struct Error {
  Stage stage = Stage::kInput;
  CodeKind kind = CodeKind::kNone;
  long code = 0;
  // The other side's or the system's own text: the server's reply line,
  // libcurl's wording, the error description. UTF-8.
  std::string message{};
  // What it concerns, where that is not plain from the context: a remote
  // or local path, "host:port". UTF-8.
  std::string subject{};
  // libcurl's code for the transfer that failed, besides an FTP reply
  // code in `code` (a refused login is 530 from the server and 67 from
  // libcurl); 0 when no transfer failed.
  long transferCode = 0;
};

// "connect", "login", "size-check", ...: the stage as --json and the
// journal write it.
const char* StageName(Stage stage);
// The stage of a name StageName gives; nullopt for any other text.
std::optional<Stage> StageNamed(std::string_view name);

// Either a value or the Error that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit, as std::expected
  Result(Error error) : state_(std::move(error)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(ok());
    return std::get<0>(std::move(state_));
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const {
    assert(!ok());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, Error> state_;
};

// Success, or the Error that prevented it.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}  // NOLINT

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const {
    assert(!ok());
    return *error_;
  }

 private:
  std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace parone

#pragma once
// A stream buffer over a standard handle of a Windows program. On a console
// the UTF-8 text is written as UTF-16 with WriteConsoleW, so Korean shows
// whatever the console's code page is; redirected to a file or a pipe, the
// UTF-8 bytes go out unchanged. Output is kept until a flush (std::flush,
// std::endl, a unit-buffered stream) or until 4 KiB have gathered; a
// multi-byte character cut by a flush waits for its remaining bytes.

#include <streambuf>
#include <string>

#include "platform/windows/win32.hpp"

namespace parone {

// True when the handle is a console (not a file, pipe or nothing).
bool IsConsole(HANDLE handle);

class ConsoleStreamBuffer final : public std::streambuf {
 public:
  // `which`: STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
  explicit ConsoleStreamBuffer(DWORD which);
  ~ConsoleStreamBuffer() override;
  ConsoleStreamBuffer(const ConsoleStreamBuffer&) = delete;
  ConsoleStreamBuffer& operator=(const ConsoleStreamBuffer&) = delete;

  bool isConsole() const { return console_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int sync() override;

 private:
  bool WriteOut(bool all);
  HANDLE handle_;
  bool console_;
  std::string pending_;
};

}  // namespace parone

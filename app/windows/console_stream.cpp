#include "windows/console_stream.hpp"

#include <algorithm>

namespace parone {
namespace {

constexpr std::size_t kFlushAt = 4096;

// The length of the longest prefix that ends on a whole UTF-8 character.
std::size_t WholeCharacters(const std::string& bytes) {
  const std::size_t size = bytes.size();
  for (std::size_t back = 1; back <= std::min<std::size_t>(3, size); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? size - back : size;
  }
  return size;
}

}  // namespace

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode);
}

ConsoleStreamBuffer::ConsoleStreamBuffer(DWORD which)
    : handle_(::GetStdHandle(which)), console_(IsConsole(handle_)) {}

ConsoleStreamBuffer::~ConsoleStreamBuffer() { WriteOut(true); }

ConsoleStreamBuffer::int_type ConsoleStreamBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  pending_ += traits_type::to_char_type(c);
  if (pending_.size() >= kFlushAt && !WriteOut(false)) return traits_type::eof();
  return c;
}

std::streamsize ConsoleStreamBuffer::xsputn(const char* bytes, std::streamsize count) {
  pending_.append(bytes, static_cast<std::size_t>(count));
  if (pending_.size() >= kFlushAt && !WriteOut(false)) return 0;
  return count;
}

int ConsoleStreamBuffer::sync() { return WriteOut(false) ? 0 : -1; }

bool ConsoleStreamBuffer::WriteOut(bool all) {
  if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
    pending_.clear();  // no such stream (a program started without one)
    return true;
  }
  const std::size_t ready = all ? pending_.size() : WholeCharacters(pending_);
  if (ready == 0) return true;
  bool ok = true;
  if (console_) {
    const std::wstring wide = win32::Wide(std::string_view(pending_).substr(0, ready));
    std::size_t done = 0;
    while (ok && done < wide.size()) {
      DWORD written = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      ok = ::WriteConsoleW(handle_, wide.data() + done, want, &written, nullptr) && written > 0;
      done += written;
    }
  } else {
    std::size_t done = 0;
    while (ok && done < ready) {
      DWORD written = 0;
      ok = ::WriteFile(handle_, pending_.data() + done, static_cast<DWORD>(ready - done), &written,
                       nullptr) &&
           written > 0;
      done += written;
    }
  }
  pending_.erase(0, ready);
  return ok;
}

}  // namespace parone

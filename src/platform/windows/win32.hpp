#pragma once
// The Windows headers as the Windows implementations include them, with the
// few helpers they share: owners for handles and registry keys, UTF-8 and
// UTF-16 at the call, long-path forms and the system's wording of an error.
// Included only by files under platform/windows/ and the Windows front ends.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The interfaces have methods of these names; the tool calls the W
// functions by their own names.
#undef DeleteFile
#undef CopyFile
#undef MoveFile
#undef CreateDirectory
#undef GetCommandLine

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace parone::win32 {

// Closes a kernel handle; INVALID_HANDLE_VALUE and null both mean "none".
struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Takes ownership of what CreateFileW and friends return.
inline UniqueHandle Own(HANDLE handle) {
  return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct RegKeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyCloser>;

// Memory the system allocated with LocalAlloc (CommandLineToArgvW,
// FormatMessageW).
struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

// UTF-8 inside the tool, UTF-16 at the Windows call. Malformed input becomes
// U+FFFD.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The path as the wide file functions take it: made absolute, with "\"
// separators, and with the \\?\ (or \\?\UNC\) prefix that lifts the
// MAX_PATH limit. A path that already has a prefix is left as it is.
std::wstring LongPath(const std::string& utf8);

// The system's wording of a Win32 error code, e.g. "The system cannot find
// the file specified." followed by the code in parentheses.
std::string ErrorText(DWORD code);

}  // namespace parone::win32

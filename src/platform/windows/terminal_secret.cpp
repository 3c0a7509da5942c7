// Windows implementation of the interface defined in platform/terminal_secret.hpp.
#include "platform/terminal_secret.hpp"

#include "platform/windows/win32.hpp"

namespace parone {

std::optional<std::string> ReadLineUnechoed() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input == nullptr || input == INVALID_HANDLE_VALUE || !::GetConsoleMode(input, &mode)) {
    return std::nullopt;
  }
  // The console keeps the mode after the program: it is put back on every
  // way out, and Ctrl+C comes as a character that ends the read without a
  // password rather than ending the program with echo off.
  ::SetConsoleMode(input, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT |
                                                                          ENABLE_PROCESSED_INPUT));
  std::wstring line;
  bool ended = false;
  for (;;) {
    wchar_t unit = 0;
    DWORD read = 0;
    if (!::ReadConsoleW(input, &unit, 1, &read, nullptr) || read == 0 || unit == 0x03) break;
    if (unit == L'\n') {
      ended = true;
      break;
    }
    if (unit != L'\r') line += unit;
  }
  ::SetConsoleMode(input, mode);
  // The user's Enter did not show either.
  DWORD written = 0;
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (DWORD errorMode = 0; ::GetConsoleMode(error, &errorMode)) {
    ::WriteConsoleW(error, L"\r\n", 2, &written, nullptr);
  }
  std::string text = win32::Narrow(line);
  ::SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
  if (!ended) return std::nullopt;
  return text;
}

}  // namespace parone

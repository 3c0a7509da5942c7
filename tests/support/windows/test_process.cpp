// Windows part of the helpers declared in test_process.hpp.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "test_process.hpp"

namespace parone::testing {
namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

}  // namespace

void SetEnvironment(const std::string& name, const std::string& value) {
  // Both the C runtime's copy (getenv) and the process's block, which
  // started programs inherit.
  _wputenv_s(Wide(name).c_str(), Wide(value).c_str());
  SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

bool ProcessIsRunning(long pid) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return false;  // no such process (any more)
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace parone::testing

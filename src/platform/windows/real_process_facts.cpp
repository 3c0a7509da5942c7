// Windows implementation of the ProcessFacts interface defined in platform/process_facts.hpp.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/process_facts.hpp"
#include "platform/windows/win32.hpp"

#include <lmcons.h>
#include <shlobj.h>

#ifndef PARONE_VERSION_MAJOR
#error "the build passes the program version"
#endif

namespace parone {
namespace {

std::wstring OwnPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);  // cut short: the path is longer than the buffer
  }
}

std::uint32_t ReadU32(const std::uint8_t* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace

std::string RealProcessFacts::OwnFolder() const {
  std::wstring path = OwnPath();
  if (path.starts_with(L"\\\\?\\")) path.erase(0, 4);
  const auto slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return ".";
  // The root of a drive keeps its backslash ("C:\"), any other folder has none.
  if (slash == 2 && path[1] == L':') return win32::Narrow(path.substr(0, 3));
  return win32::Narrow(path.substr(0, slash));
}

ProgramVersion RealProcessFacts::OwnVersion() const {
  const ProgramVersion built{PARONE_VERSION_MAJOR, PARONE_VERSION_MINOR, PARONE_VERSION_PATCH};
  // The program's own version resource: VS_VERSIONINFO starts with three
  // words and the key "VS_VERSION_INFO" (16 UTF-16 units with its NUL),
  // then VS_FIXEDFILEINFO at the next 32-bit boundary, offset 40.
  const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
  if (!found) return built;  // a program without one (the tests) has the build's numbers
  const HGLOBAL loaded = ::LoadResource(nullptr, found);
  const DWORD size = ::SizeofResource(nullptr, found);
  const auto* block = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
  constexpr DWORD kFixed = 40;
  if (!block || size < kFixed + 16 || ReadU32(block + kFixed) != 0xFEEF04BDu) return built;
  // Major.minor in the high double word; the revision is the last of the
  // four numbers, as the resource compiler of the old tool wrote them
  // (FILEVERSION 1,1,0,33 is version 1.1, revision 33).
  const std::uint32_t high = ReadU32(block + kFixed + 8);
  const std::uint32_t low = ReadU32(block + kFixed + 12);
  return {static_cast<int>(high >> 16), static_cast<int>(high & 0xFFFF),
          static_cast<int>(low & 0xFFFF)};
}

std::string RealProcessFacts::UserName() const {
  wchar_t name[UNLEN + 1];
  DWORD size = UNLEN + 1;
  if (!::GetUserNameW(name, &size) || size == 0) return "";
  return win32::Narrow(std::wstring_view(name, size - 1));  // size counted the NUL
}

std::string RealProcessFacts::MachineName() const {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &size)) return "";
  return win32::Narrow(std::wstring_view(name, size));
}

std::string RealProcessFacts::UserDataFolder() const {
  // %APPDATA% first, as the user (and a test) may point it elsewhere; the
  // shell's roaming application data folder where it is not set.
  std::wstring folder(32768, L'\0');
  DWORD n = ::GetEnvironmentVariableW(L"APPDATA", folder.data(), static_cast<DWORD>(folder.size()));
  if (n == 0 || n >= folder.size()) {
    folder.assign(MAX_PATH, L'\0');
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder.data()))) {
      return "";
    }
    n = static_cast<DWORD>(folder.find(L'\0'));
  }
  folder.resize(n);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  if (folder.empty()) return "";
  return win32::Narrow(folder) + "\\파로네_배포";
}

std::chrono::system_clock::time_point RealProcessFacts::Now() const {
  return std::chrono::system_clock::now();
}

}  // namespace parone

// Windows part of the fake program declared in fake_program.hpp.
#include <windows.h>
#include <shellapi.h>

#include "fake_program.hpp"

namespace parone::testing {

std::vector<std::string> FakeProgramArguments(int, char**) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
    args.push_back(arg);
  }
  LocalFree(argv);
  return args;
}

}  // namespace parone::testing

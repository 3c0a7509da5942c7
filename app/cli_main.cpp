#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  parone::StdFileSystem files;
  parone::CliContext context{std::cout, std::cerr, std::cin, files, isatty(0) != 0};
  return parone::RunCli(args, context);
}

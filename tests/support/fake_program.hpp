#pragma once
// The one thing the fake program does differently per platform.

#include <string>
#include <vector>

namespace parone::testing {

// The program's arguments after its name, as UTF-8 (Windows: read from the
// UTF-16 command line, so the ANSI code page does not mangle them).
std::vector<std::string> FakeProgramArguments(int argc, char** argv);

}  // namespace parone::testing

#pragma once
// What the fake program (fake_program.cpp) does differently per platform.

#include <string>
#include <vector>

namespace parone::testing {

// The program's arguments after its name, as UTF-8 (Windows: read from the
// UTF-16 command line, so the ANSI code page does not mangle them).
std::vector<std::string> FakeProgramArguments(int argc, char** argv);

// The path of the running program file, as UTF-8, so that it finds its
// control file in a Korean folder too.
std::string FakeProgramPath();

}  // namespace parone::testing

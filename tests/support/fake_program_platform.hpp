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

// Starts the running program file again with `args` (ASCII) and does not
// wait for it. The copy stays in what this process belongs to: its process
// group on Linux, its job on Windows. False when it could not be started.
bool StartCopyOfSelf(const std::vector<std::string>& args);

long OwnProcessId();

}  // namespace parone::testing

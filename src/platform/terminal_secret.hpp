#pragma once
// Reads a password typed at the terminal without showing it: echo is off
// while the user types and comes back afterwards, also when the read ends
// early or Ctrl+C interrupts it (which ends the program on Linux and the
// read, without a line, on Windows). The prompt is the caller's to write.
// Blocks until the user ends the line.

#include <optional>
#include <string>

namespace parone {

// The line typed on standard input, UTF-8, without its line end; nullopt
// when standard input is no terminal (nothing is read then) or the input
// ended before a line end.
std::optional<std::string> ReadLineUnechoed();

}  // namespace parone

// A stand-in for the programs the tool starts (the packer), built for the
// platform under test. Waits PARONE_FAKE_PROGRAM_SLEEP_MS milliseconds, then
// appends its working folder and each argument as "[arg]", one per line, to
// the file PARONE_FAKE_PROGRAM_LOG names (nothing without it), and ends with
// the status PARONE_FAKE_PROGRAM_EXIT (0 by default). The wait comes first,
// so a caller that did not wait finds no line yet.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "fake_program.hpp"

namespace {

long Number(const char* name) {
  const char* text = std::getenv(name);
  return text ? std::strtol(text, nullptr, 10) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::this_thread::sleep_for(std::chrono::milliseconds(Number("PARONE_FAKE_PROGRAM_SLEEP_MS")));
  if (const char* log = std::getenv("PARONE_FAKE_PROGRAM_LOG"); log && *log) {
    const std::u8string folder = std::filesystem::current_path().u8string();
    std::string lines(folder.begin(), folder.end());
    lines += '\n';
    for (const std::string& arg : parone::testing::FakeProgramArguments(argc, argv)) {
      lines += "[" + arg + "]\n";
    }
    std::ofstream(log, std::ios::binary | std::ios::app) << lines;
  }
  return static_cast<int>(Number("PARONE_FAKE_PROGRAM_EXIT"));
}

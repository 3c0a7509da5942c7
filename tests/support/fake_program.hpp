#pragma once
// Installs the fake program (fake_program.cpp, built by tests/CMakeLists.txt)
// into a test's own folder, with the control lines that choose what it does,
// so tests running at the same time never share one.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace parone::testing {

// Writes the control lines the fake program in `dir` follows from its next
// run on (see fake_program.cpp), replacing the earlier ones.
inline void ControlFakeProgram(const std::filesystem::path& dir,
                               const std::vector<std::string>& control) {
  std::ofstream out(dir / "fake_program.control", std::ios::binary | std::ios::trunc);
  for (const std::string& line : control) out << line << "\n";
}

// Copies the fake program into `dir` as `name` (plus the suffix programs
// have on this platform), writes `control` beside it, and returns its path
// as UTF-8.
inline std::string InstallFakeProgram(const std::filesystem::path& dir, const std::string& name,
                                      const std::vector<std::string>& control) {
  namespace fs = std::filesystem;
  const fs::path built = PARONE_FAKE_PROGRAM;
  fs::path program = dir / fs::path(std::u8string(name.begin(), name.end()));
  program += built.extension();
  fs::copy_file(built, program, fs::copy_options::overwrite_existing);
  ControlFakeProgram(dir, control);
  const std::u8string text = program.u8string();
  return std::string(text.begin(), text.end());
}

// What the program's "record" lines wrote: per run, its working folder and
// then each argument as "[arg]", one per line ("" before any).
inline std::string FakeProgramLog(const std::filesystem::path& dir) {
  std::ifstream in(dir / "fake_program.log", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace parone::testing

#pragma once
// Installs the fake packer (fake_packer.cpp, built by tests/CMakeLists.txt)
// into a test's own folder, with the control lines that choose what it does,
// so tests running at the same time never share one.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace parone::testing {

// Copies the fake packer into `dir` as `name` (plus the suffix programs
// have on this platform) and writes `control` beside it; returns its path.
inline std::string InstallFakePacker(const std::filesystem::path& dir, const std::string& name,
                                     const std::vector<std::string>& control) {
  namespace fs = std::filesystem;
  const fs::path built = PARONE_FAKE_PACKER;
  const fs::path program = dir / (name + built.extension().string());
  fs::copy_file(built, program, fs::copy_options::overwrite_existing);
  std::ofstream out(dir / "fake_packer.control", std::ios::binary | std::ios::trunc);
  for (const std::string& line : control) out << line << "\n";
  return program.string();
}

// What the packer's "record" lines wrote: per run, its working folder and
// then each argument as "[arg]", one per line.
inline std::string FakePackerLog(const std::filesystem::path& dir) {
  std::ifstream in(dir / "fake_packer.log", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace parone::testing

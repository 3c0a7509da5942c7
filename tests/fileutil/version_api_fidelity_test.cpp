#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "fileutil/pe_version_block.hpp"
#include "platform/windows/win32.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

// What the Windows version API hands out for the file; empty when it finds
// no version resource.
std::vector<std::uint8_t> FromVersionApi(const fs::path& file) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &handle);
  if (size == 0) return {};
  std::vector<std::uint8_t> block(size);
  if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return {};
  return block;
}

// Our own reader must deliver the bytes the platform's does for every real
// program file we have, and none where it finds none (a version resource not
// named 1): the API's buffer starts with the resource's block and goes on
// with a tail of the platform's own (room for ANSI copies and a signature),
// which the scan never looks at.
TEST(VersionApiFidelity, OurBlockIsWhereTheVersionApisBufferStartsForEveryProgramFile) {
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(PARONE_FIXTURE_DIR)) {
    if (entry.path().extension() != ".exe") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    NativeFileSystem files;
    const auto file = files.OpenForReading(entry.path().string());
    ASSERT_TRUE(file);
    const auto ours = ExtractVersionBlock(*file);
    const std::vector<std::uint8_t> api = FromVersionApi(entry.path());
    if (!ours) {
      EXPECT_TRUE(api.empty()) << "the API found a block of " << api.size() << " bytes";
      continue;
    }
    ASSERT_GE(api.size(), ours->size());
    EXPECT_EQ(std::vector<std::uint8_t>(api.begin(), api.begin() + static_cast<long>(ours->size())),
              *ours);
    ++compared;
  }
  EXPECT_GE(compared, 4);  // the fixtures with a version resource were all there
}

}  // namespace
}  // namespace parone

// Feeds arbitrary bytes both as a whole program file (header walk, resource
// tree, block extraction, certificate table) and directly as a version block
// (the scan).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fileutil/file_version.hpp"
#include "fileutil/pe_version_block.hpp"
#include "platform/fakes/memory_file_system.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  parone::MemoryFileSystem files;
  files.AddFile("f.exe", std::string(reinterpret_cast<const char*>(data), size));

  auto file = files.OpenForReading("f.exe");
  if (const auto block = parone::ExtractVersionBlock(*file)) {
    if (block->size() > parone::kMaxVersionBlockBytes) __builtin_trap();
    parone::ScanVersionBlock(*block);
  }
  parone::ScanVersionBlock(std::span<const std::uint8_t>(data, size));
  parone::FindCertificateTable(*file);

  parone::FileVersionReader reader(files);
  reader.GetFileVerString("f.exe", parone::kTrue16);
  reader.GetFileVerString("f.exe", parone::kFalse16);
  return 0;
}

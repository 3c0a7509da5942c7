#include "fileutil/pe_version_block.hpp"

#include <array>

namespace parone {
namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kVersionInfoName = 1;  // VS_VERSION_INFO
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::uint32_t kNameIsStringFlag = 0x80000000u;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kCertificateDirectoryIndex = 4;
// WIN_CERTIFICATE: dwLength, wRevision, wCertificateType, then the data.
constexpr std::uint32_t kCertificateHeaderBytes = 8;
constexpr std::uint16_t kCertificateTypePkcsSignedData = 2;
// The PE format allows 96 sections; more is a damaged or hostile file.
constexpr std::uint16_t kMaxSections = 96;

// Bounds-checked little-endian reads from the file: every read either
// delivers all requested bytes from inside the file or fails.
class BoundedReader {
 public:
  explicit BoundedReader(RandomAccessFile& file) : file_(file), size_(file.Size()) {}

  bool Read(std::uint64_t offset, void* out, std::size_t n) {
    if (offset > size_ || n > size_ - offset) return false;
    return file_.ReadAt(offset, out, n) == n;
  }
  std::optional<std::uint16_t> U16(std::uint64_t offset) {
    std::array<std::uint8_t, 2> b{};
    if (!Read(offset, b.data(), b.size())) return std::nullopt;
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset) {
    std::array<std::uint8_t, 4> b{};
    if (!Read(offset, b.data(), b.size())) return std::nullopt;
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }
  std::uint64_t size() const { return size_; }

 private:
  RandomAccessFile& file_;
  std::uint64_t size_;
};

struct Section {
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawPointer = 0;
};

// Maps a relative virtual address to a file offset such that `length` bytes
// starting there lie within the section's raw data.
std::optional<std::uint64_t> RvaToOffset(const std::vector<Section>& sections,
                                         std::uint32_t rva, std::uint32_t length) {
  for (const Section& s : sections) {
    const std::uint64_t start = s.virtualAddress;
    const std::uint64_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva < start || rva >= start + span) continue;
    const std::uint64_t delta = rva - start;
    if (delta + length > s.rawSize) return std::nullopt;  // not backed by file data
    return static_cast<std::uint64_t>(s.rawPointer) + delta;
  }
  return std::nullopt;
}

struct DirEntry {
  std::uint32_t name = 0;
  std::uint32_t target = 0;
};

class ResourceWalker {
 public:
  ResourceWalker(BoundedReader& in, const std::vector<Section>& sections,
                 std::uint32_t rootRva, std::uint32_t rootSize)
      : in_(in), sections_(sections), rootRva_(rootRva), rootSize_(rootSize) {}

  // Entries of the directory at `offset` within the resource tree.
  std::optional<std::vector<DirEntry>> Entries(std::uint32_t offset) {
    constexpr std::uint32_t kHeader = 16;
    const auto at = Locate(offset, kHeader);
    if (!at) return std::nullopt;
    const auto named = in_.U16(*at + 12);
    const auto ids = in_.U16(*at + 14);
    if (!named || !ids) return std::nullopt;
    const std::uint32_t count = static_cast<std::uint32_t>(*named) + *ids;
    if (count == 0) return std::vector<DirEntry>{};
    const auto entries = Locate(offset + kHeader, count * 8);
    if (!entries) return std::nullopt;
    std::vector<std::uint8_t> raw(count * 8u);
    if (!in_.Read(*entries, raw.data(), raw.size())) return std::nullopt;
    std::vector<DirEntry> out(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* p = raw.data() + i * 8u;
      out[i].name = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                    (static_cast<std::uint32_t>(p[2]) << 16) |
                    (static_cast<std::uint32_t>(p[3]) << 24);
      out[i].target = static_cast<std::uint32_t>(p[4]) | (static_cast<std::uint32_t>(p[5]) << 8) |
                      (static_cast<std::uint32_t>(p[6]) << 16) |
                      (static_cast<std::uint32_t>(p[7]) << 24);
    }
    return out;
  }

  std::optional<std::uint64_t> Locate(std::uint32_t offsetInTree, std::uint32_t length) {
    // A directory size of 0 is common in hand-made files; only the section
    // bounds are trusted then.
    if (rootSize_ != 0 &&
        (offsetInTree > rootSize_ || length > rootSize_ - offsetInTree)) {
      return std::nullopt;
    }
    const std::uint64_t rva = static_cast<std::uint64_t>(rootRva_) + offsetInTree;
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    return RvaToOffset(sections_, static_cast<std::uint32_t>(rva), length);
  }

 private:
  BoundedReader& in_;
  const std::vector<Section>& sections_;
  std::uint32_t rootRva_;
  std::uint32_t rootSize_;
};

// The subdirectory an entry points to; a leaf where a directory belongs is a
// malformed tree.
std::optional<std::uint32_t> Subdirectory(const DirEntry& e) {
  if ((e.target & kSubdirectoryFlag) == 0) return std::nullopt;
  return e.target & ~kSubdirectoryFlag;
}

// The parts of the MZ, COFF and optional headers both readers need.
struct PeHeaders {
  std::uint16_t sectionCount = 0;
  std::uint64_t optionalHeader = 0;
  std::uint16_t optionalSize = 0;
  std::uint64_t dataDirectories = 0;  // where entry 0 of the data directory starts
  std::uint32_t dataDirectoryCount = 0;

  // Where data directory entry `index` lies, when the header declares it and
  // it fits inside the optional header.
  std::optional<std::uint64_t> DataDirectory(std::uint32_t index) const {
    if (dataDirectoryCount <= index) return std::nullopt;
    const std::uint64_t at = dataDirectories + 8ull * index;
    if (at + 8 > optionalHeader + optionalSize) return std::nullopt;
    return at;
  }
};

// nullopt unless the file starts with the headers of a PE32 or PE32+ image.
std::optional<PeHeaders> ReadPeHeaders(BoundedReader& in) {
  const auto mz = in.U16(0);
  if (!mz || *mz != 0x5A4D) return std::nullopt;  // "MZ"
  const auto peOffset = in.U32(0x3C);
  if (!peOffset) return std::nullopt;
  const auto signature = in.U32(*peOffset);
  if (!signature || *signature != 0x00004550) return std::nullopt;  // "PE\0\0"

  PeHeaders h;
  const std::uint64_t coff = static_cast<std::uint64_t>(*peOffset) + 4;
  const auto sectionCount = in.U16(coff + 2);
  const auto optionalSize = in.U16(coff + 16);
  if (!sectionCount || !optionalSize || *sectionCount > kMaxSections) return std::nullopt;
  h.sectionCount = *sectionCount;
  h.optionalSize = *optionalSize;
  h.optionalHeader = coff + 20;

  const auto magic = in.U16(h.optionalHeader);
  if (!magic) return std::nullopt;
  std::uint64_t dirCountAt = 0;
  if (*magic == kMagicPe32) {
    dirCountAt = h.optionalHeader + 92;
  } else if (*magic == kMagicPe32Plus) {
    dirCountAt = h.optionalHeader + 108;
  } else {
    return std::nullopt;
  }
  const auto dirCount = in.U32(dirCountAt);
  if (!dirCount) return std::nullopt;
  h.dataDirectoryCount = *dirCount;
  h.dataDirectories = dirCountAt + 4;
  return h;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ExtractVersionBlock(RandomAccessFile& file) {
  BoundedReader in(file);
  const auto headers = ReadPeHeaders(in);
  if (!headers) return std::nullopt;
  const auto resourceDirAt = headers->DataDirectory(kResourceDirectoryIndex);
  if (!resourceDirAt) return std::nullopt;
  const auto resRva = in.U32(*resourceDirAt);
  const auto resSize = in.U32(*resourceDirAt + 4);
  if (!resRva || !resSize || *resRva == 0) return std::nullopt;

  const std::uint16_t sectionCount = headers->sectionCount;
  std::vector<Section> sections(sectionCount);
  const std::uint64_t table = headers->optionalHeader + headers->optionalSize;
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t at = table + 40ull * i;
    const auto vsize = in.U32(at + 8);
    const auto va = in.U32(at + 12);
    const auto rawSize = in.U32(at + 16);
    const auto rawPtr = in.U32(at + 20);
    if (!vsize || !va || !rawSize || !rawPtr) return std::nullopt;
    sections[i] = {*va, *vsize, *rawSize, *rawPtr};
  }

  ResourceWalker tree(in, sections, *resRva, *resSize);

  // Level 1: types. Only the numeric type 16 is the version resource.
  const auto types = tree.Entries(0);
  if (!types) return std::nullopt;
  std::optional<std::uint32_t> namesDir;
  for (const DirEntry& e : *types) {
    if ((e.name & kNameIsStringFlag) == 0 && e.name == kResourceTypeVersion) {
      namesDir = Subdirectory(e);
      break;
    }
  }
  if (!namesDir) return std::nullopt;

  // Level 2: names. Only name 1, as the version API looks for no other: a
  // file whose version resource is named otherwise has no version for
  // Windows, its tools and the update clients, so none for us either.
  const auto names = tree.Entries(*namesDir);
  if (!names) return std::nullopt;
  const DirEntry* chosen = nullptr;
  for (const DirEntry& e : *names) {
    if ((e.name & kNameIsStringFlag) == 0 && e.name == kVersionInfoName) {
      chosen = &e;
      break;
    }
  }
  if (!chosen) return std::nullopt;
  const auto langsDir = Subdirectory(*chosen);
  if (!langsDir) return std::nullopt;

  // Level 3: languages. The first one; it must point to a data entry.
  const auto langs = tree.Entries(*langsDir);
  if (!langs || langs->empty()) return std::nullopt;
  const DirEntry& lang = langs->front();
  if ((lang.target & kSubdirectoryFlag) != 0) return std::nullopt;

  const auto dataEntry = tree.Locate(lang.target, 16);
  if (!dataEntry) return std::nullopt;
  const auto dataRva = in.U32(*dataEntry);
  const auto dataSize = in.U32(*dataEntry + 4);
  if (!dataRva || !dataSize || *dataSize == 0 || *dataSize > kMaxVersionBlockBytes) {
    return std::nullopt;
  }
  // The data entry holds a plain RVA, not an offset within the tree.
  const auto dataAt = RvaToOffset(sections, *dataRva, *dataSize);
  if (!dataAt) return std::nullopt;

  std::vector<std::uint8_t> block(*dataSize);
  if (!in.Read(*dataAt, block.data(), block.size())) return std::nullopt;
  return block;
}

CertificateTable FindCertificateTable(RandomAccessFile& file) {
  BoundedReader in(file);
  const auto headers = ReadPeHeaders(in);
  if (!headers) return CertificateTable::kNotPe;
  const auto entryAt = headers->DataDirectory(kCertificateDirectoryIndex);
  if (!entryAt) return CertificateTable::kNone;
  const auto offset = in.U32(*entryAt);  // a file offset here, not an RVA
  const auto size = in.U32(*entryAt + 4);
  if (!offset || !size) return CertificateTable::kDamaged;
  if (*offset == 0 && *size == 0) return CertificateTable::kNone;
  if (*offset == 0 || *size < kCertificateHeaderBytes ||
      static_cast<std::uint64_t>(*offset) + *size > in.size()) {
    return CertificateTable::kDamaged;
  }
  // The first record must lie inside the table and be a PKCS#7 signature.
  const auto length = in.U32(*offset);
  const auto type = in.U16(static_cast<std::uint64_t>(*offset) + 6);
  if (!length || !type || *length <= kCertificateHeaderBytes || *length > *size ||
      *type != kCertificateTypePkcsSignedData) {
    return CertificateTable::kDamaged;
  }
  return CertificateTable::kPresent;
}

}  // namespace parone

#include "version_block_builder.hpp"

namespace parone::testing {
namespace {

class Writer {
 public:
  std::size_t size() const { return bytes_.size(); }
  void U16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void Text(const std::u16string& text, bool nul = true) {
    for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    if (nul) U16(0);
  }
  void Align4() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  void Bytes(std::size_t n, std::uint8_t v = 0) { bytes_.insert(bytes_.end(), n, v); }
  void PatchU16(std::size_t at, std::uint16_t v) {
    bytes_[at] = static_cast<std::uint8_t>(v & 0xFF);
    bytes_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  // Starts an entry; returns where its length word is, to patch at the end.
  std::size_t Begin(std::uint16_t valueLength, std::uint16_t type, const std::u16string& key) {
    const std::size_t start = bytes_.size();
    U16(0);
    U16(valueLength);
    U16(type);
    Text(key);
    Align4();
    return start;
  }
  void End(std::size_t start) { PatchU16(start, static_cast<std::uint16_t>(bytes_.size() - start)); }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContents& contents) {
  Writer w;
  const std::size_t root = w.Begin(52, 0, u"VS_VERSION_INFO");
  w.Bytes(4);  // VS_FIXEDFILEINFO signature 0xFEEF04BD, then zeros
  w.PatchU16(root + 40, 0x04BD);
  w.PatchU16(root + 42, 0xFEEF);
  w.Bytes(48);
  w.Align4();
  if (contents.withStringFileInfo) {
    const std::size_t sfi = w.Begin(0, 1, u"StringFileInfo");
    for (const StringTable& table : contents.tables) {
      const std::size_t t = w.Begin(0, 1, table.key);
      for (const StringValue& v : table.values) {
        const auto length =
            static_cast<std::uint16_t>(v.withNul ? v.value.size() + 1 : 0);
        const std::size_t s = w.Begin(length, 1, v.key);
        if (v.withNul || !v.value.empty()) w.Text(v.value, v.withNul);
        w.Align4();
        w.End(s);
      }
      w.End(t);
    }
    w.End(sfi);
  }
  const std::size_t vfi = w.Begin(0, 1, u"VarFileInfo");
  const std::size_t var = w.Begin(4, 0, u"Translation");
  w.U16(0x0412);
  w.U16(0x04B0);
  w.End(var);
  w.End(vfi);
  w.End(root);
  return w.Take();
}

std::vector<std::uint8_t> SimpleBlock(const std::u16string& tableKey,
                                      const std::vector<StringValue>& values) {
  return BuildVersionBlock({{{tableKey, values}}, true});
}

void PutU16(std::string& bytes, std::size_t at, std::uint16_t value) {
  if (bytes.size() < at + 2) bytes.resize(at + 2, '\0');
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  PutU16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
  PutU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::string BuildPe(const std::vector<std::uint8_t>& block, int bits, PeLayout* layout) {
  constexpr std::uint32_t kPeOffset = 0x80;
  constexpr std::uint32_t kFileAlign = 0x200;
  constexpr std::uint32_t kSectionRva = 0x1000;
  const bool plus = bits == 64;
  const std::uint16_t optionalSize = plus ? 240 : 224;

  std::string pe(kFileAlign, '\0');
  PutU16(pe, 0, 0x5A4D);
  PutU32(pe, 0x3C, kPeOffset);
  PutU32(pe, kPeOffset, 0x00004550);
  const std::uint32_t coff = kPeOffset + 4;
  PutU16(pe, coff, plus ? 0x8664 : 0x014C);
  PutU16(pe, coff + 2, 1);  // one section
  PutU16(pe, coff + 16, optionalSize);
  const std::uint32_t opt = coff + 20;
  PutU16(pe, opt, plus ? 0x20B : 0x10B);
  const std::uint32_t dirCount = opt + (plus ? 108 : 92);
  PutU32(pe, dirCount, 16);
  const std::uint32_t resDir = dirCount + 4 + 16;
  const std::uint32_t sectionTable = opt + optionalSize;

  // The resource tree: root -> type 16 -> name 1 -> language 0x412 -> data.
  std::string rsrc(0x70, '\0');
  auto dir = [&](std::uint32_t at, std::uint32_t id, std::uint32_t target) {
    PutU16(rsrc, at + 14, 1);  // one id entry
    PutU32(rsrc, at + 16, id);
    PutU32(rsrc, at + 20, target);
  };
  dir(0x00, 16, 0x80000000u | 0x18);
  dir(0x18, 1, 0x80000000u | 0x30);
  dir(0x30, 0x412, 0x48);
  const std::uint32_t dataRva = kSectionRva + 0x60;
  PutU32(rsrc, 0x48, dataRva);
  PutU32(rsrc, 0x4C, static_cast<std::uint32_t>(block.size()));
  rsrc.resize(0x60);
  rsrc.append(reinterpret_cast<const char*>(block.data()), block.size());
  const auto rawSize = static_cast<std::uint32_t>((rsrc.size() + kFileAlign - 1) / kFileAlign * kFileAlign);
  rsrc.resize(rawSize, '\0');

  PutU32(pe, resDir, kSectionRva);
  PutU32(pe, resDir + 4, static_cast<std::uint32_t>(rawSize));
  pe.replace(sectionTable, 5, ".rsrc");
  PutU32(pe, sectionTable + 8, rawSize);        // virtual size
  PutU32(pe, sectionTable + 12, kSectionRva);   // virtual address
  PutU32(pe, sectionTable + 16, rawSize);       // raw size
  PutU32(pe, sectionTable + 20, kFileAlign);    // raw pointer
  pe.resize(kFileAlign, '\0');
  pe += rsrc;

  if (layout) {
    *layout = {kPeOffset, opt, resDir, sectionTable, kFileAlign, kFileAlign + 0x48,
               kFileAlign + 0x60};
  }
  return pe;
}

}  // namespace parone::testing

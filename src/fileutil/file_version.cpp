#include "fileutil/file_version.hpp"

#include <array>
#include <new>
#include <utility>

#include "common/text_encoding.hpp"
#include "fileutil/pe_version_block.hpp"

namespace parone {
namespace {

constexpr char16_t kTextType = 0x0001;  // type word of a text entry
constexpr char16_t kNul = 0;

struct Language {
  const char* id;
  const char* name;
};

// Compared in this order; every id occurs once.
constexpr std::array<Language, 116> kLanguages{{
    {"0436", "Afrikaans"}, {"041C", "Albanian"}, {"3801", "Arabic - U.A.E."},
    {"3C01", "Arabic - Bahrain"}, {"1401", "Arabic - Algeria"}, {"0C01", "Arabic - Egypt"},
    {"0801", "Arabic - Iraq"}, {"2C01", "Arabic - Jordan"}, {"3401", "Arabic - Kuwait"},
    {"3001", "Arabic - Lebanon"}, {"1001", "Arabic - Libya"}, {"1801", "Arabic - Morocco"},
    {"2001", "Arabic - Oman"}, {"4001", "Arabic - Qatar"}, {"0401", "Arabic - Saudia Arabia"},
    {"2801", "Arabic - Syria"}, {"1C01", "Arabic - Tunisia"}, {"2401", "Arabic - Yemen"},
    {"042D", "Basque"}, {"0423", "Belarusian"}, {"0402", "Bulgarian"}, {"0403", "Catalan"},
    {"0804", "Chinese - PRC"}, {"0C04", "Chinese - Hong Kong S.A.R."},
    {"1004", "Chinese - Singapore"}, {"0404", "Chinese - Taiwan"}, {"041A", "Croatian"},
    {"0405", "Czech"}, {"0406", "Danish"}, {"0413", "Dutch"}, {"0813", "Dutch - Belgium"},
    {"0C09", "English - Australia"}, {"2809", "English - Belize"}, {"1009", "English - Canada"},
    {"1809", "English - Ireland"}, {"2009", "English - Jamaica"},
    {"1409", "English - New Zealand"}, {"1C09", "English - South Africa"},
    {"2C09", "English - Trinidad"}, {"0809", "English - United Kingdom"},
    {"0409", "English - United States"}, {"0425", "Estonian"}, {"0429", "Farsi"},
    {"040B", "Finnish"}, {"0438", "Faeroese"}, {"040C", "French - Standard"},
    {"080C", "French - Belgium"}, {"0C0C", "French - Canada"}, {"140C", "French - Luxembourg"},
    {"100C", "French - Switzerland"}, {"043C", "Gaelic - Scotland"},
    {"0407", "German - Standard"}, {"0C07", "German - Austrian"},
    {"1407", "German - Lichtenstein"}, {"1007", "German - Luxembourg"},
    {"0807", "German - Switzerland"}, {"0408", "Greek"}, {"040D", "Hebrew"}, {"0439", "Hindi"},
    {"040E", "Hungarian"}, {"040F", "Icelandic"}, {"0421", "Indonesian"},
    {"0410", "Italian - Standard"}, {"0810", "Italian - Switzerland"}, {"0411", "Japanese"},
    {"0412", "Korean"}, {"0426", "Latvian"}, {"0427", "Lithuanian"}, {"042F", "Macedonian"},
    {"043E", "Malay - Malaysia"}, {"043A", "Maltese"}, {"0414", "Norwegian - Bokm\uCC45l"},
    {"0415", "Polish"}, {"0816", "Portuguese - Standard"}, {"0416", "Portuguese - Brazil"},
    {"0417", "Raeto-Romance"}, {"0418", "Romanian"}, {"0818", "Romanian - Moldova"},
    {"0419", "Russian"}, {"0819", "Russian - Moldova"}, {"0C1A", "Serbian - Cyrillic"},
    {"0432", "Setsuana"}, {"0424", "Slovenian"}, {"041B", "Slovak"}, {"042E", "Sorbian"},
    {"040A", "Spanish - Standard"}, {"2C0A", "Spanish - Argentina"},
    {"400A", "Spanish - Bolivia"}, {"340A", "Spanish - Chile"}, {"240A", "Spanish - Columbia"},
    {"140A", "Spanish - Costa Rica"}, {"1C0A", "Spanish - Dominican Republic"},
    {"300A", "Spanish - Ecuador"}, {"100A", "Spanish - Guatemala"},
    {"480A", "Spanish - Honduras"}, {"080A", "Spanish - Mexico"},
    {"4C0A", "Spanish - Nicaragua"}, {"180A", "Spanish - Panama"}, {"280A", "Spanish - Peru"},
    {"500A", "Spanish - Puerto Rico"}, {"3C0A", "Spanish - Paraguay"},
    {"440A", "Spanish - El Salvador"}, {"380A", "Spanish - Uruguay"},
    {"200A", "Spanish - Venezuela"}, {"0430", "Sutu"}, {"041D", "Swedish"},
    {"081D", "Swedish - Finland"}, {"041E", "Thai"}, {"041F", "Turkish"}, {"0431", "Tsonga"},
    {"0422", "Ukranian"}, {"0420", "Urdu - Pakistan"}, {"042A", "Vietnamese"},
    {"0434", "Xhosa"}, {"043D", "Yiddish"}, {"0435", "Zulu"},
}};

std::vector<std::string> SplitKeys() {
  std::vector<std::string> keys;
  std::string_view rest = kVersionKeyList;
  for (;;) {
    const auto cut = rest.find(';');
    keys.emplace_back(rest.substr(0, cut));
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return keys;
}

// A row could not be built: raised inside the scan, recorded by its caller.
struct ScanFailure {
  long number;
  const char* description;
};

Error VersionError(long number, const char* description, const std::string& path = {}) {
  return Error{Stage::kVersionRead, CodeKind::kRuntime, number, description, path};
}

// The work text: as many 16-bit characters as the block has bytes, all
// spaces, with the block's bytes written over the start.
std::u16string MakeWorkText(std::span<const std::uint8_t> block) {
  std::u16string work(block.size(), u' ');
  for (std::size_t i = 0; i < block.size(); ++i) {
    char16_t& unit = work[i / 2];
    if (i % 2 == 0) {
      unit = static_cast<char16_t>((unit & 0xFF00) | block[i]);
    } else {
      unit = static_cast<char16_t>((unit & 0x00FF) | (block[i] << 8));
    }
  }
  return work;
}

std::u16string Marked(std::string_view key) {
  std::u16string pattern(1, kTextType);
  for (char c : key) pattern += static_cast<char16_t>(static_cast<unsigned char>(c));
  return pattern;
}

// The characters from `start` up to the next NUL. A text that runs to the
// end of the work text without one cannot be cut out.
std::u16string UpToNul(const std::u16string& work, std::size_t start) {
  const auto end = work.find(kNul, start);
  if (end == std::u16string::npos) throw ScanFailure{5, "Invalid procedure call or argument"};
  return work.substr(start, end - start);
}

bool IsNulAt(const std::u16string& work, std::size_t pos) {
  return pos < work.size() && work[pos] == kNul;
}

std::string ValueRow(const std::u16string& work, const std::string& key) {
  const auto p = work.find(Marked(key));
  if (p == std::u16string::npos) return key + ": Not specified";
  // The key's terminating NUL; one padding NUL may follow it.
  const std::size_t t = p + key.size() + 1;
  std::size_t start = t;
  if (IsNulAt(work, t + 1)) {
    start = t + 2;
  } else if (IsNulAt(work, t)) {
    start = t + 1;
  }
  return key + ": " + Utf16ToUtf8(UpToNul(work, start));
}

std::string LanguageRow(const std::u16string& work) {
  static const std::u16string kStringFileInfo = Marked("StringFileInfo");
  const auto p = work.find(kStringFileInfo);
  if (p == std::u16string::npos) return "Language";
  // The type word of the first StringTable, searched from the last letter of
  // "StringFileInfo" on.
  const auto table = work.find(kTextType, p + 14);
  if (table == std::u16string::npos) throw ScanFailure{5, "Invalid procedure call or argument"};
  return "Language: " + GetLanguageName(Utf16ToUtf8(UpToNul(work, table + 1)));
}

}  // namespace

std::string GetLanguageName(std::string_view tableKey) {
  std::string id(tableKey.substr(0, 4));
  for (char& c : id) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (const Language& language : kLanguages) {
    if (id == language.id) return language.name;
  }
  return "";
}

VersionScan ScanVersionBlock(std::span<const std::uint8_t> block) {
  const std::u16string work = MakeWorkText(block);
  const std::vector<std::string> keys = SplitKeys();
  VersionScan scan{keys, {}};  // a row whose building fails keeps its bare key

  auto guarded = [&](std::size_t row, auto&& build) {
    try {
      scan.rows[row] = build();
    } catch (const ScanFailure& failure) {
      scan.errors.push_back(VersionError(failure.number, failure.description));
    } catch (const std::bad_alloc&) {
      scan.errors.push_back(VersionError(7, "Out of memory"));
    }
  };
  for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
    guarded(i, [&] { return ValueRow(work, keys[i]); });
  }
  guarded(keys.size() - 1, [&] { return LanguageRow(work); });
  return scan;
}

std::optional<VersionScan> FileVersionReader::GetFileVer(const std::string& path) {
  auto file = files_.OpenForReading(path);
  if (!file) return std::nullopt;
  const auto block = ExtractVersionBlock(*file);
  if (!block) return std::nullopt;
  return ScanVersionBlock(*block);
}

std::string FormatWholeNumber(std::string_view text) {
  if (text.empty()) return std::string(text);
  for (char c : text) {
    if (c < '0' || c > '9') return std::string(text);
  }
  const auto first = text.find_first_not_of('0');
  return first == std::string_view::npos ? "0" : std::string(text.substr(first));
}


VersionText FileVersionReader::GetFileVerString(const std::string& path, Boolean16 keepRevision) {
  VersionText out;
  auto fail = [&](long number, const char* description) {
    out.failure = VersionError(number, description, path);
    return out;
  };

  auto scan = GetFileVer(path);
  if (!scan) return fail(13, "Type mismatch");  // row 2 of an empty text
  out.scanErrors = std::move(scan->errors);

  const std::string& row = scan->rows[2];
  const auto space = row.find(' ');
  std::string& result = out.text;
  result = space == std::string::npos ? row : row.substr(space + 1);

  // The position of the last dot is a signed 16-bit number: a version text
  // with its last dot beyond 32767 characters is an overflow, reported.
  const auto dot = result.rfind('.');
  const std::size_t position = dot == std::string::npos ? 0 : dot + 1;
  if (position > 32767) return fail(6, "Overflow");

  if (IsTrue(keepRevision)) {
    result.replace(position, std::string::npos, FormatWholeNumber(result.substr(position)));
  } else {
    if (position == 0) return fail(5, "Invalid procedure call or argument");
    result.resize(position - 1);
  }
  return out;
}

}  // namespace parone

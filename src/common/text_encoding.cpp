#include "common/text_encoding.hpp"

namespace parone {
namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

// The code point that starts at `i`; `valid` false (and one byte long) for
// a byte that starts no well-formed UTF-8 sequence there.
struct Decoded {
  char32_t cp = 0;
  std::size_t length = 1;
  bool valid = false;
};

Decoded DecodeAt(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  int extra = 0;
  char32_t cp = 0;
  if (lead < 0x80) return {lead, 1, true};
  if ((lead & 0xE0) == 0xC0) {
    cp = lead & 0x1F;
    extra = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    cp = lead & 0x0F;
    extra = 2;
  } else if ((lead & 0xF8) == 0xF0) {
    cp = lead & 0x07;
    extra = 3;
  } else {
    return {};
  }
  bool ok = i + static_cast<std::size_t>(extra) < text.size();
  for (int k = 1; ok && k <= extra; ++k) {
    const auto cont = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((cont & 0xC0) != 0x80) ok = false;
    else cp = (cp << 6) | (cont & 0x3F);
  }
  const bool overlong = (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
                        (extra == 3 && cp < 0x10000);
  if (!ok || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
  return {cp, static_cast<std::size_t>(extra) + 1, true};
}

// Characters a terminal acts on instead of showing: the C0 and C1 controls,
// DEL, the line and paragraph separators, and the marks and overrides that
// turn the direction of the text (a name could show as another).
bool IsTerminalControl(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E ||
         cp == 0x200F || (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const Decoded d = DecodeAt(text, i);
    i += d.length;
    if (!d.valid) {
      out += static_cast<char16_t>(kReplacement);
    } else if (d.cp >= 0x10000) {
      const char32_t cp = d.cp - 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(d.cp);
    }
  }
  return out;
}

std::string EscapeForTerminal(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const Decoded d = DecodeAt(text, i);
    if (!d.valid || d.cp < 0x80) {
      const auto byte = static_cast<unsigned char>(text[i]);
      if (byte == '\n') {
        out += "\\n";
      } else if (byte == '\r') {
        out += "\\r";
      } else if (byte == '\t') {
        out += "\\t";
      } else if (!d.valid || IsTerminalControl(byte)) {
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
      } else {
        out += static_cast<char>(byte);
      }
    } else if (IsTerminalControl(d.cp)) {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(d.cp >> shift) & 0xF];
    } else {
      out.append(text.substr(i, d.length));
    }
    i += d.length;
  }
  return out;
}

}  // namespace parone

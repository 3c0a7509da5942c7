#include "transfer/ftp_reply.hpp"

#include <array>
#include <cctype>
#include <vector>

namespace parone {
namespace {

bool IsDigits(std::string_view text) {
  if (text.empty() || text.size() > 19) return false;  // 19 digits always fit 64 bits
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::uint64_t ToNumber(std::string_view digits) {
  std::uint64_t n = 0;
  for (char c : digits) n = n * 10 + static_cast<std::uint64_t>(c - '0');
  return n;
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool IsMonth(std::string_view field) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (field.size() != 3) return false;
  for (std::string_view month : kMonths) {
    bool same = true;
    for (std::size_t i = 0; i < 3; ++i) {
      same = same && std::tolower(static_cast<unsigned char>(field[i])) == month[i];
    }
    if (same) return true;
  }
  return false;
}

// "01-31-24" or "01-31-2024", as IIS and other DOS-style listings begin.
bool IsDosDate(std::string_view field) {
  if (field.size() != 8 && field.size() != 10) return false;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const bool dash = i == 2 || i == 5;
    if (dash ? field[i] != '-' : (field[i] < '0' || field[i] > '9')) return false;
  }
  return true;
}

// The line names `name` at its end, as the whole name or as the last part
// of a path the server echoed back.
bool EndsWithName(std::string_view line, std::string_view name) {
  if (name.empty() || line.size() <= name.size()) return false;
  if (line.substr(line.size() - name.size()) != name) return false;
  const char before = line[line.size() - name.size() - 1];
  return IsBlank(before) || before == '/';
}

// `head` is a listing line without its name.
std::optional<std::uint64_t> SizeInLine(std::string_view head) {
  const std::vector<std::string_view> f = Fields(head);
  if (f.size() < 3) return std::nullopt;
  if (IsDosDate(f[0])) {
    // 01-31-24  10:00AM  <DIR>  |  01-31-24  10:00AM  1234
    if (f.size() == 3 && IsDigits(f[2])) return ToNumber(f[2]);
    return std::nullopt;
  }
  if (f[0].front() != '-') return std::nullopt;  // d: folder, l: link, ...
  // -rw-r--r-- 1 owner group 1234 Jan 31 10:00 (the group may be missing):
  // the size stands right before the date, which is the last three fields;
  // counting from the end keeps an owner called "jan" from looking like one.
  const std::size_t n = f.size();
  if (n < 5 || !IsMonth(f[n - 3]) || !IsDigits(f[n - 4])) return std::nullopt;
  return ToNumber(f[n - 4]);
}

}  // namespace

std::optional<std::uint64_t> ParseSizeReply(std::string_view line) {
  line = TrimLineEnd(line);
  if (line.size() < 5 || line.substr(0, 4) != "213 ") return std::nullopt;
  std::string_view rest = line.substr(4);
  while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
  if (!IsDigits(rest)) return std::nullopt;
  return ToNumber(rest);
}

std::optional<std::uint64_t> ParseListedSize(std::string_view listing, std::string_view name) {
  std::optional<std::uint64_t> found;
  std::size_t start = 0;
  while (start < listing.size()) {
    std::size_t end = listing.find('\n', start);
    if (end == std::string_view::npos) end = listing.size();
    const std::string_view line = TrimLineEnd(listing.substr(start, end - start));
    start = end + 1;
    if (!EndsWithName(line, name)) continue;
    // Cut the name off, with the folder part of a path the server echoed.
    std::size_t cut = line.size() - name.size();
    while (cut > 0 && !IsBlank(line[cut - 1])) --cut;
    const auto size = SizeInLine(line.substr(0, cut));
    // Two lines for one name (or one that cannot be read) leave the size
    // in doubt.
    if (!size || found) return std::nullopt;
    found = size;
  }
  return found;
}

}  // namespace parone

#include "common/command_line.hpp"

namespace parone {

std::vector<std::string> SplitWindowsCommandLine(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) out.push_back(current);
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      std::size_t slashes = 0;
      while (i < text.size() && text[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < text.size() && text[i] == '"') {
        current.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(slashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (inArgument) out.push_back(current);
  return out;
}

std::string QuoteWindowsArgument(const std::string& argument) {
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') {
      out.append(slashes * 2 + 1, '\\');  // escape the run and the quote
      out += '"';
    } else {
      out.append(slashes, '\\');
      out += c;
    }
    slashes = 0;
  }
  out.append(slashes * 2, '\\');  // a trailing run must not escape the closing quote
  out += '"';
  return out;
}

}  // namespace parone

#pragma once
// A file path as a C library's fopen takes it, for the files libcurl opens
// itself (a CA file, a netrc file): the UTF-8 bytes as they are on Linux;
// on Windows the system's ANSI code page, or the file's short (8.3) name
// where a character of the path has no place in that code page. Never
// blocks for long; does not look whether the file exists beyond what the
// short name needs.

#include <optional>
#include <string>

namespace parone {

// nullopt when the path cannot be written in a form fopen opens.
std::optional<std::string> LibraryPath(const std::string& utf8Path);

}  // namespace parone

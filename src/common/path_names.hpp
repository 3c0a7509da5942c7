#pragma once
// Names the workflow derives from a full path and from a version text.
// Pure text functions: no file system access, never fail.
//
// The separators are the platform's (kPlatform.separators): "\" and "/" on
// Windows, only "/" on Linux, where "\" is an ordinary character of a name.

#include <string>
#include <string_view>

namespace parone {

// Everything after the last separator; the whole path when there is none.
std::string FileNameOf(std::string_view path);

// The file name up to, not including, its last "."; a name without any dot
// is its own base name.
std::string BaseNameOf(std::string_view path);

// The part of a version text after its last "."; the whole text without one.
std::string BuildNumberOf(std::string_view versionText);

// folder + separator + name, with the separator the folder already uses
// (its last one), else the platform's own; none is added after a folder
// that ends in one, or to an empty folder.
std::string JoinPath(std::string_view folder, std::string_view name);

// Position of the last separator, or npos.
std::size_t LastSeparator(std::string_view path);

}  // namespace parone

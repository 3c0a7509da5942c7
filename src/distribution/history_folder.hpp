#pragma once
// Where replaced program files are kept on the server: a folder beside the
// published files, <remote dir>/.history/<published name>/, holding each
// replaced file as <build><extension of the published name> ("34.exe").
// A publish puts files there and a rollback takes them back, so both name
// them here. Pure text functions (UTF-8); the server's code page is applied
// where the names are sent.

#include <optional>
#include <string>
#include <string_view>

namespace parone {

inline constexpr const char* kHistoryFolder = ".history";

// "<remoteDir>/.history/<fileName>".
std::string HistoryFolderOf(std::string_view remoteDir, std::string_view fileName);
// "<buildText><extension of fileName>": "34.exe" for "Tool.Setup.exe"; a
// name without an extension (or a dot only in front) adds none.
std::string HistoryFileName(std::string_view fileName, std::string_view buildText);
// The build a history file name stands for: whole decimal digits followed
// by exactly the published name's extension; nullopt for any other name
// (a copy whose build was unknown, a stray file).
std::optional<double> HistoryBuildOf(std::string_view historyName, std::string_view fileName);

}  // namespace parone

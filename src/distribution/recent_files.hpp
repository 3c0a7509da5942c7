#pragma once
// The list of recently published files, kept in the settings store under
// application kAppTitle, section "RecentFiles", keys "1", "2", "3", ... with
// the newest under "1". The list ends at its first empty or missing key;
// anything after such a gap is not part of it and is left alone.
//
// Both functions block on the store and report no failure to the caller (the
// store keeps its own failures). Each reads the section once and AddRecentFile
// saves its changes in one go, so their cost does not grow with a store read
// per entry. They are not atomic: two callers working on the same store at
// once may interleave, so the front ends call them from one thread.

#include <string>
#include <vector>

#include "platform/settings_store.hpp"

namespace parone {

// Far beyond any real list. Keys past it are neither read nor written, so an
// entry at the last key falls off when the list is full.
inline constexpr int kRecentFilesKeyLimit = 100000;

// Puts entry under "1". An entry already under "1" leaves the store untouched.
// An earlier copy further down is overwritten by moving the entries above it
// down one key, and the entries below it keep their keys; without one the
// whole list moves down and grows by one key. Entries compare exactly, so
// paths differing only in case are different entries. An empty entry would
// end the list at "1"; callers pass a file path.
void AddRecentFile(SettingsStore& store, const std::string& entry);

// The entries from "1" up to, not including, the first empty key.
std::vector<std::string> ReadRecentFiles(SettingsStore& store);

}  // namespace parone

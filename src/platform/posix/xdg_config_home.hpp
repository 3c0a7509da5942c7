#pragma once
// The per-user configuration folder by the XDG rules, on Linux: the
// settings file (QtSettingsStore) and the tool's own folder (the journal,
// the credentials; RealProcessFacts::UserDataFolder) both lie in it, so
// both take it from here. Reads the environment and the user database at
// every call; does not block for long.

#include <string>

namespace parone {

// $XDG_CONFIG_HOME when it is an absolute path (a relative one is ignored,
// as the rules say), else $HOME/.config, else .config in the account's home
// folder; "" when there is no home either. Without a trailing "/", except
// for the root itself.
std::string XdgConfigHome();

}  // namespace parone

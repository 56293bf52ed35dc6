// The per-user folder for data the program may throw away and fetch again.
#pragma once

#include <filesystem>

namespace platform {

// The RDAP bootstrap cache folder; it may not exist yet. Windows:
// %LOCALAPPDATA%\Ostrabel\rdap, kept in UTF-16 as the system gives it (a
// user name beyond the ANSI code page stays intact). Elsewhere:
// $XDG_CACHE_HOME/ostrabel/rdap, with ~/.cache when XDG_CACHE_HOME is unset
// or not an absolute path. Empty when no such folder can be named.
std::filesystem::path GetRdapCacheDir();

} // namespace platform

// The per-user folder for data the program may throw away and fetch again.
#pragma once

#include <string>

namespace platform {

// The RDAP bootstrap cache folder, without a final separator; it may not
// exist yet. Windows: %LOCALAPPDATA%\Ostrabel\rdap. Elsewhere:
// $XDG_CACHE_HOME/ostrabel/rdap, with ~/.cache when XDG_CACHE_HOME is unset
// or not an absolute path. Empty when no such folder can be named.
std::string GetRdapCacheDir();

} // namespace platform

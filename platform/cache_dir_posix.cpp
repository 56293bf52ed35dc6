#include "platform/cache_dir.h"

#include <cstdlib>
#include <string>

namespace platform {

std::filesystem::path GetRdapCacheDir() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/ostrabel/rdap";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return std::filesystem::path();
    return std::string(home) + "/.cache/ostrabel/rdap";
}

} // namespace platform

#include "platform/cache_dir.h"

#include <windows.h>

#include <shlobj.h>

namespace platform {

// The folder comes back in UTF-8, the narrow encoding the C++ file-system
// library of this build uses for paths, so a user name outside the ANSI code
// page still works.
std::string GetRdapCacheDir() {
    wchar_t folder[MAX_PATH] = {};
    // CSIDL_LOCAL_APPDATA: the user's local (not roaming) application data.
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, folder, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string dir(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder, -1, dir.data(), size, nullptr, nullptr);
    dir.resize(static_cast<std::size_t>(size - 1));
    if (dir.back() != '\\')
        dir += '\\';
    return dir + "Ostrabel\\rdap";
}

} // namespace platform

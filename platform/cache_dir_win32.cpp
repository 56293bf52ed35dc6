#include "platform/cache_dir.h"

#include <windows.h>

#include <shlobj.h>

namespace platform {

// The folder stays a wide path: this build's std::filesystem reads a narrow
// string in the ANSI code page, so "José" passed through UTF-8 would become
// another folder.
std::filesystem::path GetRdapCacheDir() {
    wchar_t folder[MAX_PATH] = {};
    // CSIDL_LOCAL_APPDATA: the user's local (not roaming) application data.
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) ||
        folder[0] == L'\0')
        return std::filesystem::path();
    return std::filesystem::path(folder) / L"Ostrabel" / L"rdap";
}

} // namespace platform

#include "platform/path.h"

#include <windows.h>

namespace platform {

std::string GetExecutablePath() {
    HMODULE instance = GetModuleHandleA(nullptr);
    if (instance == nullptr)
        return std::string();
    // A 256-byte buffer whose size is given as 255 characters.
    char buffer[256] = {};
    DWORD n = GetModuleFileNameA(instance, buffer, 255);
    return std::string(buffer, n);
}

char PathSeparator() {
    return '\\';
}

} // namespace platform

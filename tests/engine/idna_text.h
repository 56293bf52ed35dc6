// A name written in UTF-8 in a test, as the program gets it when typed: UTF-8
// natively, the system code page on Windows (characters the code page lacks
// become its replacement character).
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>

inline std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                              static_cast<int>(wide.size()))));
    return wide;
}
#endif

inline std::string Typed(const std::string& utf8, bool* lossy = nullptr) {
#ifdef _WIN32
    const std::wstring wide = Wide(utf8);
    std::string out(wide.size() * 2, '\0');
    BOOL usedDefault = FALSE;
    out.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                              static_cast<int>(out.size()), nullptr, &usedDefault)));
    if (lossy)
        *lossy = usedDefault != FALSE;
    return out;
#else
    if (lossy)
        *lossy = false;
    return utf8;
#endif
}

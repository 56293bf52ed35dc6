// Names for the internationalised-name tests, written in UTF-8 in the source
// and handed over as the program would get them when typed: UTF-8 natively,
// the system code page on Windows (a character the code page lacks comes out
// as the code page's replacement, so such names are tested through the
// UTF-16 entry point instead).
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

inline std::string Typed(const std::string& utf8) {
#ifdef _WIN32
    const int wideLength =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          wideLength);
    const int length =
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, out.data(), length, nullptr, nullptr);
    return out;
#else
    return utf8;
#endif
}

#ifdef _WIN32
inline std::wstring Wide(const std::string& utf8) {
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          length);
    return wide;
}
#endif

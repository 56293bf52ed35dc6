// IDNA through the system's IdnToAscii. It lives in kernel32 from Vista on
// and in normaliz.dll before; the program is built for XP, so it is looked up
// at run time rather than linked.
#include "platform/idna.h"

#include <windows.h>

#include <mutex>
#include <vector>

namespace platform {

namespace {

using IdnToAsciiFunction = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);

IdnToAsciiFunction FindIdnToAscii() {
    static IdnToAsciiFunction function = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        if (HMODULE kernel = ::GetModuleHandleA("kernel32.dll"))
            function = reinterpret_cast<IdnToAsciiFunction>(
                reinterpret_cast<void*>(::GetProcAddress(kernel, "IdnToAscii")));
        if (function == nullptr) {
            if (HMODULE normaliz = ::LoadLibraryA("normaliz.dll"))
                function = reinterpret_cast<IdnToAsciiFunction>(
                    reinterpret_cast<void*>(::GetProcAddress(normaliz, "IdnToAscii")));
        }
    });
    return function;
}

} // namespace

bool ToAsciiDomainNameWide(const std::wstring& typed, std::string& ascii) {
    const IdnToAsciiFunction idnToAscii = FindIdnToAscii();
    if (idnToAscii == nullptr || typed.empty() || typed.size() > 1024 ||
        typed.find(L'\0') != std::wstring::npos)
        return false;
    const int length = static_cast<int>(typed.size());
    const int needed = idnToAscii(0, typed.c_str(), length, nullptr, 0);
    if (needed <= 0)
        return false;
    std::vector<wchar_t> out(static_cast<std::size_t>(needed));
    const int written = idnToAscii(0, typed.c_str(), length, out.data(), needed);
    if (written <= 0)
        return false;
    std::string converted;
    for (int i = 0; i < written; ++i) {
        wchar_t c = out[static_cast<std::size_t>(i)];
        if (c == 0 || c > 0x7f)
            return false;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        converted += static_cast<char>(c);
    }
    ascii = std::move(converted);
    return true;
}

bool ToAsciiDomainName(const std::string& typed, std::string& ascii) {
    if (typed.empty() || typed.size() > 1024)
        return false;
    const int length = static_cast<int>(typed.size());
    const int wideLength =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, typed.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, typed.data(), length, wide.data(),
                              wideLength) != wideLength)
        return false;
    return ToAsciiDomainNameWide(wide, ascii);
}

} // namespace platform

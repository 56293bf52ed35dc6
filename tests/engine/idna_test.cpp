// The ASCII form of internationalised names: both builds must give the same
// form for ordinary names. Natively the names go in as UTF-8; on Windows
// through UTF-16 (every script) and, where the system code page holds the
// characters, through the code page as typed in the window.
#include "platform/idna.h"
#include "tests/engine/idna_text.h"

#include <gtest/gtest.h>

namespace {

struct Name {
    const char* utf8;
    const char* ascii; // nullptr: not a valid name
};

// Both implementations agree on these.
const Name kCommon[] = {
    {"bücher.de", "xn--bcher-kva.de"},
    {"MÜNCHEN.DE", "xn--mnchen-3ya.de"},
    {"Français.example.fr", "xn--franais-xxa.example.fr"},
    {"例え.jp", "xn--r8jz45g.jp"},
    {"日本語.jp", "xn--wgv71a119e.jp"},
    {"пример.рф", "xn--e1afmkfd.xn--p1ai"},
    {"ελληνικά.gr", "xn--hxargifdar.gr"},
    {"a\xcd\xb8.de", nullptr}, // U+0378 is not assigned
};

// The rare characters where the two differ: libidn2 keeps ß and final sigma
// (IDNA2008, UTS #46 non-transitional); IdnToAscii maps them to "ss" and σ
// (IDNA2003).
#ifdef _WIN32
const Name kDiffering[] = {{"straße.de", "strasse.de"}, {"ς.gr", "xn--4xa.gr"}};
#else
const Name kDiffering[] = {{"straße.de", "xn--strae-oqa.de"}, {"ς.gr", "xn--3xa.gr"}};
#endif

std::string Convert(const std::string& utf8, bool& ok) {
    std::string ascii = "unchanged";
#ifdef _WIN32
    ok = platform::ToAsciiDomainNameWide(Wide(utf8), ascii);
#else
    ok = platform::ToAsciiDomainName(utf8, ascii);
#endif
    return ascii;
}

} // namespace

TEST(Idna, OrdinaryNamesAndTheRareCharacters) {
    auto check = [](const Name& name) {
        SCOPED_TRACE(name.utf8);
        bool ok = false;
        const std::string ascii = Convert(name.utf8, ok);
        EXPECT_EQ(ok, name.ascii != nullptr);
        EXPECT_EQ(ascii, name.ascii ? name.ascii : "unchanged");
    };
    for (const Name& name : kCommon)
        check(name);
    for (const Name& name : kDiffering)
        check(name);
}

#ifdef _WIN32
// The name in the system code page, when the code page holds all of it.
bool InCodePage(const std::string& utf8, std::string& typed) {
    const std::wstring wide = Wide(utf8);
    BOOL lossy = FALSE;
    const int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, &lossy);
    if (length <= 0 || lossy)
        return false;
    typed = Typed(utf8);
    return true;
}

TEST(Idna, SystemCodePageAsTypedInTheWindow) {
    // Whatever the code page, the names it can hold convert as through UTF-16.
    int tested = 0;
    for (const Name& name : kCommon) {
        std::string typed;
        if (name.ascii == nullptr || !InCodePage(name.utf8, typed))
            continue;
        SCOPED_TRACE(name.utf8);
        std::string ascii;
        EXPECT_TRUE(platform::ToAsciiDomainName(typed, ascii));
        EXPECT_EQ(ascii, name.ascii);
        ++tested;
    }
    EXPECT_GE(tested, 1) << "code page " << ::GetACP() << " holds none of the names";
}
#endif

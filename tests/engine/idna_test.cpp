// The ASCII form of internationalised names: the same in both builds for
// ordinary names. Natively they go in as UTF-8; on Windows through UTF-16
// (every script) and, for the names the system code page holds, through the
// code page as typed in the window.
#include "platform/idna.h"
#include "tests/engine/idna_text.h"

#include <gtest/gtest.h>

namespace {

struct Name {
    const char* utf8;
    const char* ascii; // nullptr: not a valid name
};

const Name kNames[] = {
    {"bücher.de", "xn--bcher-kva.de"},
    {"MÜNCHEN.DE", "xn--mnchen-3ya.de"},
    {"Français.fr", "xn--franais-xxa.fr"},
    {"例え.jp", "xn--r8jz45g.jp"},
    {"пример.рф", "xn--e1afmkfd.xn--p1ai"},
    {"ελληνικά.gr", "xn--hxargifdar.gr"},
    {"a\xcd\xb8.de", nullptr}, // U+0378 is not assigned
// Where the two differ: libidn2 (IDNA2008, UTS #46 non-transitional) keeps
// ß and the final sigma, IdnToAscii (IDNA2003) maps them to "ss" and σ.
#ifdef _WIN32
    {"straße.de", "strasse.de"},
    {"ς.gr", "xn--4xa.gr"},
#else
    {"straße.de", "xn--strae-oqa.de"},
    {"ς.gr", "xn--3xa.gr"},
#endif
};

} // namespace

TEST(Idna, NamesInEveryScriptAndTheRareCharacters) {
    int throughCodePage = 0;
    for (const Name& name : kNames) {
        SCOPED_TRACE(name.utf8);
        std::string ascii = "unchanged";
#ifdef _WIN32
        EXPECT_EQ(platform::ToAsciiDomainNameWide(Wide(name.utf8), ascii), name.ascii != nullptr);
#else
        EXPECT_EQ(platform::ToAsciiDomainName(name.utf8, ascii), name.ascii != nullptr);
#endif
        EXPECT_EQ(ascii, name.ascii ? name.ascii : "unchanged");

        bool lossy = true;
        const std::string typed = Typed(name.utf8, &lossy);
        if (name.ascii == nullptr || lossy)
            continue;
        ascii.clear();
        EXPECT_TRUE(platform::ToAsciiDomainName(typed, ascii));
        EXPECT_EQ(ascii, name.ascii);
        ++throughCodePage;
    }
    EXPECT_GE(throughCodePage, 2); // at least the German and French names
}

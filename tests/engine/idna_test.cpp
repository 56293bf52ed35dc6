// The ASCII form of internationalised names: the same in both builds,
// IDNA2008's deviation characters included. Natively they go in as UTF-8; on
// Windows through UTF-16 (every script) and, for the names the system code
// page holds, through the code page as typed in the window.
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
    {"a\xcd\xb8.de", nullptr},                        // U+0378 is not assigned
    {"\xce\xa3\xce\x91\xce\xa3.gr", "xn--mxa9ab.gr"}, // capital sigma: never final
    // IDNA2008 (non-transitional) keeps ß, the final sigma and the joiners
    // where IDNA2003 would map them away: the same in both builds.
    {"straße.de", "xn--strae-oqa.de"},
    {"Faß.DE", "xn--fa-hia.de"},
    {"ς.gr", "xn--3xa.gr"},
    {"σς.gr", "xn--3xab.gr"},
    {"www.faß.de.", "www.xn--fa-hia.de."},
    {"\xe0\xa4\x95\xe0\xa5\x8d\xe2\x80\x8d\xe0\xa4\xb7.in", "xn--11b2ezcw70k.in"}, // ZWJ, virama
    {"\xe0\xa4\x95\xe0\xa5\x8d\xe2\x80\x8c\xe0\xa4\xb7.in", "xn--11b2ezcs70k.in"}, // ZWNJ, virama
    {"\xd8\xa8\xe2\x80\x8c\xd8\xa8.eg", "xn--ngba799q.eg"}, // ZWNJ between joining letters
    {"a\xe2\x80\x8d"
     "b.de",
     nullptr}, // a joiner out of context
    {"ab\xe2\x80\x8c.de", nullptr},
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

// The URL and text helpers both HTTPS implementations share (the Windows one
// resolves Location headers with them).
#include "platform/https.h"

#include <gtest/gtest.h>

namespace {
using namespace platform::https_detail;

TEST(HttpsHelpers, ResolvesLocationAgainstTheUrlItCameFrom) {
    struct Row {
        const char* base;
        const char* location;
        const char* want;
    };
    const Row rows[] = {
        {"https://a.test/x/y?q=1", "https://b.test/z", "https://b.test/z"},
        {"https://a.test/x/y?q=1", "HTTP://b.test/", "HTTP://b.test/"},
        {"https://a.test/x/y?q=1", "//b.test/z", "https://b.test/z"},
        {"https://a.test:8443/x/y?q=1", "/z?w", "https://a.test:8443/z?w"},
        {"https://a.test/x/y?q=1#f", "z", "https://a.test/x/z"},
        {"https://a.test/x/y?q=/1", "z", "https://a.test/x/z"},
        {"https://a.test", "z", "https://a.test/z"},
        {"https://a.test?q", "/z", "https://a.test/z"},
        {"https://a.test/x/y?q=1", "?r=2", "https://a.test/x/y?r=2"},
        {"https://a.test/x/y#f", "", "https://a.test/x/y"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ResolveLocation(row.base, row.location), row.want)
            << row.base << " + " << row.location;
    }
}

TEST(HttpsHelpers, NamesTheSchemeOfARefusedRedirect) {
    EXPECT_EQ(RedirectRefusedText("http://a.test/"), "redirect to http:// refused");
    EXPECT_EQ(RedirectRefusedText("FTP://a.test/"), "redirect to ftp:// refused");
    EXPECT_EQ(RedirectRefusedText("/no/scheme"), "redirect refused");
    EXPECT_EQ(SchemeOf("1http://x"), "");
    EXPECT_EQ(SchemeOf("svn+ssh://x"), "svn+ssh");
}

TEST(HttpsHelpers, NamesTheBodyCapInWholeMebibytesWhenItCan) {
    EXPECT_EQ(BodyOverText(16u << 20), "body over 16 MiB");
    EXPECT_EQ(BodyOverText((16u << 20) + 1), "body over 16777217 bytes");
    EXPECT_EQ(BodyOverText(100), "body over 100 bytes");
}
} // namespace

// The URL and text helpers both HTTPS implementations share (the Windows one
// resolves Location headers with them).
#include "platform/https.h"
#include "platform/ip_literal.h"

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

// Literal addresses of this machine and of local networks, in every form a
// resolver takes, are no place for a server's answer to send the program;
// public addresses and every host name are.
TEST(HttpsHelpers, RedirectsNeverGoToLocalAddressLiterals) {
    const char* local[] = {"127.0.0.1",
                           "127.1",
                           "0x7f.0.0.1",
                           "0177.0.0.1",
                           "2130706433",
                           "127.0.0.1.",
                           "0.0.0.0",
                           "0",
                           "10.1.2.3",
                           "172.16.0.1",
                           "172.31.255.255",
                           "192.168.1.1",
                           "169.254.169.254",
                           "100.64.0.1",
                           "[::1]",
                           "[::]",
                           "[fe80::1%25eth0]",
                           "[fc00::1]",
                           "[fd12::1]",
                           "[fec0::1]",
                           "[::ffff:127.0.0.1]",
                           "[::ffff:a9fe:a9fe]",
                           "[::1",
                           "1.2.3.4.5",
                           "99999999999",
                           "foo.0x"};
    const char* allowed[] = {
        "8.8.8.8",   "172.32.0.1", "192.0.2.1", "[2001:db8::1]",      "[::ffff:8.8.8.8]",
        "localhost", "good.test",  "0x7f.test", "127.0.0.1.nip.test", "rdap.arin.net"};
    for (const char* host : local) {
        EXPECT_TRUE(platform::IsNonPublicAddressLiteral(host)) << host;
        EXPECT_EQ(RedirectRefusal({}, std::string("https://u:p@") + host + ":8443/x", 0),
                  "redirect to a local address refused")
            << host;
    }
    for (const char* host : allowed) {
        EXPECT_FALSE(platform::IsNonPublicAddressLiteral(host)) << host;
        EXPECT_EQ(RedirectRefusal({}, std::string("https://") + host + "/x", 0), "") << host;
    }
    EXPECT_EQ(HostOfUrl("https://a@b@[::1]:1/x"), "[::1]");
    EXPECT_EQ(HostOfUrl("https://h.test?q=a@b"), "h.test");
}

TEST(HttpsHelpers, NamesTheBodyCapInWholeMebibytesWhenItCan) {
    EXPECT_EQ(BodyOverText(16u << 20), "body over 16 MiB");
    EXPECT_EQ(BodyOverText((16u << 20) + 1), "body over 16777217 bytes");
    EXPECT_EQ(BodyOverText(100), "body over 100 bytes");
}
} // namespace

// RDAP: query kinds and URLs, the bootstrap registries (built-in copy,
// longest matches, the per-user cache and its refresh), the JSON-to-text
// rendering of realistic answers, and hostile or broken bodies.
#include "engine/rdap/bootstrap.h"
#include "engine/rdap/cache.h"
#include "engine/rdap/json.h"
#include "engine/rdap/lookup.h"
#include "engine/rdap/text.h"
#include "platform/file.h"
#include "platform/cache_dir.h"
#include "tests/engine/engine_test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <thread>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace rdap;
using Response = platform::HttpsResponse;
using enginetest::RdapFixture;

namespace {

// A folder of its own under the temporary folder, removed at the end.
struct TempDir {
    fs::path path;
    TempDir() {
        static int counter = 0;
        path = fs::temp_directory_path() /
               ("ostrabel-rdap-" + std::to_string(std::rand()) + "-" + std::to_string(++counter));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    void Write(const std::string& name, const std::string& contents) const {
        std::ofstream(path / name, std::ios::binary) << contents;
    }
};

// A bootstrap file of one service per (entries, urls) pair.
std::string BootstrapFile(
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>& services) {
    std::string s = R"({"version":"1.0","publication":"2026-11-30T00:00:00Z","services":[)";
    for (std::size_t i = 0; i < services.size(); ++i) {
        s += i ? ",[[" : "[[";
        for (std::size_t j = 0; j < services[i].first.size(); ++j)
            s += (j ? ",\"" : "\"") + services[i].first[j] + "\"";
        s += "],[";
        for (std::size_t j = 0; j < services[i].second.size(); ++j)
            s += (j ? ",\"" : "\"") + services[i].second[j] + "\"";
        s += "]]";
    }
    return s + "]}";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(RdapQuery, ClassifiesEachKind) {
    struct Row {
        const char* input;
        QueryKind kind;
        const char* text;
    } rows[] = {
        {"192.0.2.1", QueryKind::IPv4, "192.0.2.1"},
        {"  198.51.100.7 ", QueryKind::IPv4, "198.51.100.7"},
        {"2001:db8::1", QueryKind::IPv6, "2001:db8::1"},
        {"::ffff:192.0.2.1", QueryKind::IPv6, "::ffff:192.0.2.1"},
        // The URL names the address as parsed, not as typed.
        {"08.08.08.08", QueryKind::IPv4, "8.8.8.8"},
        {"2001:DB8:0:0:0::01", QueryKind::IPv6, "2001:db8::1"},
        {"0:0:1:0:0:0:0:1", QueryKind::IPv6, "0:0:1::1"},
        {"1:2:3:4:5:6:7:8", QueryKind::IPv6, "1:2:3:4:5:6:7:8"},
        {"AS15169", QueryKind::Asn, "15169"},
        {"as4294967295", QueryKind::Asn, "4294967295"},
        {"as4294967296", QueryKind::Domain, "as4294967296"},
        {"256.1.1.1", QueryKind::Domain, "256.1.1.1"},
        {"1.2.3", QueryKind::Domain, "1.2.3"},
        {"2001:db8:::1", QueryKind::Domain, "2001:db8:::1"},
        {"1:2:3:4:5:6:7:8:9", QueryKind::Domain, "1:2:3:4:5:6:7:8:9"},
        {"Example.DEV.", QueryKind::Domain, "example.dev"},
        {"ASX", QueryKind::Domain, "asx"},
    };
    for (const Row& row : rows) {
        Query q = ClassifyQuery(row.input);
        EXPECT_EQ(q.kind, row.kind) << row.input;
        EXPECT_EQ(q.text, row.text) << row.input;
    }
}

TEST(RdapQuery, IPv6TextFormsGiveTheirBytes) {
    struct Row {
        const char* input;
        std::array<std::uint8_t, 16> bytes;
    } rows[] = {
        {"2001:db8::1", {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"::", {}},
        {"fe80::", {0xfe, 0x80}},
        {"::ffff:1.2.3.4", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 1, 2, 3, 4}},
    };
    for (const Row& row : rows) {
        std::array<std::uint8_t, 16> a = {};
        ASSERT_TRUE(ParseIPv6(row.input, a)) << row.input;
        EXPECT_EQ(a, row.bytes) << row.input;
    }
    std::array<std::uint8_t, 16> a = {};
    for (const char* bad : {":1::", "1:2", "12345::", "::1.2.3.4:5", "g::1", "1::2::3"})
        EXPECT_FALSE(ParseIPv6(bad, a)) << bad;
}

TEST(RdapQuery, UrlsForEachKindAndHostileText) {
    struct Row {
        const char* base;
        const char* query;
        const char* url;
    } rows[] = {
        {"https://rdap.example/", "Example.dev", "https://rdap.example/domain/example.dev"},
        {"https://rdap.example/v1", "192.0.2.1", "https://rdap.example/v1/ip/192.0.2.1"},
        {"https://rdap.example/", "2001:db8::1", "https://rdap.example/ip/2001:db8::1"},
        {"https://rdap.example/", "as15169", "https://rdap.example/autnum/15169"},
        {"https://rdap.example/", "a/b?c#d e", "https://rdap.example/domain/a%2Fb%3Fc%23d%20e"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(BuildQueryUrl(row.base, ClassifyQuery(row.query)), row.url) << row.query;
}

TEST(RdapBootstrap, BuiltInSnapshotAnswersEachKind) {
    Bootstrap boot = LoadBootstrap("");
    const std::size_t least[] = {1000, 200, 30, 150}; // labels, /8s, prefixes, ranges
    for (Registry r : kAllRegistries)
        EXPECT_GT(boot.EntryCount(r), least[static_cast<int>(r)]) << RegistryFileName(r);
    struct Row {
        const char* query;
        const char* base;
    } rows[] = {
        {"example.com", "https://rdap.verisign.com/com/v1/"},
        {"www.Example.ORG", "https://rdap.publicinterestregistry.org/rdap/"},
        {"example.dev", "https://pubapi.registry.google/rdap/"},
        {"bbc.co.uk", "https://rdap.nominet.uk/uk/"},
        {"example.invalid", ""},
        {"8.8.8.8", "https://rdap.arin.net/registry/"},
        {"193.0.6.139", "https://rdap.db.ripe.net/"},
        {"1.1.1.1", "https://rdap.apnic.net/"},
        {"41.1.1.1", "https://rdap.afrinic.net/rdap/"}, // https chosen over http
        {"10.0.0.1", ""},
        {"2a00:1450:4001::1", "https://rdap.db.ripe.net/"},
        {"2600::1", "https://rdap.arin.net/registry/"},
        {"2001:db8::1", "https://rdap.apnic.net/"}, // inside APNIC's 2001:c00::/23
        {"3fff::1", ""},
        {"AS15169", "https://rdap.arin.net/registry/"},
        {"AS3333", "https://rdap.db.ripe.net/"},
        {"AS4294967295", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(boot.FindBaseUrl(ClassifyQuery(row.query)), row.base) << row.query;
}

TEST(RdapBootstrap, LongestMatchWinsAndOnlyHttpsCounts) {
    Bootstrap boot;
    std::string error;
    ASSERT_TRUE(
        boot.Load(Registry::Dns,
                  BootstrapFile({{{"uk"}, {"https://uk.example"}},
                                 {{"co.uk"}, {"http://plain.example/", "https://co.example/"}},
                                 {{"only"}, {"http://plain.example/"}}}),
                  error))
        << error;
    ASSERT_TRUE(boot.Load(Registry::IPv4,
                          BootstrapFile({{{"10.0.0.0/8"}, {"https://eight/"}},
                                         {{"10.1.0.0/16"}, {"https://sixteen/"}}}),
                          error));
    ASSERT_TRUE(boot.Load(Registry::IPv6,
                          BootstrapFile({{{"2001:db8::/32"}, {"https://v6-32/"}},
                                         {{"2001:db8:8000::/33"}, {"https://v6-33/"}}}),
                          error));
    ASSERT_TRUE(boot.Load(Registry::Asn,
                          BootstrapFile({{{"1-100", "200"}, {"https://low/"}},
                                         {{"300-4294967295"}, {"https://high/"}}}),
                          error));
    EXPECT_EQ(boot.Publication(Registry::Asn), "2026-11-30T00:00:00Z");
    struct Row {
        const char* query;
        const char* base;
    } rows[] = {
        {"a.b.co.uk", "https://co.example/"},
        {"b.uk", "https://uk.example/"},
        {"x.only", ""},
        {"couk", ""},
        {"10.1.2.3", "https://sixteen/"},
        {"10.2.0.0", "https://eight/"},
        {"11.0.0.0", ""},
        {"2001:db8:8000::1", "https://v6-33/"},
        {"2001:db8::1", "https://v6-32/"},
        {"2001:db9::", ""},
        {"AS100", "https://low/"},
        {"AS101", ""},
        {"AS200", "https://low/"},
        {"AS4294967295", "https://high/"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(boot.FindBaseUrl(ClassifyQuery(row.query)), row.base) << row.query;
}

TEST(RdapBootstrap, BrokenFilesAreRefusedAndTheTableKept) {
    Bootstrap boot;
    std::string error;
    ASSERT_TRUE(boot.Load(Registry::Dns, BootstrapFile({{{"dev"}, {"https://kept/"}}}), error));
    std::string good = BootstrapFile({{{"com"}, {"https://new/"}}});
    const std::string bad[] = {
        "",
        good.substr(0, good.size() / 2),
        std::string("\x00\xff\xfe{\x01", 5),
        "[]",
        R"({"services":"x"})",
        R"({"services":[[["com"],["http://plain/"]]]})",
        std::string(100000, '[') + std::string(100000, ']'),
    };
    for (const std::string& body : bad) {
        EXPECT_FALSE(boot.Load(Registry::Dns, body, error)) << body.substr(0, 40);
        EXPECT_EQ(boot.FindDomain("x.dev"), "https://kept/");
    }
}

// The list of servers IANA's registry lacks fills gaps only: a label IANA's
// file names keeps IANA's server, in the built-in copy and in a cached one.
TEST(RdapBootstrap, ExtraServersFillOnlyTheGaps) {
    Bootstrap boot;
    std::string error;
    ASSERT_TRUE(
        boot.Load(Registry::Dns, BootstrapFile({{{"nl", "com"}, {"https://iana/"}}}), error));
    EXPECT_EQ(boot.AddDomainServers("# a comment\n\n"
                                    "nl https://extra/\n"          // IANA's wins
                                    "CH. https://rdap.ch.test\r\n" // case, final dot, no '/'
                                    " li\thttps://rdap.li.test/ \n"
                                    "gl http://plain.test/\n" // not https
                                    "zz\n"                    // no URL
                                    "yy https://a.test/ extra words\n"
                                    "https://no-label.test/\n"),
              2u);
    const std::pair<const char*, const char*> rows[] = {
        {"a.nl", "https://iana/"},
        {"a.com", "https://iana/"},
        {"a.ch", "https://rdap.ch.test/"},
        {"x.a.li", "https://rdap.li.test/"},
        {"a.gl", ""},
        {"a.zz", ""},
        {"a.yy", ""},
    };
    for (const auto& [name, base] : rows)
        EXPECT_EQ(boot.FindDomain(name), base) << name;
    // The built-in list: in the snapshot and over a cached dns.json alike.
    TempDir dir;
    dir.Write("dns.json", BootstrapFile({{{"de"}, {"https://cached-de/"}}}));
    EXPECT_EQ(LoadBootstrap("").FindDomain("a.ch"), "https://rdap.nic.ch/");
    EXPECT_EQ(LoadBootstrap("").FindDomain("a.nl"), "https://rdap.sidn.nl/");
    EXPECT_EQ(LoadBootstrap(dir.path.string()).FindDomain("a.de"), "https://cached-de/");
    EXPECT_EQ(LoadBootstrap(dir.path.string()).FindDomain("a.li"), "https://rdap.nic.li/");
    // Every entry of the built-in list is one label and one https:// URL,
    // each with a comment line (its source and date) just above it.
    Bootstrap empty;
    std::size_t entries = 0;
    std::string previous;
    std::istringstream list{std::string(ExtraDomainServers())};
    for (std::string line; std::getline(list, line); previous = line) {
        if (line.empty() || line[0] == '#')
            continue;
        ++entries;
        EXPECT_EQ(previous.rfind("# ", 0), 0u) << line;
        EXPECT_TRUE(Contains(previous, "20")) << previous; // a date
    }
    EXPECT_EQ(empty.AddDomainServers(ExtraDomainServers()), entries);
}

TEST(RdapCache, CachedCopyWinsOnlyWhenItParses) {
    TempDir dir;
    dir.Write("dns.json", BootstrapFile({{{"com"}, {"https://cached.example/"}}}));
    dir.Write("ipv4.json", "");                           // empty
    dir.Write("ipv6.json", RdapFixture("ip_arin.json"));  // JSON of another shape
    dir.Write("asn.json", std::string("\x89PNG\r\n", 6)); // binary
    std::array<bool, 4> fromCache = {};
    Bootstrap boot = LoadBootstrap(dir.path.string(), &fromCache);
    EXPECT_EQ(fromCache, (std::array<bool, 4>{true, false, false, false}));
    EXPECT_EQ(boot.FindDomain("example.com"), "https://cached.example/");
    EXPECT_EQ(boot.FindIPv4(0x08080808), "https://rdap.arin.net/registry/");
    EXPECT_EQ(boot.FindAsn(15169), "https://rdap.arin.net/registry/");
}

TEST(RdapCache, RefreshFetchesStaleFilesAndKeepsGoodOnes) {
    TempDir dir;
    std::string where = (dir.path / "sub").string();
    EXPECT_TRUE(CacheNeedsRefresh(where));

    std::vector<std::string> asked;
    FetchFunction fetch = [&](const std::string& url, std::string& body) {
        asked.push_back(url);
        if (url.ends_with("asn.json")) {
            body = "{\"services\": [[[\"1-5\"], [\"https://broken"; // truncated
            return true;
        }
        body = std::string(SnapshotJson(Registry::Dns)); // any good file of its kind
        if (url.ends_with("ipv4.json"))
            body = BootstrapFile({{{"0.0.0.0/0"}, {"https://fresh/"}}});
        else if (url.ends_with("ipv6.json"))
            body = BootstrapFile({{{"::/0"}, {"https://fresh/"}}});
        return true;
    };
    std::string error;
    EXPECT_FALSE(RefreshBootstrapCache(where, fetch, error));
    EXPECT_TRUE(Contains(error, "asn.json")) << error;
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_FALSE(fs::exists(fs::path(where) / "asn.json"));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(where))
        files += entry.path().string().find(".tmp") == std::string::npos ? 1 : 100;
    EXPECT_EQ(files, 3u); // no temporary file left behind
    EXPECT_EQ(LoadBootstrap(where).FindIPv4(0x01020304), "https://fresh/");

    // Fresh files are not asked for again; a week-old one is, and is replaced.
    asked.clear();
    auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 8);
    fs::last_write_time(fs::path(where) / "ipv4.json", old);
    fetch = [&](const std::string& url, std::string& body) {
        asked.push_back(url);
        body = url.ends_with("ipv4.json") ? BootstrapFile({{{"0.0.0.0/0"}, {"https://fresher/"}}})
                                          : std::string(SnapshotJson(Registry::Asn));
        return true;
    };
    EXPECT_TRUE(CacheNeedsRefresh(where));
    EXPECT_TRUE(RefreshBootstrapCache(where, fetch, error)) << error;
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::string>{"https://data.iana.org/rdap/asn.json",
                                               "https://data.iana.org/rdap/ipv4.json"}));
    EXPECT_FALSE(CacheNeedsRefresh(where));
    EXPECT_EQ(LoadBootstrap(where).FindIPv4(0x01020304), "https://fresher/");
}

TEST(RdapCache, FolderIsPerUser) {
    const std::wstring dir = platform::GetRdapCacheDir().wstring();
#ifdef _WIN32
    EXPECT_TRUE(dir.ends_with(L"\\Ostrabel\\rdap"));
    EXPECT_GT(dir.size(), std::wstring(L"\\Ostrabel\\rdap").size());
#else
    std::string saved = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    setenv("XDG_CACHE_HOME", "/var/tmp/xdg", 1);
    EXPECT_EQ(platform::GetRdapCacheDir(), fs::path("/var/tmp/xdg/ostrabel/rdap"));
    setenv("XDG_CACHE_HOME", "relative", 1); // not absolute: ignored
    EXPECT_EQ(platform::GetRdapCacheDir(),
              fs::path(std::string(getenv("HOME")) + "/.cache/ostrabel/rdap"));
    saved.empty() ? unsetenv("XDG_CACHE_HOME") : setenv("XDG_CACHE_HOME", saved.c_str(), 1);
#endif
}

TEST(RdapText, RealisticAnswersGiveLabelledLines) {
    struct Row {
        const char* fixture;
        const char* url;
        std::vector<std::string> lines; // each must appear, in this order
    } rows[] = {
        {"domain_registry.json",
         "https://pubapi.registry.google/rdap/domain/example.dev",
         {"RDAP: https://pubapi.registry.google/rdap/domain/example.dev\r\n",
          "Domain Name: example.dev\r\n", "Status: client transfer prohibited\r\n",
          "Status: active\r\n", "Registrar: Example Registrar, LLC\r\n",
          "IANA Registrar ID: 1234\r\n", "Created: 2019-02-28T16:46:12.511Z\r\n",
          "Expires: 2027-02-28T16:46:12.511Z\r\n", "Last changed: 2026-01-31T21:01:17.090Z\r\n",
          "Name Server: ns-cloud-a1.googledomains.com\r\n", "DNSSEC: unsigned\r\n",
          "\r\nRegistrar: Example Registrar, LLC\r\n",
          "\r\nAbuse contact: abuse@registrar.example\r\n", "  Telephone: +1.2025550100\r\n"}},
        {"domain_registrar.json",
         "https://rdap.registrar.example/domain/example.dev",
         {"Domain Name: EXAMPLE.DEV\r\n", "Registrant: Anna Müller\r\n",
          "  Organisation: Beispiel GmbH\r\n",
          "  Address: Hauptstraße 5 2. Stock, Berlin, 10115, DE\r\n",
          "  E-mail: anna@beispiel.example\r\n", "  Telephone: +49.3012345\r\n",
          "  Fax: +49.3012346\r\n", "  Remarks: REDACTED FOR PRIVACY\r\n",
          "Administrative contact, Technical contact: TECH-1\r\n",
          "  Address: 1 Example Way, Springfield, US\r\n"}},
        {"ip_arin.json",
         "https://rdap.arin.net/registry/ip/8.8.8.8",
         {"Range: 8.8.8.0 - 8.8.8.255\r\n", "CIDR: 8.8.8.0/24\r\n", "Name: GOGL\r\n",
          "Handle: NET-8-8-8-0-2\r\n", "Parent: NET-8-0-0-0-0\r\n",
          "Remarks: Registration Comments\r\n", "Remarks: Line two.\r\n",
          "Registrant: Google LLC\r\n", "Abuse contact: Abuse\r\n",
          "  E-mail: network-abuse@google.com\r\n", "  Telephone: +1-650-253-0000\r\n"}},
        {"autnum_ripe.json",
         "https://rdap.db.ripe.net/autnum/3333",
         {"AS range: AS3333\r\n", "Name: RIPE-NCC-AS\r\n", "Country: NL\r\n",
          "Created: 2002-09-06T10:40:28Z\r\n",
          "Registrant: Reseaux IP Europeens Network Coordination Centre (RIPE NCC)\r\n",
          "  Address: P.O. Box 10096, 1001EB, Amsterdam, NETHERLANDS\r\n"}},
    };
    for (const Row& row : rows) {
        std::string text, error, related;
        ASSERT_EQ(ResponseToText(row.url, 200, RdapFixture(row.fixture), "", TextOptions{}, text,
                                 error, &related),
                  Outcome::Answer)
            << row.fixture << ": " << error;
        EXPECT_TRUE(text.starts_with(std::string("RDAP: ") + row.url + "\r\n")) << row.fixture;
        std::size_t at = 0;
        for (const std::string& line : row.lines) {
            std::size_t found = text.find(line, at);
            EXPECT_NE(found, std::string::npos) << row.fixture << ": " << line << "\n" << text;
            at = found == std::string::npos ? at : found + line.size();
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << row.fixture << " bare LF at " << i;
            }
        }
        EXPECT_FALSE(Contains(text, "Terms of")) << row.fixture; // notices left out
    }
}

TEST(RdapText, NoticesOnRequestAndTheRegistrarLink) {
    std::string body = RdapFixture("domain_registry.json");
    std::string text, error, related;
    TextOptions options;
    options.showNotices = true;
    ASSERT_EQ(ResponseToText("https://r.example/domain/example.dev", 200, body, "", options, text,
                             error, &related),
              Outcome::Answer);
    EXPECT_TRUE(Contains(text, "\r\nNotice: Terms of Service\r\nNotice: By querying"));
    EXPECT_EQ(related, "https://rdap.registrar.example/domain/example.dev");
    // Only an https:// link of the RDAP type counts.
    ASSERT_EQ(ResponseToText("https://r.example/domain/example.dev", 200,
                             R"({"ldhName":"A","links":[
        {"rel":"related","type":"text/html","href":"https://web.example/"},
        {"rel":"related","type":"application/rdap+json","href":"http://plain.example/"},
        {"rel":"self","type":"application/rdap+json","href":"https://self.example/"}],
        "objectClassName":"domain"})",
                             "", options, text, error, &related),
              Outcome::Answer);
    EXPECT_EQ(related, "");
}

TEST(RdapText, FailuresNameTheServer) {
    struct Row {
        long status;
        std::string body;
        const char* retryAfter;
        Outcome outcome;
        const char* expected; // in text, or in error when Failed
    } rows[] = {
        {404, R"({"errorCode":404,"title":"Not Found"})", "", Outcome::NoMatch,
         "No match for \"ex ample.dev\" at rdap.example.net.\r\n"},
        {429, "", "120", Outcome::RateLimited,
         "rdap.example.net: too many queries, retry after 120.\r\n"},
        {429, "", "", Outcome::RateLimited, "rdap.example.net: too many queries, try again later"},
        {500, "oops", "", Outcome::Failed, "rdap.example.net: HTTP status 500"},
        {200, "<html>", "", Outcome::Failed,
         "rdap.example.net: answer is not RDAP JSON (not JSON)"},
        {200, std::string(1000000, '[') + std::string(1000000, ']'), "", Outcome::Failed,
         "nested deeper than 64"},
        {200, "[]", "", Outcome::Failed, "answer is not an RDAP object"},
        {200, R"({"objectClassName":5})", "", Outcome::Failed, "not an RDAP object"},
        {200, "{\"objectClassName\":\"domain\",\"ldhName\":\"\xff\xfe\"}", "", Outcome::Failed,
         "not JSON"},
    };
    for (const Row& row : rows) {
        std::string text, error;
        Outcome outcome =
            ResponseToText("https://user@rdap.example.net:8443/v1/domain/ex%20ample.dev?x=1",
                           row.status, row.body, row.retryAfter, TextOptions{}, text, error);
        EXPECT_EQ(outcome, row.outcome) << row.status << " " << row.body.substr(0, 20);
        const std::string& where = outcome == Outcome::Failed ? error : text;
        EXPECT_TRUE(Contains(where, row.expected)) << where;
    }
}

// Older servers leave "objectClassName" out: such an answer is read as the
// kind asked for when it has that kind's key member, and refused otherwise.
TEST(RdapText, AnswersWithoutTheirClassAreReadAsTheKindAsked) {
    struct Row {
        const char* asked;
        const char* body;
        const char* expected; // a line of the text; empty: refused
    } rows[] = {
        {"domain", R"({"ldhName":"EXAMPLE.DE","handle":"D1"})", "Domain Name: EXAMPLE.DE\r\n"},
        {"ip network", R"({"startAddress":"192.0.2.0","endAddress":"192.0.2.255"})",
         "Range: 192.0.2.0 - 192.0.2.255\r\n"},
        {"autnum", R"({"startAutnum":64496,"name":"EX"})", "Name: EX\r\n"},
        {"autnum", R"({"ldhName":"EXAMPLE.DE"})", ""},              // not the kind asked
        {"domain", R"({"errorCode":200})", ""},                     // no key member
        {"", R"({"ldhName":"EXAMPLE.DE"})", ""},                    // nothing asked
        {"autnum", R"({"objectClassName":7,"startAutnum":1})", ""}, // a class that is no text
    };
    for (const Row& row : rows) {
        TextOptions options;
        options.askedClass = row.asked;
        std::string text, error;
        const Outcome outcome =
            ResponseToText("https://rdap.example.net/x", 200, row.body, "", options, text, error);
        EXPECT_EQ(outcome, *row.expected ? Outcome::Answer : Outcome::Failed) << row.body;
        if (*row.expected) {
            EXPECT_TRUE(Contains(text, row.expected)) << text;
        }
    }
}

TEST(RdapText, WrongShapesAndHugeBodiesStayBounded) {
    auto render = [](const std::string& body, std::string& text) {
        std::string error;
        return ResponseToText("https://r.example/ip/192.0.2.1", 200, body, "", TextOptions{}, text,
                              error);
    };
    std::string text;
    // Strings, numbers and nulls where objects and arrays belong.
    for (const char* body : {
             R"({"objectClassName":"domain","entities":"x","events":{},"status":[1,null],
                 "nameservers":[5],"remarks":"r","secureDNS":[]})",
             R"({"objectClassName":"entity","vcardArray":"v","roles":{}})",
             R"({"objectClassName":"entity","vcardArray":["vcard",[["fn"],["adr",7,8,[[[[]]]]],
                 ["tel",{"type":5},"uri",{}]]]})",
             R"({"objectClassName":"ip network","cidr0_cidrs":[{"length":[]}],"startAddress":7})",
             R"({"objectClassName":"something new","handle":"H-1"})",
         }) {
        EXPECT_EQ(render(body, text), Outcome::Answer) << body;
        EXPECT_TRUE(text.starts_with("RDAP: https://r.example/ip/192.0.2.1\r\n")) << body;
    }
    // A value cannot start a line of its own.
    render(R"({"objectClassName":"ip network","name":"A\r\nCountry: XX"})", text);
    EXPECT_TRUE(Contains(text, "Name: A  Country: XX\r\n")) << text;

    // A huge array of entities: the rendering stops at the cap.
    // Each entity counts 4 values (object, array, two separators).
    const auto entitiesBody = [](int count) {
        std::string body = R"({"objectClassName":"domain","entities":[)";
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                body += ',';
            body += R"({"roles":["technical"],"handle":"H"})";
        }
        return body + "]}";
    };
    EXPECT_EQ(render(entitiesBody(70000), text), Outcome::Answer);
    std::size_t shown = 0;
    for (std::size_t at = 0; (at = text.find("Technical contact: H\r\n", at)) != std::string::npos;
         ++at)
        ++shown;
    EXPECT_EQ(shown, 64u);
    EXPECT_TRUE(text.ends_with("(further entities not shown)\r\n"));

    // More values than an answer may hold: refused before anything is built.
    std::string error;
    std::string empties = R"({"objectClassName":"domain","entities":[{})";
    for (int i = 0; i < 250000; ++i)
        empties += ",{}"; // two values each: the object and its separator
    EXPECT_EQ(
        ResponseToText("https://r.example/", 200, empties + "]}", "", TextOptions{}, text, error),
        Outcome::Failed);
    EXPECT_EQ(error, "r.example: answer is not RDAP JSON (JSON with more than 500000 values)");

    // A body near the 4 MiB cap: one long remark; beyond it, refused.
    std::string big = R"({"objectClassName":"autnum","remarks":[{"description":[")" +
                      std::string(kMaxRdapAnswerBytes - 100, 'x') + "\"]}]}";
    EXPECT_EQ(render(big, text), Outcome::Answer);
    EXPECT_GT(text.size(), kMaxRdapAnswerBytes - 100);
    big.insert(big.size() - 5, 100, 'x');
    EXPECT_EQ(ResponseToText("https://r.example/", 200, big, "", TextOptions{}, text, error),
              Outcome::Failed);
    EXPECT_EQ(error, "r.example: answer over 4 MiB");
}

TEST(RdapLookup, WholeLookupsAgainstAFakeServer) {
    const std::string registry = "https://pubapi.registry.google/rdap/domain/example.dev";
    const std::string registrar = "https://rdap.registrar.example/domain/example.dev";
    const std::string arin = "https://rdap.arin.net/registry/ip/8.8.8.8";
    auto ok = [](const std::string& fixture, const std::string& finalUrl = "") {
        return Response{true, 200, RdapFixture(fixture), finalUrl, "", ""};
    };
    struct Row {
        const char* query;
        std::map<std::string, Response> server; // a URL missing here: connection refused
        Outcome outcome;
        std::vector<std::string> urls;
        std::vector<std::string> inText; // in this order
        const char* note;                // in the notes, or "" for none
    } rows[] = {
        {"Example.DEV",
         {{registry, ok("domain_registry.json")}, {registrar, ok("domain_registrar.json")}},
         Outcome::Answer,
         {registry, registrar},
         {"RDAP: " + registry + "\r\n", "Registrar: Example Registrar, LLC\r\n",
          "\r\nRDAP: " + registrar + "\r\n", "Registrant: Anna Müller\r\n"},
         ""},
        {"example.dev",
         {{registry, ok("domain_registry.json")}, {registrar, Response{true, 404, "", "", "", ""}}},
         Outcome::Answer,
         {registry, registrar},
         {"Domain Name: example.dev\r\n"},
         "registrar's record: No match for \"example.dev\" at rdap.registrar.example."},
        {"example.dev",
         {{registry, ok("domain_registry.json")}},
         Outcome::Answer,
         {registry, registrar},
         {"DNSSEC: unsigned\r\n"},
         "rdap.registrar.example: could not connect"},
        {"8.8.8.8",
         {{arin, ok("ip_arin.json", "https://rdap.arin.net/registry/ip/8.8.8.0")}},
         Outcome::Answer,
         {arin},
         {"RDAP: https://rdap.arin.net/registry/ip/8.8.8.0\r\n", "Range: 8.8.8.0 - 8.8.8.255"},
         ""},
        {"8.8.8.8",
         {{arin, Response{false, 0, "", "", "", "TLS certificate not trusted"}}},
         Outcome::Failed,
         {arin},
         {},
         "rdap.arin.net: TLS certificate not trusted"},
        {"AS3333",
         {{"https://rdap.db.ripe.net/autnum/3333", Response{true, 429, "", "", "60", ""}}},
         Outcome::RateLimited,
         {"https://rdap.db.ripe.net/autnum/3333"},
         {"rdap.db.ripe.net: too many queries, retry after 60."},
         ""},
        {"example.invalid", {}, Outcome::Failed, {}, {}, "no server known for the domain"},
    };
    for (const Row& row : rows) {
        HttpGet get = [&row](const std::string& url) {
            auto it = row.server.find(url);
            return it != row.server.end() ? it->second
                                          : Response{false, 0, "", "", "", "could not connect"};
        };
        LookupResult r = Lookup(row.query, LoadBootstrap(""), get, TextOptions{});
        EXPECT_EQ(r.outcome, row.outcome) << row.query;
        EXPECT_EQ(r.urls, row.urls) << row.query;
        std::size_t at = 0;
        for (const std::string& part : row.inText) {
            std::size_t found = r.text.find(part, at);
            EXPECT_NE(found, std::string::npos) << row.query << ": " << part << "\n" << r.text;
            at = found == std::string::npos ? at : found + part.size();
        }
        if (row.outcome == Outcome::Failed) {
            EXPECT_TRUE(r.text.empty()) << row.query;
        }
        std::string notes;
        for (const std::string& n : r.notes)
            notes += n + "\n";
        EXPECT_EQ(notes.empty(), std::string(row.note).empty()) << row.query << ": " << notes;
        EXPECT_TRUE(Contains(notes, row.note)) << row.query << ": " << notes;
    }
}

// Every list stops at its cap and says how many were left out: statuses,
// name servers, events, remarks, public ids, a contact's roles and e-mails.
TEST(RdapText, ListsStopAtTheCapAndSayHowManyWereLeftOut) {
    const auto list = [](const std::string& item, int count) {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += (i ? "," : "") + item;
        return "[" + out + "]";
    };
    const std::string body = R"({"objectClassName":"domain","ldhName":"a.test","status":)" +
                             list(R"("active")", 70) + R"(,"nameservers":)" +
                             list(R"({"ldhName":"ns.a.test"})", 65) + R"(,"entities":[{"roles":)" +
                             list(R"("registrar")", 200) + R"(,"publicIds":)" +
                             list(R"({"type":"IANA Registrar ID","identifier":"1"})", 100) +
                             R"(,"vcardArray":["vcard",[["fn",{},"text","Reg"],)" +
                             list(R"(["email",{},"text","x@a.test"])", 66).substr(1) + "]}]}";
    TextOptions options;
    std::string text, error;
    ASSERT_EQ(ResponseToText("https://r.test/domain/a.test", 200, body, "", options, text, error),
              Outcome::Answer)
        << error;
    const auto count = [&](const std::string& line) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = text.find(line, at)) != std::string::npos; at += line.size())
            ++n;
        return n;
    };
    EXPECT_EQ(count("Status: active\r\n"), 64u);
    EXPECT_EQ(count("\r\n(6 more not shown)\r\n"), 1u) << text;
    EXPECT_EQ(count("Name Server: ns.a.test\r\n"), 64u);
    EXPECT_EQ(count("\r\n(1 more not shown)\r\n"), 1u);
    EXPECT_EQ(count("IANA Registrar ID: 1\r\n"), 64u);
    EXPECT_EQ(count("\r\n(36 more not shown)\r\n"), 1u);
    EXPECT_EQ(count("Registrar, "), 63u);
    EXPECT_EQ(count("Registrar (136 more not shown): Reg\r\n"), 1u) << text;
    EXPECT_EQ(count("  E-mail: x@a.test\r\n"), 64u);
    EXPECT_EQ(count("  (2 more not shown)\r\n"), 1u);
}

// Controls that would act on a terminal or turn text around never reach the
// text: C0 and DEL, C1, the bidirectional marks, embeddings, overrides and
// isolates, and the line and paragraph separators. Other characters stay.
TEST(RdapText, ControlCharactersBecomeSpaces) {
    // JSON text of the value, and of what is shown.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"evil\\u202Egnp.exe", "evil gnp.exe"},
        {"a\\u202Ab\\u202Bc\\u202Cd\\u202De", "a b c d e"},
        {"a\\u2066b\\u2067c\\u2068d\\u2069e", "a b c d e"},
        {"a\\u200Eb\\u200Fc", "a b c"},
        {"a\\u2028b\\u2029c", "a b c"},
        {"a\\u0085b\\u009Bc\\u0080d\\u009Fe", "a b c d e"},
        {"a\\u0007b\\u007Fc", "a b c"},
        {"Müller \\u200Dß \\u00A0\\u2030", "Müller \\u200Dß \\u00A0\\u2030"},
    };
    for (const auto& [json, shown] : rows) {
        std::string text, error;
        ASSERT_EQ(ResponseToText("https://r.test/ip/192.0.2.1", 200,
                                 R"({"objectClassName":"ip network","name":")" + json + "\"}", "",
                                 TextOptions{}, text, error),
                  Outcome::Answer)
            << json;
        nlohmann::json decoded = nlohmann::json::parse("\"" + shown + "\"");
        EXPECT_TRUE(Contains(text, "Name: " + decoded.get<std::string>() + "\r\n")) << text;
    }
    // The one-line answers too, and the trace.
    std::string text, error;
    ResponseToText("https://r.test/domain/a\xE2\x80\xAE"
                   "b",
                   404, "", "", {}, text, error);
    EXPECT_EQ(text, "No match for \"a b\" at r.test.\r\n");
    ResponseToText("https://r.test/", 429, "",
                   "1\xC2\x9B"
                   "2",
                   {}, text, error);
    EXPECT_EQ(text, "r.test: too many queries, retry after 1 2.\r\n");
    EXPECT_EQ(PrintableTraceText("a\xE2\x81\xA6"
                                 "b\xC2\x85"),
              "a?b?");
}

// A registry's link to the registrar's record is not followed to a host
// written as an address of this machine or of a local network.
TEST(RdapText, RelatedLinksNeverPointAtLocalAddresses) {
    const auto related = [](const std::string& href) {
        const std::string body =
            R"({"objectClassName":"domain","ldhName":"a.test","links":[{"rel":"related",)"
            R"("type":"application/rdap+json","href":")" +
            href + "\"}]}";
        std::string text, error, link = "unset";
        EXPECT_EQ(ResponseToText("https://r.test/domain/a.test", 200, body, "", TextOptions{}, text,
                                 error, &link),
                  Outcome::Answer)
            << error;
        return link;
    };
    for (const char* href : {"https://127.0.0.1/x", "https://[::1]:8443/x", "https://10.1.1.1/",
                             "https://2130706433/", "https://169.254.169.254/latest"})
        EXPECT_EQ(related(href), "") << href;
    for (const char* href : {"https://rdap.registrar.test/d/a", "https://192.0.2.8/d/a"})
        EXPECT_EQ(related(href), href);
}

namespace {

// A network that keeps its registries in a given folder and counts the
// refresh's GETs, answering each with the built-in copy (or by throwing).
class CacheNetwork : public WhoisNetwork {
public:
    explicit CacheNetwork(fs::path folder, bool throws = false)
        : folder_(std::move(folder)), throws_(throws) {}
    bool Exchange(const std::string&, const std::string&, std::string&, int) override {
        return false;
    }
    bool Resolve(const std::string&, std::string&) override { return false; }
    fs::path RdapCacheDirectory() override { return folder_; }
    RegistryFetch RdapRegistryFetch() override {
        return [fetches = fetches_, throws = throws_](const std::string& url, int,
                                                      std::string& body) -> bool {
            ++*fetches;
            if (throws)
                throw std::bad_alloc();
            for (Registry registry : kAllRegistries)
                if (url == RegistryUrl(registry))
                    body = std::string(SnapshotJson(registry));
            return true;
        };
    }
    int Fetches() const { return *fetches_; }

private:
    fs::path folder_;
    bool throws_;
    std::shared_ptr<std::atomic<int>> fetches_ = std::make_shared<std::atomic<int>>(0);
};

// Whether a refresh starts is decided by the folder's files alone (the
// copies' age and the failure mark), so three lookups in one process stand
// for three runs.
int LookUpThreeTimes(CacheNetwork& net) {
    for (int run = 0; run < 3; ++run) {
        RunRdapLookup("AS15169", net, false, {});
        EXPECT_TRUE(WaitForRefresh(std::chrono::seconds(10)));
    }
    return net.Fetches();
}

} // namespace

// A cache folder that cannot be written (here: below a plain file, which
// even an administrator cannot write into) is never refreshed, rather than
// refreshed by every lookup; a writable one once.
TEST(RdapRefresh, AtMostOneRoundOfDownloadsForThreeRuns) {
    TempDir dir;
    dir.Write("file", "x");
    CacheNetwork readOnly(dir.path / "file" / "rdap");
    EXPECT_EQ(LookUpThreeTimes(readOnly), 0);
    CacheNetwork writable(dir.path / "rdap");
    EXPECT_EQ(LookUpThreeTimes(writable), 4);
    EXPECT_FALSE(CacheNeedsRefresh(dir.path / "rdap"));
}

// An exception inside the refresh (out of memory, a thread that cannot be
// made) is a failed refresh: the program goes on, and the next try is a
// day away.
TEST(RdapRefresh, AnExceptionIsAFailedRefresh) {
    TempDir dir;
    CacheNetwork net(dir.path / "rdap", /*throws=*/true);
    EXPECT_EQ(LookUpThreeTimes(net), 1);
    EXPECT_TRUE(fs::exists(dir.path / "rdap" / "refresh-failed"));
}

// A folder named beyond ASCII (a user called José) is the same folder for
// writing and reading: the path stays as the system names it.
TEST(RdapCache, FolderNamedBeyondAscii) {
    TempDir dir;
    const fs::path where = dir.path / fs::path(u8"Jos\u00e9 \u0416") / "rdap";
    std::string error;
    ASSERT_TRUE(RefreshBootstrapCache(
        where,
        [](const std::string& url, std::string& body) {
            for (Registry registry : kAllRegistries)
                if (url == RegistryUrl(registry))
                    body = std::string(SnapshotJson(registry));
            return true;
        },
        error))
        << error;
    std::array<bool, 4> fromCache = {};
    LoadBootstrap(where, &fromCache);
    EXPECT_EQ(fromCache, (std::array<bool, 4>{true, true, true, true}));
    EXPECT_TRUE(fs::exists(dir.path / fs::path(u8"Jos\u00e9 \u0416") / "rdap" / "asn.json"));
}

// Writers of one file at once each write a temporary file of their own: the
// file ends whole, as one of them wrote it, and no temporary file is left.
TEST(RdapCache, WritersAtOnceNeverShareATemporaryFile) {
    TempDir dir;
    std::vector<std::thread> writers;
    std::atomic<int> failures{0};
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            const std::string body(200000, static_cast<char>('a' + w));
            for (int i = 0; i < 25; ++i) {
                std::string reason;
                if (!platform::ReplaceFileContents(dir.path / "dns.json", body, reason))
                    ++failures;
            }
        });
    for (std::thread& t : writers)
        t.join();
    // Windows may refuse a replace while another is under way (the file
    // stays whole, as the last one left it); POSIX renames never fail here.
    EXPECT_LT(failures, 100);
    std::ifstream in(dir.path / "dns.json", std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(written.size(), 200000u);
    EXPECT_EQ(written.find_first_not_of(written[0]), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

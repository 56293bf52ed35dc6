// The lookup driver against a scripted network: which requests it makes, in
// which order, and the exact text it hands back, on every road through the
// domain path and the address path.
#include "engine/busy.h"
#include "engine/driver.h"
#include "platform/path.h"
#include "servers/server_table.h"
#include "tests/engine/engine_test_util.h"
#include "tests/engine/scripted_network.h"
#include "tests/engine/idna_text.h"
#include "tests/engine/seven_step_chain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>

using enginetest::After;
using enginetest::Before;
using enginetest::BoxText;
using enginetest::Sample;
using testnet::Request;
using testnet::ScriptedNetwork;
using Requests = std::vector<Request>;

namespace {

const std::string kArin = "whois.arin.net";
const std::string kRipe = "whois.ripe.net";
const std::string kApnic = "whois.apnic.net";
const std::string kAunic = "whois.auda.org.au";
const std::string kLacnic = "whois.lacnic.net";
const std::string kVerio = "rwhois.verio.net";
const std::string kKr = "whois.kisa.or.kr";
const std::string kBr = "whois.registro.br";
const std::string kComNet = "whois.verisign-grs.com";
const std::string kPir = "whois.pir.org";

// Runs every lookup with a server list directory of its own: no
// whoislist.txt (the built-in list) unless a test writes one.
class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        m_dir = std::filesystem::temp_directory_path() /
                ("ostrabel-driver-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_dir);
        SetProgramDirectoryForTesting(m_dir.string() + platform::PathSeparator());
        DiscardServerTable();
    }
    void TearDown() override {
        SetProgramDirectoryForTesting("");
        DiscardServerTable();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    void WriteServerList(const std::string& text) {
        std::ofstream(m_dir / "whoislist.txt", std::ios::binary) << text;
        DiscardServerTable();
    }
    std::string Lookup(const std::string& input, int convertToIp = 0) {
        std::string result = "stale text";
        LookupOptions options;
        options.convertToIp = convertToIp;
        options.classic = classic;
        options.trace = trace;
        details = LookupDetails();
        options.details = &details;
        RunWhoisLookup(input, result, options, net);
        shown = result;
        // The records alone: the default mode's summary above them and its
        // reason line are checked by the suite of their own.
        return details.text;
    }

    ScriptedNetwork net;
    LookupDetails details; // of the last lookup
    std::string shown;     // the last lookup's whole text
    bool classic = false;
    std::function<void(const std::string&)> trace;

private:
    std::filesystem::path m_dir;
};

// The driver suite runs in both modes: no test here reaches a point where the
// extended chain differs, except those of ClassicDriverTest (the extension
// suite covers what the extended chain does there).
class DriverTest : public DriverFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        classic = GetParam();
    }
};

class ClassicDriverTest : public DriverFixture {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        classic = true;
    }
};

} // namespace

// ---------------------------------------------------------------- helpers

TEST(IsDottedAddress, ShapeOnly) {
    for (const char* yes : {"192.0.2.1", "1.2.3.4", "1.2.3.", "...12", "999.999.999.999",
                            "123.123.123.123", "0.0.0.0", "1..2.3"})
        EXPECT_TRUE(IsDottedAddress(yes)) << yes;
    for (const char* no : {"", "1...", "1.2.3", "1.2.3.4.5", "1234.1234.1234.1", "1.2.3.a",
                           " 1.2.3.4", "1.2.3.4 ", "a.b.c.d", "1,2.3.4", "....."})
        EXPECT_FALSE(IsDottedAddress(no)) << no;
}

TEST(ExtractFieldValue, ValueBetweenMarkersTrimmed) {
    EXPECT_EQ(ExtractFieldValue("a\nNetName:    X-NET \r\nb", "NetName:    ", "\n"), "X-NET");
    EXPECT_EQ(ExtractFieldValue("NetName:    A\nNetName:    B\n", "NetName:    ", "\n"), "A");
    EXPECT_EQ(ExtractFieldValue("Whois Server:\t\v whois.x.net\f\n", "Whois Server:", "\n"),
              "whois.x.net");
    EXPECT_EQ(ExtractFieldValue("Whois Server: \r\n", "Whois Server:", "\n"), "");
    EXPECT_EQ(ExtractFieldValue("Whois Server: last line", "Whois Server:", "\n"), "");
    EXPECT_EQ(ExtractFieldValue("nothing here\n", "Whois Server:", "\n"), "");
    EXPECT_EQ(ExtractFieldValue("WHOIS Server: x\n", "Whois Server:", "\n"), "");
    // The end marker is searched only after the marker.
    EXPECT_EQ(ExtractFieldValue("\nkey=value;", "key=", ";"), "value");
}

TEST(CollectParenthesised, ItemsInOrderTrimmedNonEmpty) {
    using V = std::vector<std::string>;
    EXPECT_EQ(CollectParenthesised("Net A (NET-A) 1.0.0.0\nNet B ( NET-B\t) 2.0.0.0\n"),
              (V{"NET-A", "NET-B"}));
    EXPECT_EQ(CollectParenthesised("(a (b) c)"), (V{"a (b"}));
    EXPECT_EQ(CollectParenthesised("((x))"), (V{"(x"}));
    EXPECT_EQ(CollectParenthesised("( ) () (C)"), (V{"C"}));
    EXPECT_EQ(CollectParenthesised("a) (b"), V{});
    EXPECT_EQ(CollectParenthesised(")("), V{});
    EXPECT_EQ(CollectParenthesised("no parentheses at all"), V{});
    EXPECT_EQ(CollectParenthesised(""), V{});
    EXPECT_EQ(CollectParenthesised("x) y (z)"), (V{"z"}));
}

// ---------------------------------------------------------- classification

TEST_P(DriverTest, DottedAddressGoesToArinWhateverConvertToIpSays) {
    net.Answer(kArin, "192.0.2.1", "NetName:    TEST-NET\n");
    for (int convert : {0, 1, 7}) {
        EXPECT_EQ(Lookup("192.0.2.1", convert), "192.0.2.1\r\n\r\nNetName:    TEST-NET");
    }
    EXPECT_EQ(net.requests(), Requests(3, Request{kArin, "192.0.2.1", 43}));
    EXPECT_TRUE(net.resolved().empty());
}

TEST_P(DriverTest, WordsWithoutADotOrWithALeadingDotGoToArinAsTyped) {
    net.Answer(kArin, "NET-4-0-0-0-1", "handle answer\n");
    net.Answer(kArin, ".example.com", "odd answer\n");
    EXPECT_EQ(Lookup("NET-4-0-0-0-1", 1), "NET-4-0-0-0-1\r\n\r\nhandle answer");
    EXPECT_EQ(Lookup(".example.com", 1), ".example.com\r\n\r\nodd answer");
    EXPECT_TRUE(net.resolved().empty()); // no resolution even with Convert To IP set
}

TEST_P(DriverTest, ConvertToIpResolvesANameAndShowsBothInTheHeading) {
    net.Resolves("www.Example.com", "192.0.2.7");
    net.Answer(kArin, "192.0.2.7", "NetName:    EXAMPLE\n");
    EXPECT_EQ(Lookup("www.Example.com", 1), "www.Example.com:192.0.2.7\r\n\r\nNetName:    EXAMPLE");
    EXPECT_EQ(net.resolved(), std::vector<std::string>{"www.Example.com"});
    EXPECT_EQ(net.requests(), (Requests{{kArin, "192.0.2.7", 43}}));
}

TEST_F(ClassicDriverTest, ConvertToIpWithANameThatDoesNotResolve) {
    EXPECT_EQ(Lookup("nowhere.example.com", 1), "Unable to resolve host");
    EXPECT_EQ(Lookup("1.2.3.4.5", 1), "Unable to resolve host"); // four dots: a name
    EXPECT_TRUE(net.requests().empty());
    EXPECT_EQ(net.resolved(), (std::vector<std::string>{"nowhere.example.com", "1.2.3.4.5"}));
}

// ------------------------------------------------------------- domain path

TEST_P(DriverTest, ComNetRegistryGetsDomainPrefixAndItsReferralTheBareName) {
    const std::string registry = Sample("whois.crsnic.net/crsnic-google.net-2009.txt");
    const std::string registrar = Sample("whois.markmonitor.com/markmonitor-registered-2011.txt");
    net.Answer(kComNet, "domain google.net", registry);
    net.Answer("whois.markmonitor.com", "google.net", registrar);
    EXPECT_EQ(Lookup("google.net"), BoxText(registrar)); // no heading on the domain path
    EXPECT_EQ(net.requests(), (Requests{{kComNet, "domain google.net", 43},
                                        {"whois.markmonitor.com", "google.net", 43}}));
}

TEST_P(DriverTest, ReferralHostChoosesTheNoticeFilter) {
    const std::string registrar = Sample("whois.tucows.com/tucows-registered-2012.txt");
    net.Answer(kComNet, "domain ss-nz.com",
               "Domain Name: SS-NZ.COM\n   Whois Server: whois.tucows.com\r\n");
    net.Answer("whois.tucows.com", "ss-nz.com", registrar);
    EXPECT_EQ(Lookup("ss-nz.com"), BoxText(Before(registrar, "The Data in the Tucows Registrar")));
}

TEST_P(DriverTest, RegistryAnswerStaysWhenItNamesNoRegistrar) {
    const std::string registry =
        Sample("whois.crsnic.net/crsnic-net-no-whois-server-line-2011.txt");
    net.Answer(kComNet, "domain vrsn-test.net", registry);
    EXPECT_EQ(Lookup("vrsn-test.net"), BoxText(registry));
    EXPECT_EQ(net.requests().size(), 1u);

    // An empty value: no second exchange, and the filter runs with no server
    // (the registry's own host would not cut anything here either way).
    net.Answer(kComNet, "domain empty.com", "Whois Server: \r\nrecord\n");
    EXPECT_EQ(Lookup("empty.com"), "Whois Server: \r\r\nrecord");
    EXPECT_EQ(net.requests().size(), 2u);
}

TEST_P(DriverTest, UnusableReferralHostLeavesTheRegistryAnswer) {
    // The .tv registry writes "not defined"; the name is asked for like any
    // host, fails, and the registry's answer stays.
    const std::string registry =
        Sample("tvwhois.verisign-grs.com/tv-set.tv-whois-server-not-defined-2010.txt");
    net.Answer(kComNet, "domain set.com", registry);
    EXPECT_EQ(Lookup("set.com"), BoxText(registry));
    EXPECT_EQ(net.requests(),
              (Requests{{kComNet, "domain set.com", 43}, {"not defined", "set.com", 43}}));
}

TEST_P(DriverTest, FailedReferralKeepsRegistryAnswerButFiltersForTheReferralHost) {
    // Cut as a Tucows answer although the text is the registry's: the filter
    // follows the server chosen last.
    net.Answer(kComNet, "domain a.com",
               "Domain Name: A.COM\nWhois Server: whois.tucows.com\n"
               "The Data in the Tucows Registrar says so\n");
    net.Answer("whois.tucows.com", "a.com", "partial", /*ok=*/false);
    EXPECT_EQ(Lookup("a.com"), "Domain Name: A.COM\r\nWhois Server: whois.tucows.com");
    EXPECT_EQ(net.requests().size(), 2u);
}

TEST_P(DriverTest, EmptyRegistrarAnswerReplacesTheRegistryAnswer) {
    net.Answer(kComNet, "domain a.com", "Whois Server: whois.example.net\n");
    net.Answer("whois.example.net", "a.com", "");
    EXPECT_EQ(Lookup("a.com"), "");
}

TEST_P(DriverTest, FailedFirstDomainExchangeShowsWhatItLeftFiltered) {
    net.Answer(kComNet, "domain a.com", "\nDomain Name: A.COM\nWhois Server: whois.x.net\n",
               /*ok=*/false);
    EXPECT_EQ(Lookup("a.com"), "Domain Name: A.COM\r\nWhois Server: whois.x.net");
    EXPECT_EQ(net.requests().size(), 1u); // no referral after a failure

    EXPECT_EQ(Lookup("unscripted.com"), "");
}

TEST_P(DriverTest, OrgRegistryIsAskedWithoutPrefixAndFollowsItsReferral) {
    const std::string registry = Sample("whois.pir.org/pir-google.org-2018.txt");
    net.Answer(kPir, "google.org", registry);
    // Its "WHOIS Server:" is another marker: no referral, and the server is
    // then the empty name, so PIR's own rule does not run either (here its
    // notice follows the record and would have taken it all).
    EXPECT_EQ(Lookup("google.org"), BoxText(registry));

    net.Answer(kPir, "weppos.org", "Whois Server: whois.enom.com\n");
    net.Answer("whois.enom.com", "weppos.org",
               "terms, you agree to these terms.\nrecord\nThe data in this whois database is x");
    EXPECT_EQ(Lookup("weppos.org"), "record");
    EXPECT_EQ(net.requests(), (Requests{{kPir, "google.org", 43},
                                        {kPir, "weppos.org", 43},
                                        {"whois.enom.com", "weppos.org", 43}}));
}

TEST_P(DriverTest, OtherRegistriesAreAskedOnceWithTheNameAsTyped) {
    const std::string answer = Sample("whois.denic.de/denic-registered-2013.txt");
    net.Answer("whois.denic.de", "Google.DE", answer + "Whois Server: whois.other.example\n");
    EXPECT_EQ(Lookup("Google.DE"), BoxText(answer + "Whois Server: whois.other.example\n"));
    EXPECT_EQ(net.requests(), (Requests{{"whois.denic.de", "Google.DE", 43}}));
}

TEST_P(DriverTest, InternicFromTheServerListGetsThePrefixToo) {
    WriteServerList("zz:  WHOIS.INTERNIC.NET\r\ncom:  whois.verisign-grs.com\r\n");
    net.Answer("whois.internic.net", "domain example.zz", "Whois Server: whois.reg.example\n");
    net.Answer("whois.reg.example", "example.zz", "registrar record\n");
    EXPECT_EQ(Lookup("example.zz"), "registrar record");
    EXPECT_EQ(net.requests(), (Requests{{"whois.internic.net", "domain example.zz", 43},
                                        {"whois.reg.example", "example.zz", 43}}));
}

TEST_F(ClassicDriverTest, UnknownTopLevelDomain) {
    EXPECT_EQ(Lookup("example.zz"), "I do not know the whois server for this domain extension");
    EXPECT_TRUE(net.requests().empty());
}

// ------------------------------------------------------------ address path

TEST_P(DriverTest, FailedArinExchangeEndsAtOnceUnfilteredWithoutHeading) {
    net.Answer(kArin, "192.0.2.1", "\nNetName:    RIPE-X\npartial\n", /*ok=*/false);
    EXPECT_EQ(Lookup("192.0.2.1"), "\nNetName:    RIPE-X\npartial\n");
    EXPECT_EQ(Lookup("192.0.2.2"), ""); // unscripted: refused
    EXPECT_EQ(net.requests().size(), 2u);
}

TEST_P(DriverTest, PlainArinAnswerIsFilteredForArin) {
    net.Answer(kArin, "4.2.2.1",
               "NetName:    LVLT-ORG-4-8\nNetHandle:  NET-4-0-0-0-1\n\n"
               "# ARIN Whois database, last updated 2004-06-01 19:10\n");
    EXPECT_EQ(Lookup("4.2.2.1"),
              "4.2.2.1\r\n\r\nNetName:    LVLT-ORG-4-8\r\nNetHandle:  NET-4-0-0-0-1");
}

TEST_P(DriverTest, NetworkNameChoosesTheRegistry) {
    struct Case {
        const char* netName;
        std::string server;
    } cases[] = {
        {"RIPE-CBLK", kRipe},     {"APNIC-CBLK", kApnic}, {"AUNIC-AU", kAunic},
        {"LACNIC-CIDR", kLacnic}, {"APNIC-RIPE", kRipe}, // RIPE is tried first
        {"XAUNICLACNIC", kAunic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.netName);
        ScriptedNetwork fresh;
        fresh.Answer(kArin, "192.0.2.1", std::string("NetName:    ") + c.netName + "\n");
        fresh.Answer(c.server, "192.0.2.1", "registry answer\n");
        std::string result;
        LookupOptions options;
        options.convertToIp = 0;
        options.classic = classic;
        LookupDetails details;
        options.details = &details;
        RunWhoisLookup("192.0.2.1", result, options, fresh);
        EXPECT_EQ(details.text, "192.0.2.1\r\n\r\nregistry answer");
        EXPECT_EQ(fresh.requests(),
                  (Requests{{kArin, "192.0.2.1", 43}, {c.server, "192.0.2.1", 43}}));
    }
}

TEST_P(DriverTest, RealReferralsToRipeApnicAndLacnic) {
    {
        SCOPED_TRACE("RIPE");
        const std::string ripe = Sample("whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt");
        net.Answer(kArin, "130.66.76.222",
                   Sample("whois.arin.net/arin-net-130.66.76.222-ripe-erx-whois-referral.txt"));
        net.Answer(kRipe, "130.66.76.222", ripe);
        EXPECT_EQ(Lookup("130.66.76.222"), "130.66.76.222\r\n\r\n" + BoxText(ripe));
    }
    {
        SCOPED_TRACE("APNIC, its copyright header cut");
        const std::string apnic = Sample("whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt");
        net.Answer(kArin, "144.134.121.81",
                   Sample("whois.arin.net/arin-net-144.134.121.81-apnic-erx.txt"));
        net.Answer(kApnic, "144.134.121.81", apnic);
        EXPECT_EQ(Lookup("144.134.121.81"),
                  "144.134.121.81\r\n\r\n" +
                      BoxText(After(apnic, "http://www.apnic.net/db/dbcopyright.html")));
    }
    {
        SCOPED_TRACE("LACNIC, answered in NIC.br's words");
        const std::string lacnic =
            Sample("whois.lacnic.net/lacnic-inetnum-170.0.0.0-answered-by-nicbr.txt");
        net.Answer(kArin, "170.0.0.0", Sample("whois.arin.net/arin-net-170.0.0.0-lacnic-erx.txt"));
        net.Answer(kLacnic, "170.0.0.0", lacnic);
        EXPECT_EQ(Lookup("170.0.0.0"), "170.0.0.0\r\n\r\n" + BoxText(lacnic));
    }
    EXPECT_EQ(net.requests(), (Requests{{kArin, "130.66.76.222", 43},
                                        {kRipe, "130.66.76.222", 43},
                                        {kArin, "144.134.121.81", 43},
                                        {kApnic, "144.134.121.81", 43},
                                        {kArin, "170.0.0.0", 43},
                                        {kLacnic, "170.0.0.0", 43}}));
}

TEST_P(DriverTest, FailedRegistryExchangeKeepsArinsAnswerFilteredForTheRegistry) {
    // ARIN's trailer is not cut: the filter is RIPE's.
    const std::string arin = "NetName:    RIPE-CBLK\n# ARIN Whois database, last updated\n";
    net.Answer(kArin, "192.0.2.1", arin);
    net.Answer(kRipe, "192.0.2.1", "half", /*ok=*/false);
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\n" + BoxText(arin));
    EXPECT_EQ(net.requests().size(), 2u);
}

TEST_P(DriverTest, NetworkNameNeedsFourSpacesAfterTheColon) {
    net.Answer(kArin, "192.0.2.1", "NetName: RIPE-CBLK\n");
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\nNetName: RIPE-CBLK");
    EXPECT_EQ(net.requests().size(), 1u);
}

TEST_P(DriverTest, NetworkListLeadsToTheLastHandle) {
    // Today's ARIN: the last parenthesised text is the organisation's handle.
    const std::string arin = Sample("whois.arin.net/arin-net-174-shaw-rwhois-referral.txt");
    net.Answer(kArin, "174.0.0.1", arin);
    net.Answer(kArin, "SHAWC", "OrgName:    Shaw Communications Inc.\n");
    EXPECT_EQ(Lookup("174.0.0.1"), "174.0.0.1\r\n\r\nOrgName:    Shaw Communications Inc.");

    // An old-style list of networks; the second query fails: the list stays.
    const std::string list = "Example One EX-ONE (NET-192-0-2-0-1)  192.0.2.0 - 192.0.2.255\n"
                             "Example Two EX-TWO (NET-192-0-2-0-2)  192.0.2.0 - 192.0.2.127\n";
    net.Answer(kArin, "192.0.2.1", list);
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\n" + BoxText(list));
    EXPECT_EQ(net.requests(), (Requests{{kArin, "174.0.0.1", 43},
                                        {kArin, "SHAWC", 43},
                                        {kArin, "192.0.2.1", 43},
                                        {kArin, "NET-192-0-2-0-2", 43}}));
}

TEST_P(DriverTest, NoMatchCountsOnlyAtTheStart) {
    net.Answer(kArin, "EX-1", "No match for \"EX-1\". (HINT-HANDLE)\n");
    EXPECT_EQ(Lookup("EX-1"), "EX-1\r\n\r\nNo match for \"EX-1\". (HINT-HANDLE)");
    net.Answer(kArin, "EX-2", " No match for \"EX-2\". (HINT-HANDLE)\n");
    net.Answer(kArin, "HINT-HANDLE", "hint record\n");
    EXPECT_EQ(Lookup("EX-2"), "EX-2\r\n\r\nhint record");
    EXPECT_EQ(net.requests(),
              (Requests{{kArin, "EX-1", 43}, {kArin, "EX-2", 43}, {kArin, "HINT-HANDLE", 43}}));
}

TEST_P(DriverTest, RwhoisServerTwiceWithTheFirstHandle) {
    net.Answer(kArin, "192.0.2.1",
               "NetName:    VRIO-1\nFind more data available at rwhois.verio.net\n");
    net.Answer(kVerio, "192.0.2.1", "A (NETBLK-A) x\nB (NETBLK-B) y\n");
    net.Answer(kVerio, "NETBLK-A", "network:Class-Name:network\n");
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\nnetwork:Class-Name:network");
    EXPECT_EQ(
        net.requests(),
        (Requests{{kArin, "192.0.2.1", 43}, {kVerio, "192.0.2.1", 43}, {kVerio, "NETBLK-A", 43}}));
}

TEST_P(DriverTest, RwhoisFailuresKeepTheEarlierAnswer) {
    // First rwhois exchange fails: ARIN's answer stays, no second exchange,
    // and the filter is the rwhois server's (none), so ARIN's trailer stays.
    const std::string arin = "data available at rwhois.verio.net\n# ARIN Whois database, x\n";
    net.Answer(kArin, "192.0.2.1", arin);
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\n" + BoxText(arin));
    EXPECT_EQ(net.requests().size(), 2u);

    // Second one fails: the list stays. A list without handles: one exchange.
    net.Answer(kArin, "192.0.2.2", "available at rwhois.verio.net\n");
    net.Answer(kVerio, "192.0.2.2", "list (H-1)\n");
    net.Answer(kArin, "192.0.2.3", "available at rwhois.verio.net\n");
    net.Answer(kVerio, "192.0.2.3", "no handles\n");
    EXPECT_EQ(Lookup("192.0.2.2"), "192.0.2.2\r\n\r\nlist (H-1)");
    EXPECT_EQ(Lookup("192.0.2.3"), "192.0.2.3\r\n\r\nno handles");
    const Requests all = net.requests();
    EXPECT_EQ(Requests(all.begin() + 2, all.end()), (Requests{{kArin, "192.0.2.2", 43},
                                                              {kVerio, "192.0.2.2", 43},
                                                              {kVerio, "H-1", 43},
                                                              {kArin, "192.0.2.3", 43},
                                                              {kVerio, "192.0.2.3", 43}}));
}

TEST_P(DriverTest, AnswerOfOneStepLeadsToTheNext) {
    // A RIPE answer (step 3) pointing to the Korean page leads to step 5.
    net.Answer(kArin, "192.0.2.1", "NetName:    RIPE-CBLK\n");
    net.Answer(kRipe, "192.0.2.1", "see http://whois.kisa.or.kr/english/index.html\n");
    net.Answer(kKr, "192.0.2.1", "# KOREAN\nkorean\n# ENGLISH\nenglish\n");
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\nenglish");
    EXPECT_EQ(
        net.requests(),
        (Requests{{kArin, "192.0.2.1", 43}, {kRipe, "192.0.2.1", 43}, {kKr, "192.0.2.1", 43}}));

    // ARIN's own answer straight to the Brazilian registry; a Korean page
    // address over HTTPS or with another path does not count.
    net.Answer(kArin, "192.0.2.9",
               "https://whois.kisa.or.kr/english/index.html http://whois.kisa.or.kr/english/\n"
               "Maintained at whois.registro.br\n");
    net.Answer(kBr, "192.0.2.9", "%  only for lawful purposes.\nbr record\n");
    EXPECT_EQ(Lookup("192.0.2.9"), "192.0.2.9\r\n\r\nbr record");
    const Requests all = net.requests();
    EXPECT_EQ(Requests(all.begin() + 3, all.end()),
              (Requests{{kArin, "192.0.2.9", 43}, {kBr, "192.0.2.9", 43}}));
}

TEST_P(DriverTest, FailedKoreanOrBrazilianExchangeKeepsTheAnswerFilteredForThatServer) {
    const std::string arin = "see http://whois.kisa.or.kr/english/index.html\n# ENGLISH\nrest\n";
    net.Answer(kArin, "192.0.2.1", arin);
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\nrest"); // the Korean rule cut ARIN's text
    net.Answer(kArin, "192.0.2.2", "at whois.registro.br\n% whois.registro.br accepts only x\n");
    EXPECT_EQ(Lookup("192.0.2.2"), "192.0.2.2\r\n\r\nat whois.registro.br");
    EXPECT_EQ(net.requests(), (Requests{{kArin, "192.0.2.1", 43},
                                        {kKr, "192.0.2.1", 43},
                                        {kArin, "192.0.2.2", 43},
                                        {kBr, "192.0.2.2", 43}}));
}

TEST_P(DriverTest, AllSevenExchangesInTheirFixedOrder) {
    Requests expected;
    for (const enginetest::ChainStep& step : enginetest::SevenStepChain()) {
        net.Answer(step.host, step.query, step.answer);
        expected.push_back({step.host, step.query, 43});
    }
    EXPECT_EQ(Lookup(enginetest::kChainQuery), enginetest::kChainResult);
    EXPECT_EQ(net.requests(), expected);
}

TEST_P(DriverTest, OrganisationRecordGoesBeforeEachOrgIdLine) {
    net.Answer(kArin, "192.0.2.1",
               "NetName:    EX-NET\nOrgID:      EX-ORG\nNetName:    EX-NET-2\nOrgID:      OTHER\n");
    net.Answer(kArin, "! o + EX-ORG", "OrgName: Example\nAddress: 1 Main St\nCountry: US\n");
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\n"
                                   "NetName:    EX-NET\r\n"
                                   "Address:    1 Main St\r\r\nCountry:    US\r\n"
                                   "OrgID:      EX-ORG\r\n"
                                   "NetName:    EX-NET-2\r\n"
                                   "Address:    1 Main St\r\r\nCountry:    US\r\n"
                                   "OrgID:      OTHER");
    EXPECT_EQ(net.requests(), (Requests{{kArin, "192.0.2.1", 43}, {kArin, "! o + EX-ORG", 43}}));
}

TEST_P(DriverTest, FailedOrganisationQueryLeavesTheAnswerAndTheFilterStillRuns) {
    net.Answer(kArin, "192.0.2.1", "NetName:    EX\nOrgID: EX-ORG\n\n# ARIN Whois database, x\n");
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\nNetName:    EX\r\nOrgID: EX-ORG");
    EXPECT_EQ(net.requests().size(), 2u);
}

TEST_P(DriverTest, OrganisationRecordThatWouldSwellTheAnswerIsLeftOut) {
    std::string arin = "NetName:    EX\n";
    for (int i = 0; i < 2000; ++i)
        arin += "OrgID: EX-ORG\n";
    net.Answer(kArin, "192.0.2.1", arin);
    net.Answer(kArin, "! o + EX-ORG", "Address: " + std::string(64 * 1024, 'x') + "\n");
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\n" + BoxText(arin));
    EXPECT_EQ(net.requests().size(), 2u);
}

TEST_P(DriverTest, EmptyFollowUpAnswerReplacesTheResult) {
    net.Answer(kArin, "192.0.2.1", "NetName:    RIPE-CBLK\n");
    net.Answer(kRipe, "192.0.2.1", "");
    EXPECT_EQ(Lookup("192.0.2.1"), "192.0.2.1\r\n\r\n");
}

// ------------------------------------------------------- wait-cursor count

namespace {
std::atomic<int> g_busyCount{0};
std::atomic<int> g_busyRaised{0};
std::atomic<int> g_countSeenInExchange{-1};
void RaiseBusy() {
    ++g_busyCount;
    ++g_busyRaised;
}
void LowerBusy() {
    --g_busyCount;
}
void ProbeBusy() {
    g_countSeenInExchange = g_busyCount.load();
}
} // namespace

TEST_P(DriverTest, WaitCursorIsRaisedForTheWholeLookupAndLoweredOnEveryWayOut) {
    g_busyRaised = 0;
    SetBusyHooks(RaiseBusy, LowerBusy);
    net.OnExchange(ProbeBusy);
    net.Answer(kArin, "192.0.2.1", "x\n");
    net.Answer(kComNet, "domain a.com", "y\n");
    struct Road {
        const char* input;
        int convert;
    } roads[] = {
        {"192.0.2.1", 0},       // address path to its end
        {"192.0.2.2", 0},       // ARIN fails: early return
        {"a.com", 0},           // domain path
        {"a.zz", 0},            // no server known
        {"unresolvable.zz", 1}, // resolution fails
    };
    int raised = 0;
    for (const Road& road : roads) {
        SCOPED_TRACE(road.input);
        g_countSeenInExchange = -1;
        Lookup(road.input, road.convert);
        ++raised;
        EXPECT_EQ(g_busyRaised.load(), raised);
        EXPECT_EQ(g_busyCount.load(), 0);
        if (g_countSeenInExchange != -1) {
            EXPECT_EQ(g_countSeenInExchange.load(), 1);
        }
    }
    SetBusyHooks(nullptr, nullptr);
    Lookup("192.0.2.1");
    EXPECT_EQ(g_busyRaised.load(), raised);
}

INSTANTIATE_TEST_SUITE_P(BothModes, DriverTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Classic" : "Extended");
                         });

// ------------------------------------------------ the extended chain, row by row
// Each row: a world of scripted answers, one lookup, and the exact requests
// and text of the extended chain and (when it differs) of the classic one. A
// row without classic expectations is one where no extension may fire.

namespace {

const std::string kIana = "whois.iana.org";
const std::string kDenic = "whois.denic.de";
const std::string kUnknown = "I do not know the whois server for this domain extension";
const std::string kUnresolved = "Unable to resolve host";

struct Answer {
    std::string host, query, text;
};
struct Expect {
    Requests requests;
    std::string result;
};
struct Row {
    const char* name;
    std::string input;
    int convertToIp;
    std::vector<Answer> answers;
    Expect extended;
    std::optional<Expect> classic = std::nullopt;
    std::vector<std::pair<std::string, std::string>> addresses = {};
    std::string serverList = {};
};

Request Q(const std::string& host, const std::string& query, int port = 43) {
    return {host, query, port};
}
std::string Iana(const std::string& whoisLine) {
    return "% IANA WHOIS server\n\ndomain:       TLD\n" + whoisLine + "\nremarks: whois: no.test\n";
}

using Texts = std::vector<std::string>;

std::vector<Row> ExtensionRows() {
    const std::string verisign = Sample("whois.verisign-grs.com/verisign-google.com-2017.txt");
    const std::string markmonitor = Sample("whois.markmonitor.com/markmonitor-google.com-2013.txt");
    const std::string afrinic =
        Sample("whois.afrinic.net/afrinic-inetnum-105.158.0.0-maroc-telecom.txt");
    const std::string arin =
        "NetName:    NET105\nOrg: Afr (AFRINIC)\nReferralServer:  whois://whois.afrinic.net\n";
    const std::string bucher = Typed("Bücher.de"), munchen = Typed("münchen.de");
    const std::string rec = "Domain Name: EXAMPLE\n", box = "Domain Name: EXAMPLE";
    // clang-format off
    std::vector<Row> rows = {
        {"NameWithoutAddress", "parked.de", 1, {{kDenic, "parked.de", rec}},
         {{Q(kDenic, "parked.de")}, box}, Expect{{}, kUnresolved}},
        {"NameWithoutAddressOrServer", "nowhere.zz", 1, {{kIana, "zz", Iana("")}},
         {{Q(kIana, "zz")}, kUnresolved}, Expect{{}, kUnresolved}},
        {"IanaNamesTheRegistry", "Example.XYZ", 0,
         {{kIana, "xyz", Iana("whois:        whois.nic.xyz")}, {"whois.nic.xyz", "Example.XYZ", rec}},
         {{Q(kIana, "xyz"), Q("whois.nic.xyz", "Example.XYZ")}, box}, Expect{{}, kUnknown}},
        {"IanaNamesARegistryThatRefers", "a.cc", 0,
         {{kIana, "cc", Iana("whois: " + kComNet)}, {kComNet, "domain a.cc", "Registrar WHOIS Server: r.test\n"},
          {"r.test", "a.cc", rec}},
         {{Q(kIana, "cc"), Q(kComNet, "domain a.cc"), Q("r.test", "a.cc")}, box}, Expect{{}, kUnknown}},
        {"UsersListWinsOverIana", "a.xyz", 0, {{"mine.test", "a.xyz", rec}},
         {{Q("mine.test", "a.xyz")}, box}, std::nullopt, {}, "xyz:  mine.test\r\n"},
        {"IanaUnreachable", "a.xyz", 0, {}, {{Q(kIana, "xyz")}, kUnknown}, Expect{{}, kUnknown}},
        {"RegistrarLine", "google.com", 0,
         {{kComNet, "domain google.com", verisign}, {"whois.markmonitor.com", "google.com", markmonitor}},
         {{Q(kComNet, "domain google.com"), Q("whois.markmonitor.com", "google.com")}, BoxText(markmonitor)},
         Expect{{Q(kComNet, "domain google.com")}, BoxText(verisign)}},
        {"RegistrarLineAsAnAddress", "a.org", 0,
         {{kPir, "a.org", "registrar whois server: https://r.test/x\n"}, {"r.test", "a.org", rec}},
         {{Q(kPir, "a.org"), Q("r.test", "a.org")}, box},
         Expect{{Q(kPir, "a.org")}, "registrar whois server: https://r.test/x"}},
        {"ClassicLineWins", "a.com", 0,
         {{kComNet, "domain a.com", "Whois Server: a.test\nRegistrar WHOIS Server: b.test\n"}, {"a.test", "a.com", rec}},
         {{Q(kComNet, "domain a.com"), Q("a.test", "a.com")}, box}},
        {"AnyRegistrysRegistrarLine", "a.de", 0, {{kDenic, "a.de", "Registrar WHOIS Server: b.test\n"}, {"b.test", "a.de", rec}},
         {{Q(kDenic, "a.de"), Q("b.test", "a.de")}, box}, Expect{{Q(kDenic, "a.de")}, "Registrar WHOIS Server: b.test"}},
        {"ThinRegistryOfAnotherTld", "a.tv", 0,
         {{kIana, "tv", Iana("whois: tvwhois.verisign-grs.com")},
          {"tvwhois.verisign-grs.com", "a.tv", "Domain Name: A.TV\nRegistrar WHOIS Server: whois.r.test\n"}, {"whois.r.test", "a.tv", rec}},
         {{Q(kIana, "tv"), Q("tvwhois.verisign-grs.com", "a.tv"), Q("whois.r.test", "a.tv")}, box}, Expect{{}, kUnknown}},
        {"RegistrarLineOfAnotherTldUnanswered", "b.de", 0, {{kDenic, "b.de", "Registrar WHOIS Server: b.test\nx\n"}},
         {{Q(kDenic, "b.de"), Q("b.test", "b.de")}, "Registrar WHOIS Server: b.test\r\nx"},
         Expect{{Q(kDenic, "b.de")}, "Registrar WHOIS Server: b.test\r\nx"}},
        {"IanaNamesItself", "nato.int", 0,
         {{kIana, "int", Iana("whois:        whois.iana.org")}, {kIana, "nato.int", "domain:       NATO.INT\n"}},
         {{Q(kIana, "int"), Q(kIana, "nato.int")}, "domain:       NATO.INT"}, Expect{{}, kUnknown}},
        {"ArinReferralServer", "105.158.0.1", 0,
         {{kArin, "105.158.0.1", arin}, {"whois.afrinic.net", "105.158.0.1", afrinic}},
         {{Q(kArin, "105.158.0.1"), Q("whois.afrinic.net", "105.158.0.1")}, "105.158.0.1\r\n\r\n" + BoxText(afrinic)},
         Expect{{Q(kArin, "105.158.0.1"), Q(kArin, "AFRINIC")}, "105.158.0.1\r\n\r\n" + BoxText(arin)}},
        {"ArinReferralServerWithAPort", "192.0.2.1", 0,
         {{kArin, "192.0.2.1", "ReferralServer: whois://x.test:4343/\n"}, {"x.test", "192.0.2.1", "x\n"}},
         {{Q(kArin, "192.0.2.1"), Q("x.test", "192.0.2.1", 4343)}, "192.0.2.1\r\n\r\nx"},
         Expect{{Q(kArin, "192.0.2.1")}, "192.0.2.1\r\n\r\nReferralServer: whois://x.test:4343/"}},
        {"NetworkNameRuleFirst", "192.0.2.1", 0,
         {{kArin, "192.0.2.1", "NetName:    RIPE-X\nReferralServer: whois://x.test\n"}, {kRipe, "192.0.2.1", "r\n"}},
         {{Q(kArin, "192.0.2.1"), Q(kRipe, "192.0.2.1")}, "192.0.2.1\r\n\r\nr"}},
        {"InternationalName", bucher, 0, {{kDenic, "xn--bcher-kva.de", rec}, {kDenic, bucher, "typed\n"}},
         {{Q(kDenic, "xn--bcher-kva.de")}, box}, Expect{{Q(kDenic, bucher)}, "typed"}},
        {"InternationalNameResolved", munchen, 1, {{kArin, "192.0.2.5", "x\n"}},
         {{Q(kArin, "192.0.2.5")}, munchen + ":192.0.2.5\r\n\r\nx"}, Expect{{}, kUnresolved},
         {{"xn--mnchen-3ya.de", "192.0.2.5"}}},
    };
    // Hostile values: IANA naming nothing, a host with a blank or a
    // control character, 10,000 characters; registrar lines naming the
    // registry or no host; ReferralServer values not followed (rule 5 then
    // asks for the handle); names whose ASCII form is too long.
    for (const std::string& v : Texts{"", "a b.test", "a\x01.test", std::string(10000, 'a')})
        rows.push_back({"IanaNamesNothingUsable", "a.xyz", 0, {{kIana, "xyz", Iana("whois: " + v)}},
                        {{Q(kIana, "xyz")}, kUnknown}, Expect{{}, kUnknown}});
    for (const std::string& v : Texts{kComNet, "WHOIS://WHOIS.VERISIGN-GRS.COM", "two words", std::string(5000, 'x')})
        rows.push_back({"RegistrarLineNotFollowed", "a.com", 0, {{kComNet, "domain a.com", "Registrar WHOIS Server: " + v + "\n"}},
                        {{Q(kComNet, "domain a.com")}, "Registrar WHOIS Server: " + v}});
    for (const std::string& v : Texts{"rwhois://r.test:4321", "whois://x.test:0", "whois://x.test:65536", "whois://",
                                "whois://:43", "whois://whois.arin.net", "whois://" + std::string(4000, 'x')})
        rows.push_back({"ReferralNotFollowed", "192.0.2.1", 0,
                        {{kArin, "192.0.2.1", "(H)\nReferralServer: " + v + "\n"}, {kArin, "H", "h\n"}},
                        {{Q(kArin, "192.0.2.1"), Q(kArin, "H")}, "192.0.2.1\r\n\r\nh"}});
    for (const std::string& name : Texts{Typed("ü") + std::string(62, 'a') + ".de",
                                   Typed("ü.") + std::string(4 * 61, 'a').replace(60, 1, ".").replace(121, 1, ".").replace(182, 1, ".") + ".de"})
        rows.push_back({"InternationalNameTooLong", name, 0, {{kDenic, name, "t\n"}},
                        {{Q(kDenic, name)}, "t"}, Expect{{Q(kDenic, name)}, "t"}});
    // clang-format on
    return rows;
}

int LinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind(prefix, 0) == 0;
    }));
}

} // namespace

TEST_F(ClassicDriverTest, ExtensionRowsInBothModes) {
    for (const Row& row : ExtensionRows()) {
        for (const bool classicMode : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (classicMode ? " (classic)" : " (extended)"));
            WriteServerList(row.serverList); // also forgets what IANA said
            ScriptedNetwork world;
            for (const Answer& a : row.answers)
                world.Answer(a.host, a.query, a.text);
            for (const auto& [name, address] : row.addresses)
                world.Resolves(name, address);
            std::vector<std::string> lines;
            LookupOptions options;
            options.convertToIp = row.convertToIp;
            options.classic = classicMode;
            options.trace = [&](const std::string& line) { lines.push_back(line); };
            LookupDetails details;
            options.details = &details;
            std::string result;
            RunWhoisLookup(row.input, result, options, world);

            const Expect& expect = classicMode && row.classic ? *row.classic : row.extended;
            EXPECT_EQ(world.requests(), expect.requests);
            EXPECT_EQ(classicMode ? result : details.text, expect.result);
            // One trace line per exchange; extension lines only where one fires.
            EXPECT_EQ(LinesStartingWith(lines, "whois "), static_cast<int>(expect.requests.size()));
            EXPECT_EQ(LinesStartingWith(lines, "extension: ") > 0, !classicMode && row.classic);
        }
    }
}

TEST_F(ClassicDriverTest, IanaIsAskedOncePerTopLevelDomainUntilTheTableIsDiscarded) {
    classic = false;
    Lookup("a.xyz"); // IANA fails: not remembered
    net.Answer(kIana, "xyz", Iana("whois: whois.nic.xyz"));
    net.Answer(kIana, "qq", Iana(""));
    net.Answer("whois.nic.xyz", "b.xyz", "rec\n");
    EXPECT_EQ(Lookup("b.xyz"), "rec");
    EXPECT_EQ(Lookup("B.XYZ"), ""); // the registry knows no "B.XYZ"; IANA is not asked again
    EXPECT_EQ(Lookup("a.qq"), kUnknown);
    EXPECT_EQ(Lookup("b.qq"), kUnknown); // "none" is remembered too
    DiscardServerTable();
    EXPECT_EQ(Lookup("b.xyz"), "rec");
    EXPECT_EQ(net.requests(),
              (Requests{Q(kIana, "xyz"), Q(kIana, "xyz"), Q("whois.nic.xyz", "b.xyz"),
                        Q("whois.nic.xyz", "B.XYZ"), Q(kIana, "qq"), Q(kIana, "xyz"),
                        Q("whois.nic.xyz", "b.xyz")}));
}

TEST_F(ClassicDriverTest, TraceLinesNameServerPortQueryBytesAndOutcome) {
    classic = false;
    std::vector<std::string> lines;
    trace = [&](const std::string& line) { lines.push_back(line.substr(0, line.rfind(", "))); };
    net.Answer(kArin, "192.0.2.1", "ReferralServer: whois://x.test:4343\n");
    net.Answer("x.test", "192.0.2.1", "partial", /*ok=*/false);
    Lookup("192.0.2.1");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "whois whois.arin.net:43 \"192.0.2.1\": 36 bytes, completed",
                         "extension: ARIN refers to x.test:4343 (ReferralServer)",
                         "whois x.test:4343 \"192.0.2.1\": 7 bytes, broke off",
                         "answered by WHOIS whois.arin.net:43"}));
}

// ---------------------------------------------------------------- RDAP

namespace {

struct RdapRow {
    const char* name;
    std::string input;
    std::vector<Answer> whois;                       // what port 43 answers
    std::vector<std::pair<std::string, long>> https; // URL and status (body: a small record)
    std::vector<std::string> asked;                  // the GETs expected in the default mode
    std::string starts;                              // the default mode's result begins so
    std::string classicResult;                       // both modes' result when RDAP gives nothing
    bool rdapOnly = false;
};

std::string RdapRecord(const std::string& related = {}) {
    std::string links;
    if (!related.empty())
        links = R"(,"links":[{"rel":"related","type":"application/rdap+json","href":")" + related +
                "\"}]";
    return R"({"objectClassName":"domain","ldhName":"EXAMPLE.TEST")" + links + "}";
}

} // namespace

// Where port 43 gives nothing at all, the default mode asks RDAP; RDAP never
// replaces an answer WHOIS gave, and when it fails the classic text stays.
TEST_F(ClassicDriverTest, RdapWherePort43GivesNothing) {
    const std::string google = "https://pubapi.registry.google/rdap/";
    const std::string arin = "https://rdap.arin.net/registry/";
    const std::string verisign = "https://rdap.verisign.com/com/v1/";
    // clang-format off
    const std::vector<RdapRow> rows = {
        {"NoServerEvenAfterIana", "a.dev", {{kIana, "dev", Iana("whois:")}},
         {{google + "domain/a.dev", 200}}, {google + "domain/a.dev"},
         "RDAP: " + google + "domain/a.dev\r\n", kUnknown},
        {"RegistrarRecordFollowed", "b.dev", {{kIana, "dev", Iana("whois:")}},
         {{google + "domain/b.dev", 200}, {"https://r.test/domain/b.dev", 200}},
         {google + "domain/b.dev", "https://r.test/domain/b.dev"}, "RDAP: " + google + "domain/b.dev\r\n", kUnknown},
        {"RegistryPort43Silent", "a.com", {}, {{verisign + "domain/a.com", 200}},
         {verisign + "domain/a.com"}, "RDAP: " + verisign + "domain/a.com\r\n", ""},
        {"ArinPort43Silent", "8.8.8.8", {}, {{arin + "ip/8.8.8.8", 200}}, {arin + "ip/8.8.8.8"},
         "RDAP: " + arin + "ip/8.8.8.8\r\n", ""},
        {"Ipv6", "2a00:1450::1", {}, {{"https://rdap.db.ripe.net/ip/2a00:1450::1", 200}},
         {"https://rdap.db.ripe.net/ip/2a00:1450::1"}, "RDAP: https://rdap.db.ripe.net/ip/2a00:1450::1\r\n", ""},
        {"AsNumber", "AS15169", {}, {{arin + "autnum/15169", 200}}, {arin + "autnum/15169"},
         "RDAP: " + arin + "autnum/15169\r\n", ""},
        {"NoMatchIsOneLine", "c.dev", {{kIana, "dev", Iana("whois:")}}, {{google + "domain/c.dev", 404}},
         {google + "domain/c.dev"}, "No match for", kUnknown},
        {"RdapFailsClassicStays", "9.9.9.9", {}, {{arin + "ip/9.9.9.9", 500}}, {arin + "ip/9.9.9.9"}, "", ""},
        {"WhoisAnswerIsNeverReplaced", "8.8.4.4", {{kArin, "8.8.4.4", "x\n"}}, {}, {}, "8.8.4.4\r\n\r\nx",
         "8.8.4.4\r\n\r\nx"},
        {"RegistryAnswerPartlyIsKept", "a.de", {{kDenic, "a.de", "part"}}, {}, {"https://rdap.denic.de/domain/a.de"},
         "part", "part"},
        {"RdapOnly", "a.dev", {}, {{google + "domain/a.dev", 200}}, {google + "domain/a.dev"},
         "RDAP: " + google + "domain/a.dev\r\n", "", true},
    };
    // clang-format on
    for (const RdapRow& row : rows) {
        for (const bool classicMode : {false, true}) {
            if (row.rdapOnly && classicMode)
                continue;
            SCOPED_TRACE(std::string(row.name) + (classicMode ? " (classic)" : " (default)"));
            DiscardServerTable();
            ScriptedNetwork world;
            for (const Answer& a : row.whois)
                world.Answer(a.host, a.query, a.text, a.text != "part");
            for (const auto& [url, status] : row.https)
                world.AnswerHttps(url, status,
                                  RdapRecord(url.find("b.dev") != std::string::npos &&
                                                     url.find("r.test") == std::string::npos
                                                 ? "https://r.test/domain/b.dev"
                                                 : ""));
            LookupOptions options;
            options.convertToIp = 0;
            options.classic = classicMode;
            options.rdapOnly = row.rdapOnly;
            LookupDetails details;
            options.details = &details;
            std::string shownText;
            RunWhoisLookup(row.input, shownText, options, world);
            // The records, without the default mode's summary and reason line.
            const std::string& result = classicMode ? shownText : details.text;
            if (classicMode) {
                EXPECT_TRUE(world.httpsRequests().empty());
                EXPECT_EQ(result, row.classicResult);
                continue;
            }
            EXPECT_EQ(world.httpsRequests(), row.asked);
            // The registrar's record follows the registry's.
            if (row.asked.size() == 2) {
                EXPECT_NE(result.find("RDAP: " + row.asked[1]), std::string::npos) << result;
            }
            if (row.starts.empty()) {
                EXPECT_EQ(result, row.classicResult);
            } else {
                EXPECT_EQ(result.rfind(row.starts, 0), 0u) << result;
            }
            if (row.rdapOnly) {
                EXPECT_TRUE(world.requests().empty());
            }
        }
    }
}

// ------------------------------------------------- summary and reason line

namespace {

std::string RdapFixture(const std::string& name) {
    return testnet::ReadFileBytes(std::string(OSTRABEL_SOURCE_DIR) + "/tests/rdap/fixtures/" +
                                  name);
}

class DefaultModeTest : public DriverFixture {};

} // namespace

// The summary above the records: read from every answer of the chain, the
// last one winning each field it has; the records below exactly as the
// classic mode shows them.
TEST_F(DefaultModeTest, SummaryAboveTheRecords) {
    const std::string arin =
        Sample("whois.arin.net/arin-net-130.66.76.222-ripe-erx-whois-referral.txt");
    const std::string ripe = Sample("whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt");
    net.Answer(kArin, "130.66.76.222", arin);
    net.Answer(kRipe, "130.66.76.222", ripe);
    const std::string records = Lookup("130.66.76.222");
    EXPECT_EQ(shown, "Network:       128.79.0.0 - 128.79.63.0\r\n"
                     "Name:          BOUYGTEL-ISP-CABLE\r\n"
                     "Owner:         Pool for Broadband CABLE customers\r\n"
                     "Country:       FR\r\n"
                     "Abuse contact: abuse_box@bouyguestelecom.fr\r\n"
                     "Source:        WHOIS whois.arin.net, whois.ripe.net\r\n"
                     "\r\n" +
                         records);
    EXPECT_EQ(details.kind, "address");
    EXPECT_EQ(details.error, "");
    classic = true;
    EXPECT_EQ(Lookup("130.66.76.222"), records); // the classic mode: the records alone
    EXPECT_EQ(shown, records);

    // A domain: the registrar's answer wins the fields it has; the registry
    // keeps the rest.
    ScriptedNetwork world;
    world.Answer(kComNet, "domain google.com",
                 Sample("whois.verisign-grs.com/verisign-google.com-2017.txt"));
    world.Answer("whois.markmonitor.com", "google.com",
                 Sample("whois.markmonitor.com/markmonitor-google.com-2013.txt"));
    LookupOptions options;
    options.convertToIp = 0;
    std::string result;
    RunWhoisLookup("google.com", result, options, world);
    EXPECT_EQ(result.substr(0, result.find("\r\n\r\n") + 4),
              "Domain:        google.com\r\n"
              "Registrant:    Google Inc.\r\n"
              "Registrar:     MarkMonitor, Inc.\r\n"
              "Created:       2002-10-02\r\n"
              "Expires:       2020-09-13\r\n"
              "Status:        clientUpdateProhibited, clientTransferProhibited, "
              "clientDeleteProhibited\r\n"
              "Name servers:  ns2.google.com, ns1.google.com, ns3.google.com, ns4.google.com\r\n"
              "Abuse contact: compliance@markmonitor.com\r\n"
              "Source:        WHOIS whois.verisign-grs.com, whois.markmonitor.com\r\n\r\n");
}

TEST_F(DefaultModeTest, SummaryOfRdapAnswersAndNoneWithoutFields) {
    const std::string registry = "https://pubapi.registry.google/rdap/domain/example.dev";
    net.AnswerHttps(registry, 200, RdapFixture("domain_registry.json"));
    net.AnswerHttps("https://rdap.registrar.example/domain/example.dev", 200,
                    RdapFixture("domain_registrar.json"));
    std::string result;
    LookupOptions options;
    options.rdapOnly = true;
    RunWhoisLookup("example.dev", result, options, net);
    EXPECT_EQ(result.substr(0, result.find("\r\n\r\n") + 4),
              "Domain:        example.dev\r\n"
              "Registrant:    Beispiel GmbH\r\n"
              "Registrar:     Example Registrar, LLC\r\n"
              "Created:       2019-02-28\r\n"
              "Expires:       2027-02-28\r\n"
              "Status:        client transfer prohibited\r\n"
              "Name servers:  ns-cloud-a1.googledomains.com, ns-cloud-a2.googledomains.com\r\n"
              "Abuse contact: abuse@registrar.example\r\n"
              "Source:        RDAP pubapi.registry.google, rdap.registrar.example\r\n\r\n");
    EXPECT_EQ(result.substr(result.find("\r\n\r\n") + 4, 7), "RDAP: h");

    // An answer without a field the summary knows shows no summary.
    net.Answer(kArin, "192.0.2.9", "No match found for 192.0.2.9.\n");
    EXPECT_EQ(Lookup("192.0.2.9"), shown);
}

// Every way a lookup can find nothing gives one line saying why, with the
// bounds the network runs under; a partial answer gets a line after it.
TEST_F(DefaultModeTest, ReasonLineForEveryFailure) {
    struct Row {
        ExchangeOutcome outcome;
        const char* text;
        const char* shown;
    };
    const Row rows[] = {
        {ExchangeOutcome::NotResolved, "",
         "No answer: the name whois.arin.net does not resolve (no network?)."},
        {ExchangeOutcome::Refused, "",
         "No answer: whois.arin.net could not be reached (connection refused)."},
        {ExchangeOutcome::ConnectTimedOut, "",
         "No answer: whois.arin.net could not be reached (connection timed out after 10 s)."},
        {ExchangeOutcome::Unreachable, "",
         "No answer: whois.arin.net could not be reached (network unreachable)."},
        {ExchangeOutcome::NotConnected, "", "No answer: whois.arin.net could not be reached."},
        {ExchangeOutcome::Reset, "",
         "No answer: whois.arin.net reset the connection before answering."},
        {ExchangeOutcome::TimedOut, "", "No answer: whois.arin.net sent nothing for 15 s."},
        {ExchangeOutcome::Completed, "",
         "No answer: whois.arin.net closed the connection without sending anything."},
        {ExchangeOutcome::TimedOut, "NetRange: 192.0.2.0 - 192.0.2.255\n",
         "Network:       192.0.2.0 - 192.0.2.255\r\nSource:        WHOIS whois.arin.net\r\n\r\n"
         "NetRange: 192.0.2.0 - 192.0.2.255\n\r\n"
         "The answer from whois.arin.net was cut off: nothing more came for 15 s."},
        {ExchangeOutcome::Reset, "part",
         "part\r\nThe answer from whois.arin.net was cut off: the server reset the connection."},
        {ExchangeOutcome::TooLong, "part",
         "part\r\nThe answer from whois.arin.net was cut off: it reached 16 MiB."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shown);
        for (const bool classicMode : {false, true}) {
            ScriptedNetwork world;
            world.SetLimits(kDefaultModeLimits);
            if (row.outcome == ExchangeOutcome::Completed)
                world.Answer(kArin, "192.0.2.1", row.text);
            else
                world.Fails(kArin, "192.0.2.1", row.outcome, row.text);
            LookupOptions options;
            options.classic = classicMode;
            LookupDetails details;
            options.details = &details;
            std::string result;
            RunWhoisLookup("192.0.2.1", result, options, world);
            // The classic mode shows what the exchange left (for an answer
            // of nothing, the heading alone), nothing more.
            const std::string classicShown =
                row.outcome == ExchangeOutcome::Completed ? "192.0.2.1\r\n\r\n" : row.text;
            EXPECT_EQ(result, classicMode ? classicShown : std::string(row.shown));
            EXPECT_EQ(details.text, classicMode ? classicShown : std::string(row.text));
            EXPECT_EQ(details.error.empty(), classicMode);
        }
    }

    // A name that does not resolve and a registry that cannot be reached
    // (no network at all).
    net.Fails(kComNet, "domain nowhere.com", ExchangeOutcome::NotResolved);
    EXPECT_EQ(Lookup("nowhere.com", 1), "");
    EXPECT_EQ(shown, "No answer: the name whois.verisign-grs.com does not resolve (no network?).");
    EXPECT_EQ(details.kind, "domain");
}

TEST(QueryKindName, WhatWasTyped) {
    const std::pair<const char*, const char*> rows[] = {
        {"192.0.2.1", "address"},     {"2001:db8::1", "address"},    {"192.0.2.0/24", "network"},
        {"2001:db8::/32", "network"}, {"AS15169", "as-number"},      {"as64500", "as-number"},
        {"example.com", "domain"},    {"NET-192-0-2-0-1", "handle"}, {"ASX", "handle"},
    };
    for (const auto& [query, kind] : rows)
        EXPECT_EQ(QueryKindName(query), kind) << query;
}

// ------------------------------------------------------- RDAP first for domains

namespace {

// An HTTPS answer of a row: a status and a body, or (status 0) a GET that
// ends without an answer, the body then being the error.
struct Https {
    std::string url;
    long status;
    std::string body;
};
struct FirstRow {
    const char* name;
    std::string input;
    int convertToIp;
    std::vector<Https> https;
    std::vector<std::string> asked; // the default mode's GETs
    Requests whois;                 // the default mode's WHOIS requests
    std::string result;             // the default mode's result, or its first line (…)
    std::string why;                // the trace's line on the fallback ("" for none)
};

} // namespace

// A domain whose top-level domain has an RDAP server goes to RDAP first in
// the default mode: its record or its 404 is the answer; every other failure
// runs the WHOIS chain unchanged. The classic chain never asks RDAP and makes
// the same WHOIS requests as before, whatever RDAP would have said.
TEST_F(ClassicDriverTest, RdapFirstForDomains) {
    const std::string vs = "https://rdap.verisign.com/com/v1/domain/";
    const std::string record = RdapRecord();
    const std::string registrarLine = "Domain Name: A.COM\nWhois Server: whois.r.test\n";
    const Requests comChain = {Q(kComNet, "domain a.com"), Q("whois.r.test", "a.com")};
    const std::string fellBack = "; asking WHOIS instead";
    // clang-format off
    const std::vector<FirstRow> rows = {
        {"Record", "a.com", 0, {{vs + "a.com", 200, record}}, {vs + "a.com"}, {},
         "RDAP: " + vs + "a.com…", ""},
        {"RegistrarRecordThroughRelated", "a.com", 0,
         {{vs + "a.com", 200, RdapRecord("https://r.test/domain/a.com")}, {"https://r.test/domain/a.com", 200, record}},
         {vs + "a.com", "https://r.test/domain/a.com"}, {}, "RDAP: " + vs + "a.com…", ""},
        {"NoMatchIsFinal", "a.com", 0, {{vs + "a.com", 404, ""}}, {vs + "a.com"}, {},
         "No match for \"a.com\" at rdap.verisign.com.\r\n", ""},
        {"TooManyQueries", "a.com", 0, {{vs + "a.com", 429, ""}}, {vs + "a.com"}, comChain, "registrar record",
         "rdap: rdap.verisign.com: too many queries, try again later." + fellBack},
        {"ServerError", "a.com", 0, {{vs + "a.com", 503, ""}}, {vs + "a.com"}, comChain, "registrar record",
         "rdap: rdap.verisign.com: HTTP status 503" + fellBack},
        {"TlsFailure", "a.com", 0, {{vs + "a.com", 0, "TLS handshake failed"}}, {vs + "a.com"}, comChain,
         "registrar record", "rdap: rdap.verisign.com: TLS handshake failed" + fellBack},
        {"TimedOut", "a.com", 0, {{vs + "a.com", 0, "timed out"}}, {vs + "a.com"}, comChain,
         "registrar record", "rdap: rdap.verisign.com: timed out" + fellBack},
        {"NotRdap", "a.com", 0, {{vs + "a.com", 200, "<html>maintenance</html>"}}, {vs + "a.com"}, comChain,
         "registrar record", "rdap: rdap.verisign.com: answer is not RDAP JSON (not JSON)" + fellBack},
        {"NotAnRdapObject", "a.com", 0, {{vs + "a.com", 200, R"({"rdapConformance":["rdap_level_0"]})"}},
         {vs + "a.com"}, comChain, "registrar record", "rdap: rdap.verisign.com: answer is not an RDAP object" + fellBack},
        {"NoServerKnown", "a.zz", 0, {}, {}, {Q("whois.nic.zz", "a.zz")}, "zz record", ""},
        {"NameWithoutAddress", "a.com", 1, {{vs + "a.com", 200, record}}, {vs + "a.com"}, {},
         "RDAP: " + vs + "a.com…", ""},
        {"ServerFromTheExtraList", "a.ch", 0, {{"https://rdap.nic.ch/domain/a.ch", 200, record}},
         {"https://rdap.nic.ch/domain/a.ch"}, {}, "RDAP: https://rdap.nic.ch/domain/a.ch…", ""},
        {"AnswerWithoutItsClass", "a.com", 0, {{vs + "a.com", 200, R"({"ldhName":"A.COM"})"}}, {vs + "a.com"}, {},
         "RDAP: " + vs + "a.com\r\nDomain Name: A.COM\r\n", ""},
    };
    // clang-format on
    for (const FirstRow& row : rows) {
        for (const bool classicMode : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (classicMode ? " (classic)" : " (default)"));
            WriteServerList(
                "com:  whois.verisign-grs.com\r\nzz:  whois.nic.zz\r\nch:  whois.nic.ch\r\n");
            ScriptedNetwork world;
            world.Answer(kComNet, "domain a.com", registrarLine);
            world.Answer("whois.r.test", "a.com", "registrar record\n");
            world.Answer("whois.nic.zz", "a.zz", "zz record\n");
            world.Answer("whois.nic.ch", "a.ch", "ch record\n");
            for (const Https& h : row.https) {
                if (h.status == 0)
                    world.FailHttps(h.url, h.body);
                else
                    world.AnswerHttps(h.url, h.status, h.body);
            }
            std::vector<std::string> lines;
            LookupOptions options;
            options.convertToIp = row.convertToIp;
            options.classic = classicMode;
            options.trace = [&](const std::string& line) { lines.push_back(line); };
            LookupDetails details;
            options.details = &details;
            std::string shownText;
            RunWhoisLookup(row.input, shownText, options, world);
            // The records, without the default mode's summary.
            const std::string& result = details.text;

            if (classicMode) {
                const std::string tld = row.input.substr(row.input.rfind('.') + 1);
                const Requests classicChain =
                    tld == "com" ? comChain : Requests{Q("whois.nic." + tld, row.input)};
                EXPECT_TRUE(world.httpsRequests().empty());
                EXPECT_EQ(world.requests(), row.convertToIp ? Requests{} : classicChain);
                EXPECT_EQ(LinesStartingWith(lines, "rdap"), 0);
                continue;
            }
            EXPECT_EQ(world.httpsRequests(), row.asked);
            EXPECT_EQ(world.requests(), row.whois);
            if (row.result.ends_with("…")) {
                EXPECT_EQ(result.rfind(row.result.substr(0, row.result.size() - 3), 0), 0u)
                    << result;
            } else {
                EXPECT_EQ(result, row.result);
            }
            // The fallback says why in one line; the last line names the source.
            EXPECT_EQ(LinesStartingWith(lines, row.why.empty() ? "rdap: " : row.why),
                      row.why.empty() ? 0 : 1);
            EXPECT_EQ(lines.back(), row.whois.empty()
                                        ? "answered by RDAP " + row.asked.front()
                                        : "answered by WHOIS " + row.whois.back().host + ":43");
        }
    }
}

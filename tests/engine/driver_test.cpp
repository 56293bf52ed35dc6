// The lookup driver against a scripted network: which requests it makes, in
// which order, and the exact text it hands back, on every road through the
// domain path and the address path.
#include "engine/busy.h"
#include "engine/driver.h"
#include "platform/path.h"
#include "servers/server_table.h"
#include "tests/engine/driver_fixture.h"
#include "tests/engine/engine_test_util.h"
#include "tests/engine/scripted_network.h"
#include "tests/engine/seven_step_chain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
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

// The driver suite runs in both modes: no test here reaches a point where the
// extended chain differs, except those of ClassicDriverTest (the extension
// suite covers what the extended chain does there).
class DriverTest : public enginetest::DriverFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        DriverFixture::SetUp();
        classic = GetParam();
    }
};

class ClassicDriverTest : public enginetest::DriverFixture {
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
        RunWhoisLookup("192.0.2.1", result, options, fresh);
        EXPECT_EQ(result, "192.0.2.1\r\n\r\nregistry answer");
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

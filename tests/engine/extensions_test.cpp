// The extended chain against the classic one: each row is a small world of
// scripted servers, one lookup in it, and the exact requests and text in both
// modes. A row without classic expectations is one where no extension may
// fire: both modes must then agree request for request.
#include "engine/driver.h"
#include "tests/engine/driver_fixture.h"
#include "tests/engine/engine_test_util.h"
#include "tests/engine/idna_text.h"

#include <gtest/gtest.h>

#include <optional>

using enginetest::BoxText;
using enginetest::Sample;
using testnet::Request;
using Requests = std::vector<Request>;

namespace {

const std::string kIana = "whois.iana.org";
const std::string kArin = "whois.arin.net";
const std::string kComNet = "whois.verisign-grs.com";
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
    std::vector<Answer> answers;
    std::vector<std::pair<std::string, std::string>> addresses; // name -> address
    std::string input;
    int convertToIp = 0;
    Expect extended;
    std::optional<Expect> classic = std::nullopt; // absent: as extended, and nothing fires
    std::string serverList = {};                  // whoislist.txt; empty: the built-in list
};

std::string IanaAnswer(const std::string& tld, const std::string& whoisLine) {
    return "% IANA WHOIS server\n\ndomain:       " + tld + "\n\norganisation: Registry\n" +
           whoisLine + "\nstatus:       ACTIVE\nremarks:      whois: not.this.one\n";
}

std::vector<Row> Rows() {
    const std::string google2017 = Sample("whois.verisign-grs.com/verisign-google.com-2017.txt");
    const std::string markmonitor = Sample("whois.markmonitor.com/markmonitor-google.com-2013.txt");
    const std::string afrinic =
        Sample("whois.afrinic.net/afrinic-inetnum-105.158.0.0-maroc-telecom.txt");
    const std::string arinToAfrinic =
        "NetName:    NET105\nOrganization: African Network (AFRINIC)\n"
        "ReferralServer:  whois://whois.afrinic.net\n";
    const std::string record = "Domain Name: EXAMPLE\n";
    std::vector<Row> rows = {
        // A name without an address goes to its registry.
        {"UnresolvableNameAtItsRegistry",
         {{"whois.denic.de", "parked.de", "Domain: parked.de\nStatus: connect\n"}},
         {},
         "parked.de",
         1,
         {{{"whois.denic.de", "parked.de", 43}}, "Domain: parked.de\r\nStatus: connect"},
         Expect{{}, kUnresolved}},
        {"UnresolvableNameUnderATldNobodyKnows",
         {{kIana, "zz", IanaAnswer("ZZ", "")}},
         {},
         "nowhere.zz",
         1,
         {{{kIana, "zz", 43}}, kUnresolved},
         Expect{{}, kUnresolved}},
        // Any top-level domain through IANA, with that server's own rules.
        {"IanaNamesTheRegistry",
         {{kIana, "xyz", IanaAnswer("XYZ", "whois:        whois.nic.xyz")},
          {"whois.nic.xyz", "Example.XYZ", record}},
         {},
         "Example.XYZ",
         0,
         {{{kIana, "xyz", 43}, {"whois.nic.xyz", "Example.XYZ", 43}}, "Domain Name: EXAMPLE"},
         Expect{{}, kUnknown}},
        {"IanaNamesARegistryThatRefers",
         {{kIana, "cc", IanaAnswer("CC", "whois: whois.verisign-grs.com")},
          {kComNet, "domain example.cc", "Registrar WHOIS Server: whois.reg.test\n"},
          {"whois.reg.test", "example.cc", "registrar record\n"}},
         {},
         "example.cc",
         0,
         {{{kIana, "cc", 43},
           {kComNet, "domain example.cc", 43},
           {"whois.reg.test", "example.cc", 43}},
          "registrar record"},
         Expect{{}, kUnknown}},
        {"TheUsersListWinsOverIana",
         {{"whois.mine.test", "example.xyz", record}},
         {},
         "example.xyz",
         0,
         {{{"whois.mine.test", "example.xyz", 43}}, "Domain Name: EXAMPLE"},
         std::nullopt,
         "xyz:  whois.mine.test\r\n"},
        {"IanaUnreachable",
         {},
         {},
         "example.xyz",
         0,
         {{{kIana, "xyz", 43}}, kUnknown},
         Expect{{}, kUnknown}},
        // Today's referral line.
        {"RegistrarWhoisServerLine",
         {{kComNet, "domain google.com", google2017},
          {"whois.markmonitor.com", "google.com", markmonitor}},
         {},
         "google.com",
         0,
         {{{kComNet, "domain google.com", 43}, {"whois.markmonitor.com", "google.com", 43}},
          BoxText(markmonitor)},
         Expect{{{kComNet, "domain google.com", 43}}, BoxText(google2017)}},
        {"RegistrarLineOnTheOrgRegistryWrittenAsAnAddress",
         {{"whois.pir.org", "example.org", "registrar whois server: https://whois.reg.test/x\n"},
          {"whois.reg.test", "example.org", record}},
         {},
         "example.org",
         0,
         {{{"whois.pir.org", "example.org", 43}, {"whois.reg.test", "example.org", 43}},
          "Domain Name: EXAMPLE"},
         Expect{{{"whois.pir.org", "example.org", 43}},
                "registrar whois server: https://whois.reg.test/x"}},
        {"ClassicLineStillWins",
         {{kComNet, "domain a.com",
           "Whois Server: whois.a.test\nRegistrar WHOIS Server: whois.b.test\n"},
          {"whois.a.test", "a.com", record}},
         {},
         "a.com",
         0,
         {{{kComNet, "domain a.com", 43}, {"whois.a.test", "a.com", 43}}, "Domain Name: EXAMPLE"}},
        {"OtherRegistriesAreNotSearchedForTheLine",
         {{"whois.denic.de", "a.de", "Registrar WHOIS Server: whois.b.test\n"}},
         {},
         "a.de",
         0,
         {{{"whois.denic.de", "a.de", 43}}, "Registrar WHOIS Server: whois.b.test"}},
        // ARIN's own referral.
        {"ArinReferralServer",
         {{kArin, "105.158.0.1", arinToAfrinic}, {"whois.afrinic.net", "105.158.0.1", afrinic}},
         {},
         "105.158.0.1",
         0,
         {{{kArin, "105.158.0.1", 43}, {"whois.afrinic.net", "105.158.0.1", 43}},
          "105.158.0.1\r\n\r\n" + BoxText(afrinic)},
         Expect{{{kArin, "105.158.0.1", 43}, {kArin, "AFRINIC", 43}},
                "105.158.0.1\r\n\r\n" + BoxText(arinToAfrinic)}},
        {"ArinReferralServerWithAPort",
         {{kArin, "192.0.2.1", "ReferralServer: whois://whois.x.test:4343/\n"},
          {"whois.x.test", "192.0.2.1", "x record\n"}},
         {},
         "192.0.2.1",
         0,
         {{{kArin, "192.0.2.1", 43}, {"whois.x.test", "192.0.2.1", 4343}},
          "192.0.2.1\r\n\r\nx record"},
         Expect{{{kArin, "192.0.2.1", 43}},
                "192.0.2.1\r\n\r\nReferralServer: whois://whois.x.test:4343/"}},
        {"NetworkNameRuleComesFirst",
         {{kArin, "192.0.2.1", "NetName:    RIPE-X\nReferralServer: whois://whois.x.test\n"},
          {"whois.ripe.net", "192.0.2.1", "ripe record\n"}},
         {},
         "192.0.2.1",
         0,
         {{{kArin, "192.0.2.1", 43}, {"whois.ripe.net", "192.0.2.1", 43}},
          "192.0.2.1\r\n\r\nripe record"}},
        // Names in the user's characters.
        {"InternationalNameAtItsRegistry",
         {{"whois.denic.de", "xn--bcher-kva.de", record},
          {"whois.denic.de", Typed("Bücher.de"), "typed\n"}},
         {},
         Typed("Bücher.de"),
         0,
         {{{"whois.denic.de", "xn--bcher-kva.de", 43}}, "Domain Name: EXAMPLE"},
         Expect{{{"whois.denic.de", Typed("Bücher.de"), 43}}, "typed"}},
        {"InternationalNameResolved",
         {{kArin, "192.0.2.5", "x\n"}},
         {{"xn--mnchen-3ya.de", "192.0.2.5"}},
         Typed("münchen.de"),
         1,
         {{{kArin, "192.0.2.5", 43}}, Typed("münchen.de") + ":192.0.2.5\r\n\r\nx"},
         Expect{{}, kUnresolved}},
    };

    // IANA answers that name nothing the program may ask.
    for (const std::string& line :
         {std::string("whois:        whois.iana.org"), std::string("whois:   "),
          std::string("whois: whois nic.xyz"), std::string("whois: whois.\x01nic.xyz"),
          "whois: " + std::string(10000, 'a')}) {
        rows.push_back(
            {"IanaNamesNothingUsable",
             {{kIana, "xyz", IanaAnswer("XYZ", line)}, {line.substr(7), "example.xyz", record}},
             {},
             "example.xyz",
             0,
             {{{kIana, "xyz", 43}}, kUnknown},
             Expect{{}, kUnknown}});
    }
    // Registrar lines that lead nowhere new.
    for (const std::string& value :
         {std::string("whois.verisign-grs.com"), std::string("WHOIS://WHOIS.VERISIGN-GRS.COM"),
          std::string("two words"), std::string(5000, 'x') + " y"}) {
        const std::string answer = "Registrar WHOIS Server: " + value + "\n";
        rows.push_back({"RegistrarLineNotFollowed",
                        {{kComNet, "domain a.com", answer}},
                        {},
                        "a.com",
                        0,
                        {{{kComNet, "domain a.com", 43}}, BoxText(answer)}});
    }
    // Referral values that are not followed: rule 5 as in the classic chain.
    for (const std::string& value :
         {std::string("rwhois://rwhois.x.test:4321"), std::string("whois://whois.x.test:0"),
          std::string("whois://whois.x.test:65536"), std::string("whois://"),
          std::string("whois://:43"), std::string("whois://whois.arin.net"),
          "whois://" + std::string(4000, 'x')}) {
        const std::string answer = "Org (ORG-X)\nReferralServer: " + value + "\n";
        rows.push_back(
            {"ReferralNotFollowed",
             {{kArin, "192.0.2.1", answer}, {kArin, "ORG-X", "org record\n"}},
             {},
             "192.0.2.1",
             0,
             {{{kArin, "192.0.2.1", 43}, {kArin, "ORG-X", 43}}, "192.0.2.1\r\n\r\norg record"}});
    }
    // Names whose ASCII form breaks the length limits go as typed.
    for (const std::string& name :
         {Typed("ü") + std::string(62, 'a') + ".de",
          Typed("ü.") + std::string(60, 'a') + "." + std::string(60, 'b') + "." +
              std::string(60, 'c') + "." + std::string(60, 'd') + ".de"}) {
        rows.push_back({"InternationalNameTooLong",
                        {{"whois.denic.de", name, "typed\n"}},
                        {},
                        name,
                        0,
                        {{{"whois.denic.de", name, 43}}, "typed"},
                        Expect{{{"whois.denic.de", name, 43}}, "typed"}});
    }
    return rows;
}

class ExtensionTest : public enginetest::DriverFixture {};

int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    int count = 0;
    for (const std::string& line : lines)
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

} // namespace

TEST_F(ExtensionTest, EveryRowInBothModes) {
    for (const Row& row : Rows()) {
        for (const bool classicMode : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (classicMode ? " (classic)" : " (extended)"));
            WriteServerList(row.serverList); // also forgets what IANA said
            testnet::ScriptedNetwork world;
            for (const Answer& a : row.answers)
                world.Answer(a.host, a.query, a.text);
            for (const auto& [name, address] : row.addresses)
                world.Resolves(name, address);
            std::vector<std::string> lines;
            LookupOptions options;
            options.convertToIp = row.convertToIp;
            options.classic = classicMode;
            options.trace = [&](const std::string& line) { lines.push_back(line); };
            std::string result;
            RunWhoisLookup(row.input, result, options, world);

            const Expect& expect = classicMode && row.classic ? *row.classic : row.extended;
            EXPECT_EQ(world.requests(), expect.requests);
            EXPECT_EQ(result, expect.result);
            // One trace line per exchange; extension lines only where one fires.
            EXPECT_EQ(CountLinesStartingWith(lines, "whois "),
                      static_cast<int>(expect.requests.size()));
            const bool fires = !classicMode && row.classic.has_value();
            EXPECT_EQ(CountLinesStartingWith(lines, "extension: ") > 0, fires);
        }
    }
}

TEST_F(ExtensionTest, IanaIsAskedOncePerTopLevelDomainUntilTheTableIsDiscarded) {
    // A failed exchange is not remembered; an answer, even "none", is.
    Lookup("a.xyz");
    net.Answer(kIana, "xyz", IanaAnswer("XYZ", "whois: whois.nic.xyz"));
    net.Answer(kIana, "qq", IanaAnswer("QQ", ""));
    net.Answer("whois.nic.xyz", "b.xyz", "Domain Name: EXAMPLE\n");
    EXPECT_EQ(Lookup("b.xyz"), "Domain Name: EXAMPLE");
    EXPECT_EQ(Lookup("B.XYZ"), ""); // unscripted at the registry, IANA not asked again
    EXPECT_EQ(Lookup("a.qq"), kUnknown);
    EXPECT_EQ(Lookup("b.qq"), kUnknown);
    DiscardServerTable();
    EXPECT_EQ(Lookup("b.xyz"), "Domain Name: EXAMPLE");
    EXPECT_EQ(net.requests(), (Requests{{kIana, "xyz", 43},
                                        {kIana, "xyz", 43},
                                        {"whois.nic.xyz", "b.xyz", 43},
                                        {"whois.nic.xyz", "B.XYZ", 43},
                                        {kIana, "qq", 43},
                                        {kIana, "xyz", 43},
                                        {"whois.nic.xyz", "b.xyz", 43}}));
}

TEST_F(ExtensionTest, TraceNamesServerPortQueryBytesAndOutcome) {
    std::vector<std::string> lines;
    trace = [&](const std::string& line) { lines.push_back(line); };
    net.Answer(kArin, "192.0.2.1", "ReferralServer: whois://whois.x.test:4343\n");
    net.Answer("whois.x.test", "192.0.2.1", "partial", /*ok=*/false);
    Lookup("192.0.2.1");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("whois whois.arin.net:43 \"192.0.2.1\": 42 bytes, completed, ", 0), 0u)
        << lines[0];
    EXPECT_EQ(lines[1], "extension: ARIN refers to whois.x.test:4343 (ReferralServer)");
    EXPECT_EQ(lines[2].rfind("whois whois.x.test:4343 \"192.0.2.1\": 7 bytes, broke off, ", 0), 0u)
        << lines[2];
    EXPECT_EQ(lines[2].substr(lines[2].size() - 3), " ms");
}

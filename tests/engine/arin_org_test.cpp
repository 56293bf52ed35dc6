// The organisation record from ARIN: when it is asked for, what is kept of
// it, and how it is merged into the answer.
#include "engine/arin_org.h"
#include "tests/engine/engine_test_util.h"
#include "tests/engine/scripted_network.h"

#include <gtest/gtest.h>

using testnet::Request;
using testnet::ScriptedNetwork;

namespace {
const std::string kArin = "whois.arin.net";
}

TEST(FetchArinOrganisation, NoQueryWithoutAnOrgIdLineEndingInALineFeed) {
    ScriptedNetwork net;
    std::string org = "untouched";
    EXPECT_FALSE(FetchArinOrganisation("NetName:    X\nOrgName: Y\n", org, net));
    EXPECT_FALSE(FetchArinOrganisation("NetName:    X\nOrgID: LVLT", org, net)); // last line
    EXPECT_FALSE(FetchArinOrganisation("orgid: LVLT\nORGID: LVLT\n", org, net));
    // Today's ARIN spells the field "OrgId:"; it is a different marker.
    EXPECT_FALSE(FetchArinOrganisation(
        enginetest::Sample("whois.arin.net/arin-net-4.2.2.1-level3-no-referral.txt"), org, net));
    EXPECT_TRUE(net.requests().empty());
    EXPECT_EQ(org, "untouched");
}

TEST(FetchArinOrganisation, HandleIsTrimmedAndOnlyTheFirstLineCounts) {
    ScriptedNetwork net;
    std::string org;
    EXPECT_FALSE(FetchArinOrganisation("x\nOrgID: \t LVLT \r\nOrgID: OTHER\n", org, net));
    EXPECT_FALSE(FetchArinOrganisation("OrgID:\n", org, net)); // empty handle is sent
    EXPECT_FALSE(FetchArinOrganisation("OrgID:    \r\n", org, net));
    EXPECT_EQ(net.requests(),
              (std::vector<Request>{
                  {kArin, "! o + LVLT", 43}, {kArin, "! o + ", 43}, {kArin, "! o + ", 43}}));
}

TEST(FetchArinOrganisation, KeepsFromAddressWidensColonsAndFilters) {
    ScriptedNetwork net;
    net.Answer(kArin, "! o + LVLT",
               "# comment: dropped\n"
               "OrgName:    Level 3\n"
               "OrgID:      LVLT\n"
               "Address:    1025 Eldorado Blvd.\n"
               "City: Broomfield\n"
               "Note: a: b  c:d\n"
               "Ref:  http://whois.arin.net/rest/org/LVLT\n"
               "\n"
               "# ARIN Whois database, last updated 2004-01-01 19:10\n"
               "# Enter ? for additional hints on searching ARIN's WHOIS database.\n");
    std::string org;
    ASSERT_TRUE(FetchArinOrganisation("NetName:    X\nOrgID:      LVLT\n", org, net));
    // Every ": " widened once, left to right (": " inside a value too, and the
    // two spaces after "Ref:" give five); "c:d" stays. ARIN's trailer is cut,
    // line feeds become CR LF and the text is trimmed.
    EXPECT_EQ(org, "Address:       1025 Eldorado Blvd.\r\n"
                   "City:    Broomfield\r\n"
                   "Note:    a:    b  c:d\r\n"
                   "Ref:     http://whois.arin.net/rest/org/LVLT");
}

TEST(FetchArinOrganisation, WholeAnswerWithoutAddressAndEmptyAnswer) {
    ScriptedNetwork net;
    net.Answer(kArin, "! o + A", "OrgName: A Corp\nCountry: US\n");
    net.Answer(kArin, "! o + B", "");
    std::string org;
    ASSERT_TRUE(FetchArinOrganisation("OrgID: A\n", org, net));
    EXPECT_EQ(org, "OrgName:    A Corp\r\nCountry:    US");
    ASSERT_TRUE(FetchArinOrganisation("OrgID: B\n", org, net));
    EXPECT_EQ(org, "");
}

TEST(FetchArinOrganisation, FailedExchangeIsFalse) {
    ScriptedNetwork net;
    net.Answer(kArin, "! o + A", "Address: partial", /*ok=*/false);
    std::string org;
    EXPECT_FALSE(FetchArinOrganisation("OrgID: A\n", org, net));
    EXPECT_FALSE(FetchArinOrganisation("OrgID: unscripted\n", org, net));
    EXPECT_EQ(net.requests().size(), 2u);
}

TEST(MergeArinOrganisation, RecordGoesBeforeEveryOrgIdLine) {
    std::string result = "NetName: X\nOrgID: A\nNetName: Y\nOrgID: A\n";
    EXPECT_TRUE(MergeArinOrganisation(result, "Address:    1 Main St"));
    EXPECT_EQ(result, "NetName: X\nAddress:    1 Main St\nOrgID: A\n"
                      "NetName: Y\nAddress:    1 Main St\nOrgID: A\n");

    // An empty record leaves a line feed before each marker.
    result = "OrgID: A\n";
    MergeArinOrganisation(result, "");
    EXPECT_EQ(result, "\nOrgID: A\n");

    // The inserted record is not searched again, even when it names OrgID:.
    result = "x OrgID: A";
    MergeArinOrganisation(result, "OrgID: nested");
    EXPECT_EQ(result, "x OrgID: nested\nOrgID: A");

    result = "no marker";
    EXPECT_TRUE(MergeArinOrganisation(result, "record"));
    EXPECT_EQ(result, "no marker");
}

TEST(MergeArinOrganisation, RefusesToGrowPastItsBound) {
    // 1000 markers and a 100 KiB record would make about 100 MiB.
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "OrgID: X\n";
    const std::string before = many;
    EXPECT_FALSE(MergeArinOrganisation(many, std::string(100 * 1024, 'r')));
    EXPECT_EQ(many, before);

    // Just inside the bound it merges.
    const std::size_t count = 1000;
    const std::size_t fits = kMaxMergedResultBytes / count - 1 - before.size() / count - 1;
    EXPECT_TRUE(MergeArinOrganisation(many, std::string(fits, 'r')));
    EXPECT_EQ(many.size(), before.size() + count * (fits + 1));
    EXPECT_LE(many.size(), kMaxMergedResultBytes);
}

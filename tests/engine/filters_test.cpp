// The legal-notice filters: every rule row with its exact markers, real
// notices from recorded answers, and the line-end change and trim that every
// answer gets.
#include "engine/filters.h"
#include "tests/engine/engine_test_util.h"

#include <gtest/gtest.h>

using enginetest::After;
using enginetest::Before;
using enginetest::BoxText;
using enginetest::Sample;

TEST(CutAndKeepAfter, FirstOccurrenceOnlyAndUntouchedWhenAbsent) {
    std::string text = "head MARK middle MARK tail";
    EXPECT_TRUE(CutAtMarker(text, "MARK"));
    EXPECT_EQ(text, "head ");

    text = "head MARK middle MARK tail";
    EXPECT_TRUE(KeepAfterMarker(text, "MARK"));
    EXPECT_EQ(text, " middle MARK tail");

    text = "no marker here";
    EXPECT_FALSE(CutAtMarker(text, "MARK"));
    EXPECT_FALSE(KeepAfterMarker(text, "MARK"));
    EXPECT_EQ(text, "no marker here");

    text = "mark"; // case counts
    EXPECT_FALSE(CutAtMarker(text, "MARK"));
    EXPECT_EQ(text, "mark");

    text = "MARK";
    EXPECT_TRUE(KeepAfterMarker(text, "MARK"));
    EXPECT_EQ(text, "");
}

// Every row, with its markers written out as the notices read. The text is
// HEAD, first marker, BODY, second marker, TAIL; what is left shows which
// steps ran and that each marker matched exactly.
struct RowCase {
    const char* host;
    bool firstIsCut;
    std::string first;
    std::string second; // always a cut; empty: the row has one step
};

TEST(StripLegalNotice, EveryRowWithItsExactMarkers) {
    const RowCase rows[] = {
        {"whois.tucows.com", true, "The Data in the Tucows Registrar", ""},
        {"whois.register.com", false, "domain name through http://www.register.com/offer", ""},
        {"whois.networksolutions.com", false, "you agree to abide by this policy.", ""},
        {"whois.enom.com", false, "you agree to these terms.",
         "The data in this whois database is"},
        {"whois.dotster.com", false, "10 per minute and one connection.", ""},
        {"whois.bulkregister.com", false, "you agree to abide by these terms.", ""},
        {"whois.domainbank.net", false, "you agree to abide by each of the foregoing policies.",
         ""},
        {"whois.netnames.net", false, "you agree to abide by these terms.", ""},
        {"whois.educause.edu", false, "--------------------------", ""},
        {"whois.pir.org", false, "you agree to abide by this policy.", ""},
        {"whois.arin.net", true, "# ARIN Whois database,", ""},
        {"whois.apnic.net", false, "http://www.apnic.net/db/dbcopyright.html", ""},
        {"whois.lacnic.net", false, "only for lawful purposes.", "% whois.lacnic.net accepts only"},
        {"whois.ripe.net", false, "http://www.ripe.net/ripencc/pub-services/db/copyright.html", ""},
        {"whois.registro.br", false, "%  only for lawful purposes.",
         "% whois.registro.br accepts only"},
        {"whois.kisa.or.kr", false, "# ENGLISH\n", "# KOREAN\n"},
    };
    ASSERT_EQ(std::string(rows[8].first).size(), 26u);
    for (const RowCase& row : rows) {
        SCOPED_TRACE(row.host);
        std::string text = "HEAD\n" + row.first + "\nBODY\n" + row.second + "TAIL";
        StripLegalNotice(text, row.host);
        std::string expected;
        if (row.firstIsCut)
            expected = "HEAD"; // everything from the marker on is gone
        else if (row.second.empty())
            expected = "BODY\r\nTAIL";
        else
            expected = "BODY";
        EXPECT_EQ(text, expected);

        // One character less of the first marker: that step does nothing.
        std::string damaged = "HEAD\n" + row.first.substr(1) + "\nBODY\n" + row.second + "TAIL";
        const std::string before = damaged;
        StripLegalNotice(damaged, row.host);
        if (row.second.empty())
            EXPECT_EQ(damaged, BoxText(before));
        else // the second step still runs on the whole text
            EXPECT_EQ(damaged, BoxText(before.substr(0, before.find(row.second))));
    }
}

TEST(StripLegalNotice, UnknownEmptyAndNearMissServerNamesOnlyNormalise) {
    const std::string notice = "x\nThe Data in the Tucows Registrar\ny\n";
    for (const char* server : {"", "whois.example.net", "whois.tucows.com ", " whois.tucows.com",
                               "tucows.com", "whois.tucows.com."}) {
        SCOPED_TRACE(server);
        std::string text = notice;
        StripLegalNotice(text, server);
        EXPECT_EQ(text, "x\r\nThe Data in the Tucows Registrar\r\ny");
    }
}

TEST(StripLegalNotice, ServerNameInCapitalsStillMatches) {
    std::string text = "record\nThe Data in the Tucows Registrar WHOIS database";
    StripLegalNotice(text, "WHOIS.Tucows.COM");
    EXPECT_EQ(text, "record");
}

TEST(StripLegalNotice, LineEndsAndTrim) {
    std::string text = "\r\n \tone\ntwo\r\nthree\n\n \v\f";
    StripLegalNotice(text, "");
    EXPECT_EQ(text, "one\r\ntwo\r\r\nthree"); // a CR LF already there becomes CR CR LF

    text = "";
    StripLegalNotice(text, "whois.arin.net");
    EXPECT_EQ(text, "");

    text = "\n\n\n";
    StripLegalNotice(text, "whois.enom.com");
    EXPECT_EQ(text, "");

    text = "a\n\nb"; // blank lines inside stay
    StripLegalNotice(text, "x");
    EXPECT_EQ(text, "a\r\n\r\nb");
}

TEST(StripLegalNotice, EdgeCasesOfTheRules) {
    // A notice alone, with nothing after its keep-after marker.
    std::string text = "Terms... you agree to abide by these terms.\n\n";
    StripLegalNotice(text, "whois.bulkregister.com");
    EXPECT_EQ(text, "");

    // A repeated closing sentence: only up to the first one goes.
    text = "you agree to abide by this policy.\nrecord\nyou agree to abide by this policy.\nend";
    StripLegalNotice(text, "whois.pir.org");
    EXPECT_EQ(text, "record\r\nyou agree to abide by this policy.\r\nend");

    // A second marker that stood before the first is gone with the notice.
    text = "The data in this whois database is\nyou agree to these terms.\nrecord";
    StripLegalNotice(text, "whois.enom.com");
    EXPECT_EQ(text, "record");

    // A longer rule line keeps its hyphens beyond the 26th.
    text = "notice\n------------------------------\nrecord";
    StripLegalNotice(text, "whois.educause.edu");
    EXPECT_EQ(text, "----\r\nrecord");

    // Korean registry headings ending in CR LF do not hold the markers.
    text = "# KOREAN\r\nkorean\r\n# ENGLISH\r\nenglish\r\n";
    StripLegalNotice(text, "whois.kisa.or.kr");
    EXPECT_EQ(text, "# KOREAN\r\r\nkorean\r\r\n# ENGLISH\r\r\nenglish");

    // Both Korean markers in the order the rule expects.
    text = "header\n# ENGLISH\nenglish part\n# KOREAN\nkorean part\n";
    StripLegalNotice(text, "whois.kisa.or.kr");
    EXPECT_EQ(text, "english part");

    // Markers with other capitals are other markers.
    text = "a\nThe data in the Tucows Registrar\nb";
    StripLegalNotice(text, "whois.tucows.com");
    EXPECT_EQ(text, "a\r\nThe data in the Tucows Registrar\r\nb");
    text = "a\nThe Data in this whois database is\nb";
    StripLegalNotice(text, "whois.enom.com");
    EXPECT_EQ(text, "a\r\nThe Data in this whois database is\r\nb");

    // Row 11's comma and row 15's double space are part of the markers.
    text = "net\n# ARIN Whois database last updated";
    StripLegalNotice(text, "whois.arin.net");
    EXPECT_EQ(text, "net\r\n# ARIN Whois database last updated");
    text = "% only for lawful purposes.\nrecord";
    StripLegalNotice(text, "whois.registro.br");
    EXPECT_EQ(text, "% only for lawful purposes.\r\nrecord");
}

// Real answers, each from the server whose rule it meets.
TEST(StripLegalNotice, RealNotices) {
    {
        SCOPED_TRACE("Tucows: the record comes first, the notice after it");
        std::string answer = Sample("whois.tucows.com/tucows-registered-2012.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.tucows.com");
        EXPECT_EQ(text, BoxText(Before(answer, "The Data in the Tucows Registrar")));
        EXPECT_NE(text.find("Domain name:"), std::string::npos);
    }
    {
        SCOPED_TRACE("eNom 2012: no 'you agree to these terms.', the cut still runs; CR LF");
        std::string answer = Sample("whois.enom.com/enom-adbrite.com-2012.txt");
        ASSERT_EQ(answer.find("you agree to these terms."), std::string::npos);
        std::string text = answer;
        StripLegalNotice(text, "whois.enom.com");
        EXPECT_EQ(text, BoxText(Before(answer, "The data in this whois database is")));
        EXPECT_NE(text.find("\r\r\n"), std::string::npos);
        EXPECT_EQ(text.find("The data in this whois database is"), std::string::npos);
    }
    {
        SCOPED_TRACE("EDUCAUSE: the disclaimer above the 26-hyphen rule goes");
        std::string answer = Sample("whois.educause.edu/edu-registered-2009.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.educause.edu");
        EXPECT_EQ(text, BoxText(After(answer, std::string(26, '-'))));
        EXPECT_EQ(text.rfind("Domain Name: EDUCAUSE.EDU", 0), 0u);
    }
    {
        SCOPED_TRACE("PIR: the notice before the record");
        std::string answer = Sample("whois.publicinterestregistry.net/pir-google.org-2009.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.pir.org");
        EXPECT_EQ(text, BoxText(After(answer, "you agree to abide by this policy.")));
        EXPECT_EQ(text.rfind("Domain ID:D2244233-LROR", 0), 0u);
    }
    {
        SCOPED_TRACE("APNIC: the copyright header goes");
        std::string answer = Sample("whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.apnic.net");
        EXPECT_EQ(text, BoxText(After(answer, "http://www.apnic.net/db/dbcopyright.html")));
        EXPECT_EQ(text.rfind("% Information related to", 0), 0u);
    }
    {
        SCOPED_TRACE("LACNIC: header and query-type trailer both go");
        std::string answer = Sample("whois.lacnic.net/lacnic-inetnum-200.68.34.56-29-chile.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.lacnic.net");
        std::string kept = After(answer, "only for lawful purposes.");
        EXPECT_EQ(text, BoxText(Before(kept, "% whois.lacnic.net accepts only")));
        EXPECT_EQ(text.find("accepts only"), std::string::npos);
    }
    {
        SCOPED_TRACE("LACNIC answer written by NIC.br: neither LACNIC marker is there");
        std::string answer =
            Sample("whois.lacnic.net/lacnic-inetnum-170.0.0.0-answered-by-nicbr.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.lacnic.net");
        EXPECT_EQ(text, BoxText(answer));
    }
    {
        SCOPED_TRACE("registro.br: no header marker, the trailer cut still runs");
        std::string answer = Sample("whois.registro.br/registrobr-domain-registered.txt");
        ASSERT_EQ(answer.find("%  only for lawful purposes."), std::string::npos);
        std::string text = answer;
        StripLegalNotice(text, "whois.registro.br");
        EXPECT_EQ(text, BoxText(Before(answer, "% whois.registro.br accepts only")));
    }
    {
        SCOPED_TRACE("Korean registry: the English part is kept; the Korean heading is gone "
                     "with what came before it");
        std::string answer = Sample("whois.nic.or.kr/krnic-domain-google.kr-2010.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.kisa.or.kr");
        EXPECT_EQ(text, BoxText(After(answer, "# ENGLISH\n")));
        EXPECT_EQ(text.rfind("Domain Name               : google.kr", 0), 0u);
    }
    {
        SCOPED_TRACE("Network Solutions 2015: its rule's sentence is not in this notice");
        std::string answer = Sample("whois.networksolutions.com/netsol-registered-2015.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.networksolutions.com");
        EXPECT_EQ(text, BoxText(answer));
    }
    {
        SCOPED_TRACE("An answer that holds another row's marker is left alone");
        std::string answer = Sample("whois.register.com/registercom-registered-2012.txt");
        std::string text = answer;
        StripLegalNotice(text, "whois.verisign-grs.com"); // not a row at all
        EXPECT_EQ(text, BoxText(answer));
    }
}

// The owner summary: the fields read from recorded WHOIS answers of every
// family and from RDAP answers, the merge of several answers, the cleaning of
// values and dates, and the lines shown.
#include "engine/summary/summary.h"
#include "tests/engine/engine_test_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace summary;
using enginetest::RdapFixture;

namespace {

// "key=value;key=a,b" of every field found, in field order.
std::string Fields(const Summary& s) {
    std::string out;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        const auto& values = s.values[f];
        if (values.empty())
            continue;
        out += out.empty() ? "" : ";";
        out += std::string(Info(static_cast<Field>(f)).key) + "=";
        for (std::size_t k = 0; k < values.size(); ++k)
            out += (k ? "," : "") + values[k];
    }
    return out;
}

struct SampleRow {
    const char* file;
    const char* fields;
};

// One answer of each family and layout; what a reader of the answer finds
// in it by eye.
const SampleRow kSamples[] = {
    {"whois.arin.net/arin-net-4.2.2.1-level3-no-referral.txt",
     "network=4.0.0.0 - 4.255.255.255;name=LVLT-ORG-4-8;registrant=Level 3 Communications, "
     "Inc.;country=US;abuseContact=security@level3.com"},
    {"whois.arin.net/arin-net-170.0.0.0-lacnic-erx.txt",
     "network=170.0.0.0 - 170.0.3.255;name=LACNIC-ERX-170-0-0-0;registrant=Latin American and "
     "Caribbean IP address Regional Registry;country=UY;abuseContact=abuse@lacnic.net"},
    {"whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt",
     "network=128.79.0.0 - 128.79.63.0;name=BOUYGTEL-ISP-CABLE;registrant=Pool for Broadband "
     "CABLE customers;status=ASSIGNED PA;country=FR;abuseContact=abuse_box@bouyguestelecom.fr"},
    {"whois.ripe.net/ripe-person-SK2374-RIPE.txt",
     "created=2004-08-03;abuseContact=abuse@hetzner.de"},
    {"whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt",
     "network=171.0.0.0 - 171.1.255.255;name=STARHUBINTERNET-SG;registrant=Starhub "
     "Ltd.;status=ALLOCATED PORTABLE;country=SG;abuseContact=abuse@starhub.com"},
    {"whois.afrinic.net/afrinic-inetnum-105.158.0.0-maroc-telecom.txt",
     "network=105.158.0.0 - 105.158.255.255;name=ADSL_Maroc_telecom;registrant=ADSL_Maroc_telecom;"
     "status=ASSIGNED PA;country=MA"},
    {"whois.lacnic.net/lacnic-inetnum-200.68.34.56-29-chile.txt",
     "network=200.68.34.56/29;registrant=Agencia de Aduanas Patricio Sesnich Stewart y "
     "Comp;created=2010-01-28;status=reallocated;country=CL;abuseContact=oper@isp.tie.cl"},
    {"whois.lacnic.net/lacnic-aut-num-AS264957-answered-by-nicbr.txt",
     "network=170.0.0.0/22;asNumber=AS264957;registrant=Coopercitrus Cooperativa de Produtores "
     "Rurais;created=2016-05-09;country=BR;abuseContact=noc@coopercitrus.com.br"},
    {"whois.registro.br/registrobr-domain-registered.txt",
     "domain=google.com.br;registrant=Google Brasil Internet "
     "Ltda;created=1999-05-18;expires=2018-05-18;status=published;nameServers=ns1.google.com,ns2."
     "google.com,ns3.google.com,ns4.google.com;country=BR"},
    {"whois.verisign-grs.com/verisign-google.com-2017.txt",
     "domain=google.com;registrar=MarkMonitor "
     "Inc.;created=1997-09-15;expires=2020-09-14;status=clientDeleteProhibited,"
     "clientTransferProhibited,clientUpdateProhibited,serverDeleteProhibited,"
     "serverTransferProhibited,serverUpdateProhibited;nameServers=ns1.google.com,ns2.google.com,"
     "ns3.google.com,ns4.google.com;abuseContact=abusecomplaints@markmonitor.com"},
    {"whois.markmonitor.com/markmonitor-google.com-2013.txt",
     "domain=google.com;registrant=Google Inc.;registrar=MarkMonitor, "
     "Inc.;created=2002-10-02;expires=2020-09-13;status=clientUpdateProhibited,"
     "clientTransferProhibited,clientDeleteProhibited;nameServers=ns2.google.com,ns1.google.com,"
     "ns3.google.com,ns4.google.com;abuseContact=compliance@markmonitor.com"},
    {"whois.networksolutions.com/netsol-registered-2012.txt",
     "domain=xif.com;registrant=XIF Communications;created=1997-06-10;expires=2014-06-09"},
    {"whois.tucows.com/tucows-registered-2012.txt",
     "domain=ss-nz.com;registrant=Wadadiah;registrar=TUCOWS, "
     "INC.;created=2006-03-06;expires=2013-03-06;status=clientTransferProhibited;nameServers=ns5."
     "ixwebhosting.com,ns6.ixwebhosting.com"},
    {"whois.enom.com/enom-adbrite.com-2012.txt",
     "domain=adbrite.com;registrant=AdBrite, "
     "Inc.;created=2004-06-16;expires=2015-06-16;status=Active;nameServers=asia3.akam.net,aus1."
     "akam.net,eur1.akam.net,eur2.akam.net,ns1-105.akam.net,ns1-232.akam.net,usc2.akam.net,usw6."
     "akam.net"},
    {"whois.nic.uk/uk-registered-2015.txt",
     "domain=google.co.uk;registrant=Google Inc.;registrar=Markmonitor Inc. t/a Markmonitor [Tag = "
     "MARKMONITOR];created=1999-02-14;expires=2015-02-14;status=Registered until expiry "
     "date.;nameServers=ns1.google.com,ns2.google.com,ns3.google.com,ns4.google.com"},
    {"whois.cira.ca/cira-registered-2015.txt",
     "domain=google.ca;registrant=Google Inc.;registrar=MarkMonitor International Canada "
     "Ltd.;created=2000-10-03;expires=2015-04-28;status=registered;nameServers=ns1.google.com,ns2."
     "google.com,ns3.google.com,ns4.google.com"},
    {"whois.denic.de/denic-registered-2009-v1.10.txt",
     "domain=google.de;registrant=Google Inc.;status=connect;nameServers=ns1.google.com,ns4.google."
     "com,ns3.google.com,ns2.google.com;country=US"},
    {"whois.kr/kr-domain-google.kr.txt",
     "domain=google.kr;registrant=Google Korea, LLC;expires=2015-03-02"},
    {"whois.nic.nu/nu-google.nu-2010-referralserver.txt",
     "registrar=eMarkMonitor, "
     "Inc.;created=1999-06-07;expires=2010-06-07;nameServers=ns1.google.com,ns2.google.com,ns3."
     "google.com,ns4.google.com"},
    // Answers that hold no record give nothing.
    {"whois.verisign-grs.com/verisign-com-no-match.txt", ""},
    {"whois.ripe.net/ripe-not-found-error-101.txt", ""},
    {"whois.markmonitor.com/markmonitor-throttled.txt", ""},
    {"rwhois.shawcable.net/rwhois-4321-174-referral-to-root.txt", ""},
};

TEST(SummaryWhois, FieldsOfEachRecordedAnswer) {
    for (const SampleRow& row : kSamples)
        EXPECT_EQ(Fields(FromWhoisText(enginetest::Sample(row.file))), row.fields) << row.file;
}

struct TextRow {
    const char* name;
    const char* answer;
    const char* fields;
};

const TextRow kTexts[] = {
    {"withheld registrant",
     "Domain Name: EXAMPLE.COM\nRegistrant Organization: REDACTED FOR "
     "PRIVACY\nRegistrant Name: Jane\n",
     "domain=example.com;registrant=(redacted)"},
    {"organisation before name, whatever the order",
     "Registrant Name: Jane Roe\nRegistrant Organization: Example Org\n", "registrant=Example Org"},
    {"values cleaned", "Registrar: Evil\xe2\x80\xae Corp\x1b[2J\nName Server: NS1.EXAMPLE.COM.\n",
     "registrar=Evil Corp[2J;nameServers=ns1.example.com"},
    {"abuse comment wins over a mailbox",
     "abuse-mailbox: later@example.net\n% Abuse contact for '192.0.2.0 - 192.0.2.255' is "
     "'first@example.net'\n",
     "abuseContact=first@example.net"},
    {"abuse-c resolved through its contact",
     "inetnum: 192.0.2.0/24\nabuse-c: AB1\n\nnic-hdl: "
     "XX9\ne-mail: wrong@example.net\n\nnic-hdl: AB1\n"
     "e-mail: right@example.net\n",
     "network=192.0.2.0/24;abuseContact=right@example.net"},
    {"[Holder] section", "Domain: example.de\n\n[Holder]\nType: ORG\nName: Example GmbH\n",
     "domain=example.de;registrant=Example GmbH"},
    {"ARIN AS number", "ASNumber: 64500\nASName: EXAMPLE-AS\nOrgName: Example\n",
     "asNumber=AS64500;asName=EXAMPLE-AS;registrant=Example"},
    {"nothing labelled", "No match for \"EXAMPLE.COM\".\r\n", ""},
};

TEST(SummaryWhois, FieldRules) {
    for (const TextRow& row : kTexts)
        EXPECT_EQ(Fields(FromWhoisText(row.answer)), row.fields) << row.name;
}

TEST(SummaryRdap, FieldsOfEachFixture) {
    const SampleRow rows[] = {
        {"domain_registry.json",
         "domain=example.dev;registrar=Example Registrar, "
         "LLC;created=2019-02-28;expires=2027-02-28;status=client transfer "
         "prohibited,active;nameServers=ns-cloud-a1.googledomains.com,ns-cloud-a2.googledomains."
         "com;abuseContact=abuse@registrar.example"},
        {"domain_registrar.json",
         "domain=example.dev;registrant=Beispiel GmbH;status=client transfer prohibited"},
        {"ip_arin.json",
         "network=8.8.8.0 - 8.8.8.255;name=GOGL;registrant=Google "
         "LLC;created=2023-12-28;status=active;abuseContact=network-abuse@google.com"},
    };
    for (const SampleRow& row : rows) {
        EXPECT_EQ(Fields(FromRdapJson(RdapFixture(row.file))), row.fields) << row.file;
    }
    const Summary as = FromRdapJson(RdapFixture("autnum_ripe.json"));
    EXPECT_EQ(as.Get(Field::AsNumber), std::vector<std::string>{"AS3333"});
    EXPECT_EQ(as.Get(Field::AsName), std::vector<std::string>{"RIPE-NCC-AS"});
    EXPECT_EQ(as.Get(Field::Country), std::vector<std::string>{"NL"});
    EXPECT_EQ(
        as.Get(Field::Registrant),
        std::vector<std::string>{"Reseaux IP Europeens Network Coordination Centre (RIPE NCC)"});

    // The registrar's record, read last, wins the registrant; the registry
    // keeps what the registrar's record lacks.
    Summary merged = FromRdapJson(RdapFixture("domain_registry.json"));
    Merge(merged, FromRdapJson(RdapFixture("domain_registrar.json")));
    EXPECT_EQ(merged.Get(Field::Registrant), std::vector<std::string>{"Beispiel GmbH"});
    EXPECT_EQ(merged.Get(Field::Registrar), std::vector<std::string>{"Example Registrar, LLC"});
    EXPECT_EQ(merged.Get(Field::Status), std::vector<std::string>{"client transfer prohibited"});

    for (const char* broken : {"", "not json", "[1,2]", "{\"objectClassName\":\"entity\"}",
                               "{\"objectClassName\":\"domain\",\"ldhName\":7}"})
        EXPECT_TRUE(FromRdapJson(broken).Empty()) << broken;
    EXPECT_EQ(Fields(FromRdapJson(R"({"objectClassName":"domain","ldhName":"x.example",
        "redacted":[{"name":{"type":"Registrant Name"}}]})")),
              "domain=x.example;registrant=(redacted)");
}

TEST(SummaryFormat, LinesOfEachLayout) {
    Summary s;
    s.Get(Field::Domain) = {"example.com"};
    s.Get(Field::Registrant) = {"Example Org"};
    s.Get(Field::NameServers) = {"ns1.example.com", "ns2.example.com"};
    s.Get(Field::Country) = {"US"};
    s.Get(Field::Abuse) = {"abuse@registrar.example"};
    s.sources = {{"RDAP", "rdap.verisign.com", "example.com"},
                 {"RDAP", "rdap.registrar.example", "example.com"},
                 {"WHOIS", "whois.verisign-grs.com", "domain example.com"},
                 {"RDAP", "rdap.verisign.com", "example.com"}};
    EXPECT_EQ(Format(s, Layout::Domain),
              "Domain:        example.com\r\n"
              "Registrant:    Example Org\r\n"
              "Name servers:  ns1.example.com, ns2.example.com\r\n"
              "Abuse contact: abuse@registrar.example\r\n"
              "Source:        RDAP rdap.verisign.com, "
              "rdap.registrar.example; WHOIS whois.verisign-grs.com\r\n");
    EXPECT_EQ(Format(s, Layout::Network),
              "Owner:         Example Org\r\n"
              "Country:       US\r\n"
              "Abuse contact: abuse@registrar.example\r\n"
              "Source:        RDAP rdap.verisign.com, "
              "rdap.registrar.example; WHOIS whois.verisign-grs.com\r\n");
    Summary none;
    none.sources = s.sources;
    EXPECT_EQ(Format(none, Layout::Domain), "");
}

TEST(SummaryValues, CleaningAndDates) {
    const std::pair<const char*, const char*> clean[] = {
        {"  a \t b\r\n c  ", "a b c"},
        {"x\x7f\xc2\x85y\xc2\x9fz", "xyz"},               // DEL, C1 in UTF-8
        {"\xe2\x80\x8e\xe2\x80\x8fok\xe2\x80\xa8", "ok"}, // LRM, RLM, LS
        {"\xe2\x80\xaa\xe2\x80\xae"
         "ab\xe2\x81\xa6\xe2\x81\xa9",
         "ab"}, // embeddings, isolates
        {"M\xc3\xbcller \xe2\x80\x94 GmbH", "M\xc3\xbcller \xe2\x80\x94 GmbH"},
    };
    for (const auto& [in, out] : clean)
        EXPECT_EQ(CleanValue(in), out) << in;
    const std::string longValue = CleanValue(std::string(199, 'a') + "\xc3\xa9" + "tail");
    EXPECT_EQ(longValue, std::string(199, 'a') + "...");

    const std::pair<const char*, const char*> dates[] = {
        {"2019-03-01T16:46:12.511Z", "2019-03-01"},
        {"2013-10-29T11:50:06-0700", "2013-10-29"},
        {"01-Mar-2019", "2019-03-01"},
        {"14-feb-1999.", "1999-02-14"},
        {"2000/10/03", "2000-10-03"},
        {"01.03.2019", "2019-03-01"},
        {"20100128 #12345", "2010-01-28"},
        {"2007. 03. 02.", "2007-03-02"},
        {"March 1 2019", "2019-03-01"},
        {"2019-13-01", ""},
        {"yesterday", ""},
        {"", ""},
    };
    for (const auto& [in, out] : dates)
        EXPECT_EQ(NormaliseDate(in), out) << in;
}

} // namespace

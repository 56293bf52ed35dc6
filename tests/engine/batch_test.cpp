// The batch: the range cache, the polite schedule (with the time given),
// rate-limit signs, and whole batches over a scripted network.
#include "engine/batch/batch.h"
#include "tests/engine/scripted_network.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

using namespace std::chrono_literals;
using testnet::Request;
using testnet::ScriptedNetwork;

namespace {

std::string Hex(const batch::Address& a) {
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < a.size(); ++i) {
        out += kHex[a[i] >> 4];
        out += kHex[a[i] & 15];
    }
    return out;
}

const std::string kV4 = "00000000000000000000ffff";

} // namespace

TEST(BatchRange, Parse) {
    struct Row {
        const char* text;
        std::string first, last; // empty: no range
    } rows[] = {
        {"192.0.2.0 - 192.0.2.255", kV4 + "c0000200", kV4 + "c00002ff"},
        {"192.0.2.0/24", kV4 + "c0000200", kV4 + "c00002ff"},
        {"192.0.2.77/24", kV4 + "c0000200", kV4 + "c00002ff"}, // the network of the address
        {" 10.0.0.0/8, 11.0.0.0/8", kV4 + "0a000000", kV4 + "0affffff"},
        {"192.0.2.7", kV4 + "c0000207", kV4 + "c0000207"},
        {"2001:db8::/32", "20010db8000000000000000000000000", "20010db8ffffffffffffffffffffffff"},
        {"2001:db8:: - 2001:db8::ff", "20010db8000000000000000000000000",
         "20010db80000000000000000000000ff"},
        {"192.0.2.9 - 192.0.2.1", "", ""},
        {"192.0.2.0/33", "", ""},
        {"192.0.2.0/", "", ""},
        {"192.0.2.0 - 2001:db8::1", "", ""},
        {"example.com", "", ""},
        {"AS64500", "", ""},
    };
    for (const Row& row : rows) {
        batch::Address first{}, last{};
        const bool ok = batch::ParseRange(row.text, first, last);
        EXPECT_EQ(ok, !row.first.empty()) << row.text;
        if (ok && !row.first.empty()) {
            EXPECT_EQ(Hex(first), row.first) << row.text;
            EXPECT_EQ(Hex(last), row.last) << row.text;
        }
    }
}

namespace {

batch::CachedAnswer Owned(const std::string& owner, const std::string& network) {
    batch::CachedAnswer a;
    a.summary.Get(summary::Field::Registrant).push_back(owner);
    if (!network.empty())
        a.summary.Get(summary::Field::Network).push_back(network);
    a.summary.sources.push_back({"WHOIS", "whois.ripe.net", "x"});
    return a;
}

std::string OwnerOf(const std::optional<batch::CachedAnswer>& a) {
    return a ? a->summary.Get(summary::Field::Registrant).front() : "(none)";
}

} // namespace

TEST(BatchRangeCache, FindsTheMostSpecificFreshRange) {
    batch::RangeCache cache(100);
    cache.Add("10.1.2.3", Owned("Big", "10.0.0.0 - 10.255.255.255"), 1000);
    cache.Add("10.1.2.4", Owned("Small", "10.1.2.0/24"), 1000);
    cache.Add("10.9.9.9", Owned("Elsewhere", "192.0.2.0/24"), 1000); // range misses the query
    cache.Add("Example.COM", Owned("Domain", ""), 1000);
    struct Row {
        const char* query;
        std::int64_t now;
        const char* owner;
    } rows[] = {
        {"10.1.2.200", 1050, "Small"},   {"10.1.2.0/25", 1050, "Small"},
        {"10.1.0.0/16", 1050, "Big"},    {"10.200.0.1", 1050, "Big"},
        {"10.9.9.9", 1050, "Elsewhere"}, // the same query
        {"10.9.9.8", 1050, "Big"},       {"192.0.2.1", 1050, "(none)"},
        {"example.com", 1050, "Domain"}, {"10.1.2.200", 1100, "(none)"}, // too old
        {"2001:db8::1", 1050, "(none)"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(OwnerOf(cache.Find(row.query, row.now)), row.owner) << row.query;
}

TEST(BatchRangeCache, WritesAndReadsBackSkippingBrokenAndOldLines) {
    batch::RangeCache cache(100);
    cache.Add("10.1.2.4", Owned("Small", "10.1.2.0/24"), 1000);
    cache.Add("2001:db8::1", Owned("Six", "2001:db8::/32"), 1000);
    cache.Add("192.0.2.1", Owned("Old", "192.0.2.0/24"), 900);
    const std::string text = cache.Serialize(1010);
    batch::RangeCache back(100);
    back.Load("not json\n{\"stored\":5}\n" + text.substr(0, text.size() / 2) + "\n" + text, 1010);
    EXPECT_EQ(OwnerOf(back.Find("10.1.2.9", 1010)), "Small");
    EXPECT_EQ(OwnerOf(back.Find("2001:db8:ffff::1", 1010)), "Six");
    EXPECT_EQ(OwnerOf(back.Find("192.0.2.1", 1010)), "(none)"); // expired, not written
    EXPECT_EQ(back.Find("10.1.2.9", 1010)->summary.sources.size(), 1u);
    // The newer of two entries wins.
    batch::RangeCache newer(100);
    newer.Add("10.1.2.5", Owned("Newer", "10.1.2.0/24"), 1005);
    back.Load(newer.Serialize(1010), 1010);
    EXPECT_EQ(OwnerOf(back.Find("10.1.2.9", 1010)), "Newer");
    back.Load(text, 1010);
    EXPECT_EQ(OwnerOf(back.Find("10.1.2.9", 1010)), "Newer");
}

TEST(BatchSchedule, PaceOneAtATimeCapAndPause) {
    batch::ServerSchedule s(2.0, 2); // 2 a second per server, 2 at once
    const batch::TimePoint t0{};
    std::optional<batch::TimePoint> wake;
    EXPECT_TRUE(s.MayBegin("a", t0, wake));
    s.Begin("a", t0);
    EXPECT_FALSE(s.MayBegin("a", t0 + 1s, wake)); // busy: no time to wake at
    EXPECT_FALSE(wake);
    s.End("a");
    EXPECT_FALSE(s.MayBegin("a", t0 + 100ms, wake)); // the pace
    EXPECT_EQ(wake, t0 + 500ms);
    EXPECT_TRUE(s.MayBegin("a", t0 + 500ms, wake));
    s.Begin("b", t0);
    s.Begin("c", t0);
    EXPECT_FALSE(s.MayBegin("a", t0 + 1s, wake)); // the cap
    EXPECT_FALSE(wake);
    s.End("b");
    EXPECT_TRUE(s.MayBegin("a", t0 + 1s, wake));
    s.Pause("a", t0 + 60s);
    EXPECT_EQ(s.Paused(t0 + 1s), std::vector<std::string>{"a"});
    EXPECT_FALSE(s.MayBegin("a", t0 + 59s, wake));
    EXPECT_EQ(wake, t0 + 60s);
    EXPECT_TRUE(s.MayBegin("a", t0 + 60s, wake));
    EXPECT_TRUE(s.Paused(t0 + 60s).empty());
}

TEST(BatchRateLimit, WhoisAndHttpsSigns) {
    struct Row {
        const char* answer;
        int seconds; // -1: no limit
    } rows[] = {
        {"%ERROR:201: access denied for 192.0.2.1\n%\n", 60},
        {"% Note: this output has been filtered.\n\n%ERROR:201: access denied\n", 60},
        {"#\n# Query rate limit exceeded. Please try again in 30 seconds.\n", 30},
        {"Query rate limit exceeded\n", 60},
        {"% Access denied: too many queries\n", 60},
        {"%ERROR:201: access denied\n% Try again in 5 seconds.\n", 5},
        {"NetName: ACCESS-DENIED-NET\nremarks: access denied to nothing\n", -1},
        {"inetnum: 192.0.2.0 - 192.0.2.255\n", -1},
        {"", -1},
    };
    for (const Row& row : rows) {
        const auto limit = batch::WhoisRateLimit(row.answer, 60s);
        EXPECT_EQ(limit ? static_cast<int>(limit->count()) : -1, row.seconds) << row.answer;
    }
    EXPECT_EQ(batch::HttpsRateLimit(429, "5", 60s), 5s);
    EXPECT_EQ(batch::HttpsRateLimit(429, "Wed, 21 Oct 2026 07:28:00 GMT", 60s), 60s);
    EXPECT_EQ(batch::HttpsRateLimit(429, "", 60s), 60s);
    EXPECT_FALSE(batch::HttpsRateLimit(404, "5", 60s));
}

namespace {

const std::string kArin = "whois.arin.net", kRipe = "whois.ripe.net";

// ARIN sends 192.0.2.x and 198.51.100.x to RIPE; RIPE holds two /25s.
void ScriptWorld(ScriptedNetwork& net) {
    for (const char* q : {"192.0.2.1", "192.0.2.200", "192.0.2.2", "198.51.100.1", "198.51.100.2"})
        net.Answer(kArin, q, "NetRange:   192.0.0.0 - 198.255.255.255\nNetName:    RIPE-ERX\n");
    net.Answer(kRipe, "-r 192.0.2.1",
               "inetnum:        192.0.2.0 - 192.0.2.127\nnetname:        LOW\n"
               "descr:          Low Net\ncountry:        NL\n"
               "% Abuse contact for '192.0.2.0 - 192.0.2.127' is 'abuse@low.example'\n");
    net.Answer(kRipe, "-r 192.0.2.200",
               "inetnum:        192.0.2.128 - 192.0.2.255\nnetname:        HIGH\n"
               "country:        DE\n");
}

struct Collected {
    std::vector<batch::Record> records;
    batch::Progress progress;
};

Collected RunLines(const std::vector<std::string>& lines, WhoisNetwork& net,
                   batch::RangeCache& cache, batch::Options options = {}) {
    std::size_t i = 0;
    Collected out;
    out.progress = batch::Run(
        [&](std::string& q) {
            while (i < lines.size())
                if (const auto query = batch::QueryOfLine(lines[i++])) {
                    q = *query;
                    return true;
                }
            return false;
        },
        net, cache, options, [&](const batch::Record& r) { out.records.push_back(r); });
    return out;
}

} // namespace

// Each network asked once: later addresses of a known range, and a repeated
// query, come from the cache; RIPE is asked with -r. One lookup at a time, so
// that the requests come in input order (lookups of different networks that
// run at once may reach a server in either order).
TEST(BatchRun, AsksEachNetworkOnce) {
    ScriptedNetwork net;
    ScriptWorld(net);
    batch::RangeCache cache;
    batch::Options serial;
    serial.lookupsAtOnce = 1;
    const Collected c = RunLines({"# a comment", "192.0.2.1", "", "  192.0.2.5 ", "192.0.2.1",
                                  "192.0.2.200", "192.0.2.130", "192.0.2.0/26", "198.51.100.1",
                                  "198.51.100.2", "203.0.113.7", "203.0.113.7"},
                                 net, cache, serial);
    const std::vector<Request> expected = {
        {kArin, "192.0.2.1", 43},    {kRipe, "-r 192.0.2.1", 43},
        {kArin, "192.0.2.200", 43},  {kRipe, "-r 192.0.2.200", 43},
        {kArin, "198.51.100.1", 43}, {kRipe, "-r 198.51.100.1", 43},
        {kArin, "198.51.100.2", 43}, {kRipe, "-r 198.51.100.2", 43},
        {kArin, "203.0.113.7", 43}, // nothing, and not asked again
    };
    EXPECT_EQ(net.requests(), expected);
    struct Row {
        const char* query;
        const char* network;
        bool cached;
        bool answered;
        const char* error; // its start
    } rows[] = {
        {"192.0.2.1", "192.0.2.0 - 192.0.2.127", false, true, ""},
        {"192.0.2.5", "192.0.2.0 - 192.0.2.127", true, true, ""},
        {"192.0.2.1", "192.0.2.0 - 192.0.2.127", true, true, ""},
        {"192.0.2.200", "192.0.2.128 - 192.0.2.255", false, true, ""},
        {"192.0.2.130", "192.0.2.128 - 192.0.2.255", true, true, ""},
        {"192.0.2.0/26", "192.0.2.0 - 192.0.2.127", true, true, ""},
        // RIPE gave nothing: ARIN's text stays, its range is not kept, and
        // the error says the record is not the network's own.
        {"198.51.100.1", "192.0.0.0 - 198.255.255.255", false, true, "No answer: whois.ripe.net "},
        {"198.51.100.2", "192.0.0.0 - 198.255.255.255", false, true, "No answer: whois.ripe.net "},
        {"203.0.113.7", "", false, false, "No answer: "},
        {"203.0.113.7", "", false, false, "No answer: "},
    };
    ASSERT_EQ(c.records.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const batch::Record& r = c.records[i];
        EXPECT_EQ(r.query, rows[i].query);
        const auto& network = r.details.summary.Get(summary::Field::Network);
        EXPECT_EQ(network.empty() ? "" : network.front(), rows[i].network) << r.query;
        EXPECT_EQ(r.fromCache, rows[i].cached) << r.query;
        EXPECT_EQ(r.answered, rows[i].answered) << r.query;
        EXPECT_EQ(r.error.substr(0, std::string(rows[i].error).size()), rows[i].error) << r.query;
        EXPECT_EQ(r.error.empty(), *rows[i].error == 0) << r.query;
    }
    EXPECT_EQ(c.records[0].details.summary.Get(summary::Field::Abuse),
              std::vector<std::string>{"abuse@low.example"});
    EXPECT_EQ(c.records.back().error, c.records[c.records.size() - 2].error);
    EXPECT_EQ(net.httpsRequests(), // ARIN silent: APNIC's RDAP, once
              std::vector<std::string>{"https://rdap.apnic.net/ip/203.0.113.7"});
    EXPECT_EQ(c.progress.exchanges, 10);
    EXPECT_EQ(c.progress.fromCache, 4u);
    EXPECT_EQ(c.progress.done, 10u);
}

namespace {

// Answers "rate limit exceeded" for the first limited exchanges with one
// host, and records when each exchange with it began.
class LimitingNetwork : public ScriptedNetwork {
public:
    LimitingNetwork(std::string host, int limited) : m_host(std::move(host)), m_left(limited) {}
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override {
        if (host == m_host) {
            std::lock_guard<std::mutex> lock(m_mutex);
            starts.push_back(batch::Clock::now());
            if (m_left > 0) {
                --m_left;
                result = "% Query rate limit exceeded, try again in 1 second.\n";
                return true;
            }
        }
        return ScriptedNetwork::Exchange(query, host, result, port);
    }
    std::vector<batch::TimePoint> starts;

private:
    std::string m_host;
    int m_left;
    std::mutex m_mutex;
};

} // namespace

TEST(BatchRun, RateLimitedServerIsPausedAndAskedAgain) {
    LimitingNetwork net(kRipe, 2);
    ScriptWorld(net);
    batch::RangeCache cache;
    const Collected c = RunLines({"192.0.2.1", "192.0.2.200"}, net, cache);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_TRUE(c.records[0].answered);
    EXPECT_TRUE(c.records[1].answered);
    EXPECT_EQ(c.records[1].details.summary.Get(summary::Field::Network).front(),
              "192.0.2.128 - 192.0.2.255");
    // Two limited answers, then one per query; each pause of a second kept.
    ASSERT_EQ(net.starts.size(), 4u);
    EXPECT_GE(net.starts[1] - net.starts[0], 1s);
    EXPECT_GE(net.starts[2] - net.starts[1], 1s);

    // A server that never stops limiting: the query gives up after the retries.
    LimitingNetwork always(kRipe, 100);
    ScriptWorld(always);
    batch::Options quick;
    quick.polite.retries = 1;
    batch::RangeCache empty;
    const Collected gaveUp = RunLines({"192.0.2.1"}, always, empty, quick);
    ASSERT_EQ(gaveUp.records.size(), 1u);
    EXPECT_FALSE(gaveUp.records[0].answered);
    EXPECT_EQ(gaveUp.records[0].error,
              "No answer: whois.ripe.net still limits the rate after 1 retries.");
    EXPECT_EQ(always.starts.size(), 2u);
}

TEST(BatchRun, PaceKeepsExchangesWithOneServerApart) {
    LimitingNetwork timed(kArin, 0); // ARIN answers nothing: one exchange per query
    batch::RangeCache cache;
    batch::Options options;
    options.polite.perSecond = 10;
    const Collected c =
        RunLines({"203.0.113.1", "203.0.114.1", "203.0.115.1"}, timed, cache, options);
    ASSERT_EQ(timed.starts.size(), 3u);
    EXPECT_GE(timed.starts[1] - timed.starts[0], 99ms);
    EXPECT_GE(timed.starts[2] - timed.starts[1], 99ms);
    for (const batch::Record& r : c.records)
        EXPECT_FALSE(r.answered);
}

TEST(BatchRun, StopInterruptsWhatIsLeft) {
    ScriptedNetwork net;
    ScriptWorld(net);
    for (const bool readRest : {false, true}) {
        batch::RangeCache cache;
        std::atomic<bool> stop{false};
        batch::Options options;
        options.stop = &stop;
        options.readRestAfterStop = readRest;
        std::vector<batch::Record> records;
        int read = 0;
        batch::Run(
            [&](std::string& q) {
                if (read == 3)
                    stop = true; // Ctrl+C while the fourth line is read
                q = "192.0.2." + std::to_string(++read);
                return read <= 20;
            },
            net, cache, options, [&](const batch::Record& r) { records.push_back(r); });
        // The four lines read before the stop was seen, and with readRest the others.
        ASSERT_EQ(records.size(), readRest ? 20u : 4u);
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].query, "192.0.2." + std::to_string(i + 1)); // input order
            // A lookup under way may finish; everything else is interrupted.
            if (i >= 4 || !records[i].answered) {
                EXPECT_EQ(records[i].error, "interrupted") << i;
            }
        }
    }
}

namespace {

// ARIN's RDAP service answers 429 (Retry-After: 1) to its first request.
class RdapLimitingNetwork : public ScriptedNetwork {
public:
    bool HttpsGet(const std::string& url, platform::HttpsResponse& response) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            starts.push_back(batch::Clock::now());
            if (starts.size() == 1) {
                response = platform::HttpsResponse();
                response.completed = true;
                response.status = 429;
                response.retryAfter = "1";
                return true;
            }
        }
        return ScriptedNetwork::HttpsGet(url, response);
    }
    std::vector<batch::TimePoint> starts;

private:
    std::mutex m_mutex;
};

} // namespace

// Port 43 silent, RDAP limited once: the pause is kept, the query asked
// again, and RDAP's range answers the next address of the network.
TEST(BatchRun, RdapTooManyRequestsPausesItsServer) {
    RdapLimitingNetwork net;
    net.AnswerHttps("https://rdap.arin.net/registry/ip/8.8.8.8", 200,
                    R"({"objectClassName":"ip network","handle":"NET-8-8-8-0-1",)"
                    R"("startAddress":"8.8.8.0","endAddress":"8.8.8.255","name":"GOGL",)"
                    R"("country":"US"})");
    batch::RangeCache cache;
    const Collected c = RunLines({"8.8.8.8", "8.8.8.9"}, net, cache);
    ASSERT_EQ(net.starts.size(), 2u);
    EXPECT_GE(net.starts[1] - net.starts[0], 1s);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_TRUE(c.records[0].answered);
    EXPECT_EQ(c.records[0].details.summary.Get(summary::Field::Network).front(),
              "8.8.8.0 - 8.8.8.255");
    EXPECT_TRUE(c.records[1].fromCache);
}

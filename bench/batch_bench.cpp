// ostrabel-cli --batch against a fake world on loopback: five registries,
// each answering after 20 ms and one connection at a time, ARIN referring to
// the others as the real one does. 10,000 addresses from 200 networks.
// Prints the exchanges made (against the single lookups of a shell loop),
// the wall time at the default pace, the peak memory, the same for a warm
// cache, and a run in which one registry limits the rate for 5 s.
#include "engine/batch/batch.h"
#include "tests/support/fake_whois_server.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Registry {
    const char* host;
    const char* netName; // ARIN's name for the registry's space
    const char* country;
};
const Registry kRegistries[] = {
    {"whois.arin.net", "", "US"},
    {"whois.ripe.net", "RIPE-ERX-BLOCK", "NL"},
    {"whois.apnic.net", "APNIC-ERX-BLOCK", "AU"},
    {"whois.lacnic.net", "LACNIC-ERX-BLOCK", "BR"},
    {"whois.afrinic.net", "AFRINIC-NET-TRANSFERRED", "ZA"},
};

// Network n is 100.(n / 100).(n % 100).0/24, held by registry n % 5.
int NetworkOf(const std::string& address) {
    int a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(address.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d) != 4)
        return -1;
    return b * 100 + c;
}
std::string NetworkText(int n) {
    const std::string base = "100." + std::to_string(n / 100) + "." + std::to_string(n % 100) + ".";
    return base + "0 - " + base + "255";
}

// The answer of registry r for request (with "-r " for the RIPE-style ones).
std::string Answer(int r, const std::string& request) {
    const std::string address = request.rfind("-r ", 0) == 0 ? request.substr(3) : request;
    const int n = NetworkOf(address);
    if (n < 0)
        return "% no entries found\n";
    if (r == 0 && n % 5 != 0) {
        // ARIN for another registry's space: the wide block and the referral.
        const Registry& to = kRegistries[n % 5];
        return std::string("NetRange:       100.0.0.0 - 100.255.255.255\n") +
               "NetName:        " + to.netName + "\nOrgName:        Other registry\n" +
               "ReferralServer: whois://" + to.host + "\n";
    }
    if (r == 0)
        return "NetRange:       " + NetworkText(n) + "\nNetName:        NET-" + std::to_string(n) +
               "\nOrgName:        Owner " + std::to_string(n) +
               "\nCountry:        US\nOrgAbuseEmail:  abuse@net" + std::to_string(n) + ".example\n";
    return "% Abuse contact for '" + NetworkText(n) + "' is 'abuse@net" + std::to_string(n) +
           ".example'\n\ninetnum:        " + NetworkText(n) + "\nnetname:        NET-" +
           std::to_string(n) + "\ndescr:          Owner " + std::to_string(n) +
           "\ncountry:        " + kRegistries[r].country + "\n";
}

// The five servers; the limited one answers "%ERROR:201" for its first
// limitMs after its first request.
class World {
public:
    explicit World(int limited = -1, int limitMs = 0) : m_limited(limited), m_limitMs(limitMs) {
        for (int r = 0; r < 5; ++r)
            m_servers.push_back(std::make_unique<testnet::FakeWhoisServer>(
                [this, r](testnet::Session& s, const std::string& request) {
                    Handle(r, s, request);
                }));
    }
    int PortOf(const std::string& host) const {
        for (int r = 0; r < 5; ++r)
            if (host == kRegistries[r].host)
                return m_servers[r]->port();
        return 0;
    }
    std::size_t requests() const {
        std::size_t n = 0;
        for (const auto& s : m_servers)
            n += s->requests().size();
        return n;
    }
    // Requests the limited server received during its limit, after the first.
    int askedDuringPause = 0;
    int limitedAnswers = 0;

private:
    void Handle(int r, testnet::Session& s, const std::string& request) {
        s.Pause(20);
        if (r == m_limited) {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto now = Clock::now();
            if (!m_first)
                m_first = now;
            if (now - *m_first < std::chrono::milliseconds(m_limitMs)) {
                if (limitedAnswers > 0)
                    ++askedDuringPause;
                ++limitedAnswers;
                s.Send("%ERROR:201: access denied for 127.0.0.1\n"
                       "% Queries are limited; try again in 5 seconds.\n");
                return;
            }
        }
        s.Send(Answer(r, request));
    }

    int m_limited, m_limitMs;
    std::mutex m_mutex;
    std::optional<Clock::time_point> m_first;
    std::vector<std::unique_ptr<testnet::FakeWhoisServer>> m_servers;
};

// The lookup chain's host names, reached on the loopback ports of the world.
class LoopbackNetwork : public WhoisNetwork {
public:
    explicit LoopbackNetwork(const World& world) : m_world(world) {}
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int) override {
        return WhoisExchange(query, "127.0.0.1", result, m_world.PortOf(host), kDefaultModeLimits);
    }
    bool ExchangeWithOutcome(const std::string& query, const std::string& host, std::string& result,
                             int, ExchangeOutcome& outcome) override {
        return WhoisExchange(query, "127.0.0.1", result, m_world.PortOf(host), kDefaultModeLimits,
                             &outcome);
    }
    bool Resolve(const std::string&, std::string&) override { return false; }

private:
    const World& m_world;
};

std::vector<std::string> Addresses(int count, int networks) {
    std::vector<std::string> out;
    for (int k = 0; k < count; ++k) {
        const int n = static_cast<int>((static_cast<long long>(k) * 7919) % networks);
        out.push_back("100." + std::to_string(n / 100) + "." + std::to_string(n % 100) + "." +
                      std::to_string(k % 254 + 1));
    }
    return out;
}

struct Figures {
    long long exchanges = 0;
    double seconds = 0;
    int complete = 0, total = 0;
};

Figures RunOnce(const std::vector<std::string>& addresses, WhoisNetwork& net,
                batch::RangeCache& cache) {
    std::size_t i = 0;
    Figures f;
    const auto start = Clock::now();
    const batch::Progress p = batch::Run(
        [&](std::string& q) {
            if (i >= addresses.size())
                return false;
            q = addresses[i++];
            return true;
        },
        net, cache, batch::Options(),
        [&](const batch::Record& r) {
            ++f.total;
            if (r.answered && r.error.empty() &&
                !r.details.summary.Get(summary::Field::Registrant).empty() &&
                !r.details.summary.Get(summary::Field::Abuse).empty())
                ++f.complete;
        });
    f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    f.exchanges = p.exchanges;
    return f;
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int networks = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::vector<std::string> addresses = Addresses(count, networks);
    // A shell loop of single lookups: ARIN alone for ARIN's networks, ARIN
    // and the registry for the others.
    long long loop = 0;
    for (const std::string& a : addresses)
        loop += NetworkOf(a) % 5 == 0 ? 1 : 2;

    World world;
    LoopbackNetwork net(world);
    batch::RangeCache cache;
    const Figures cold = RunOnce(addresses, net, cache);
    std::printf("cold: %d addresses, %d networks: %lld exchanges (%zu at the servers; a shell "
                "loop: %lld), %.1f s at 2 queries/s per server, %d/%d records complete, peak "
                "%ld KiB\n",
                count, networks, cold.exchanges, world.requests(), loop, cold.seconds,
                cold.complete, cold.total, PeakKiB());

    // The second run reads the cache as the next process would.
    batch::RangeCache reread;
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    reread.Load(cache.Serialize(now), now);
    const std::size_t before = world.requests();
    const Figures warm = RunOnce(addresses, net, reread);
    std::printf("warm: %lld exchanges (%zu at the servers), %.2f s, %d/%d records complete, peak "
                "%ld KiB\n",
                warm.exchanges, world.requests() - before, warm.seconds, warm.complete, warm.total,
                PeakKiB());

    // RIPE limits the rate for its first 5 s; a smaller list.
    World limiting(1, 5000);
    LoopbackNetwork limitedNet(limiting);
    batch::RangeCache fresh;
    const std::vector<std::string> few = Addresses(1000, 20);
    const Figures limited = RunOnce(few, limitedNet, fresh);
    std::printf("rate limit (RIPE 5 s): 1000 addresses, 20 networks: %lld exchanges, %.1f s, "
                "%d limited answers, %d requests during a pause, %d/%d records complete\n",
                limited.exchanges, limited.seconds, limiting.limitedAnswers,
                limiting.askedDuringPause, limited.complete, limited.total);
    return cold.complete == cold.total && warm.exchanges == 0 &&
                   limited.complete == limited.total && limiting.askedDuringPause == 0
               ? 0
               : 1;
}

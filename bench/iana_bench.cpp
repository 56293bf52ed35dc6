// A lookup under a top-level domain the server list lacks, through fake
// servers on loopback: the first lookup makes one exchange more than the
// registry's (whois.iana.org), every later one under the same domain none.
// Counters: exchanges per lookup. Benchmarks: the time of a first lookup
// (the remembered answer forgotten before each) and of a later one.
#include "engine/driver.h"
#include "base/server_roles.h"
#include "servers/server_table.h"
#include "tests/support/fake_whois_server.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <map>
#include <memory>

namespace {

// whois.iana.org and the registry it names, each a fake server on its own
// ephemeral loopback port; exchanges through the real transport, counted.
class IanaWorld : public WhoisNetwork {
public:
    IanaWorld()
        : m_iana(testnet::FakeWhoisServer::Answer(
              "% IANA WHOIS server\n\ndomain:       XYZ\n\nwhois:        whois.nic.xyz\n")),
          m_registry(testnet::FakeWhoisServer::Answer("Domain Name: EXAMPLE.XYZ\n")) {
        m_ports[roles::kIanaServer] = m_iana.port();
        m_ports["whois.nic.xyz"] = m_registry.port();
    }
    bool ok() const { return m_iana.ok() && m_registry.ok(); }
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int) override {
        ++exchanges;
        auto it = m_ports.find(host);
        if (it == m_ports.end())
            return false;
        return WhoisExchange(query, "127.0.0.1", result, it->second);
    }
    bool Resolve(const std::string&, std::string&) override { return false; }

    std::atomic<long> exchanges{0};

private:
    testnet::FakeWhoisServer m_iana;
    testnet::FakeWhoisServer m_registry;
    std::map<std::string, int> m_ports;
};

void Lookup(benchmark::State& state, IanaWorld& world) {
    std::string result;
    RunWhoisLookup("example.xyz", result, 0, world);
    if (result != "Domain Name: EXAMPLE.XYZ")
        state.SkipWithError("unexpected lookup result");
}

void BM_UnknownTld_FirstLookup(benchmark::State& state) {
    IanaWorld world;
    if (!world.ok()) {
        state.SkipWithError("fake servers did not start");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        DiscardServerTable(); // IANA's answer forgotten
        state.ResumeTiming();
        Lookup(state, world);
    }
    state.counters["exchanges_per_lookup"] =
        static_cast<double>(world.exchanges) / static_cast<double>(state.iterations());
}

void BM_UnknownTld_LaterLookup(benchmark::State& state) {
    IanaWorld world;
    if (!world.ok()) {
        state.SkipWithError("fake servers did not start");
        return;
    }
    DiscardServerTable();
    Lookup(state, world); // the first lookup asks IANA
    world.exchanges = 0;
    for (auto _ : state)
        Lookup(state, world);
    state.counters["exchanges_per_lookup"] =
        static_cast<double>(world.exchanges) / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(BM_UnknownTld_FirstLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnknownTld_LaterLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

// The lookup engine's own work on large answers, and a whole address lookup.
// - StripLegalNotice and the organisation record (fetch: the colon widening
//   and filter; merge: the record put before every OrgID line) on 1, 4 and
//   16 MiB: the time per MiB must stay flat as the answer grows.
// - The address path with all seven exchanges, once against fake servers on
//   loopback and once against answers in memory: the second is the part of a
//   lookup that is not waiting on the network.
#include "engine/arin_org.h"
#include "engine/driver.h"
#include "engine/filters.h"
#include "engine/transport.h"
#include "tests/engine/seven_step_chain.h"
#include "tests/support/fake_whois_server.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// An ARIN-style record repeated up to size bytes (LF line ends).
std::string RepeatRecord(std::size_t size, const std::string& record) {
    std::string text;
    text.reserve(size + record.size());
    while (text.size() < size)
        text += record;
    text.resize(size);
    return text;
}

const std::string kRecord = "NetRange:       192.0.2.0 - 192.0.2.255\n"
                            "CIDR:           192.0.2.0/24\n"
                            "NetName:        EXAMPLE-NET\n"
                            "NetHandle:      NET-192-0-2-0-1\n"
                            "Parent:         NET192 (NET-192-0-0-0-0)\n"
                            "NetType:        Direct Assignment\n"
                            "Comment:        key: value, another: value\n"
                            "Ref:            http://whois.arin.net/rest/net/NET-192-0-2-0-1\n\n";

// A two-step rule (keep after the notice, cut at the trailer) around a large
// record, so both steps, the line-end change and the trim see all of it.
void BM_StripLegalNotice_TwoStepRule(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * kMiB;
    const std::string answer = "Terms of use... you agree to these terms.\n" +
                               RepeatRecord(size, kRecord) +
                               "\nThe data in this whois database is provided to you\n";
    std::string text;
    for (auto _ : state) {
        state.PauseTiming();
        text = answer;
        state.ResumeTiming();
        StripLegalNotice(text, "whois.enom.com");
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

// A server without a rule: only the line ends and the trim.
void BM_StripLegalNotice_NoRule(benchmark::State& state) {
    const std::string answer =
        RepeatRecord(static_cast<std::size_t>(state.range(0)) * kMiB, kRecord);
    std::string text;
    for (auto _ : state) {
        state.PauseTiming();
        text = answer;
        state.ResumeTiming();
        StripLegalNotice(text, "whois.example.net");
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

// A network that hands out one fixed answer without recording anything.
class FixedAnswerNetwork : public WhoisNetwork {
public:
    explicit FixedAnswerNetwork(const std::string& answer) : m_answer(answer) {}
    bool Exchange(const std::string&, const std::string&, std::string& result, int) override {
        result = m_answer;
        return true;
    }
    bool Resolve(const std::string&, std::string&) override { return false; }

private:
    const std::string& m_answer;
};

// Fetching a large organisation answer: cut before "Address:", widen every
// ": " (one on almost every line), filter.
void BM_FetchArinOrganisation(benchmark::State& state) {
    const std::string answer =
        "OrgName: Example\n" +
        RepeatRecord(static_cast<std::size_t>(state.range(0)) * kMiB,
                     "Address:        1 Example Road\nCity: Town, State: XX\nComment: a: b\n");
    FixedAnswerNetwork net(answer);
    std::string org;
    for (auto _ : state) {
        if (!FetchArinOrganisation("OrgID: EXAMPLE\n", org, net))
            state.SkipWithError("fetch failed");
        benchmark::DoNotOptimize(org.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

// Merging a record before the OrgID line of every network in a large answer
// (one in every record of about 400 bytes).
void BM_MergeArinOrganisation(benchmark::State& state) {
    const std::string answer = RepeatRecord(static_cast<std::size_t>(state.range(0)) * kMiB,
                                            kRecord + "OrgID:          EXAMPLE\n");
    const std::string org = "Address:    1 Example Road\r\nCity:    Town\r\nCountry:    XX";
    std::string result;
    for (auto _ : state) {
        state.PauseTiming();
        result = answer;
        state.ResumeTiming();
        if (!MergeArinOrganisation(result, org))
            state.SkipWithError("merge refused");
        benchmark::DoNotOptimize(result.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

// The seven answers, in memory.
class ChainNetwork : public WhoisNetwork {
public:
    ChainNetwork() {
        for (const enginetest::ChainStep& step : enginetest::SevenStepChain())
            m_answers[{step.host, step.query}] = step.answer;
    }
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int) override {
        result.clear();
        auto it = m_answers.find({host, query});
        if (it == m_answers.end())
            return false;
        result = it->second;
        return true;
    }
    bool Resolve(const std::string&, std::string&) override { return false; }

private:
    std::map<std::pair<std::string, std::string>, std::string> m_answers;
};

// The seven answers from fake servers on loopback, one server per host on an
// ephemeral port; every exchange goes through the real transport.
class LoopbackChainNetwork : public WhoisNetwork {
public:
    LoopbackChainNetwork() {
        std::map<std::string, std::map<std::string, std::string>> byHost;
        for (const enginetest::ChainStep& step : enginetest::SevenStepChain())
            byHost[step.host][step.query] = step.answer;
        for (auto& [host, answers] : byHost) {
            auto server = std::make_unique<testnet::FakeWhoisServer>(
                [answers = answers](testnet::Session& s, const std::string& request) {
                    auto it = answers.find(request);
                    if (it != answers.end())
                        s.Send(it->second);
                });
            m_ports[host] = server->port();
            m_ok = m_ok && server->ok();
            m_servers.push_back(std::move(server));
        }
    }
    bool ok() const { return m_ok; }
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int) override {
        auto it = m_ports.find(host);
        if (it == m_ports.end())
            return false;
        return WhoisExchange(query, "127.0.0.1", result, it->second);
    }
    bool Resolve(const std::string&, std::string&) override { return false; }

private:
    std::vector<std::unique_ptr<testnet::FakeWhoisServer>> m_servers;
    std::map<std::string, int> m_ports;
    bool m_ok = true;
};

void CheckChainResult(benchmark::State& state, const std::string& result) {
    if (result != enginetest::kChainResult)
        state.SkipWithError("unexpected lookup result");
}

void BM_AddressLookup_SevenExchanges_InMemory(benchmark::State& state) {
    ChainNetwork net;
    std::string result;
    for (auto _ : state)
        RunWhoisLookup(enginetest::kChainQuery, result, 0, net);
    CheckChainResult(state, result);
}

void BM_AddressLookup_SevenExchanges_Loopback(benchmark::State& state) {
    LoopbackChainNetwork net;
    if (!net.ok()) {
        state.SkipWithError("fake servers did not start");
        return;
    }
    std::string result;
    for (auto _ : state)
        RunWhoisLookup(enginetest::kChainQuery, result, 0, net);
    CheckChainResult(state, result);
}

} // namespace

BENCHMARK(BM_StripLegalNotice_TwoStepRule)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StripLegalNotice_NoRule)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchArinOrganisation)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeArinOrganisation)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddressLookup_SevenExchanges_InMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddressLookup_SevenExchanges_Loopback)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// RDAP work that does not wait on the network.
// - Bootstrap lookup per query kind against IANA's full registries (the
//   built-in copy): the cost must not grow with the number of entries beyond
//   a logarithm.
// - Building the bootstrap from the four files (once per lookup that loads
//   the cache).
// - An answer made into text, from 1 to 16 MiB: the time per MiB must stay
//   flat as the body grows.
#include "engine/rdap/bootstrap.h"
#include "engine/rdap/cache.h"
#include "engine/rdap/text.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

void Lookup(benchmark::State& state, const char* query) {
    const rdap::Bootstrap boot = rdap::LoadBootstrap("");
    const rdap::Query q = rdap::ClassifyQuery(query);
    for (auto _ : state) {
        std::string base = boot.FindBaseUrl(q);
        benchmark::DoNotOptimize(base.data());
    }
}
BENCHMARK_CAPTURE(Lookup, Domain, "www.example.co.uk");
BENCHMARK_CAPTURE(Lookup, IPv4, "193.0.6.139");
BENCHMARK_CAPTURE(Lookup, IPv6, "2a00:1450:4001:82a::200e");
BENCHMARK_CAPTURE(Lookup, Asn, "AS15169");
BENCHMARK_CAPTURE(Lookup, DomainUnknown, "a.b.c.d.e.example.invalid");

void BM_LoadSnapshot(benchmark::State& state) {
    for (auto _ : state) {
        rdap::Bootstrap boot = rdap::LoadBootstrap("");
        benchmark::DoNotOptimize(&boot);
    }
}
BENCHMARK(BM_LoadSnapshot)->Unit(benchmark::kMillisecond);

// A network answer of about size bytes: its contacts repeated (each with a
// jCard, remarks and events), as a large registry answer looks.
std::string NetworkAnswer(std::size_t size) {
    const std::string entity =
        R"({"objectClassName":"entity","handle":"ABUSE5250-ARIN","roles":["abuse","technical"],)"
        R"("vcardArray":["vcard",[["version",{},"text","4.0"],["fn",{},"text","Network Abuse"],)"
        R"(["org",{},"text","Example Networks, Inc."],)"
        R"(["adr",{"label":"1600 Example Parkway\nMountain View\nCA\n94043\nUnited States"},"text",["","","","","","",""]],)"
        R"(["email",{},"text","network-abuse@example.com"],["tel",{"type":["work","voice"]},"text","+1-650-555-0000"]]],)"
        R"("remarks":[{"title":"Comment","description":["Please report abuse here.","Thank you."]}],)"
        R"("events":[{"eventAction":"last changed","eventDate":"2024-01-01T00:00:00Z"}]})";
    std::string body = R"({"objectClassName":"ip network","handle":"NET-192-0-2-0-1",)"
                       R"("startAddress":"192.0.2.0","endAddress":"192.0.2.255","name":"EXAMPLE",)"
                       R"("cidr0_cidrs":[{"v4prefix":"192.0.2.0","length":24}],"entities":[)";
    body.reserve(size + entity.size() + 16);
    bool first = true;
    while (body.size() < size) {
        if (!first)
            body += ',';
        body += entity;
        first = false;
    }
    return body + "]}";
}

void BM_AnswerToText(benchmark::State& state) {
    const std::string body = NetworkAnswer(static_cast<std::size_t>(state.range(0)) * kMiB);
    rdap::TextOptions options;
    std::string text, error;
    for (auto _ : state) {
        rdap::Outcome outcome = rdap::ResponseToText("https://rdap.arin.net/registry/ip/192.0.2.1",
                                                     200, body, "", options, text, error);
        benchmark::DoNotOptimize(outcome);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_AnswerToText)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

// The nesting check alone rejects a body nested a million deep.
void BM_DeepNestingRefused(benchmark::State& state) {
    const std::string body = std::string(1000000, '[') + std::string(1000000, ']');
    std::string text, error;
    for (auto _ : state) {
        rdap::Outcome outcome = rdap::ResponseToText("https://r.example/ip/1", 200, body, "",
                                                     rdap::TextOptions{}, text, error);
        benchmark::DoNotOptimize(outcome);
    }
}
BENCHMARK(BM_DeepNestingRefused)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

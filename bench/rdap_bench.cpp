// RDAP work that does not wait on the network.
// - Bootstrap lookup per query kind against IANA's full registries (the
//   built-in copy): the cost must not grow with the number of entries beyond
//   a logarithm.
// - Building the bootstrap from the four files (once per lookup that loads
//   the cache).
// - An answer made into text, from 1 to 16 MiB: the time per MiB must stay
//   flat as the body grows (bodies over the 4 MiB cap are refused at once).
// - The peak memory of an answer made into text (heap bytes beyond the body
//   itself, counter peak_MiB), for bodies of 1, 4 and 16 MiB: a realistic
//   network answer, and the costliest shape per byte, an array of empty
//   entities, also just under the value cap. Every accepted answer must stay
//   well under 64 MiB; accepted says whether it was.
#include "engine/rdap/bootstrap.h"
#include "engine/rdap/cache.h"
#include "engine/rdap/text.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {

// Every heap allocation of the process, counted: the bytes in use and the
// most in use since the last ResetPeak.
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};
constexpr std::size_t kHeader = 16; // keeps the size, and malloc's alignment

void ResetPeak() {
    g_peak = g_inUse.load();
}

} // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (block == nullptr)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = g_inUse += size;
    std::size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + kHeader;
}

// The block came from malloc in operator new above; GCC cannot tell.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* pointer) noexcept {
    if (pointer == nullptr)
        return;
    char* block = static_cast<char*>(pointer) - kHeader;
    g_inUse -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}
#pragma GCC diagnostic pop

void operator delete(void* pointer, std::size_t) noexcept {
    operator delete(pointer);
}

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

// An answer whose entities are empty objects: three bytes of body each, the
// most memory per byte an answer can ask for.
std::string EmptyEntities(std::size_t size) {
    std::string body = R"({"objectClassName":"domain","ldhName":"a.test","entities":[{})";
    body.reserve(size + 16);
    while (body.size() + 3 < size)
        body += ",{}";
    return body + "]}";
}

void PeakMemory(benchmark::State& state, const std::string& body) {
    rdap::TextOptions options;
    std::string text, error;
    std::size_t peak = 0;
    bool accepted = false;
    for (auto _ : state) {
        text.clear();
        text.shrink_to_fit();
        const std::size_t before = g_inUse;
        ResetPeak();
        rdap::Outcome outcome = rdap::ResponseToText("https://rdap.arin.net/registry/ip/192.0.2.1",
                                                     200, body, "", options, text, error);
        peak = g_peak - before;
        accepted = outcome == rdap::Outcome::Answer;
        benchmark::DoNotOptimize(outcome);
    }
    state.counters["body_MiB"] = static_cast<double>(body.size()) / kMiB;
    state.counters["peak_MiB"] = static_cast<double>(peak) / kMiB;
    state.counters["accepted"] = accepted ? 1 : 0;
}

void BM_PeakMemoryRealistic(benchmark::State& state) {
    PeakMemory(state, NetworkAnswer(static_cast<std::size_t>(state.range(0)) * kMiB - 4096));
}
BENCHMARK(BM_PeakMemoryRealistic)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_PeakMemoryEmptyEntities(benchmark::State& state) {
    PeakMemory(state, EmptyEntities(static_cast<std::size_t>(state.range(0)) * kMiB - 4096));
}
BENCHMARK(BM_PeakMemoryEmptyEntities)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// Empty entities just under the value cap: the most an accepted answer costs.
void BM_PeakMemoryAtTheValueCap(benchmark::State& state) {
    // Each ",{}" counts twice: the object and its separator.
    PeakMemory(state, EmptyEntities(3 * (rdap::kMaxRdapAnswerValues / 2 - 10)));
}
BENCHMARK(BM_PeakMemoryAtTheValueCap)->Unit(benchmark::kMillisecond);

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

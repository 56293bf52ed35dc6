// Receiving large answers through WhoisExchange from a loopback server.
// The time per MiB must stay flat as the answer grows (no quadratic appends).
#include "engine/transport.h"
#include "tests/support/fake_whois_server.h"

#include <benchmark/benchmark.h>

static void BM_ReceiveAnswer(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * 1024 * 1024;
    const std::string answer(bytes - 1, 'w'); // under the 16 MiB bound
    testnet::FakeWhoisServer server(testnet::FakeWhoisServer::Answer(answer));
    std::string result;
    for (auto _ : state) {
        if (!WhoisExchange("q", "127.0.0.1", result, server.port()) ||
            result.size() != answer.size())
            state.SkipWithError("exchange failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_ReceiveAnswer)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

// The fake server lives in the test support library, whose main runs tests;
// benchmarks need their own.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

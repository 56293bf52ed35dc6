// ostrabel-cli's entry: parse, start the sockets layer for a lookup, run,
// write the bytes.
#include "cli/cli.h"
#include "engine/rdap/cache.h"
#include "platform/console.h"
#include "platform/sockets.h"

#include <cstdio>

int main(int argc, char** argv) {
    platform::SetStdoutBinary();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CliOptions options = ParseCliArguments(args);
    if (options.action == CliAction::Lookup && !platform::StartupSockets()) {
        std::fputs("ostrabel-cli: Windows sockets initialization failed.\n", stderr);
        return 1;
    }
    std::string out, err;
    // The lookup runs to its end before main returns, so the network can live here.
    const ExchangeLimits limits = CliExchangeLimits(options);
    TransportNetwork net(limits);
    // With --verbose the trace reaches standard error as each line is made.
    const CliProgress progress = [](const std::string& line) {
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    };
    const int status = RunCli(options, net, TransportDirectExchange(limits), out, err, progress);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fputs(err.c_str(), stderr);
    if (options.action == CliAction::Lookup) {
        // A refresh of RDAP's registries started by this lookup may finish
        // writing its copies, for a few seconds at most: an unfinished one
        // leaves the old copies whole (each is written aside, then renamed).
        rdap::WaitForRefresh(std::chrono::seconds(5));
        platform::CleanupSockets();
    }
    return status;
}

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
        // A refresh of RDAP's registries started by this lookup may finish:
        // its own bound ends it within this wait, so the program never exits
        // while it is inside the HTTPS library. An unfinished one would leave
        // the old copies whole (each is written aside, then renamed).
        rdap::WaitForRefresh(rdap::kRdapRefreshBound + std::chrono::seconds(1));
        platform::CleanupSockets();
    }
    return status;
}

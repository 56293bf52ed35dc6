// ostrabel-cli's entry: parse, start the sockets layer for a lookup, run,
// write the bytes.
#include "cli/cli.h"
#include "engine/rdap/cache.h"
#include "platform/console.h"
#include "platform/sockets.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

// Set by Ctrl+C during --batch: the run writes what it has and ends.
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
    g_interrupted = true;
    std::signal(SIGINT, SIG_DFL); // a second Ctrl+C ends the process at once
}

// --batch: the queries from the file or standard input, the records to
// standard output as they are ready, the progress line on a terminal.
int RunBatch(const CliOptions& options, WhoisNetwork& net) {
    std::ifstream file;
    if (options.batch != "-") {
        std::error_code ec;
        if (!std::filesystem::is_directory(options.batch, ec))
            file.open(options.batch, std::ios::binary);
        if (!file.is_open()) {
            std::fprintf(stderr, "ostrabel-cli: cannot read %s\n", options.batch.c_str());
            return 2;
        }
    }
    std::istream& in = file;
    std::signal(SIGINT, OnInterrupt);
    const bool terminal = platform::StderrIsTerminal();
    std::size_t shown = 0;
    std::string err;
    const int status = RunCliBatch(
        options, net,
        [&](std::string& line) {
            return options.batch == "-" ? platform::ReadStdinLine(line, g_interrupted)
                                        : static_cast<bool>(std::getline(in, line));
        },
        [](const std::string& bytes) {
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
            std::fflush(stdout);
        },
        err, &g_interrupted,
        terminal ? std::function<void(const std::string&)>([&](const std::string& line) {
            std::string padded = line;
            if (padded.size() < shown)
                padded.append(shown - padded.size(), ' ');
            shown = line.size();
            std::fprintf(stderr, "\r%s", padded.c_str());
            std::fflush(stderr);
        })
                 : std::function<void(const std::string&)>());
    if (terminal && shown > 0)
        std::fputs("\n", stderr);
    std::fputs(err.c_str(), stderr);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    platform::SetStdoutBinary();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CliOptions options = ParseCliArguments(args);
    if (options.action == CliAction::Lookup && !platform::StartupSockets()) {
        std::fputs("ostrabel-cli: Windows sockets initialization failed.\n", stderr);
        return 1;
    }
    if (options.action == CliAction::Lookup && !options.batch.empty()) {
        TransportNetwork net(CliExchangeLimits(options));
        const int status = RunBatch(options, net);
        rdap::WaitForRefresh(rdap::kRdapRefreshBound + std::chrono::seconds(1));
        platform::CleanupSockets();
        return status;
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

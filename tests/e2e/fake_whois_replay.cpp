// Fake WHOIS servers for the end-to-end tests: for every host of the replay
// configuration, a server on port 43 of the address that host resolves to
// (through the hosts file of the test's network namespace). Each request is
// answered with its file and the connection closed; every request is written
// to the log as HOST TAB REQUEST. Runs until it is killed.
//
//   fake_whois_replay CONFIG LOG READY-FILE
#include "platform/sockets.h"
#include "tests/e2e/replay_config.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fake_whois_replay CONFIG LOG READY-FILE\n");
        return 2;
    }
    const replay::Config config = replay::ReadConfig(argv[1]);
    if (!config.error.empty()) {
        std::fprintf(stderr, "fake_whois_replay: %s\n", config.error.c_str());
        return 2;
    }
    std::FILE* log = std::fopen(argv[2], "wb");
    if (log == nullptr) {
        std::fprintf(stderr, "fake_whois_replay: cannot write %s\n", argv[2]);
        return 2;
    }
    std::mutex logMutex;

    std::vector<std::unique_ptr<testnet::FakeWhoisServer>> servers;
    for (const auto& entry : config.hosts) {
        const std::string host = entry.first;
        platform::Ipv4Address address;
        if (!platform::ResolveName(host, address)) {
            std::fprintf(stderr, "fake_whois_replay: %s does not resolve\n", host.c_str());
            return 2;
        }
        const std::string dotted = platform::FormatDottedAddress(address);
        auto handler = [&config, &logMutex, log, host](testnet::Session& session,
                                                       const std::string& request) {
            {
                std::lock_guard<std::mutex> lock(logMutex);
                std::fprintf(log, "%s\t%s\n", host.c_str(), request.c_str());
                std::fflush(log);
            }
            std::string answer;
            if (config.Find(host, request, answer))
                session.Send(answer);
        };
        servers.push_back(std::make_unique<testnet::FakeWhoisServer>(handler, dotted, 43));
        if (!servers.back()->ok()) {
            std::fprintf(stderr, "fake_whois_replay: cannot listen on %s:43 for %s\n",
                         dotted.c_str(), host.c_str());
            return 2;
        }
    }
    if (std::FILE* ready = std::fopen(argv[3], "wb"))
        std::fclose(ready);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

// Fake WHOIS servers for the end-to-end tests: for every host of the replay
// configuration, a server on port 43 (or the port the host names) of the
// address that host resolves to (through the hosts file of the test's network
// namespace). Each request is answered with its file and the connection
// closed; a silent host takes the request and never answers, holding the
// connection until the client goes or kSilentHoldSeconds pass. Every request
// is written to the log as HOST TAB REQUEST. Runs until it is killed.
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

namespace {

constexpr int kSilentHoldSeconds = 30;

class Log {
public:
    explicit Log(std::FILE* file) : m_file(file) {}
    void Request(const std::string& host, const std::string& request) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::fprintf(m_file, "%s\t%s\n", host.c_str(), request.c_str());
        std::fflush(m_file);
    }

private:
    std::FILE* m_file;
    std::mutex m_mutex;
};

// Accepts every connection at once and keeps them all open without a word:
// a client waits for an answer that never comes. Each request is logged as
// soon as its line is complete.
void RunSilentServer(testnet::Fd listener, const std::string& host, Log& log) {
    struct Held {
        testnet::Fd fd;
        std::string request;
        bool logged;
        std::chrono::steady_clock::time_point until;
    };
    std::vector<Held> held;
    for (;;) {
        const testnet::Fd fd = testnet::Accept(listener, 50);
        const auto now = std::chrono::steady_clock::now();
        if (fd != testnet::kNoFd)
            held.push_back({fd, "", false, now + std::chrono::seconds(kSilentHoldSeconds)});
        for (Held& h : held) {
            char buffer[512];
            const long n = testnet::Read(h.fd, buffer, sizeof buffer, 0);
            if (n > 0)
                h.request.append(buffer, static_cast<std::size_t>(n));
            const std::size_t end = h.request.find("\r\n");
            if (!h.logged && (end != std::string::npos || n == 0)) {
                log.Request(host, h.request.substr(0, end));
                h.logged = true;
            }
            if (n == 0 || now >= h.until) { // the client went, or enough waiting
                testnet::Close(h.fd);
                h.fd = testnet::kNoFd;
            }
        }
        std::erase_if(held, [](const Held& h) { return h.fd == testnet::kNoFd; });
    }
}

} // namespace

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
    std::FILE* logFile = std::fopen(argv[2], "wb");
    if (logFile == nullptr) {
        std::fprintf(stderr, "fake_whois_replay: cannot write %s\n", argv[2]);
        return 2;
    }
    Log log(logFile);

    std::vector<std::unique_ptr<testnet::FakeWhoisServer>> servers;
    for (const auto& entry : config.hosts) {
        const std::string host = entry.first;
        std::string name;
        int port = 43;
        replay::SplitHost(host, name, port);
        platform::Ipv4Address address;
        if (!platform::ResolveName(name, address)) {
            std::fprintf(stderr, "fake_whois_replay: %s does not resolve\n", name.c_str());
            return 2;
        }
        const std::string dotted = platform::FormatDottedAddress(address);
        if (config.silent.count(host) != 0) {
            int bound = 0;
            const testnet::Fd listener = testnet::Listen(dotted, port, bound);
            if (listener == testnet::kNoFd) {
                std::fprintf(stderr, "fake_whois_replay: cannot listen on %s:%d for %s\n",
                             dotted.c_str(), port, host.c_str());
                return 2;
            }
            std::thread([listener, host, &log] { RunSilentServer(listener, host, log); }).detach();
            continue;
        }
        auto handler = [&config, &log, host](testnet::Session& session,
                                             const std::string& request) {
            log.Request(host, request);
            std::string answer;
            if (config.Find(host, request, answer))
                session.Send(answer);
        };
        servers.push_back(std::make_unique<testnet::FakeWhoisServer>(handler, dotted, port));
        if (!servers.back()->ok()) {
            std::fprintf(stderr, "fake_whois_replay: cannot listen on %s:%d for %s\n",
                         dotted.c_str(), port, host.c_str());
            return 2;
        }
    }
    if (std::FILE* ready = std::fopen(argv[3], "wb"))
        std::fclose(ready);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

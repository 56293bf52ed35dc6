// Hostile WHOIS servers for the robustness tests: for every host of the
// configuration, a server on port 43 of the address the host resolves to
// (through the hosts file of the test's network namespace). Each connection
// is served on a thread of its own, so a slow answer never holds up another.
//
//   hostile_server CONFIG LOG READY-FILE
//
// CONFIG: one line per answer, HOST <TAB> REQUEST <TAB> BEHAVIOUR, where
// REQUEST "*" stands for any request without a line of its own, and
// BEHAVIOUR is one of
//   file PATH           the file's bytes, then a normal close
//   big MIB             MIB mebibytes of record-like text lines, then close
//   slow N              N bytes, one a second, then close
//   slow-silent N       N bytes, one a second, then silence until the client
//                       goes (or kHoldSeconds pass)
//   reset PATH BYTES    the first BYTES bytes of the file, a pause, then a reset
//   garbage KIB         KIB kibibytes of fixed pseudo-random bytes (NULs and
//                       every other value), then close
// Every request is written to LOG as HOST <TAB> LENGTH <TAB> REQUEST (the
// request cut to 200 bytes). Runs until it is killed.
//
//   hostile_server --garbage KIB nonul
//
// writes KIB kibibytes of the same pseudo-random bytes to standard output,
// without NUL and without ":" (so no server-list key can appear in them by
// chance), for corrupt server lists.
#include "platform/sockets.h"
#include "tests/support/test_socket.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int kHoldSeconds = 120;
constexpr std::size_t kMaxRequestBytes = 1 << 20;

struct Behaviour {
    std::string kind;
    std::string path;
    long number = 0;
};

struct Config {
    std::map<std::pair<std::string, std::string>, Behaviour> answers;
    std::vector<std::string> hosts;
};

std::mutex g_logMutex;
std::FILE* g_log = nullptr;

void LogRequest(const std::string& host, const std::string& request) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fprintf(g_log, "%s\t%zu\t%s\n", host.c_str(), request.size(),
                 request.substr(0, 200).c_str());
    std::fflush(g_log);
}

bool ReadConfig(const std::string& path, Config& config, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) {
            error = path + ":" + std::to_string(number) + ": expected HOST TAB REQUEST TAB WHAT";
            return false;
        }
        const std::string host = line.substr(0, tab1);
        Behaviour b;
        std::istringstream words(line.substr(tab2 + 1));
        words >> b.kind;
        if (b.kind == "file")
            words >> b.path;
        else if (b.kind == "reset")
            words >> b.path >> b.number;
        else if (b.kind == "big" || b.kind == "slow" || b.kind == "slow-silent" ||
                 b.kind == "garbage")
            words >> b.number;
        else {
            error = path + ":" + std::to_string(number) + ": unknown behaviour " + b.kind;
            return false;
        }
        if (words.fail()) {
            error = path + ":" + std::to_string(number) + ": behaviour lacks its argument";
            return false;
        }
        if (!b.path.empty() && !std::ifstream(b.path, std::ios::binary)) {
            error = path + ":" + std::to_string(number) + ": cannot read " + b.path;
            return false;
        }
        bool known = false;
        for (const std::string& h : config.hosts)
            known = known || h == host;
        if (!known)
            config.hosts.push_back(host);
        config.answers[{host, line.substr(tab1 + 1, tab2 - tab1 - 1)}] = b;
    }
    return true;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Fixed pseudo-random bytes: the same on every run.
std::string Garbage(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 23);
    }
    return bytes;
}

bool Send(testnet::Fd fd, const std::string& bytes) {
    return testnet::WriteAll(fd, bytes.data(), bytes.size());
}

void Serve(const Config& config, const std::string& host, testnet::Fd fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
        const long n = testnet::Read(fd, buffer, sizeof buffer, 10000);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    request = request.substr(0, request.find("\r\n"));
    LogRequest(host, request);

    auto it = config.answers.find({host, request});
    if (it == config.answers.end())
        it = config.answers.find({host, "*"});
    if (it == config.answers.end()) {
        testnet::Close(fd);
        return;
    }
    const Behaviour& b = it->second;
    if (b.kind == "file") {
        Send(fd, FileBytes(b.path));
    } else if (b.kind == "big") {
        // Lines that look like a record, numbered so no two are alike.
        std::string block;
        for (int i = 0; block.size() < (1u << 20); ++i)
            block += "Comment:        filler line " + std::to_string(i) +
                     " of an answer that does not stop\n";
        block.resize(1u << 20);
        for (long m = 0; m < b.number; ++m)
            if (!Send(fd, block))
                break; // the client stopped reading
    } else if (b.kind == "slow" || b.kind == "slow-silent") {
        bool open = true;
        for (long i = 0; i < b.number && open; ++i) {
            open = Send(fd, std::string(1, static_cast<char>('a' + i % 26)));
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        if (open && b.kind == "slow-silent") {
            // Hold the connection without a word until the client goes.
            for (int waited = 0; waited < kHoldSeconds * 10; ++waited)
                if (testnet::Read(fd, buffer, sizeof buffer, 100) == 0)
                    break;
        }
    } else if (b.kind == "reset") {
        Send(fd, FileBytes(b.path).substr(0, static_cast<std::size_t>(b.number)));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        testnet::Reset(fd);
        return;
    } else if (b.kind == "garbage") {
        Send(fd, Garbage(static_cast<std::size_t>(b.number) * 1024));
    }
    testnet::Close(fd);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--garbage") {
        std::string bytes = Garbage(static_cast<std::size_t>(std::atol(argv[2])) * 1024);
        for (char& c : bytes)
            if (c == '\0' || c == ':')
                c = ';';
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: hostile_server CONFIG LOG READY-FILE\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    Config config;
    std::string error;
    if (!ReadConfig(argv[1], config, error)) {
        std::fprintf(stderr, "hostile_server: %s\n", error.c_str());
        return 2;
    }
    g_log = std::fopen(argv[2], "wb");
    if (g_log == nullptr) {
        std::fprintf(stderr, "hostile_server: cannot write %s\n", argv[2]);
        return 2;
    }
    for (const std::string& host : config.hosts) {
        platform::Ipv4Address address;
        if (!platform::ResolveName(host, address)) {
            std::fprintf(stderr, "hostile_server: %s does not resolve\n", host.c_str());
            return 2;
        }
        int bound = 0;
        const testnet::Fd listener =
            testnet::Listen(platform::FormatDottedAddress(address), 43, bound);
        if (listener == testnet::kNoFd) {
            std::fprintf(stderr, "hostile_server: cannot listen for %s\n", host.c_str());
            return 2;
        }
        std::thread([&config, host, listener] {
            for (;;) {
                const testnet::Fd fd = testnet::Accept(listener, 1000);
                if (fd != testnet::kNoFd)
                    std::thread(Serve, std::cref(config), host, fd).detach();
            }
        }).detach();
    }
    if (std::FILE* ready = std::fopen(argv[3], "wb"))
        std::fclose(ready);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

// A WHOIS server that takes its time, for the window benchmarks: it listens
// on ADDRESS:43, reads each request line and, after DELAY-MS milliseconds,
// answers it with the bytes of FILE and closes. Every connection has a thread
// of its own, so many lookups wait at once. Runs until it is killed.
//
//   slow_whois ADDRESS DELAY-MS FILE READY-FILE
#include "tests/support/fake_whois_server.h"
#include "tests/support/test_socket.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

void Answer(testnet::Fd fd, int delayMs, const std::string& answer) {
    std::string request;
    char buffer[512];
    // The request line, bounded in size and time.
    while (request.find("\r\n") == std::string::npos && request.size() < 4096) {
        long n = testnet::Read(fd, buffer, sizeof buffer, 10000);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    testnet::WriteAll(fd, answer.data(), answer.size());
    testnet::Close(fd);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: slow_whois ADDRESS DELAY-MS FILE READY-FILE\n");
        return 2;
    }
    testnet::StartSockets();
    const int delayMs = std::atoi(argv[2]);
    const std::string answer = testnet::ReadFileBytes(argv[3]);
    if (answer.empty()) {
        std::fprintf(stderr, "slow_whois: cannot read %s\n", argv[3]);
        return 2;
    }
    int bound = 0;
    const testnet::Fd listener = testnet::Listen(argv[1], 43, bound);
    if (listener == testnet::kNoFd) {
        std::fprintf(stderr, "slow_whois: cannot listen on %s:43\n", argv[1]);
        return 2;
    }
    if (std::FILE* ready = std::fopen(argv[4], "wb"))
        std::fclose(ready);
    for (;;) {
        const testnet::Fd fd = testnet::Accept(listener, 1000);
        if (fd != testnet::kNoFd)
            std::thread(Answer, fd, delayMs, answer).detach();
    }
}

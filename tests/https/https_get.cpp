// A small client for the TLS tests: one platform::HttpsGet, and what came of
// it as text, the same for the native and the Windows build so the two can
// be compared byte for byte.
//
//   https_get [--connect-ms N] [--total-ms N] [--max-body N] [--redirects N]
//             [--parallel N] URL
//
// With --parallel, N threads make the same request at once; when their
// results differ, the error says so.
// Prints "completed", "status", "finalUrl", "retryAfter", "error", the body's
// size and its first 40 bytes (anything but printable ASCII as "."), and on
// standard error how long the call took ("took N ms"). Exit 0
// when the response completed, 1 when it did not, 2 for bad arguments.
#include "platform/https.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // LF line ends, as natively
#endif
    platform::HttpsRequest request;
    int parallel = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--connect-ms" && hasValue) {
            request.connectTimeoutMs = std::atoi(argv[++i]);
        } else if (arg == "--total-ms" && hasValue) {
            request.totalTimeoutMs = std::atoi(argv[++i]);
        } else if (arg == "--max-body" && hasValue) {
            request.maxBodyBytes = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--redirects" && hasValue) {
            request.maxRedirects = std::atoi(argv[++i]);
        } else if (arg == "--parallel" && hasValue) {
            parallel = std::max(1, std::atoi(argv[++i]));
        } else if (request.url.empty() && arg.rfind("--", 0) != 0) {
            request.url = arg;
        } else {
            std::fprintf(stderr, "usage: https_get [--connect-ms N] [--total-ms N] "
                                 "[--max-body N] [--redirects N] [--parallel N] URL\n");
            return 2;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<platform::HttpsResponse> responses(static_cast<std::size_t>(parallel));
    std::vector<char> results(responses.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < responses.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = platform::HttpsGet(request, responses[i]); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::fprintf(stderr, "took %ld ms\n", static_cast<long>(took.count()));
    platform::HttpsResponse& response = responses[0];
    bool completed = results[0] != 0;
    for (std::size_t i = 1; i < responses.size(); ++i) {
        const auto& other = responses[i];
        if (results[i] != results[0] || other.status != response.status ||
            other.body != response.body || other.finalUrl != response.finalUrl ||
            other.retryAfter != response.retryAfter || other.error != response.error) {
            completed = false;
            response.error = "parallel results differ";
        }
    }
    std::string head = response.body.substr(0, 40);
    for (char& c : head) {
        if (c < 0x20 || c > 0x7e) {
            c = '.';
        }
    }
    std::printf("completed: %d\nstatus: %ld\nfinalUrl: %s\nretryAfter: %s\nerror: %s\n"
                "bodySize: %lu\nbodyHead: %s\n",
                completed ? 1 : 0, response.status, response.finalUrl.c_str(),
                response.retryAfter.c_str(), response.error.c_str(),
                static_cast<unsigned long>(response.body.size()), head.c_str());
    return completed ? 0 : 1;
}

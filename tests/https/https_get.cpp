// A small client for the TLS tests: one platform::HttpsGet, and what came of
// it as text, the same for the native and the Windows build so the two can
// be compared byte for byte.
//
//   https_get [--connect-ms N] [--total-ms N] [--max-body N] [--redirects N] URL
//
// Prints "completed", "status", "finalUrl", "retryAfter", "error", the body's
// size and its first 40 bytes (anything but printable ASCII as "."). Exit 0
// when the response completed, 1 when it did not, 2 for bad arguments.
#include "platform/https.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // LF line ends, as natively
#endif
    platform::HttpsRequest request;
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
        } else if (request.url.empty() && arg.rfind("--", 0) != 0) {
            request.url = arg;
        } else {
            std::fprintf(stderr, "usage: https_get [--connect-ms N] [--total-ms N] "
                                 "[--max-body N] [--redirects N] URL\n");
            return 2;
        }
    }
    platform::HttpsResponse response;
    const bool completed = platform::HttpsGet(request, response);
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

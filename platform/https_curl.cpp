// HttpsGet with libcurl. Redirects are followed here rather than by libcurl,
// so that every hop is checked the same way as on Windows: only https://
// targets, at most maxRedirects of them, and the time limit covers them all.
#include "platform/https.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <strings.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using namespace https_detail;

struct Transfer {
    std::string body;
    std::string retryAfter;
    std::size_t maxBodyBytes = 0;
    bool bodyTooLarge = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (bytes > transfer.maxBodyBytes - transfer.body.size()) {
        transfer.bodyTooLarge = true;
        return 0; // anything but `bytes` makes libcurl stop with CURLE_WRITE_ERROR
    }
    transfer.body.append(data, bytes);
    return bytes;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string line(data, bytes);
    static constexpr char kName[] = "retry-after:";
    if (line.size() >= sizeof kName - 1 &&
        strncasecmp(line.c_str(), kName, sizeof kName - 1) == 0) {
        transfer.retryAfter = Trim(line.substr(sizeof kName - 1));
    }
    return bytes;
}

// One short line for a failed transfer.
std::string ErrorText(CURL* curl, CURLcode code, const Transfer& transfer,
                      std::size_t maxBodyBytes) {
    switch (code) {
    case CURLE_WRITE_ERROR:
        if (transfer.bodyTooLarge) {
            return BodyOverText(maxBodyBytes);
        }
        break;
    case CURLE_OPERATION_TIMEDOUT:
        return "timed out";
    case CURLE_COULDNT_RESOLVE_HOST:
        return "unknown host";
    case CURLE_COULDNT_CONNECT:
        return "could not connect";
    case CURLE_PEER_FAILED_VERIFICATION: {
        // A chain that did not verify leaves OpenSSL's reason (20: unknown
        // issuer, 10: expired, ...). When the chain verified, libcurl checks
        // the name itself and leaves 0 or 1 (unspecified); OpenSSL's own name
        // check says 62 (X509_V_ERR_HOSTNAME_MISMATCH).
        long verify = 0;
        curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
        return verify == 0 || verify == 1 || verify == 62 ? "TLS certificate for another name"
                                                          : "TLS certificate not trusted";
    }
    case CURLE_SSL_CONNECT_ERROR:
        return "TLS handshake failed";
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return "connection lost";
    default:
        break;
    }
    return std::string("transfer failed: ") + curl_easy_strerror(code);
}

void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

bool HttpsGet(const HttpsRequest& request, HttpsResponse& response) {
    if (!StartHttpsGet(request, response)) {
        return false;
    }
    InitialiseOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        response.error = "transfer failed: no libcurl handle";
        return false;
    }
    const std::string accept = "Accept: " + request.accept;
    std::unique_ptr<curl_slist, ListDeleter> headers(curl_slist_append(nullptr, accept.c_str()));

    CURL* c = curl.get();
    // Only https://, also for anything libcurl might follow on its own.
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
#else
    curl_easy_setopt(c, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTPS));
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // several threads; no SIGALRM for timeouts
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Ostrabel");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);

    const auto deadline = Clock::now() + std::chrono::milliseconds(request.totalTimeoutMs);
    std::string url = request.url;
    for (int redirects = 0;; ++redirects) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            response.error = "timed out";
            return false;
        }
        Transfer transfer;
        transfer.maxBodyBytes = request.maxBodyBytes;
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(left));
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::min<long long>(left, request.connectTimeoutMs)));
        // Less than a byte a second for the whole stall bound ends the transfer.
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME,
                         static_cast<long>(std::max(1, (request.stallTimeoutMs + 999) / 1000)));

        const CURLcode code = curl_easy_perform(c);
        if (code != CURLE_OK) {
            response.error = ErrorText(c, code, transfer, request.maxBodyBytes);
            return false;
        }
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        char* location = nullptr; // libcurl makes a relative Location absolute
        curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location);
        if (IsRedirectStatus(status) && location != nullptr) {
            response.error = RedirectRefusal(request, location, redirects);
            if (!response.error.empty()) {
                return false;
            }
            url = location;
            continue;
        }
        response.completed = true;
        response.status = status;
        response.body = std::move(transfer.body);
        response.retryAfter = std::move(transfer.retryAfter);
        response.finalUrl = url;
        return true;
    }
}

} // namespace platform

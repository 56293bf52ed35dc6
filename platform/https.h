// The HTTPS layer: one GET with redirects, timeouts and a body cap. Natively
// it is libcurl with the system's CA store; on Windows it is WinHTTP with the
// system's certificate checks. Certificate checks are always on: there is no
// way to turn them off.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

struct HttpsRequest {
    std::string url; // must be https://
    std::string accept = "application/rdap+json";
    int connectTimeoutMs = 10000;         // connection (incl. TLS handshake) bound
    int totalTimeoutMs = 30000;           // whole request bound
    int stallTimeoutMs = 15000;           // bound of a wait without a byte, once connected
    std::size_t maxBodyBytes = 16u << 20; // body cap: stop reading, fail with "body over 16 MiB"
    int maxRedirects = 5; // followed only to https:// URLs; a redirect to http:// or any
                          // other scheme is refused
};

struct HttpsResponse {
    bool completed = false; // a full HTTP response was received (any status)
    long status = 0;        // HTTP status of the final response
    std::string body;       // body of the final response (also for 4xx/5xx)
    std::string finalUrl;   // URL of the final response after redirects
    std::string retryAfter; // value of a Retry-After header, if any
    std::string error;      // one short line when !completed: "TLS certificate not trusted",
                            // "redirect to http:// refused", "too many redirects", "timed out",
                            // "could not connect", "body over 16 MiB", ...
};

// One GET with the system's certificate checks always on. Returns completed.
// Thread-safe: may be called from several worker threads at once. The call
// honours both timeouts; it has no other cancellation.
bool HttpsGet(const HttpsRequest& request, HttpsResponse& response);

// Texts shared by both implementations, so that both report a failure alike.
namespace https_detail {
// "body over 16 MiB" for a cap of a whole number of MiB, else "body over N bytes".
std::string BodyOverText(std::size_t maxBodyBytes);
// The scheme of a URL ("http" for "HTTP://x"), lower case; empty without one.
std::string SchemeOf(const std::string& url);
// "redirect to http:// refused" (or the scheme found; "redirect refused" without one).
std::string RedirectRefusedText(const std::string& target);
// The start of every GET: clears the response; false, with the reason in it,
// for a URL that is not https://.
bool StartHttpsGet(const HttpsRequest& request, HttpsResponse& response);
// Why a redirect to target (absolute) after redirects hops already followed
// may not be followed: only https:// targets, at most request.maxRedirects.
// Empty when it may.
std::string RedirectRefusal(const HttpsRequest& request, const std::string& target, int redirects);
// 301, 302, 303, 307 and 308: the statuses whose Location is followed.
bool IsRedirectStatus(long status);
// The absolute URL a Location header names, relative to the URL it came from
// ("/x", "//host/x", "?q", "x" and absolute forms; dot segments are kept).
std::string ResolveLocation(const std::string& base, const std::string& location);
// Whitespace at both ends removed.
std::string Trim(const std::string& text);
} // namespace https_detail

} // namespace platform

// HttpsGet with WinHTTP. WinHTTP's own redirect handling is turned off and
// every Location is checked here: only https:// targets, at most
// maxRedirects of them. WinHTTP has no limit on a whole request, so every
// step gets the time that is left; and as some WinHTTPs (Wine's) do not end
// a blocked receive when its time is up, the exchange runs on a thread of
// its own that the caller stops waiting for when a bound is reached. The
// certificate checks are WinHTTP's defaults; no SECURITY_FLAG_IGNORE_* is
// ever set. The proxy is the user's (see OpenSession).
#include "platform/https.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using namespace https_detail;

class Handle {
public:
    explicit Handle(HINTERNET h = nullptr) : m_h(h) {}
    ~Handle() {
        if (m_h != nullptr) {
            WinHttpCloseHandle(m_h);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HINTERNET m_h;
};

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
    return text;
}

// What the status callback of a request learns: certificate problems, which
// WinHTTP reports before it fails the request with
// ERROR_WINHTTP_SECURE_FAILURE, and that the request went out (so the
// connection and the TLS handshake are done).
struct Progress {
    DWORD secureFlags = 0;
    std::function<void()> sent;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    auto* progress = reinterpret_cast<Progress*>(context);
    if (progress == nullptr) {
        return;
    }
    if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && info != nullptr &&
        length >= sizeof(DWORD)) {
        progress->secureFlags |= *static_cast<DWORD*>(info);
    } else if (status == WINHTTP_CALLBACK_STATUS_REQUEST_SENT) {
        progress->sent();
    }
}

std::string ErrorText(DWORD error, DWORD secureFlags) {
    if (secureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) {
        return "TLS certificate for another name";
    }
    if (secureFlags != 0) {
        return "TLS certificate not trusted";
    }
    switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
        return "timed out";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return "unknown host";
    case ERROR_WINHTTP_CANNOT_CONNECT:
        return "could not connect";
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        return "TLS certificate for another name";
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_FAILURE:
        return "TLS certificate not trusted";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        return "TLS handshake failed";
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        return "connection lost";
    default:
        return "transfer failed: WinHTTP error " + std::to_string(error);
    }
}

// A response header as text; empty when there is none.
std::string QueryText(HINTERNET request, DWORD info) {
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &bytes, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) {
        return {};
    }
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    value.resize(bytes / sizeof(wchar_t));
    return Narrow(value);
}

struct Target {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path; // path and query
};

bool Crack(const std::string& url, Target& target) {
    const std::wstring wide = Widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts) ||
        parts.nScheme != INTERNET_SCHEME_HTTPS || parts.dwHostNameLength == 0) {
        return false;
    }
    target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target.port = parts.nPort;
    target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr) {
        // The fragment stays with the client.
        const std::wstring extra(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        target.path += extra.substr(0, extra.find(L'#'));
    }
    if (target.path.empty()) {
        target.path = L"/";
    }
    return true;
}

// A session that finds the proxy as the user's browser does. Windows 8.1 and
// later do it themselves (WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY: the user's
// settings, WPAD, PAC); older systems refuse that access type, and the
// user's settings are then applied to every request (ApplyUserProxy). In
// offices where port 43 is blocked, HTTPS through the proxy is the only way
// out. Only TLS 1.2 and 1.3 are asked for: Windows 7 and 8.0 would otherwise
// offer older protocols that today's servers refuse. A system that does not
// take the option (TLS 1.3 unknown, say) keeps its defaults.
HINTERNET OpenSession(bool& automaticProxy) {
    HINTERNET session = WinHttpOpen(L"Ostrabel", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    automaticProxy = session != nullptr;
    if (session == nullptr) {
        session = WinHttpOpen(L"Ostrabel", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (session != nullptr) {
        DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
        if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                              sizeof protocols)) {
            protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
            WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                             sizeof protocols);
        }
    }
    return session;
}

// The user's proxy settings (Internet Options) for one request, on systems
// without the automatic access type: a PAC script or automatic detection
// first, then the proxy named there. Without any, the request goes as the
// session would send it.
void ApplyUserProxy(HINTERNET session, HINTERNET request, const std::wstring& url) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        return;
    }
    WINHTTP_PROXY_INFO info{};
    bool found = false;
    if (user.fAutoDetect || user.lpszAutoConfigUrl != nullptr) {
        WINHTTP_AUTOPROXY_OPTIONS automatic{};
        if (user.lpszAutoConfigUrl != nullptr) {
            automatic.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
            automatic.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
        }
        if (user.fAutoDetect) {
            automatic.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
            automatic.dwAutoDetectFlags =
                WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        automatic.fAutoLogonIfChallenged = TRUE;
        if (WinHttpGetProxyForUrl(session, url.c_str(), &automatic, &info)) {
            found = true;
            WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info);
            GlobalFree(info.lpszProxy);
            GlobalFree(info.lpszProxyBypass);
        }
    }
    if (!found && user.lpszProxy != nullptr) {
        info = WINHTTP_PROXY_INFO{};
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        info.lpszProxy = user.lpszProxy;
        info.lpszProxyBypass = user.lpszProxyBypass;
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info);
    }
    GlobalFree(user.lpszAutoConfigUrl);
    GlobalFree(user.lpszProxy);
    GlobalFree(user.lpszProxyBypass);
}

// Milliseconds left before the deadline, at least 1 while there are any.
int Left(Clock::time_point deadline) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return ms <= 0 ? 0 : static_cast<int>(ms);
}

// One request and response on an open session. Returns false with
// response.error set on failure; otherwise response holds the status,
// Retry-After, Location (in `location`) and the body.
// `connected` is called once the request is on its way (connection and TLS
// handshake done).
bool Exchange(HINTERNET session, bool automaticProxy, const HttpsRequest& request,
              const std::string& url, Clock::time_point deadline, HttpsResponse& response,
              std::string& location, const std::function<void()>& connected) {
    Target target;
    if (!Crack(url, target)) {
        response.error = "not an https:// URL";
        return false;
    }
    int left = Left(deadline);
    if (left == 0) {
        response.error = "timed out";
        return false;
    }
    // Connecting and the TLS handshake happen in WinHttpSendRequest; the
    // handshake's bound is kept by HttpsGet, which stops waiting for it.
    WinHttpSetTimeouts(session, left, std::min(left, request.connectTimeoutMs), left, left);

    // Declared before the handles, so that it outlives them and their callback.
    Progress progress;
    progress.sent = connected;
    Handle connection(WinHttpConnect(session, target.host.c_str(), target.port, 0));
    if (!connection) {
        response.error = ErrorText(GetLastError(), 0);
        return false;
    }
    Handle req(WinHttpOpenRequest(connection.get(), L"GET", target.path.c_str(), nullptr,
                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                  WINHTTP_FLAG_SECURE));
    if (!req) {
        response.error = ErrorText(GetLastError(), 0);
        return false;
    }
    if (!automaticProxy) {
        ApplyUserProxy(session, req.get(), Widen(url));
    }
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    const bool policySet =
        WinHttpSetOption(req.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    const bool featureSet = WinHttpSetOption(req.get(), WINHTTP_OPTION_DISABLE_FEATURE,
                                             &noRedirects, sizeof noRedirects);
    if (!policySet && !featureSet) {
        response.error = "WinHTTP cannot turn its own redirects off";
        return false;
    }
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&progress);
    WinHttpSetOption(req.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    WinHttpSetStatusCallback(
        req.get(), OnStatus,
        WINHTTP_CALLBACK_FLAG_SECURE_FAILURE | WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0);

    const std::wstring accept = L"Accept: " + Widen(request.accept);
    if (!WinHttpSendRequest(req.get(), accept.c_str(), static_cast<DWORD>(accept.size()),
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
        response.error = ErrorText(GetLastError(), progress.secureFlags);
        return false;
    }
    connected();
    // From here on only the whole request's bound applies.
    left = std::max(Left(deadline), 1);
    WinHttpSetTimeouts(req.get(), left, left, left, std::min(left, request.stallTimeoutMs));
    if (!WinHttpReceiveResponse(req.get(), nullptr)) {
        response.error = ErrorText(GetLastError(), progress.secureFlags);
        return false;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        response.error = "connection lost";
        return false;
    }
    response.status = static_cast<long>(status);
    response.retryAfter = Trim(QueryText(req.get(), WINHTTP_QUERY_RETRY_AFTER));
    location = Trim(QueryText(req.get(), WINHTTP_QUERY_LOCATION));
    if (IsRedirectStatus(response.status) && !location.empty()) {
        return true; // the body of a redirect is not wanted
    }

    std::vector<char> buffer(64 * 1024);
    for (;;) {
        left = Left(deadline);
        if (left == 0) {
            response.error = "timed out";
            return false;
        }
        WinHttpSetTimeouts(req.get(), left, left, left, std::min(left, request.stallTimeoutMs));
        DWORD got = 0;
        if (!WinHttpReadData(req.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            response.error = ErrorText(GetLastError(), 0);
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (got > request.maxBodyBytes - response.body.size()) {
            response.error = BodyOverText(request.maxBodyBytes);
            return false;
        }
        response.body.append(buffer.data(), got);
    }
}

// What the waiting caller and the thread doing the exchange share.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool connected = false; // the first request is on its way
    bool done = false;
    bool completed = false;
    HttpsResponse response;
};

// The request and its redirects in one session of their own, which is closed
// (and its connections with it) before this returns.
HttpsResponse Fetch(const HttpsRequest& request, Clock::time_point deadline,
                    const std::function<void()>& connected) {
    HttpsResponse response;
    bool automaticProxy = false;
    Handle session(OpenSession(automaticProxy));
    if (!session) {
        response.error = ErrorText(GetLastError(), 0);
        return response;
    }
    std::string url = request.url;
    for (int redirects = 0;; ++redirects) {
        HttpsResponse hop;
        std::string location;
        if (!Exchange(session.get(), automaticProxy, request, url, deadline, hop, location,
                      connected)) {
            response.error = hop.error;
            return response;
        }
        if (IsRedirectStatus(hop.status) && !location.empty()) {
            const std::string next = ResolveLocation(url, location);
            response.error = RedirectRefusal(request, next, redirects);
            if (!response.error.empty()) {
                return response;
            }
            url = next;
            continue;
        }
        response = std::move(hop);
        response.completed = true;
        response.finalUrl = url;
        return response;
    }
}

// The thread's work. The result is published only once every WinHTTP handle
// of the request is closed: a caller that then ends the program must not
// find this thread still inside WinHTTP or the TLS library (seen under Wine
// as a crash at exit after a complete answer).
void Get(const HttpsRequest& request, Clock::time_point deadline, Shared& shared) {
    const std::function<void()> connected = [&shared] {
        std::lock_guard<std::mutex> lock(shared.mutex);
        if (!shared.connected) {
            shared.connected = true;
            shared.changed.notify_all();
        }
    };
    HttpsResponse response = Fetch(request, deadline, connected);
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.completed = response.completed;
    shared.response = std::move(response);
    shared.done = true;
    shared.changed.notify_all();
}

} // namespace

bool HttpsGet(const HttpsRequest& request, HttpsResponse& response) {
    if (!StartHttpsGet(request, response)) {
        return false;
    }
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(request.totalTimeoutMs);
    // A thread that is still blocked when the caller gives up is left to end
    // on its own later (when the server closes); it owns its share of the state.
    auto shared = std::make_shared<Shared>();
    // An exception on either side (no thread, no memory) is a failed
    // request; one left in the thread would end the program.
    std::thread worker;
    try {
        worker = std::thread([shared, request, deadline] {
            try {
                Get(request, deadline, *shared);
            } catch (...) {
                std::lock_guard<std::mutex> lock(shared->mutex);
                shared->completed = false;
                shared->response = HttpsResponse{};
                shared->response.error = "request failed"; // short: no allocation
                shared->done = true;
                shared->changed.notify_all();
            }
        });
    } catch (...) {
        response.error = "transfer failed: no thread for the request";
        return false;
    }

    // The thread's own timeouts normally end it first; the grace keeps its
    // answer when they do.
    const auto grace = std::chrono::milliseconds(250);
    const auto connectBound =
        std::min(deadline, start + std::chrono::milliseconds(request.connectTimeoutMs)) + grace;
    std::unique_lock<std::mutex> lock(shared->mutex);
    const bool inTime = shared->changed.wait_until(lock, connectBound, [&] {
        return shared->done || shared->connected;
    }) && shared->changed.wait_until(lock, deadline + grace, [&] { return shared->done; });
    if (!inTime) {
        lock.unlock();
        worker.detach();
        response.error = "timed out";
        return false;
    }
    response = std::move(shared->response);
    const bool completed = shared->completed;
    lock.unlock();
    // It has closed its handles and only has to end: waiting for that keeps
    // no thread of a finished request alive behind the caller.
    worker.join();
    return completed;
}

} // namespace platform
